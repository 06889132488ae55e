#include "companions/radiometer/SunBeamModel.h"

#include "companions/sky/TrueSun.h"

#include <cmath>

namespace heliotrope::radiometer {

double sunBeamPower(const SunBeam& beam, double readingAzimuth, double readingElevation, double sunAzimuth,
                    double sunElevation)
{
    const double pointedAzimuth = readingAzimuth - beam.azimuthError;
    const double pointedElevation = readingElevation - beam.elevationError;
    const double separation = sky::skySeparation(pointedAzimuth, pointedElevation, sunAzimuth, sunElevation);
    const double ratio = separation / beam.beamwidth;
    const double gain = std::exp(-4.0 * std::log(2.0) * ratio * ratio);
    // The sun's noise adds to the system's in linear power; the detector reads its sum in dB.
    const double y = std::pow(10.0, beam.peak / 10.0);
    return beam.baseline + 10.0 * std::log10(1.0 + (y - 1.0) * gain);
}

}  // namespace heliotrope::radiometer
