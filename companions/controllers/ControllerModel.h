#pragma once

// The controllers heliotrope-sim can stand in for on a serial line, and what
// each is as far as pointing goes: the step it takes set-points in and gives
// readings in, and the range its rotator may turn through.

#include <QString>

#include <memory>
#include <optional>

namespace heliotrope::controllers {

enum class ControllerProtocol {
    Gs232A,     // Yaesu GS-232A: rotctld -m 601
    Gs232B,     // Yaesu GS-232B: rotctld -m 603
    EasyComm2,  // EasyComm II: rotctld -m 202
    Rot2Prog,   // SPID Rot2Prog: rotctld -m 901
};

// Degrees; minimum below maximum.
struct AxisRange {
    double minimum = 0;
    double maximum = 0;
    bool contains(double degrees) const { return degrees >= minimum && degrees <= maximum; }
    double clamp(double degrees) const;
};

struct ControllerModel {
    ControllerProtocol protocol = ControllerProtocol::Gs232B;
    // Degrees, greater than 0: a set-point is rounded to a multiple of it
    // before the motors turn, and the readings are multiples of it.
    double resolution = 1.0;
    AxisRange azimuth;
    AxisRange elevation;
    // A set-point beyond a limit: true, the rotator turns to the limit;
    // false, the controller refuses it and the rotator stays on its course.
    bool clampsOutsideLimits = false;
};

class ProtocolCodec;

// How a controller's set-points and readings can carry a step.
enum class StepsCarried {
    MultiplesOfUnit,  // any whole multiple of the row's unit (GS-232 1°, EasyComm II 0.1°)
    PulsesPerDegree,  // 1, 0.5, 0.2 or 0.1: 1 to 10 pulses a degree (Rot2Prog)
};

// Everything the simulator knows of one controller model, in one row.
struct ControllerFacts {
    ControllerProtocol protocol;
    const char* name;   // --serial's word
    const char* title;  // for the operator's lines
    int hamlibModel;    // rotctld -m
    ControllerModel shipped;
    StepsCarried steps;
    double stepUnit;  // degrees, for MultiplesOfUnit
    std::unique_ptr<ProtocolCodec> (*makeCodec)(const ControllerModel& model);
};

const ControllerFacts& controllerFacts(ControllerProtocol protocol);

// "gs232a", "gs232b", "easycomm2", "rot2prog"; nothing for any other name.
std::optional<ControllerProtocol> protocolNamed(const QString& name);
QString protocolName(ControllerProtocol protocol);
// "rotctld -m 603", for the operator's start-up line.
int hamlibModel(ControllerProtocol protocol);

// The controller as it ships: GS-232A/B behind a G-5500 (whole degrees,
// azimuth 0 to 450 with its overlap, elevation 0 to 180, a set-point out of
// range answered "?>"), EasyComm II (tenths, 0 to 360 and 0 to 180, out of
// range ignored), Rot2Prog with a SPID RAS (half degrees, 0 to 360 and 0 to
// 90, out of range driven to the limit).
ControllerModel shippedModel(ControllerProtocol protocol);

// Whether the protocol's set-points and readings can carry steps of
// `resolution` degrees: GS-232 whole multiples of 1°, EasyComm II multiples
// of 0.1°, Rot2Prog 1, 0.5, 0.2 or 0.1 (its pulses per degree, 1 to 10).
bool protocolCarries(ControllerProtocol protocol, double resolution);

// `degrees` to the nearest multiple of `resolution` (ties away from zero).
double roundToStep(double degrees, double resolution);

}  // namespace heliotrope::controllers
