#pragma once

// The rotator as a measurement borrows it: the bridge keeps the connection to
// rotctld and the rotator's frame, and lends the rotator for the length of a
// run. While lent, the bridge sends no P of its own; given back, it tracks
// its set-point again at once.

#include "companions/hamlib/RotctldClient.h"
#include "companions/rotator/RotatorGeometry.h"
#include "companions/rotator/RotatorProfile.h"

namespace heliotrope::measure {

class RotatorLender {
public:
    virtual ~RotatorLender() = default;
    virtual hamlib::RotctldClient& rotctld() = 0;
    // Range, limits (once rotctld is connected) and the offsets tracking applies.
    virtual const rotator::RotatorFrame& frame() const = 0;
    // The rotator's step, dead band, rates and rounding, learnt from every
    // reading and every P answered before the engine hears of them.
    virtual const rotator::RotatorProfile& rotatorProfile() const = 0;
    virtual void lendRotator() = 0;
    virtual void takeRotatorBack() = 0;
};

}  // namespace heliotrope::measure
