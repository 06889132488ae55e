#pragma once

// One controller's language on the line: bytes in, what the controller made
// of them, bytes out. No clock, no device: a test feeds it bytes and reads
// what it would write back.

#include "companions/controllers/ControllerModel.h"

#include <QByteArray>

#include <memory>
#include <optional>
#include <vector>

namespace heliotrope::controllers {

// Degrees: azimuth from north through east, elevation above the horizon.
struct ControllerAngles {
    double azimuth = 0;
    double elevation = 0;
};

struct ControllerRequest {
    enum class Kind {
        SetPoint,  // turn to azimuth and/or elevation
        Query,     // where do you stand?
        Stop,      // stop both axes where they are
        Ignored,   // understood, and nothing for the rotator (an empty line, a speed)
        Unknown,   // not understood
    };
    Kind kind = Kind::Unknown;
    // SetPoint: the target as the command gives it, before the controller's
    // limits and rounding. An axis the command leaves out keeps its target.
    std::optional<double> azimuth;
    std::optional<double> elevation;
    QByteArray message;  // the message's bytes as they came, for the dialogue log
};

class ProtocolCodec {
public:
    virtual ~ProtocolCodec() = default;

    // Bytes from the line, in whatever pieces they come: each message
    // completed by them, in order. A part message waits for the rest.
    virtual std::vector<ControllerRequest> take(const QByteArray& bytes) = 0;

    // What the controller writes back to `request`: the readings to a query
    // or a stop that reports, a refusal to a set-point it refuses, nothing
    // where it says nothing. `reading` is already in the controller's steps.
    virtual QByteArray answer(const ControllerRequest& request, ControllerAngles reading, bool refused) const = 0;

    // Forgets a part message (after the line has been silent).
    virtual void reset() = 0;
};

std::unique_ptr<ProtocolCodec> makeCodec(const ControllerModel& model);

}  // namespace heliotrope::controllers
