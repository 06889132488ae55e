#include "solar/RiseSet.h"

#include "solar/SolarConstants.h"
#include "solar/SunPosition.h"

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>

namespace solar {

namespace {

// The rise/set altitude of the sun's centre, -0.850107082 degrees, held as
// degrees times pi (-0.850107082 x 3.14159265358979) so that dividing by 180
// gives radians. The sunset and sunrise minutes were fitted with this value.
const double kSinRiseSetAltitude = std::sin(-2.6706901635758533 / 180);

// Sidereal rate, degrees of hour angle per day, before the sun's own motion
// in right ascension is taken off.
constexpr double kSiderealDegreesPerDay = 360.9856474;

// Two successive estimates this close (days, about 4.3 s) end a refinement.
constexpr double kToleranceDays = 0.00005;
constexpr int kMaxSteps = 15;

// The four sample days around the calculation date, t = -1, 0, +1, +2.
constexpr int kSamples = 4;
constexpr int kFirstSample = -1;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool allFinite(std::initializer_list<double> values)
{
    for (const double v : values)
        if (!std::isfinite(v))
            return false;
    return true;
}

// Takes 360 off while the angle is above 360; a negative angle is left as
// it is. std::fmod gives exactly what the repeated subtraction gives (each
// subtraction of 360 is exact for these magnitudes), except that the loop
// stops at 360 rather than 0; and it cannot spin for ever on a huge typed-in
// longitude, where subtracting 360 no longer changes the value.
double takeOffTurnsAbove360(double degrees)
{
    if (!(degrees > 360))
        return degrees;
    const double r = std::fmod(degrees, 360.0);
    return r == 0 ? 360.0 : r;
}

// Declination in radians from the cubic in t.
double declinationRad(const CalculationState& s, double t)
{
    return (s.dblDecCoef3 * (t * t * t) + s.dblDecCoef2 * (t * t) + s.dblDecCoef1 * t
            + s.dblDecCoef0)
        * kPi / 180;
}

// Hour angle in radians. The equation of time of the calculation date holds
// for the whole window, and the angle is not reduced into any range.
double hourAngleRad(const CalculationState& s, double t)
{
    return (s.dblLonDeg / 15 + 24 * t + s.dblEqTime - 12) * 15 * kPi / 180;
}

double declinationRateRad(const CalculationState& s, double t)
{
    return (3 * s.dblDecCoef3 * (t * t) + 2 * s.dblDecCoef2 * t + s.dblDecCoef1) * kPi / 180;
}

double hourAngleRateRad(const CalculationState& s, double t)
{
    return (kSiderealDegreesPerDay - 3 * s.dblRaCoef3 * (t * t) - 2 * s.dblRaCoef2 * t
            - s.dblRaCoef1)
        * kPi / 180;
}

// Cubic through four values at t = -1, 0, 1, 2.
struct Cubic {
    double c3, c2, c1, c0;
};

Cubic fitCubic(const double (&y)[kSamples])
{
    const double yM1 = y[0];
    const double y0 = y[1];
    const double y1 = y[2];
    const double y2 = y[3];
    Cubic c{};
    c.c3 = (3 * y0 - yM1 - 3 * y1 + y2) / 6;
    c.c2 = (yM1 - 2 * y0 + y1) / 2;
    c.c1 = (-2 * yM1 - 3 * y0 + 6 * y1 - y2) / 6;
    c.c0 = y0;
    return c;
}

template <class G>
Refinement refine(const G& g, double a, double b)
{
    // z[0] = 0, so the first estimate is compared with 0.
    double z[kMaxSteps + 1] = {};
    double x0 = a;
    double x2 = b;
    double x1 = (x0 + x2) / 2;
    for (int step = 1; step <= kMaxSteps; ++step) {
        // Three fresh evaluations: nothing is carried over from the step before.
        const double f0 = g(x0);
        const double f1 = g(x1);
        const double f2 = g(x2);
        if (!allFinite({f0, f1, f2}))
            return {kNaN, step, RiseSetFailure::NonFinite};
        const double d0 = (f0 - f2) * (f0 - f1);
        const double d1 = (f1 - f2) * (f1 - f0);
        const double d2 = (f2 - f1) * (f2 - f0);
        // Two equal values leave the quadratic undefined; dividing anyway
        // would hand an infinity or NaN on as if it were a time.
        if (d0 == 0 || d1 == 0 || d2 == 0)
            return {kNaN, step, RiseSetFailure::ZeroDenominator};
        // x as a quadratic in g, taken at g = 0.
        z[step] = f2 * f1 * x0 / d0 + f2 * f0 * x1 / d1 + f1 * f0 * x2 / d2;
        if (!std::isfinite(z[step]))
            return {kNaN, step, RiseSetFailure::NonFinite};
        x0 = x1;
        x2 = z[step];
        x1 = (x0 + x2) / 2;
        if (std::fabs(z[step] - z[step - 1]) <= kToleranceDays)
            return {z[step], step, RiseSetFailure::None};
    }
    return {kNaN, kMaxSteps, RiseSetFailure::NotConverged};
}

// First j = 1..4 whose rate samples change sign in the given direction,
// strictly on both sides: a sample of exactly 0 bounds no bracket. 0 if none.
int findBracket(const double (&rate)[6], bool fromRisingToSinking)
{
    for (int j = 1; j <= 4; ++j) {
        const bool found = fromRisingToSinking ? (rate[j - 1] > 0 && rate[j] < 0)
                                               : (rate[j - 1] < 0 && rate[j] > 0);
        if (found)
            return j;
    }
    return 0;
}

double bracketStart(int j)
{
    return (j - 1) * 0.25;
}

double bracketEnd(int j)
{
    return j * 0.25;
}

bool insideBracket(double t, int j)
{
    return t >= bracketStart(j) && t <= bracketEnd(j);
}

}  // namespace

double CALF(const CalculationState& state, double t)
{
    const double dec = declinationRad(state, t);
    const double h = hourAngleRad(state, t);
    const double phi = state.dblLatRad;
    return std::sin(dec) * std::sin(phi) + std::cos(phi) * std::cos(dec) * std::cos(h)
        - kSinRiseSetAltitude;
}

double CALFDif(const CalculationState& state, double t)
{
    const double dec = declinationRad(state, t);
    const double h = hourAngleRad(state, t);
    const double phi = state.dblLatRad;
    const double decRate = declinationRateRad(state, t);
    const double hRate = hourAngleRateRad(state, t);
    return decRate * (std::sin(phi) * std::cos(dec) - std::cos(phi) * std::sin(dec) * std::cos(h))
        - std::cos(dec) * hRate * std::cos(phi) * std::sin(h);
}

Refinement refineRoot(const std::function<double(double)>& g, double a, double b)
{
    return refine(g, a, b);
}

RiseSetOutcome CALRISE(CalculationState& state)
{
    RiseSetOutcome out;

    state.dblUT = 0;
    state.dblLocalMeanTime = state.dblLonDeg / 15;

    // Four sample days, N-1 to N+2, with no wrap at the ends of the year: the
    // series is periodic in the day angle, and a wrapped day would break the
    // smooth run of the samples that the cubic fits rely on.
    const std::int16_t calendarMonth = (state.intMonth == 13 || state.intMonth == 14)
        ? static_cast<std::int16_t>(state.intMonth - 12)
        : state.intMonth;
    const double dayNumber = CALDAY(calendarMonth, state.intDay);

    double equationOfTime[kSamples];
    double declinationDeg[kSamples];
    double hourAngleAt0hDeg[kSamples];
    for (int i = 0; i < kSamples; ++i) {
        const SunSeries series = sunSeries(dayNumber + (kFirstSample + i));
        equationOfTime[i] = series.equationOfTimeHours;
        declinationDeg[i] = series.declinationRad * 180 / kPi;
        hourAngleAt0hDeg[i] = (state.dblLocalMeanTime + equationOfTime[i] - 12) * 15;
    }
    state.dblEqTime = equationOfTime[1];

    // Day count from 2000 and the sidereal angle at 0 h UT, for the sun's right
    // ascension. The sums are formed in 32 bits: in 16 bits the day count
    // leaves the range from 11 September 2089 on and for 1910 and earlier,
    // while every value it takes for 1911..2088 is the same in either width.
    const std::int32_t yearsFrom2000 = std::int32_t{state.intYear} - 2000;
    const std::int32_t month = state.intMonth;
    const std::int32_t day = state.intDay;
    const std::int32_t deltaTSeconds = (std::int32_t{state.intYear} - 1999) + 64;
    double rightAscensionDeg[kSamples];
    for (int i = 0; i < kSamples; ++i) {
        const std::int32_t k = kFirstSample + i;
        const std::int32_t dayCount = 30 * month + 365 * yearsFrom2000 + day + k;
        const double days = std::floor(static_cast<double>(3 * (month + 1)) / 5)
            + (dayCount - 33.875 + 1) + std::floor(yearsFrom2000 / 4.0);
        const double years = (days + deltaTSeconds / 86400.0) / 365.25;
        double sidereal = 325.4606 + 360.007700536 * years + 3.879e-8 * (years * years)
            + state.dblLonDeg;
        sidereal = takeOffTurnsAbove360(sidereal);
        // Only the rate of this angle is used. The four samples are not made
        // continuous, so a date whose samples straddle 360 gets a distorted
        // cubic; that moves the culmination estimates by under a second and
        // leaves sunset and sunrise alone, which do not use it.
        rightAscensionDeg[i] = takeOffTurnsAbove360(sidereal - hourAngleAt0hDeg[i]);
    }

    const Cubic dec = fitCubic(declinationDeg);
    state.dblDecCoef3 = dec.c3;
    state.dblDecCoef2 = dec.c2;
    state.dblDecCoef1 = dec.c1;
    state.dblDecCoef0 = dec.c0;
    const Cubic ra = fitCubic(rightAscensionDeg);
    state.dblRaCoef3 = ra.c3;
    state.dblRaCoef2 = ra.c2;
    state.dblRaCoef1 = ra.c1;

    // Rate samples at t = 0, 0.25, 0.5, 0.75, 1 (entry 5 unused).
    double rate[6] = {};
    for (int j = 0; j <= 4; ++j)
        rate[j] = CALFDif(state, j * 0.25);

    const auto fail = [&out](RiseSetFailure why) {
        out.sunsetFailure = why;
        out.sunriseFailure = why;
        return out;
    };

    // A NaN latitude or longitude would otherwise fail every sign test below
    // and be reported as a missing culmination.
    if (!allFinite({state.dblLatRad, state.dblLonDeg, state.dblEqTime, dec.c3, dec.c2, dec.c1,
                    dec.c0, ra.c3, ra.c2, ra.c1, rate[0], rate[1], rate[2], rate[3], rate[4]}))
        return fail(RiseSetFailure::NonFinite);

    const auto rateAt = [&state](double t) { return CALFDif(state, t); };
    const auto altitudeAt = [&state](double t) { return CALF(state, t); };

    // Culminations. Both bound the sunset's bracket, and the lower one starts
    // the sunrise's, so without both in order neither event has a window.
    out.bracketUp = findBracket(rate, true);
    out.bracketLow = findBracket(rate, false);
    Refinement up;
    Refinement low;
    if (out.bracketUp != 0) {
        up = refine(rateAt, bracketStart(out.bracketUp), bracketEnd(out.bracketUp));
        out.tUp = up.root;
        out.stepsUp = up.steps;
    }
    if (out.bracketLow != 0) {
        low = refine(rateAt, bracketStart(out.bracketLow), bracketEnd(out.bracketLow));
        out.tLow = low.root;
        out.stepsLow = low.steps;
    }
    if (out.bracketUp == 0)
        return fail(RiseSetFailure::NoUpperCulmination);
    if (up.failure != RiseSetFailure::None)
        return fail(up.failure);
    // The refinement keeps no bracket and may wander off to another root.
    if (!insideBracket(out.tUp, out.bracketUp))
        return fail(RiseSetFailure::OutOfOrder);
    if (out.bracketLow == 0)
        return fail(RiseSetFailure::NoLowerCulmination);
    if (low.failure != RiseSetFailure::None)
        return fail(low.failure);
    if (!insideBracket(out.tLow, out.bracketLow))
        return fail(RiseSetFailure::OutOfOrder);
    // West of about 100 E the lower culmination comes first in the window.
    if (!(out.tUp < out.tLow))
        return fail(RiseSetFailure::OutOfOrder);

    const double fUp = CALF(state, out.tUp);
    const double fLow = CALF(state, out.tLow);
    const double fEnd = CALF(state, 1);
    if (!allFinite({fUp, fLow, fEnd}))
        return fail(RiseSetFailure::NonFinite);

    // Sunset: the sun must be above the rise/set altitude at the upper
    // culmination and below it at the lower one, or there is no sunset today
    // (polar night or polar day) and the refinement would return some other
    // point of the curve as if it were one.
    if (!(fUp > 0 && fLow < 0)) {
        out.sunsetFailure = RiseSetFailure::NoCrossing;
    } else {
        const Refinement set = refine(altitudeAt, out.tUp, out.tLow);
        out.stepsSet = set.steps;
        out.tSet = set.root;
        if (set.failure != RiseSetFailure::None)
            out.sunsetFailure = set.failure;
        else if (!(out.tUp < out.tSet && out.tSet < out.tLow))
            out.sunsetFailure = RiseSetFailure::OutOfOrder;
        else if (!(std::floor(24 * out.tSet + 9) <= 23))
            out.sunsetFailure = RiseSetFailure::OffTheClock;  // far north in summer, or far west
        else {
            out.sunsetFound = true;
            state.dblSetHour = std::floor(24 * out.tSet + 9);
            state.dblSetMinute = std::floor((24 * out.tSet + 9 - state.dblSetHour) * 60);
        }
    }

    // Next sunrise: below the altitude at the lower culmination, above it at
    // 09:00 the next day; otherwise the sun rises after 09:00 or not at all.
    if (!(fLow < 0 && fEnd > 0)) {
        out.sunriseFailure = RiseSetFailure::NoCrossing;
    } else {
        const Refinement rise = refine(altitudeAt, out.tLow, 1.0);
        out.stepsRise = rise.steps;
        out.tRise = rise.root;
        if (rise.failure != RiseSetFailure::None)
            out.sunriseFailure = rise.failure;
        else if (!(out.tLow < out.tRise && out.tRise <= 1))
            out.sunriseFailure = RiseSetFailure::OutOfOrder;
        else if (!(std::floor(24 * out.tRise + 9 - 24) >= 0))
            out.sunriseFailure = RiseSetFailure::OffTheClock;
        else {
            out.sunriseFound = true;
            // The -24 makes the hour one of the next day.
            state.dblRiseHour = std::floor(24 * out.tRise + 9 - 24);
            state.dblRiseMinute = std::floor((24 * out.tRise + 9 - 24 - state.dblRiseHour) * 60);
        }
    }
    return out;
}

}  // namespace solar
