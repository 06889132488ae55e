#pragma once

// A direction beside the sun, as both measurements place their points: so
// many degrees of cross-elevation (along the great circle through the sun
// parallel to the horizon: Δaz = Δxel / cos el) and of elevation from it.
// Near the zenith 1 / cos el grows without bound; it is held at 10 (el 84°),
// where no measurement on the sun starts.

#include "companions/common/PointingRead.h"

namespace heliotrope::measure {

// Degrees; the azimuth returned is 0 to 360.
companions::SetPoint besideTheSun(double sunAzimuth, double sunElevation, double crossElevation, double elevation);

}  // namespace heliotrope::measure
