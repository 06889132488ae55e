#include "companions/controllers/ControllerModel.h"

#include "companions/controllers/EasyCommCodec.h"
#include "companions/controllers/Gs232Codec.h"
#include "companions/controllers/Rot2ProgCodec.h"

#include <array>
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

// One row per controller, as Hamlib keeps one per model. GS-232A/B behind a
// G-5500: whole degrees, azimuth 0 to 450 with its overlap, elevation 0 to
// 180, a set-point out of range answered "?>". EasyComm II: tenths, 0 to 360
// and 0 to 180, out of range ignored. Rot2Prog with a SPID RAS: half degrees,
// 0 to 360 and 0 to 90, out of range driven to the limit; its frames count
// pulses, 1 to 10 a degree.
const std::array<ControllerFacts, 4> kControllers{{
    {ControllerProtocol::Gs232A, "gs232a", "Yaesu GS-232A", 601, {ControllerProtocol::Gs232A, 1.0, {0, 450}, {0, 180}, false}, StepsCarried::MultiplesOfUnit, 1.0, [](const ControllerModel&) -> std::unique_ptr<ProtocolCodec> { return std::make_unique<Gs232Codec>(Gs232Codec::Reading::PlusZero); }},
    {ControllerProtocol::Gs232B, "gs232b", "Yaesu GS-232B", 603, {ControllerProtocol::Gs232B, 1.0, {0, 450}, {0, 180}, false}, StepsCarried::MultiplesOfUnit, 1.0, [](const ControllerModel&) -> std::unique_ptr<ProtocolCodec> { return std::make_unique<Gs232Codec>(Gs232Codec::Reading::AzEqualsElEquals); }},
    {ControllerProtocol::EasyComm2, "easycomm2", "EasyComm II", 202, {ControllerProtocol::EasyComm2, 0.1, {0, 360}, {0, 180}, false}, StepsCarried::MultiplesOfUnit, 0.1, [](const ControllerModel&) -> std::unique_ptr<ProtocolCodec> { return std::make_unique<EasyCommCodec>(); }},
    {ControllerProtocol::Rot2Prog, "rot2prog", "SPID Rot2Prog", 901, {ControllerProtocol::Rot2Prog, 0.5, {0, 360}, {0, 90}, true}, StepsCarried::PulsesPerDegree, 1.0, [](const ControllerModel& model) -> std::unique_ptr<ProtocolCodec> { return std::make_unique<Rot2ProgCodec>(model.resolution); }},
}};

}  // namespace

double AxisRange::clamp(double degrees) const
{
    return std::fmin(std::fmax(degrees, minimum), maximum);
}

const ControllerFacts& controllerFacts(ControllerProtocol protocol)
{
    for (const ControllerFacts& facts : kControllers) {
        if (facts.protocol == protocol)
            return facts;
    }
    return kControllers.front();  // every enumerator has its row
}

std::optional<ControllerProtocol> protocolNamed(const QString& name)
{
    const QString key = name.trimmed().toLower();
    for (const ControllerFacts& facts : kControllers) {
        if (key == QLatin1String(facts.name))
            return facts.protocol;
    }
    return std::nullopt;
}

QString protocolName(ControllerProtocol protocol)
{
    return QString::fromLatin1(controllerFacts(protocol).name);
}

int hamlibModel(ControllerProtocol protocol)
{
    return controllerFacts(protocol).hamlibModel;
}

ControllerModel shippedModel(ControllerProtocol protocol)
{
    return controllerFacts(protocol).shipped;
}

bool protocolCarries(ControllerProtocol protocol, double resolution)
{
    if (!(resolution > 0) || !std::isfinite(resolution))
        return false;
    const ControllerFacts& facts = controllerFacts(protocol);
    switch (facts.steps) {
    case StepsCarried::MultiplesOfUnit:
        return isWholeMultiple(resolution, facts.stepUnit);
    case StepsCarried::PulsesPerDegree: {
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
