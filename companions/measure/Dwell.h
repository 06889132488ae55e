#pragma once

// What the engine measured at one point, kept whole from the engine through
// the run to the fit, the report and the station's record.

#include "companions/rotator/RotatorPosition.h"

namespace heliotrope::measure {

struct Dwell {
    double power = 0;   // dB, 10 log10 of the mean linear power of the readings
    double spread = 0;  // dB, standard deviation of the readings
    int count = 0;
    double utc = 0;                    // seconds since 1970, the middle of the readings
    rotator::RotatorPosition reading;  // where the rotator stood meanwhile, its own terms (mean of its readings)
    // Where the dish stood, its own terms: the reading, or, where the reading
    // cannot show the dead band (a whole-degree controller that stopped 0.4°
    // short reads the degree it was sent), the command less the dead band on
    // the side the rotator came from; with a dead band neither given nor
    // seen, the command less half the most that may hide.
    rotator::RotatorPosition position;
    // How well that place is known, degrees on each axis, one standard
    // deviation: the point's own (half a step where it is a reading taken as
    // it is), and what every point approached alike shares, so that
    // averaging points does not shrink it (a dead band not seen; a reading's
    // grid off a stop it did see).
    struct AxisUncertainty {
        double azimuth = 0;
        double elevation = 0;
        double largest() const { return azimuth > elevation ? azimuth : elevation; }
    };
    AxisUncertainty pointUncertainty;
    AxisUncertainty sharedUncertainty;
    // The most of a dead band that may hide where the readings cannot show
    // it, when it was counted (degrees; 0: not counted).
    double unseenDeadBand = 0;
};

}  // namespace heliotrope::measure
