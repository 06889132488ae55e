#pragma once

// Which station the day's flux is worked out for, and on which scale: the
// choice the bridge makes at each JST day's end before it keeps the day, and
// the one the flux report makes for a day not kept yet, so that both stand
// on the same scale for the same instant.
//
// The scale is the G/T of the latest sun-noise run of the station's own (no
// rehearsal) at or before the instant whose flux was typed in for its day, at
// the frequency asked (within 1 %); its error is the run's Y's standard error
// over its repeats with the typed flux's own. The air is the typical air of
// the frequency. Without such a run there is no scale, and the answer says
// so: a G/T from an assumed flux would put the station's usual value into
// every day it works out.

#include "companions/flux/FluxScale.h"
#include "companions/record/StationRecord.h"
#include "companions/record/StationRuns.h"

#include <QDate>
#include <QString>

#include <optional>

namespace heliotrope::fluxstation {

struct FluxStationAsk {
    double atUtc = 0;                          // Unix UTC seconds: runs after it are not yet made
    double beamwidthDegrees = 0;               // full width at half maximum, above 0
    std::optional<double> frequencyMegahertz;  // none: the chosen run's
    double pointingErrorDegrees = 0;           // rms an axis, at least 0
};

enum class ChoiceRefusal {
    None,
    NoTypedRun,           // no sun-noise run on a day whose flux was typed in (at the frequency, when asked)
    NoFrequency,          // none asked and the run has none
    FrequencyOutsideAir,  // no typical air known at the frequency
    BadFigures,           // the beamwidth, the pointing error or the run's figures out of range
};

struct FluxStationChoice {
    std::optional<flux::FluxStation> station;
    ChoiceRefusal refusal = ChoiceRefusal::None;
    std::optional<record::RecordedSunNoise> run;  // the run the scale came from
    double runSunElevationDegrees = 0;
    // Where the scale came from (Japanese, newline, English), as the record
    // keeps it beside the day; or why there is none.
    QString source;
};

// The typed flux's own relative error: a published daily value brought to
// the station's frequency.
inline constexpr double kTypedFluxRelativeError = 0.03;
// A run at a frequency within this share of the one asked serves it.
inline constexpr double kFrequencyTolerance = 0.01;

FluxStationChoice chooseFluxStation(const record::StationRecord& record, const FluxStationAsk& ask);

// The sun's transit over `site` during a JST day, Unix UTC seconds: the
// instant the day's values at fixed times are counted from.
double sunTransitUtc(const QDate& jstDay, const record::RecordedSite& site);

}  // namespace heliotrope::fluxstation
