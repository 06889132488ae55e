#include "solar/SunPosition.h"

#include "solar/SolarConstants.h"

#include <cmath>

namespace solar {

double CALDAY(std::int16_t month, std::int16_t day)
{
    // The day count takes the floor of the real quotient; the operands are
    // positive in the design range, where integer division agrees with it.
    const auto floorDiv = [](int a, int b) {
        const int q = a / b;
        return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
    };
    const int m = month;
    const int d = day;
    if (m <= 2)
        return 31.0 * (m - 1) + d;
    if (m <= 8)
        return 31.0 * (m - 1) - floorDiv(m - 1, 2) - 2 + d;
    return 31.0 * (m - 1) - floorDiv(m - 2, 2) - 2 + d;
}

SunSeries sunSeries(double dayNumber)
{
    const double g = dayNumber * kTwoPi / 360;
    SunSeries out{};
    // The bracket is in radians of hour angle; 12 / pi turns it into hours.
    out.equationOfTimeHours = (0.000075 + 0.001868 * std::cos(g) - 0.032077 * std::sin(g)
                               - 0.014615 * std::cos(2 * g) - 0.040849 * std::sin(2 * g))
        * 12 / kPi;
    out.declinationRad = 0.006918 - 0.399912 * std::cos(g) + 0.070257 * std::sin(g)
        - 0.006758 * std::cos(2 * g) + 0.000907 * std::sin(2 * g) - 0.002697 * std::cos(3 * g)
        + 0.00148 * std::sin(3 * g);
    return out;
}

double azimuthFromSouthBased(double s, double c)
{
    // Only a rounding overshoot can take the sine past +-1.
    if (s > 1)
        s = 1;
    else if (s < -1)
        s = -1;
    double a = std::asin(s);
    // Both tests look at c and s, not at the A of the step before.
    if (c < 0)
        a = kPi - a;
    if (c >= 0 && s <= 0)
        a = a + kTwoPi;
    a = a + kPi;  // from south-based to north-based
    if (a > kTwoPi)
        a = a - kTwoPi;  // strictly greater: due north stays 360
    return a * 180 / kPi;
}

SunPosition CALAZEL(double dayNumber, double utHours, double latitudeDeg, double longitudeDeg)
{
    SunPosition p{};
    const SunSeries series = sunSeries(dayNumber);
    p.equationOfTimeHours = series.equationOfTimeHours;
    p.declinationRad = series.declinationRad;
    const double dec = series.declinationRad;

    p.localMeanTimeHours = longitudeDeg / 15 + utHours;
    p.trueSolarTimeHours = p.equationOfTimeHours + p.localMeanTimeHours;
    const double h = (p.trueSolarTimeHours - 12) * 15 * kPi / 180;  // not reduced into +-pi
    p.hourAngleRad = h;

    const double phi = latitudeDeg * kTwoPi / 360;
    p.latitudeRad = phi;

    double x = std::sin(dec) * std::sin(phi) + std::cos(phi) * std::cos(dec) * std::cos(h);
    // Rounding can carry the cosine of the zenith distance a hair past +-1,
    // where the square root below would turn the whole position into NaN.
    if (x > 1)
        x = 1;
    else if (x < -1)
        x = -1;
    // arccos x through the arc tangent; at x = +-1 the quotient is -+infinity
    // and the arc tangent gives exactly -+pi/2, so z is 0 or 180.
    const double z = (std::atan(-x / std::sqrt(1 - x * x)) + 2 * std::atan(1.0)) * 180 / kPi;
    p.zenithDistanceDeg = z;
    p.elevationDeg = 90 - z;

    const double sinZ = std::sin(z * kPi / 180);
    const double s = std::cos(dec) * std::sin(h) / sinZ;
    const double c = (-std::cos(phi) * std::sin(dec) + std::cos(dec) * std::sin(phi) * std::cos(h)) / sinZ;

    if (sinZ == 0 || std::isnan(s) || std::isnan(c)) {
        // Sun exactly in the zenith or the nadir: every azimuth is the same
        // direction. Report due south rather than a NaN that would reach the
        // boxes and the antenna.
        p.azimuthDeg = 180;
        p.azimuthDefined = false;
        return p;
    }

    p.azimuthDeg = azimuthFromSouthBased(s, c);
    p.azimuthDefined = true;
    return p;
}

}  // namespace solar
