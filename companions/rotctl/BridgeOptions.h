#pragma once

// heliotrope-rotctl's command line.

#include "companions/common/OptionValues.h"
#include "companions/common/SenderAllowList.h"
#include "companions/measure/CalibrationOptions.h"
#include "companions/measure/MeasurementSession.h"
#include "companions/measure/SunNoiseOptions.h"
#include "companions/rotator/RotatorGeometry.h"
#include "companions/rotctl/HistoryCommand.h"
#include "companions/rotctl/TrueSunOptions.h"

#include <QHostAddress>
#include <QStringList>

#include <optional>

namespace heliotrope::rotctl {

struct BridgeOptions {
    QHostAddress listenAddress{QHostAddress::LocalHost};
    quint16 port = 10006;
    companions::SenderAllowList allowedSenders = companions::SenderAllowList::loopbackOnly();
    QString rotctldHost = QStringLiteral("127.0.0.1");
    quint16 rotctldPort = 4533;
    int pollIntervalMs = 1000;
    double threshold = 0.5;  // degrees
    std::optional<double> resolution;  // degrees, the rotator's step; learnt from its readings when not given
    std::optional<double> deadBand;    // degrees; learnt from where it stops when not given
    double minIntervalSeconds = 2.0;
    AzimuthRange azimuthRange = AzimuthRange::From0To360;
    // Limits given on the command line; each one not given comes from rotctld.
    std::optional<double> minAzimuth;
    std::optional<double> maxAzimuth;
    std::optional<double> minElevation;
    std::optional<double> maxElevation;
    double azimuthOffset = 0;
    double elevationOffset = 0;
    bool offsetsGiven = false;  // --az-offset or --el-offset: the saved calibration is not applied
    std::optional<CalibrationOptions> calibration;
    QString logPath;                          // empty: no log
    TrueSunOptions trueSun;                   // the real sun instead of the window's model, by day
    std::optional<SunNoiseOptions> sunNoise;  // a sun-noise run before tracking
    MeasurementOptions measurement;           // what both runs share, and how their results are kept
    std::optional<HistoryOptions> history;    // --history: print the record, then exit
};

companions::CommandLine<BridgeOptions> parseBridgeCommandLine(const QStringList& arguments);

// The measurement the command line asks for, if any, as a session takes it.
std::optional<MeasurementRequest> measurementRequest(const BridgeOptions& options);

}  // namespace heliotrope::rotctl
