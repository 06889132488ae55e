#include "companions/controllers/DeadBandRotator.h"

#include <cmath>

namespace heliotrope::controllers {

DeadBandRotator::DeadBandRotator(double azimuthRate, double elevationRate, double deadBand, ControllerAngles start, long long nowMs)
    : m_deadBand(deadBand)
    , m_azimuth{azimuthRate, start.azimuth, start.azimuth, false}
    , m_elevation{elevationRate, start.elevation, start.elevation, false}
    , m_lastMs(nowMs)
{
}

void DeadBandRotator::Axis::aim(double newTarget, double deadBand)
{
    target = newTarget;
    // The controller compares where the axis stands with the target: within
    // the dead band it leaves the motor off, or cuts it if running.
    driven = std::abs(target - position) > deadBand;
}

void DeadBandRotator::Axis::advance(double seconds, double deadBand)
{
    if (!driven)
        return;
    const double direction = target > position ? 1.0 : -1.0;
    // Where the controller cuts the motor: the near edge of the dead band.
    const double cutOff = target - direction * deadBand;
    const double step = rate * seconds;
    if (std::abs(cutOff - position) <= step) {
        position = cutOff;
        driven = false;
    } else {
        position += direction * step;
    }
}

ControllerAngles DeadBandRotator::position(long long nowMs)
{
    advanceTo(nowMs);
    return {m_azimuth.position, m_elevation.position};
}

bool DeadBandRotator::turning(long long nowMs)
{
    advanceTo(nowMs);
    return m_azimuth.driven || m_elevation.driven;
}

void DeadBandRotator::setTarget(ControllerAngles target, long long nowMs)
{
    advanceTo(nowMs);
    m_azimuth.aim(target.azimuth, m_deadBand);
    m_elevation.aim(target.elevation, m_deadBand);
}

void DeadBandRotator::stop(long long nowMs)
{
    advanceTo(nowMs);
    m_azimuth.aim(m_azimuth.position, m_deadBand);
    m_elevation.aim(m_elevation.position, m_deadBand);
}

void DeadBandRotator::advanceTo(long long nowMs)
{
    if (nowMs <= m_lastMs)
        return;
    const double seconds = static_cast<double>(nowMs - m_lastMs) / 1000.0;
    m_lastMs = nowMs;
    m_azimuth.advance(seconds, m_deadBand);
    m_elevation.advance(seconds, m_deadBand);
}

}  // namespace heliotrope::controllers
