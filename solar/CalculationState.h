#pragma once

#include <cstdint>

namespace solar {

// The calculation variables that SOLCAL, CALRISE, CALF and CALFDif share.
// One record lives in the main window for the whole run; every field starts at
// zero. Integers are 16-bit signed, as the day count and the month shift rely
// on. Only intBlink carries information from one tick to the next: every other
// field is rewritten in each tick before it is read.
struct CalculationState {
    // Declination cubic in t (days from 0 h UT of the calculation date), degrees.
    double dblDecCoef3 = 0;
    double dblDecCoef2 = 0;
    double dblDecCoef1 = 0;
    double dblDecCoef0 = 0;  // declination of the calculation date
    // Right-ascension cubic in t, degrees; only its rate is ever used.
    double dblRaCoef3 = 0;
    double dblRaCoef2 = 0;
    double dblRaCoef1 = 0;
    double dblEqTime = 0;         // equation of time of the calculation date, hours
    double dblUT = 0;             // universal time of the instant computed, hours
    double dblLocalMeanTime = 0;  // longitude / 15 + dblUT, hours
    std::int16_t intBlink = 0;    // 1: the sun marker was left out in the last day tick
    std::int16_t intYear = 0;     // clock year, less 1 in January and February
    std::int16_t intMonth = 0;    // clock month, plus 12 in January and February (3..14)
    std::int16_t intDay = 0;      // clock day of the month
    std::int16_t intHour = 0;     // clock hour, 0..23 JST
    double dblSetHour = 0;        // today's sunset on the JST clock, whole hours
    double dblRiseHour = 0;       // next sunrise on the JST clock, whole hours
    double dblSetMinute = 0;      // whole minutes, truncated
    double dblRiseMinute = 0;     // whole minutes, truncated
    double dblLatDeg = 0;         // observer latitude, degrees north
    double dblLatRad = 0;         // observer latitude, radians
    double dblLonDeg = 0;         // observer longitude, degrees east
};

}  // namespace solar
