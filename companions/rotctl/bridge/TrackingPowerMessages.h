#pragma once

// What the bridge says of its watch on the receiver while it tracks
// (--watch-power), worded here alone: Japanese first, then English on the
// next line.

#include "companions/common/PointingRead.h"
#include "companions/flux/FluxDay.h"
#include "companions/record/StationRuns.h"

#include <QDate>

#include <QString>

#include <optional>

namespace heliotrope::rotctl::said {

QString watchingPower(const QString& source, double everyMinutes, double dwellSeconds, double offsetDegrees);
// The source reads in steps of `stepDecibels` (rigctld's whole dB): what the
// rounding does to the flux and to the bursts seen.
QString powerInSteps(double stepDecibels);
QString powerUnreadable(const QString& reason);
QString powerReadAgain(int missed);
// The rotator stands up to `reachDegrees` off the sun (its step, dead band
// and its readings' rounding), more than `offSunDegrees`.
QString rotatorTooCoarseForFlux(double reachDegrees, double offSunDegrees);
QString referenceUnreachable(const companions::SetPoint& sun);
QString referenceGivenUp(double seconds);
QString referenceTaken(double meanDecibels, double scatterPercent, int count);
// A reference read in steps: its error with the rounding, relative.
QString referenceTakenInSteps(double meanDecibels, double errorPercent, int count, double stepDecibels);
// The cold sky's power moved by `decibels` since the reference `minutes` before.
QString gainStepped(double decibels, double minutes);
QString readingsNotKept(const QString& problem, int held);
QString readingsKeptAgain(int kept);
QString readingsDropped(int dropped);
QString recordFromNewerProgram(const QString& path);

// The flux worked out from those readings.
QString scaleKind(flux::ScaleKind kind, bool english);
QString noFluxScale(const QString& refusal);
QString burstFound(const flux::FluxBurst& burst);
// The rule the flux watch looks for bursts by, said as it starts.
QString lookingForBursts(double everyMinutes, double sigma, double seconds);
QString fluxDayKept(const QDate& jstDay, const flux::FluxValue& daily, int bursts, const QString& source, const flux::FluxDay& worked);
QString fluxDayNotKept(const QDate& jstDay, const QString& problem);
QString runDuringBurst(const record::StationRun& run);
QString runsDuringBurstNotMarked(const QString& problem);

// For status.
QString statusOnReference(const companions::SetPoint& coldSky, double secondsLeft);
QString statusWatching(const QString& source, std::optional<double> latestDecibels, std::optional<double> ageSeconds,
                       const QString& nextReference, int readings, int references);
enum class WatchIdle { SunDown,
                       NoRotatorReading };
QString statusWatchIdle(const QString& source, WatchIdle why);
QString statusWatchFailing(const QString& reason, const QString& since);
QString statusFlux(const flux::FluxValue& daily, int bursts, const QString& source, const flux::FluxDay& worked);

}  // namespace heliotrope::rotctl::said
