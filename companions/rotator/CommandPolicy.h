#pragma once

// When to command the rotator. The window sends a set-point every 750 ms and
// the sun moves a fraction of a degree a minute, so commanding every message
// would send thousands of P an hour, each one a start and stop of the motors
// for most rotators. A P is sent only when it moves the rotator by more than
// the threshold, and never sooner than the minimum interval after the last one.
//
// Times are milliseconds of a monotonic clock, given by the caller.

#include "companions/rotator/RotatorGeometry.h"
#include "companions/rotator/RotatorProfile.h"
#include "companions/rotator/RotatorReading.h"

#include <algorithm>
#include <optional>

namespace heliotrope::rotator {

class CommandPolicy {
public:
    CommandPolicy(double thresholdDegrees, long long minIntervalMs);

    // Whether to send P for `target` (rotator coordinates) now, with the
    // rotator last read at `present`. No P:
    // - before the rotator has been read on this connection;
    // - while it is within the threshold of the target on both axes;
    // - sooner than the minimum interval after the last P, or while a refused
    //   P's back-off runs;
    // - while the rotator is on its way to a target within the threshold of
    //   this one (or within a degree: the coarsest step a controller takes);
    // - once it has stopped within its step and the largest dead band (2°) of
    //   the command: it has answered it. Should it stop further off (a
    //   rotator restarted or stopped by hand), the same target is sent again
    //   once the readings after the command have stood still, with the wait between such
    //   repeats doubling so that it is not commanded every few seconds all night.
    // With the rotator's step and dead band known, the threshold is at least
    // half the step plus the dead band, and no P goes out that the controller
    // would take as the one it last answered by stopping within that reach:
    // no stream of identical commands to a whole-degree controller.
    bool shouldCommand(const RotatorPosition& target, const std::optional<RotatorPosition>& present, long long nowMs,
                       const RotatorProfile& rotator = RotatorProfile()) const;
    // The threshold in force for this rotator.
    double thresholdFor(const RotatorProfile& rotator) const { return std::max(m_threshold, rotator.reach()); }

    // A P for `target` was sent at nowMs.
    void commanded(const RotatorPosition& target, long long nowMs);
    // rotctld answered it: accepted (RPRT 0) or refused (anything else). A
    // refused P is retried with back-off: the minimum interval, doubling up to
    // a minute.
    void answered(bool accepted, long long nowMs);
    // A reading of the rotator asked for after the last P was answered,
    // taken at nowMs.
    void positionRead(const RotatorPosition& position, long long nowMs);
    // A new connection: the rotator may have been restarted; forget the past.
    void reset();

    double threshold() const { return m_threshold; }

private:
    static bool beyond(const RotatorPosition& a, const RotatorPosition& b, double threshold);
    bool stalledSinceCommand(const RotatorProfile& rotator) const;

    double m_threshold;
    long long m_minIntervalMs;

    std::optional<RotatorPosition> m_lastTarget;  // of the last accepted (or pending) P
    std::optional<long long> m_lastCommandMs;
    bool m_accepted = false;       // the last P was accepted
    long long m_repeatWaitMs = 0;  // wait before the next repeat of the same target
    long long m_refusedUntilMs = 0;
    long long m_refusedWaitMs = 0;
    // Readings taken since the last P was accepted.
    Stillness m_sinceCommand;
};

}  // namespace heliotrope::rotator
