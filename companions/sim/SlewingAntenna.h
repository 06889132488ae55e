#pragma once

namespace heliotrope::sim {

// The simulated antenna: two axes that turn towards the set-point at fixed
// rates, each on its own, and stop on it. Azimuth turns within 0 to 360 like
// the most common rotators, which have their stop at north: from 300 to 60 it
// turns back through south, never across north. Time is given by the caller
// (milliseconds of a monotonic clock), so the motion can be checked exactly.

struct AntennaAngles {
    double azimuth = 0;
    double elevation = 0;
};

class SlewingAntenna {
public:
    // Rates in degrees per second, both greater than 0. The antenna stands at
    // `start` at time `nowMs`, with the set-point on it.
    SlewingAntenna(double azimuthRate, double elevationRate, AntennaAngles start, long long nowMs);

    // Where the antenna stands at nowMs; the motion up to then is applied.
    // Times earlier than the last one given are taken as that one.
    AntennaAngles position(long long nowMs);

    // A new set-point: the motion up to nowMs follows the old one.
    void setTarget(AntennaAngles target, long long nowMs);
    AntennaAngles target() const { return m_target; }

private:
    void advanceTo(long long nowMs);

    double m_azimuthRate;
    double m_elevationRate;
    AntennaAngles m_position;
    AntennaAngles m_target;
    long long m_lastMs;
};

}  // namespace heliotrope::sim
