#pragma once

// A measurement asked of a running bridge travels as its own options, read
// with the one table both ends hold: the sky, the calibration, the sun-noise
// run and what the two runs share. The asker sends what its command line
// read, one --name=value word each (a file made absolute: the bridge works in
// another folder); the bridge reads those words with the same table. Options
// outside it (--rotctld, --port, the offsets ...) belong to the running
// bridge and do not travel.

#include "companions/common/CompanionCommandLine.h"
#include "companions/rotctl/bridge/RunOptions.h"
#include "companions/station/StationProtocol.h"

#include <QCommandLineParser>
#include <QStringList>

namespace heliotrope::rotctl {

// The measurement's options as the parser read them, in the table's order.
QStringList measurementOptionWords(const QCommandLineParser& parser);
// The options given that a measurement's request does not carry, each once,
// as given: "--rotctld 127.0.0.1:4533".
QStringList optionsNotCarried(const QCommandLineParser& parser);

struct MeasurementAsked {
    RunOptions run;                                  // the measurement's parts: the run, the shared options, the sky
    QStringList given;                               // the options the request gave, by name
    std::optional<heliotrope::sky::Site> siteGiven;  // the request's own --site, set aside for the bridge's
};

// The request's words read with the table, --calibrate PATTERN or
// --sun-noise from its kind. The site is `bridgeSite`, the running bridge's,
// when it has one (the air estimated for its height), else the request's.
// Nothing, with every problem in
// *problem, when the words do not make a measurement.
std::optional<MeasurementAsked> readMeasurementRequest(const station::StationRequest& request,
                                                       const std::optional<heliotrope::sky::Site>& bridgeSite, QString* problem);

}  // namespace heliotrope::rotctl
