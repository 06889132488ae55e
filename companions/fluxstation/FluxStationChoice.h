#pragma once

// Which station the day's flux is worked out for, and on which scale: the
// choice the bridge makes at each JST day's end before it keeps the day, and
// the one the flux report makes for a day not kept yet, so that both stand
// on the same scale for the same instant.
//
// The scale is the latest of the station's own calibrations (no rehearsal)
// at or before the instant, at the frequency asked (within 1 %), of three
// kinds: the G/T of a sun-noise run whose flux was typed in for its day (its
// error the run's Y's standard error over its repeats with the typed flux's
// own), or a system temperature found on cold sky, hot/cold or with a noise
// source (its error carried with the aperture efficiency's, the dish and η
// as the run was told them). Each measures the same receiver on the same
// dish: the latest stands for it as it is now, whichever kind it is. The
// air is the typical air of the frequency. Without any there is no scale,
// and the answer says so: a G/T from an assumed flux would put the station's
// usual value into every day it works out.

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
    NoTypedRun,           // no sun-noise run on a day whose flux was typed in, nor a system temperature (at the frequency, when asked)
    NoFrequency,          // none asked and the run has none
    FrequencyOutsideAir,  // no typical air known at the frequency
    BadFigures,           // the beamwidth, the pointing error or the run's figures out of range
};

struct FluxStationChoice {
    std::optional<flux::FluxStation> station;
    ChoiceRefusal refusal = ChoiceRefusal::None;
    std::optional<record::RecordedSunNoise> run;  // the sun-noise run the scale came from, for a G/T
    double runSunElevationDegrees = 0;
    // The system temperature run the scale came from, for hot/cold or a noise source.
    std::optional<record::RecordedSystemTemperature> systemTemperatureRun;
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
