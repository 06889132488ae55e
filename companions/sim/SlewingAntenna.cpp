#include "companions/sim/SlewingAntenna.h"

#include <cmath>

namespace heliotrope::sim {

namespace {

double stepTowards(double from, double to, double maxStep)
{
    const double remaining = to - from;
    if (std::abs(remaining) <= maxStep)
        return to;
    return from + std::copysign(maxStep, remaining);
}

}  // namespace

SlewingAntenna::SlewingAntenna(double azimuthRate, double elevationRate, AntennaAngles start, long long nowMs)
    : m_azimuthRate(azimuthRate)
    , m_elevationRate(elevationRate)
    , m_position(start)
    , m_target(start)
    , m_lastMs(nowMs)
{
}

AntennaAngles SlewingAntenna::position(long long nowMs)
{
    advanceTo(nowMs);
    return m_position;
}

void SlewingAntenna::setTarget(AntennaAngles target, long long nowMs)
{
    advanceTo(nowMs);
    m_target = target;
}

void SlewingAntenna::advanceTo(long long nowMs)
{
    if (nowMs <= m_lastMs)
        return;
    const double seconds = static_cast<double>(nowMs - m_lastMs) / 1000.0;
    m_lastMs = nowMs;
    m_position.azimuth = stepTowards(m_position.azimuth, m_target.azimuth, m_azimuthRate * seconds);
    m_position.elevation = stepTowards(m_position.elevation, m_target.elevation, m_elevationRate * seconds);
}

}  // namespace heliotrope::sim
