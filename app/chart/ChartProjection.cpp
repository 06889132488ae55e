#include "app/chart/ChartProjection.h"

#include "solar/SolarConstants.h"

#include <cmath>

namespace chart {

ChartPoint projectSun(double azimuthDeg, double elevationDeg)
{
    const double r = kHorizonRadius - kTwipsPerDegree * elevationDeg;
    // Azimuth runs clockwise from north; the chart's angle runs clockwise
    // from the +x axis (y grows downwards), so north is a quarter turn back.
    const double theta = azimuthDeg * solar::kPi / 180 - solar::kPi / 2;
    return {kCentre + r * std::cos(theta), kCentre + r * std::sin(theta)};
}

}  // namespace chart
