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
    return beam.baseline + beam.peak * std::exp(-4.0 * std::log(2.0) * ratio * ratio);
}

}  // namespace heliotrope::radiometer
