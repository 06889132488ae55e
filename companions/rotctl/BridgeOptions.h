#pragma once

// heliotrope-rotctl's command line.

#include "companions/common/OptionValues.h"
#include "companions/common/SenderAllowList.h"
#include "companions/measure/CalibrationOptions.h"
#include "companions/measure/MeasurementSession.h"
#include "companions/measure/SunNoiseOptions.h"
#include "companions/rotator/RotatorGeometry.h"
#include "companions/rotctl/HistoryCommand.h"
#include "companions/rotctl/PointingModelFit.h"
#include "companions/rotctl/SetFluxCommand.h"
#include "companions/rotctl/TrueSunOptions.h"

#include <QHostAddress>
#include <QStringList>

#include <optional>

namespace heliotrope::rotctl {

// What a command given to a running bridge asks of it, over its request socket.
enum class BridgeAsk { None,
                       Stow,
                       Resume,
                       StopRotator,
                       Status };

struct BridgeOptions {
    QHostAddress listenAddress{QHostAddress::LocalHost};
    quint16 port = 10006;
    companions::SenderAllowList allowedSenders = companions::SenderAllowList::loopbackOnly();
    QString rotctldHost = QStringLiteral("127.0.0.1");
    quint16 rotctldPort = 4533;
    int pollIntervalMs = 1000;
    double threshold = 0.5;            // degrees
    std::optional<double> resolution;  // degrees, the rotator's step; learnt from its readings when not given
    std::optional<double> deadBand;    // degrees; learnt from where it stops when not given
    double minIntervalSeconds = 2.0;
    rotator::AzimuthRange azimuthRange = rotator::AzimuthRange::From0To360;
    // Limits given on the command line; each one not given comes from rotctld.
    std::optional<double> minAzimuth;
    std::optional<double> maxAzimuth;
    std::optional<double> minElevation;
    std::optional<double> maxElevation;
    double azimuthOffset = 0;
    double elevationOffset = 0;
    bool offsetsGiven = false;  // --az-offset or --el-offset: the saved calibration is not applied
    // The mount's saved pointing model, when it is applied (in place of the offsets).
    std::optional<heliotrope::pointing::MountModel> pointingModel;
    std::optional<measure::CalibrationOptions> calibration;
    QString logPath;                                   // empty: no log
    TrueSunOptions trueSun;                            // the real sun instead of the window's model, by day
    std::optional<measure::SunNoiseOptions> sunNoise;  // a sun-noise run before tracking
    measure::MeasurementOptions measurement;           // what both runs share, and how their results are kept
    std::optional<HistoryOptions> history;             // --history: print the record, then exit
    std::optional<SetFluxOptions> setFlux;             // --set-flux: keep a day's flux in the record, then exit
    std::optional<PointingFitOptions> pointingFit;     // fit the mount's model from the record, then exit
    // Where `stow` without a position takes the rotator, in its own terms;
    // none: the controller's park (Hamlib's K).
    std::optional<rotator::RotatorPosition> stowPosition;
    bool stowOnExit = false;  // SIGTERM (systemd stopping the service): stow, then end
    // An asking command (--stow, --resume, --stop-rotator, --status): not a
    // bridge, but a request to the running one.
    BridgeAsk ask = BridgeAsk::None;
    std::optional<rotator::RotatorPosition> stowAt;  // --stow AZ,EL
    // For a measurement asked of a running bridge: its own options as read,
    // one --name=value word each, and the options given it does not carry.
    QStringList measurementWords;
    QStringList optionsNotCarried;
};

// QCommandLineParser has no option with an optional value: `--stow` alone
// (the bridge's own stow position) is made `--stow=` here, `--stow AZ,EL`
// left as it is.
QStringList withStowValue(const QStringList& arguments);

companions::CommandLine<BridgeOptions> parseBridgeCommandLine(const QStringList& arguments);

// The measurement the command line asks for, if any, as a session takes it.
std::optional<measure::MeasurementRequest> measurementRequest(const BridgeOptions& options);

}  // namespace heliotrope::rotctl
