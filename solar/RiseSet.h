#pragma once

#include "solar/CalculationState.h"

#include <functional>
#include <limits>

namespace solar {

// The sunset / next-sunrise solver. Time runs in days t from 0 h UT of the
// calculation date, which is 09:00 JST; the search window is 0 <= t <= 1, from
// 09:00 on the calculation date to 09:00 on the next day. Within it the solver
// expects, in this order: upper culmination, sunset, lower culmination,
// sunrise. That holds on every date for latitudes 20..46 N and longitudes
// 122..150 E (all the listed observation points); elsewhere, or when a value
// is not finite, the solver says which step could not be done instead of
// producing a time.

// Why an event could not be formed.
enum class RiseSetFailure {
    None,
    NoUpperCulmination,  // no rate sample pair with + then - (strictly)
    NoLowerCulmination,  // no rate sample pair with - then + (strictly)
    NoCrossing,          // the sun does not cross the rise/set altitude in the bracket
                         // (polar day or night, or a sunrise after 09:00 JST)
    NotConverged,        // no estimate within the tolerance after 15 steps
    ZeroDenominator,     // two of a step's three function values were equal
    OutOfOrder,          // the events are not in the expected order, or a root left its bracket
    NonFinite,           // a coefficient, a sample or a function value is NaN or infinite
    OffTheClock,         // a sunset after midnight JST or a sunrise before it: the hour of
                         // the day it is shown as would read 24 or more, or below 0
};

// One inverse quadratic refinement: root in days, steps used (1..15).
// root is NaN whenever failure is not None.
struct Refinement {
    double root = std::numeric_limits<double>::quiet_NaN();
    int steps = 0;
    RiseSetFailure failure = RiseSetFailure::None;
};

// What one CALRISE call found. t values are days from 0 h UT of the
// calculation date, NaN where no value was formed; a culmination that was
// refined but then judged out of order keeps its value, to show why.
struct RiseSetOutcome {
    bool sunsetFound = false;                              // dblSetHour/dblSetMinute were written
    bool sunriseFound = false;                             // dblRiseHour/dblRiseMinute were written
    RiseSetFailure sunsetFailure = RiseSetFailure::None;   // None when found
    RiseSetFailure sunriseFailure = RiseSetFailure::None;  // None when found
    double tUp = std::numeric_limits<double>::quiet_NaN();
    double tLow = std::numeric_limits<double>::quiet_NaN();
    double tSet = std::numeric_limits<double>::quiet_NaN();
    double tRise = std::numeric_limits<double>::quiet_NaN();
    int bracketUp = 0;   // j of the upper culmination's bracket [(j-1)/4, j/4], 1..4; 0 when none
    int bracketLow = 0;  // the same for the lower culmination
    int stepsUp = 0;     // refinement steps used; 0 when that refinement did not run
    int stepsLow = 0;
    int stepsSet = 0;
    int stepsRise = 0;
};

// Finds today's sunset and the next morning's sunrise for the calculation
// date and observer in the state, and stores them as whole JST hours and
// truncated minutes.
// Reads: intYear, intMonth (3..14, January and February as 13 and 14 of the
// year before), intDay, dblLonDeg (degrees east), dblLatRad (radians north,
// left by the position step of the same tick).
// Always writes: dblUT = 0, dblLocalMeanTime = dblLonDeg / 15, dblEqTime
// (hours) and the declination and right-ascension cubic coefficients
// (degrees), even when no event can be formed.
// Writes dblSetHour/dblSetMinute only when the sunset is found, and
// dblRiseHour/dblRiseMinute only when the sunrise is found; otherwise the
// previous values stay and the outcome says which step failed. Never throws;
// terminates for any input, finite or not.
RiseSetOutcome CALRISE(CalculationState& state);

// Sine of the sun's altitude at t less the sine of the rise/set altitude
// (-0.850107082 degrees): positive while the sun's centre is above that
// altitude. Reads the coefficients and dblEqTime written by CALRISE, and
// dblLatRad and dblLonDeg.
double CALF(const CalculationState& state, double t);

// Rate of the sine of the altitude, per day: positive while the sun climbs,
// zero at the culminations. Its hour-angle rate is the sidereal rate less the
// right-ascension rate, so it is close to, not exactly, the derivative of CALF.
double CALFDif(const CalculationState& state, double t);

// The solver's root refinement on its own: inverse quadratic interpolation of
// g from [a, b], three fresh evaluations per step, no bracket kept, ends when
// two successive estimates (the first against 0) differ by at most 0.00005.
// Exposed so that its failure paths can be exercised with any function.
Refinement refineRoot(const std::function<double(double)>& g, double a, double b);

}  // namespace solar
