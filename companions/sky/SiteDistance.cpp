#include "companions/sky/SiteDistance.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace heliotrope::sky {

double kilometresBetween(const Site& a, const Site& b)
{
    constexpr double kEarthRadiusKm = 6371.0;
    constexpr double kDegree = std::numbers::pi / 180.0;
    const double p1 = a.latitude * kDegree;
    const double p2 = b.latitude * kDegree;
    const double dl = (b.longitude - a.longitude) * kDegree;
    const double c = std::sin(p1) * std::sin(p2) + std::cos(p1) * std::cos(p2) * std::cos(dl);
    return kEarthRadiusKm * std::acos(std::clamp(c, -1.0, 1.0));
}

}  // namespace heliotrope::sky
