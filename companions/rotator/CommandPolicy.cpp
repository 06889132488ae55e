#include "companions/rotator/CommandPolicy.h"

#include "companions/rotator/RotatorReading.h"

#include <algorithm>
#include <cmath>

namespace heliotrope::rotator {

namespace {

constexpr long long kShortestWaitMs = 1000;
constexpr double kOnTheWayDegrees = 1.0;
constexpr long long kLongestRepeatWaitMs = 5 * 60 * 1000;
constexpr long long kLongestRefusedWaitMs = 60 * 1000;

}  // namespace

CommandPolicy::CommandPolicy(double thresholdDegrees, long long minIntervalMs)
    : m_threshold(thresholdDegrees)
    , m_minIntervalMs(minIntervalMs)
{
}

bool CommandPolicy::beyond(const RotatorPosition& a, const RotatorPosition& b, double threshold)
{
    return std::abs(a.azimuth - b.azimuth) > threshold || std::abs(a.elevation - b.elevation) > threshold;
}

bool CommandPolicy::stalledSinceCommand(const RotatorProfile& rotator) const
{
    return m_sinceCommand.still(rotator.stillSpan());
}

bool CommandPolicy::shouldCommand(const RotatorPosition& target, const std::optional<RotatorPosition>& present,
                                  long long nowMs, const RotatorProfile& rotator) const
{
    const double threshold = thresholdFor(rotator);
    if (!present || !beyond(*present, target, threshold) || rotator.sameCommand(*present, target))
        return false;
    if (nowMs < m_refusedUntilMs)
        return false;
    if (m_lastCommandMs && nowMs - *m_lastCommandMs < m_minIntervalMs)
        return false;
    // A rotator on its way is not turned aside for less than the coarsest
    // step any controller takes: it would be told the same degree again.
    if (m_lastTarget && !stalledSinceCommand(rotator) && !beyond(*m_lastTarget, target, std::max(threshold, kOnTheWayDegrees)))
        return false;
    if (m_lastTarget && (!beyond(*m_lastTarget, target, threshold) || rotator.sameCommand(*m_lastTarget, target))) {
        // Already commanded: only a rotator that has stopped short is told again,
        // and not one that stopped as near as it gets to what it was told.
        if (!m_accepted || !stalledSinceCommand(rotator))
            return false;
        // Stopped within a dead band's reach of it, the rotator has answered
        // this command: telling it again changes nothing. Only a rotator held
        // further off (stopped by hand, restarted) is told again.
        if (!beyond(*m_sinceCommand.latest(), rotator.rounded(*m_lastTarget), rotator.stepOrFinest() + RotatorProfile::kLargestDeadBand))
            return false;
        if (nowMs - *m_lastCommandMs < m_repeatWaitMs)
            return false;
    }
    return true;
}

void CommandPolicy::commanded(const RotatorPosition& target, long long nowMs)
{
    const bool repeat = m_lastTarget && !beyond(*m_lastTarget, target, m_threshold);
    const long long firstRepeatWait = std::max(m_minIntervalMs, kShortestWaitMs);
    m_repeatWaitMs = repeat ? std::min(std::max(m_repeatWaitMs, firstRepeatWait) * 2, kLongestRepeatWaitMs)
                            : firstRepeatWait;
    m_lastTarget = target;
    m_lastCommandMs = nowMs;
    m_accepted = false;
    m_sinceCommand.reset();
}

void CommandPolicy::answered(bool accepted, long long nowMs)
{
    if (accepted) {
        m_accepted = true;
        m_refusedWaitMs = 0;
        return;
    }
    // Refused: the rotator is not on its way anywhere.
    m_lastTarget.reset();
    m_accepted = false;
    m_refusedWaitMs = m_refusedWaitMs == 0 ? std::max(m_minIntervalMs, kShortestWaitMs)
                                           : std::min(m_refusedWaitMs * 2, kLongestRefusedWaitMs);
    m_refusedUntilMs = nowMs + m_refusedWaitMs;
}

void CommandPolicy::positionRead(const RotatorPosition& position, long long nowMs)
{
    // Until a P is accepted the rotator is on its way nowhere.
    if (!m_accepted)
        return;
    m_sinceCommand.reading(position, static_cast<double>(nowMs) / 1000.0);
}

void CommandPolicy::reset()
{
    *this = CommandPolicy(m_threshold, m_minIntervalMs);
}

}  // namespace heliotrope::rotator
