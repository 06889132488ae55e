#pragma once

// A sun-noise run's figures with the day's own solar flux. A run measures Y;
// its G/T and expected Y are only as true as the flux they were worked out
// with, which the run takes from --flux, most often a station's usual value.
// Once the day's published flux is typed in (--set-flux), every run of that
// day is worked out again with it and marked so, and a run kept later that
// day takes it at once.

#include "companions/record/StationRuns.h"

namespace heliotrope::measure {

// The run with G/T from its own Y, frequency and dish at `fluxSfu` (none
// without them, or without a Y above 0 dB), its expected Y scaled from the
// flux it had, and the flux marked as typed for the day.
record::RecordedSunNoise withDayFlux(record::RecordedSunNoise run, double fluxSfu);

}  // namespace heliotrope::measure
