#pragma once

// What two positions of the rotator tell when set side by side.

#include "companions/rotator/RotatorPosition.h"

namespace heliotrope::rotator {

// Alike as rotctld reads them out: within a hundredth on each axis, the last
// digit it prints (older versions print six decimals of the same float). Two
// readings in a row alike: the rotator stands still, a creep of less than
// that between two readings being as good as none; a reading alike to a
// command: the rotator stands on it.
bool readingsAlike(const RotatorPosition& a, const RotatorPosition& b);

}  // namespace heliotrope::rotator
