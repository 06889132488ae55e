#pragma once

// What a radiometer on a dish reads from the sun: the system's own noise (the
// empty sky and the receiver) plus the sun's, seen through a Gaussian main
// beam, added in linear power as a detector adds them. The
// antenna's real direction differs from the rotator's reading by the pointing
// error, in the bridge's offset convention: a rotator that reads 2° more than
// the dish's real azimuth has an azimuth error of +2°.
//
// Plain C++, no Qt, no clock: the sun and the reading are given.

namespace heliotrope::radiometer {

struct SunBeam {
    double azimuthError = 0;    // degrees, reading minus real direction
    double elevationError = 0;  // degrees
    double beamwidth = 1.7;     // degrees, full width at half maximum, > 0
    double peak = 10;           // Y in dB: the sun over the baseline with the sun in the beam's centre
    double baseline = -30;      // dB with the sun far from the beam
};

// The noiseless power in dB for the rotator reading (azimuth, elevation, in
// degrees, in any azimuth range: -180, 0 and 360 are the same directions) and
// the sun's true direction (degrees):
//   baseline + 10 log10(1 + (Y − 1) × exp(−4 ln 2 × (separation / beamwidth)²)),  Y = 10^(peak / 10),
// separation being the angle on the sky between the sun and where the dish
// really points (the reading minus the error).
double sunBeamPower(const SunBeam& beam, double readingAzimuth, double readingElevation, double sunAzimuth,
                    double sunElevation);

}  // namespace heliotrope::radiometer
