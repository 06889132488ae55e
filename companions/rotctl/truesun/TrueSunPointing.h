#pragma once

// What the bridge commands by day in true-sun mode. The window's pointing
// message stays the trigger and the judge: a day message (elevation above 0)
// is replaced by the real sun for the site and instant, unless the two are so
// far apart that the site or the clock must be wrong, or ERFA cannot compute
// the instant; then the window's set-point is commanded as it came. A night
// message (the parking set-point) always passes through.
//
// Each change of state is said once, in Japanese and English: the guard
// tripping and clearing, ERFA's "dubious year" (a warning, once per run),
// ERFA refusing an instant and computing again.

#include "companions/common/PointingRead.h"
#include "companions/sky/TrueSun.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

namespace heliotrope::rotctl {

struct TrueSunDecision {
    companions::SetPoint target;                              // to command, in the sky's terms
    std::optional<heliotrope::sky::TrueSunPosition> trueSun;  // computed by day, none at night or on failure
    std::optional<double> windowMinusTrue;                    // degrees on the sky, 0 to 180, with trueSun
    bool windowCommanded = true;                              // night, guard or failure: the window's set-point
    QStringList notices;                                      // lines to say now, each in both languages
};

class TrueSunPointing {
public:
    // More than this between the window's set-point and the real sun (degrees
    // on the sky) trips the guard: the window's model never errs by more than
    // 1.9°. It clears below kGuardClearDegrees, so that a gap hovering at the
    // limit is not said every message.
    static constexpr double kGuardTripDegrees = 3.0;
    static constexpr double kGuardClearDegrees = 2.5;

    TrueSunPointing(const heliotrope::sky::Site& site, heliotrope::sky::Refraction refraction,
                    const heliotrope::sky::Atmosphere& atmosphere);

    // window: the set-point of the latest message; utcMilliseconds: the
    // instant the sun is commanded for, since 1970-01-01 00:00 UTC;
    // windowUtcMilliseconds: the window's own instant, which its set-point is
    // judged at (the same unless a test shifts the sun's clock).
    TrueSunDecision decide(const companions::SetPoint& window, qint64 utcMilliseconds,
                           std::optional<qint64> windowUtcMilliseconds = std::nullopt);

    bool guardTripped() const { return m_guardTripped; }

private:
    heliotrope::sky::Site m_site;
    heliotrope::sky::Refraction m_refraction;
    heliotrope::sky::Atmosphere m_atmosphere;
    heliotrope::sky::TrueSunTracker m_tracker;
    bool m_guardTripped = false;
    bool m_dubiousSaid = false;
    bool m_failing = false;
};

}  // namespace heliotrope::rotctl
