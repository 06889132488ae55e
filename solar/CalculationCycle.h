#pragma once

#include "solar/CalculationState.h"
#include "solar/CycleView.h"
#include "solar/JstTime.h"

namespace solar {

// What one cycle did, for the window's status and for tests.
struct CycleOutcome {
    bool positionComputed = false;  // the observation point read and a finite position came out
    bool sunUp = false;             // elevation strictly greater than 0
    bool riseSetFound = false;      // the time the branch needs (sunset by day, sunrise by night)
    bool sent = false;              // a pointing message was handed to the link
    double elevationDeg = 0;        // the tick's pointing target (0 at night)
    double azimuthDeg = 0;
};

// One tick of the calculation timer: reads the observation point from the
// view, computes the sun for the JST clock reading `now`, shows the set-point,
// redraws the chart, runs the rise/set solver, draws the notice, parks the
// antenna at the next sunrise azimuth by night, and hands the set-point texts
// to the link.
//
// Nothing unusable ever reaches the boxes or the antenna: a box that does not
// hold a number, a position that is not finite, or a night without a computable
// sunrise fails that tick only. Its set-point boxes are emptied, the chart says
// why, and nothing is sent; the antenna stays where the last good tick put it.
CycleOutcome runCalculationCycle(CalculationState& state, const ClockReading& now, CycleView& view);

}  // namespace solar
