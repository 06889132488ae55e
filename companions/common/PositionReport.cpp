#include "companions/common/PositionReport.h"

#include <cmath>

namespace heliotrope::companions {

namespace {

// Rounded to hundredths as the report will print it, so that folding and the
// sign of zero are decided on the digits the window will see.
double hundredths(double value)
{
    const double rounded = std::round(value * 100.0) / 100.0;
    return rounded == 0.0 ? 0.0 : rounded;  // no "-0.00"
}

}  // namespace

double normalizedAzimuth(double azimuth)
{
    double folded = std::fmod(azimuth, 360.0);
    if (folded < 0)
        folded += 360.0;
    return folded >= 360.0 ? 0.0 : folded;
}

QByteArray positionReport(double azimuth, double elevation)
{
    if (!std::isfinite(azimuth) || !std::isfinite(elevation))
        return {};
    double az = hundredths(normalizedAzimuth(azimuth));
    if (az >= 360.0)
        az = 0.0;
    return "1," + QByteArray::number(az, 'f', 2) + ',' + QByteArray::number(hundredths(elevation), 'f', 2);
}

}  // namespace heliotrope::companions
