#include "companions/sky/SunTransit.h"

#include <algorithm>

namespace heliotrope::sky {

double sunTransitUtc(double fromUtc, double toUtc, const Site& site)
{
    TrueSunTracker tracker;
    const auto elevation = [&](double utc) { return tracker.at(utc, site).elevation; };
    double best = fromUtc;
    double highest = elevation(fromUtc);
    for (double t = fromUtc + 60; t <= toUtc; t += 60) {
        const double e = elevation(t);
        if (e > highest) {
            highest = e;
            best = t;
        }
    }
    // Within a minute either side of the best minute the elevation has one
    // top: narrowed by thirds to under a second.
    double low = std::max(fromUtc, best - 60);
    double high = std::min(toUtc, best + 60);
    while (high - low > 0.5) {
        const double a = low + (high - low) / 3;
        const double b = high - (high - low) / 3;
        if (elevation(a) < elevation(b))
            low = a;
        else
            high = b;
    }
    return (low + high) / 2;
}

}  // namespace heliotrope::sky
