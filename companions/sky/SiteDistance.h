#pragma once

// How far apart two sites are on the ground: whether a saved calibration,
// a pointing model or a recorded scan belongs to this station's mount.

#include "companions/sky/TrueSun.h"

namespace heliotrope::sky {

// Kilometres along the ground, on a sphere: enough to tell one station from
// another, the height set aside.
double kilometresBetween(const Site& a, const Site& b);

}  // namespace heliotrope::sky
