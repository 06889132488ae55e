#pragma once

// The running bridge's options: where it listens, the rotctld it drives, how
// it commands the rotator and points the mount, the sky it tracks, and what
// holds for every measurement asked of it. Read from the command line by
// RotctlCommandLine; the other modes of heliotrope-rotctl have options of
// their own.

#include "companions/common/SenderAllowList.h"
#include "companions/measure/MeasurementSession.h"
#include "companions/pointing/PointingModel.h"
#include "companions/rotator/RotatorGeometry.h"
#include "companions/rotctl/bridge/PointingInForce.h"
#include "companions/rotctl/bridge/TrackingPowerOptions.h"
#include "companions/rotctl/truesun/TrueSunOptions.h"

#include <QHostAddress>
#include <QString>

#include <optional>

namespace heliotrope::rotctl {

// How the station points its mount at the sun: the sky, the rotator's
// azimuth range and the limits given for it, and the correction for the
// mount's errors (offsets or the saved model). What the bridge commands and
// what --sun-now shows it would command alike.
struct MountPointing {
    TrueSunOptions trueSun;  // the real sun instead of the window's model, by day
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
    // Where the offsets or the model above came from, as choosePointing() found them.
    PointingInForce inForce;
};

// --http: the station's page, served by the bridge; read-only unless
// --http-control lets the page stow, stop and resume with the token.
struct StationPageOptions {
    QHostAddress address{QHostAddress::LocalHost};
    quint16 port = 0;
    bool control = false;
};

struct BridgeOptions : MountPointing {
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
    QString logPath;  // empty: no log
    // What holds for every measurement asked of this bridge (its clock, its
    // power source by default) and how their results are kept.
    measure::MeasurementOptions measurement;
    // Where `stow` without a position takes the rotator, in its own terms;
    // none: the controller's park (Hamlib's K).
    std::optional<rotator::RotatorPosition> stowPosition;
    bool stowOnExit = false;  // SIGTERM (systemd stopping the service): stow, then end
    // --watch-power: the receiver read while tracking, and its references.
    std::optional<TrackingPowerOptions> trackingPower;
    std::optional<StationPageOptions> page;
};

}  // namespace heliotrope::rotctl
