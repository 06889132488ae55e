#pragma once

// The rotator behind a controller: two axes, each turning at its own rate
// towards its target, and each cut off by the controller as soon as it stands
// within the dead band of its target. So it stops short, on the side it came
// from, as a G-5500 under a GS-232 does; and a target within the dead band of
// where an axis stands does not start it. With no dead band it stops on its
// target, as the UDP simulator's antenna does. Time is given by the caller
// (milliseconds of a monotonic clock), so the motion can be checked exactly.

#include "companions/controllers/ProtocolCodec.h"

namespace heliotrope::controllers {

class DeadBandRotator {
public:
    // Rates in degrees per second, greater than 0; deadBand in degrees, 0 or
    // more. The rotator stands still at `start` at time nowMs.
    DeadBandRotator(double azimuthRate, double elevationRate, double deadBand, ControllerAngles start, long long nowMs);

    // Where it stands at nowMs; the motion up to then is applied. Times
    // earlier than the last one given are taken as that one.
    ControllerAngles position(long long nowMs);
    bool turning(long long nowMs);

    // A new target for both axes: the motion up to nowMs follows the old one.
    void setTarget(ControllerAngles target, long long nowMs);
    ControllerAngles target() const { return {m_azimuth.target, m_elevation.target}; }
    // Both motors off where the axes stand.
    void stop(long long nowMs);

private:
    struct Axis {
        double rate = 0;
        double position = 0;
        double target = 0;
        bool driven = false;
        void aim(double newTarget, double deadBand);
        void advance(double seconds, double deadBand);
    };
    void advanceTo(long long nowMs);

    double m_deadBand;
    Axis m_azimuth;
    Axis m_elevation;
    long long m_lastMs;
};

}  // namespace heliotrope::controllers
