#pragma once

// Whether the rotator does what it is told. A rotator that takes commands
// and does not move (a motor, a fuse, ice on the mast) and one whose
// controller's reading no longer changes while the rotator is told
// elsewhere (a frozen controller) look alike from rotctld's side: readings
// that stay alike while the last command accepted lies beyond the rotator's
// reach. That is said once it has lasted kNotFollowingSeconds, and again
// when the reading moves (by more than the one step a reading may flicker).
//
// Times are milliseconds of any one clock; positions are the rotator's own terms.

#include "companions/rotator/RotatorPosition.h"
#include "companions/rotator/RotatorProfile.h"

#include <optional>

namespace heliotrope::rotator {

class MotionWatch {
public:
    // Long enough for any rotator to have started turning, short enough for
    // an unattended station to say it within a minute.
    static constexpr double kNotFollowingSeconds = 30;

    // rotctld accepted a P for `sent`.
    void commanded(const RotatorPosition& sent, long long nowMs);
    // A stop or a park: no position is expected of the rotator now.
    void halted();
    // Forgets everything: a new connection, a rotator maybe restarted.
    void reset();

    enum class Change { None,
                        NotFollowing,
                        FollowingAgain };
    Change reading(const RotatorPosition& reading, long long nowMs, const RotatorProfile& profile);

    bool notFollowing() const { return m_notFollowing; }
    // While not following: what it was told, what it reads, since when.
    const std::optional<RotatorPosition>& lastCommanded() const { return m_commanded; }
    const std::optional<RotatorPosition>& lastReading() const { return m_still; }
    long long toldSinceMs() const { return m_toldSinceMs.value_or(0); }

private:
    std::optional<RotatorPosition> m_commanded;
    std::optional<RotatorPosition> m_still;  // the reading, alike since it was first read
    std::optional<long long> m_toldSinceMs;  // told to be elsewhere, and still, since
    bool m_notFollowing = false;
};

}  // namespace heliotrope::rotator
