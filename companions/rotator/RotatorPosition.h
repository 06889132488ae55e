#pragma once

// The rotator's own terms: where it points and how far it may turn, in its
// own coordinates, as it reads them and is told them.

namespace heliotrope::rotator {

struct RotatorLimits {
    double minAzimuth = 0;
    double maxAzimuth = 360;
    double minElevation = 0;
    double maxElevation = 90;
};

struct RotatorPosition {
    double azimuth = 0;
    double elevation = 0;
};

}  // namespace heliotrope::rotator
