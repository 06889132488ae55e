#pragma once

#include <cstdint>

namespace solar {

// Day of the year in a 365-day calendar, 1 on 1 January, leap day ignored
// (29 February and 1 March both give 60).
// month: calendar month 1..12 (not the shifted 13/14 of the calculation state);
// day: 1..31. Outside those ranges the formula is applied as it stands.
double CALDAY(std::int16_t month, std::int16_t day);

// Spencer's Fourier series at the day angle of day number N
// (gamma = N * 2pi / 360; the divisor is 360, so gamma runs slightly past one
// turn at the end of the year, which the periodic series absorbs).
struct SunSeries {
    double equationOfTimeHours;  // apparent minus mean solar time, hours
    double declinationRad;       // radians
};
SunSeries sunSeries(double dayNumber);

// Geometric position of the sun's centre: no refraction, parallax or
// semi-diameter, so elevation 0 is the centre on the geometric horizon.
struct SunPosition {
    double elevationDeg;        // -90..90
    double azimuthDeg;          // from north through east, 0..360 (due north is 360)
    double localMeanTimeHours;  // longitude / 15 + UT
    double latitudeRad;
    double equationOfTimeHours;
    double trueSolarTimeHours;
    double hourAngleRad;  // negative before apparent noon, not reduced
    double declinationRad;
    double zenithDistanceDeg;  // 0..180
    // False when the sun stands exactly in the zenith or the nadir, where the
    // azimuth has no meaning; azimuthDeg then holds the documented stand-in 180.
    bool azimuthDefined;
};

// The azimuth from north through east, in degrees (0..360, due north 360),
// given s and c, the sine and cosine of the azimuth counted from south towards
// west. s is clamped to +-1 first.
double azimuthFromSouthBased(double s, double c);

// The sun's place for day number N (CALDAY), universal time utHours (may be
// negative: the clock date with UT counted from its 0 h), and the observer in
// degrees (north and east positive). Pure: no clock, no state. No range check
// is made on latitude or longitude; values outside +-90 / +-180 go through the
// formulas unchanged. The caller checks the result for finiteness when the
// inputs are not known to be sane.
SunPosition CALAZEL(double dayNumber, double utHours, double latitudeDeg, double longitudeDeg);

}  // namespace solar
