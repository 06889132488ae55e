#include "companions/controllers/ControllerModel.h"

#include <cmath>

namespace heliotrope::controllers {

namespace {

// Two steps alike within this are the same step (decimal fractions are not
// exact in binary).
constexpr double kStepTolerance = 1e-9;

bool isWholeMultiple(double value, double unit)
{
    const double ratio = value / unit;
    return ratio >= 1.0 - kStepTolerance && std::abs(ratio - std::round(ratio)) < kStepTolerance * ratio;
}

}  // namespace

double AxisRange::clamp(double degrees) const
{
    return std::fmin(std::fmax(degrees, minimum), maximum);
}

std::optional<ControllerProtocol> protocolNamed(const QString& name)
{
    const QString key = name.trimmed().toLower();
    for (const ControllerProtocol protocol : {ControllerProtocol::Gs232A, ControllerProtocol::Gs232B,
                                              ControllerProtocol::EasyComm2, ControllerProtocol::Rot2Prog}) {
        if (key == protocolName(protocol))
            return protocol;
    }
    return std::nullopt;
}

QString protocolName(ControllerProtocol protocol)
{
    switch (protocol) {
    case ControllerProtocol::Gs232A:
        return QStringLiteral("gs232a");
    case ControllerProtocol::Gs232B:
        return QStringLiteral("gs232b");
    case ControllerProtocol::EasyComm2:
        return QStringLiteral("easycomm2");
    case ControllerProtocol::Rot2Prog:
        return QStringLiteral("rot2prog");
    }
    return {};
}

int hamlibModel(ControllerProtocol protocol)
{
    switch (protocol) {
    case ControllerProtocol::Gs232A:
        return 601;
    case ControllerProtocol::Gs232B:
        return 603;
    case ControllerProtocol::EasyComm2:
        return 202;
    case ControllerProtocol::Rot2Prog:
        return 901;
    }
    return 0;
}

ControllerModel shippedModel(ControllerProtocol protocol)
{
    switch (protocol) {
    case ControllerProtocol::Gs232A:
    case ControllerProtocol::Gs232B:
        return {protocol, 1.0, {0, 450}, {0, 180}, false};
    case ControllerProtocol::EasyComm2:
        return {protocol, 0.1, {0, 360}, {0, 180}, false};
    case ControllerProtocol::Rot2Prog:
        return {protocol, 0.5, {0, 360}, {0, 90}, true};
    }
    return {};
}

bool protocolCarries(ControllerProtocol protocol, double resolution)
{
    if (!(resolution > 0) || !std::isfinite(resolution))
        return false;
    switch (protocol) {
    case ControllerProtocol::Gs232A:
    case ControllerProtocol::Gs232B:
        return isWholeMultiple(resolution, 1.0);
    case ControllerProtocol::EasyComm2:
        return isWholeMultiple(resolution, 0.1);
    case ControllerProtocol::Rot2Prog: {
        const double pulses = std::round(1.0 / resolution);
        return (pulses == 1 || pulses == 2 || pulses == 5 || pulses == 10) && std::abs(pulses * resolution - 1.0) < kStepTolerance;
    }
    }
    return false;
}

double roundToStep(double degrees, double resolution)
{
    return std::round(degrees / resolution) * resolution;
}

}  // namespace heliotrope::controllers
