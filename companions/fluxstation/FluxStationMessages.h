#pragma once

// The flux station choice's words: where the scale came from, and why there
// is none. Worded here and only here, Japanese, newline, English.

#include "companions/fluxstation/FluxStationChoice.h"

#include <QString>

namespace heliotrope::fluxstation::said {

// "G/T 12.34 ± 0.14 dB/K from the sun-noise run of 2026-12-10 03:00 UTC ...".
QString scaleSource(const record::RecordedSunNoise& run, double gOverTErrorDecibels, double frequencyMegahertz,
                    double sunElevationDegrees);
// "hot/cold: Tsys 81.2 ± 1.4 K of 2026-12-10 03:00 UTC ... (scale ± 9.3 %)".
QString systemTemperatureSource(const record::RecordedSystemTemperature& run, double scaleRelativeError, double frequencyMegahertz);
// Why no station could be chosen; `ask` for the frequency and the instant asked.
QString refusal(ChoiceRefusal refusal, const FluxStationAsk& ask, const std::optional<double>& runFrequencyMegahertz);

}  // namespace heliotrope::fluxstation::said
