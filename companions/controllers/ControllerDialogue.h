#pragma once

// A controller at work, without the line: the bytes rotctld writes go in, the
// rotator turns as the controller makes of them, and what the controller
// writes back comes out. The clock is the caller's (milliseconds of a
// monotonic clock), so that a test can run it byte by byte.

#include "companions/controllers/ControllerModel.h"
#include "companions/controllers/DeadBandRotator.h"
#include "companions/controllers/ProtocolCodec.h"

#include <memory>
#include <vector>

namespace heliotrope::controllers {

struct Exchange {
    ControllerRequest request;
    QByteArray answer;  // what goes back on the line, maybe nothing
    // For a set-point: the command as read (an axis it leaves out keeps its
    // target), the target the rotator turns to (in the controller's steps,
    // within its limits), whether the command was within the limits, and
    // whether the controller refused it.
    ControllerAngles commanded;
    ControllerAngles target;
    bool withinLimits = true;
    bool refused = false;
};

// A Yaesu G-5500 by default: 360° of azimuth in about a minute, 180° of
// elevation in about 67 s. Its dead band, 0.4°, is under half a whole
// degree: a GS-232 then reads the degree it was sent once the rotator has
// stopped short of it, as a well-adjusted G-5500 does, while a controller
// reading tenths shows how short it stopped.
struct MotionSettings {
    double azimuthRate = 6.0;    // degrees per second
    double elevationRate = 2.7;  // degrees per second
    double deadBand = 0.4;       // degrees
};

// How a rotator fails as real ones do: its motors no longer turn though the
// controller takes every command (a motor, a fuse, ice on the mast), or the
// controller's reading no longer changes though the rotator turns (a frozen
// controller).
enum class RotatorFault { None,
                          Stuck,
                          Frozen };

class ControllerDialogue {
public:
    ControllerDialogue(const ControllerModel& model, const MotionSettings& motion, ControllerAngles start, long long nowMs);

    std::vector<Exchange> receive(const QByteArray& bytes, long long nowMs);

    // Where the rotator stands, and what the controller reads there (to its
    // steps).
    ControllerAngles position(long long nowMs) { return m_rotator.position(nowMs); }
    ControllerAngles reading(long long nowMs);
    const ControllerModel& model() const { return m_model; }

    // A part message is dropped, as when the line has been silent.
    void forgetPartMessage() { m_codec->reset(); }

    // From nowMs the rotator fails so (None: it works again, from where it
    // stands; a stuck rotator takes its last target up again).
    void fail(RotatorFault fault, long long nowMs);
    RotatorFault fault() const { return m_fault; }

private:
    Exchange handle(const ControllerRequest& request, long long nowMs);

    ControllerModel m_model;
    std::unique_ptr<ProtocolCodec> m_codec;
    DeadBandRotator m_rotator;
    RotatorFault m_fault = RotatorFault::None;
    ControllerAngles m_frozenReading;  // what a frozen controller goes on reading
    ControllerAngles m_stuckTarget;    // what a stuck rotator was last told
};

}  // namespace heliotrope::controllers
