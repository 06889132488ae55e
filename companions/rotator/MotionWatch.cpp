#include "companions/rotator/MotionWatch.h"

#include <cmath>

namespace heliotrope::rotator {

namespace {

// A reading that flickers by one step (a potentiometer on a boundary) is
// still where it was; one that has gone two steps has moved.
bool alike(const RotatorPosition& a, const RotatorPosition& b, double step)
{
    const double flicker = step * 1.5;
    return std::abs(a.azimuth - b.azimuth) < flicker && std::abs(a.elevation - b.elevation) < flicker;
}

}  // namespace

void MotionWatch::commanded(const RotatorPosition& sent, long long nowMs)
{
    m_commanded = sent;
    if (!m_toldSinceMs)
        m_toldSinceMs = nowMs;
}

void MotionWatch::halted()
{
    m_commanded.reset();
    m_toldSinceMs.reset();
}

void MotionWatch::reset()
{
    *this = MotionWatch();
}

MotionWatch::Change MotionWatch::reading(const RotatorPosition& reading, long long nowMs, const RotatorProfile& profile)
{
    const bool arrived = m_commanded && profile.within(reading, *m_commanded);
    if (!m_still || !alike(*m_still, reading, profile.stepOrFinest())) {
        // It moves: whatever it was told, it is on its way from here.
        m_still = reading;
        m_toldSinceMs = m_commanded && !arrived ? std::optional(nowMs) : std::nullopt;
        if (m_notFollowing) {
            m_notFollowing = false;
            return Change::FollowingAgain;
        }
        return Change::None;
    }
    if (!m_commanded || arrived) {
        m_toldSinceMs.reset();
        return Change::None;
    }
    if (!m_toldSinceMs)
        m_toldSinceMs = nowMs;
    if (!m_notFollowing && static_cast<double>(nowMs - *m_toldSinceMs) >= kNotFollowingSeconds * 1000.0) {
        m_notFollowing = true;
        return Change::NotFollowing;
    }
    return Change::None;
}

}  // namespace heliotrope::rotator
