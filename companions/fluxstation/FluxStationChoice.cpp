#include "companions/fluxstation/FluxStationChoice.h"

#include "companions/fluxstation/FluxStationMessages.h"
#include "companions/record/FluxRecord.h"
#include "companions/sky/SunTransit.h"
#include "companions/sky/TrueSun.h"

#include <cmath>
#include <variant>

namespace heliotrope::fluxstation {

namespace {

bool finite(double value)
{
    return std::isfinite(value);
}

double utcOf(const QDateTime& when)
{
    return static_cast<double>(when.toMSecsSinceEpoch()) / 1000.0;
}

// A run the scale may stand on: the station's own, with a G/T worked out
// from the day's typed flux, at the frequency asked.
bool serves(const record::RecordedSunNoise& run, const FluxStationAsk& ask)
{
    if (run.rehearsal() || run.duringBurst || !run.found || !run.gOverTDecibelsPerKelvin || !run.yDecibels
        || run.fluxSource != record::FluxSource::TypedForTheDay || !run.utc.isValid() || utcOf(run.utc) > ask.atUtc)
        return false;
    if (!ask.frequencyMegahertz)
        return true;
    return run.frequencyMegahertz
        && std::fabs(*run.frequencyMegahertz - *ask.frequencyMegahertz) <= kFrequencyTolerance * *ask.frequencyMegahertz;
}

// G/T's error in dB: Y's standard error over the repeats carried through
// G/T ∝ (Y − 1), and the typed flux's own.
double gOverTErrorDecibels(const record::RecordedSunNoise& run)
{
    const double y = std::pow(10.0, *run.yDecibels / 10.0);
    const int repeats = std::max<int>(1, static_cast<int>(run.repeats.size()));
    const double yStandardError = run.yDecibelsDeviation.value_or(0) / std::sqrt(static_cast<double>(repeats));
    const double fromY = y > 1 ? yStandardError * y / (y - 1) : 0;
    const double fromFlux = 10.0 * std::log10(1.0 + kTypedFluxRelativeError);
    return std::hypot(fromY, fromFlux);
}

FluxStationChoice refused(ChoiceRefusal refusal, const FluxStationAsk& ask, const std::optional<record::RecordedSunNoise>& run = {})
{
    FluxStationChoice choice;
    choice.refusal = refusal;
    choice.run = run;
    choice.source = said::refusal(refusal, ask, run ? run->frequencyMegahertz : std::nullopt);
    return choice;
}

sky::Site siteOf(const record::RecordedSite& site)
{
    return {site.latitude, site.longitude, site.height};
}

bool serves(const record::RecordedSystemTemperature& run, const FluxStationAsk& ask)
{
    if (run.rehearsal() || !run.found || !run.systemKelvin || !run.utc.isValid() || utcOf(run.utc) > ask.atUtc)
        return false;
    return !ask.frequencyMegahertz
        || std::fabs(run.frequencyMegahertz - *ask.frequencyMegahertz) <= kFrequencyTolerance * *ask.frequencyMegahertz;
}

flux::ScaleKind scaleKindOf(record::SystemTemperatureKind kind)
{
    return kind == record::SystemTemperatureKind::HotCold ? flux::ScaleKind::HotCold : flux::ScaleKind::NoiseSource;
}

// The station on a system temperature found on cold sky.
FluxStationChoice onSystemTemperature(const record::RecordedSystemTemperature& run, const FluxStationAsk& ask)
{
    const double frequency = ask.frequencyMegahertz.value_or(run.frequencyMegahertz);
    const std::optional<flux::Air> air = flux::typicalAir(frequency);
    FluxStationChoice choice;
    if (!air) {
        choice = refused(ChoiceRefusal::FrequencyOutsideAir, FluxStationAsk{ask.atUtc, ask.beamwidthDegrees, frequency, ask.pointingErrorDegrees});
        choice.systemTemperatureRun = run;
        return choice;
    }
    const flux::Aperture aperture{run.dishDiameterMetres, run.efficiency, run.efficiencyError};
    const double relativeError = run.systemKelvin->error / run.systemKelvin->value;
    const flux::ScaleResult scale = flux::scaleFromSystemTemperature(scaleKindOf(run.kind), run.systemKelvin->value, relativeError,
                                                                     aperture, run.coldElevation);
    if (!scale.scale) {
        choice = refused(ChoiceRefusal::BadFigures, ask);
        choice.systemTemperatureRun = run;
        return choice;
    }
    choice.station = flux::FluxStation{frequency, ask.beamwidthDegrees, ask.pointingErrorDegrees, *scale.scale, *air};
    choice.systemTemperatureRun = run;
    choice.source = said::systemTemperatureSource(run, scale.scale->relativeError, frequency);
    return choice;
}

}  // namespace

FluxStationChoice chooseFluxStation(const record::StationRecord& record, const FluxStationAsk& ask)
{
    if (!finite(ask.atUtc) || !finite(ask.beamwidthDegrees) || ask.beamwidthDegrees <= 0 || ask.beamwidthDegrees > 90
        || !finite(ask.pointingErrorDegrees) || ask.pointingErrorDegrees < 0
        || (ask.frequencyMegahertz && !(finite(*ask.frequencyMegahertz) && *ask.frequencyMegahertz > 0)))
        return refused(ChoiceRefusal::BadFigures, ask);
    std::optional<record::RecordedSunNoise> chosen;
    for (const record::StationRun& run : record.history()) {
        const auto* sunNoise = std::get_if<record::RecordedSunNoise>(&run);
        // history() is oldest first: the last that serves is the latest.
        if (sunNoise && serves(*sunNoise, ask))
            chosen = *sunNoise;
    }
    std::optional<record::RecordedSystemTemperature> measured;
    for (const record::RecordedSystemTemperature& run : record.systemTemperatures())
        if (serves(run, ask))
            measured = run;  // oldest first: the last that serves is the latest
    if (measured && (!chosen || utcOf(measured->utc) >= utcOf(chosen->utc)))
        return onSystemTemperature(*measured, ask);
    if (!chosen)
        return refused(ChoiceRefusal::NoTypedRun, ask);
    const std::optional<double> frequency = ask.frequencyMegahertz ? ask.frequencyMegahertz : chosen->frequencyMegahertz;
    if (!frequency)
        return refused(ChoiceRefusal::NoFrequency, ask, chosen);
    const std::optional<flux::Air> air = flux::typicalAir(*frequency);
    if (!air)
        return refused(ChoiceRefusal::FrequencyOutsideAir, FluxStationAsk{ask.atUtc, ask.beamwidthDegrees, frequency, ask.pointingErrorDegrees}, chosen);
    // The run's G/T was taken through the air at the sun's elevation then.
    const sky::TrueSunPosition sun = sky::trueSunTopocentric(utcOf(chosen->utc), siteOf(chosen->site));
    if (sun.status == sky::EphemerisStatus::Failed || !(sun.elevation > 0))
        return refused(ChoiceRefusal::BadFigures, ask, chosen);
    flux::GOverTCalibration calibration;
    calibration.gOverTDecibelsPerKelvin = *chosen->gOverTDecibelsPerKelvin;
    calibration.errorDecibels = gOverTErrorDecibels(*chosen);
    calibration.elevationDegrees = sun.elevation;
    calibration.dayFluxTyped = true;
    const flux::ScaleResult scale = flux::scaleFromGOverT(calibration, *frequency);
    if (!scale.scale)
        return refused(ChoiceRefusal::BadFigures, ask, chosen);
    FluxStationChoice choice;
    choice.station = flux::FluxStation{*frequency, ask.beamwidthDegrees, ask.pointingErrorDegrees, *scale.scale, *air};
    choice.run = chosen;
    choice.runSunElevationDegrees = sun.elevation;
    choice.source = said::scaleSource(*chosen, calibration.errorDecibels, *frequency, sun.elevation);
    return choice;
}

double sunTransitUtc(const QDate& jstDay, const record::RecordedSite& site)
{
    const double start = record::jstDayStartUtc(jstDay);
    return sky::sunTransitUtc(start, start + 86400, siteOf(site));
}

}  // namespace heliotrope::fluxstation
