#pragma once

// The sun's transit: the instant it stands highest between two instants,
// for the values a flux day gives at fixed times from it.

#include "companions/sky/TrueSun.h"

namespace heliotrope::sky {

// The instant (Unix UTC s) of the sun's highest elevation at `site` between
// `fromUtc` and `toUtc` (a day, or part of one), to within a second: a
// minute's scan, then the best minute refined. Geometric elevation:
// refraction lifts the sun most near the horizon and would move the
// highest point of a day whose sun stays low.
double sunTransitUtc(double fromUtc, double toUtc, const Site& site);

}  // namespace heliotrope::sky
