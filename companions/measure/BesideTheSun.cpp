#include "companions/measure/BesideTheSun.h"

#include <algorithm>
#include <cmath>

namespace heliotrope::measure {

namespace {

constexpr double kRadiansPerDegree = 3.14159265358979 / 180.0;
constexpr double kLargestAzimuthFactor = 10.0;

}  // namespace

companions::SetPoint besideTheSun(double sunAzimuth, double sunElevation, double crossElevation, double elevation)
{
    const double factor = std::min(1.0 / std::cos(sunElevation * kRadiansPerDegree), kLargestAzimuthFactor);
    double azimuth = std::fmod(sunAzimuth + crossElevation * factor, 360.0);
    if (azimuth < 0)
        azimuth += 360.0;
    return companions::SetPoint{azimuth, sunElevation + elevation};
}

}  // namespace heliotrope::measure
