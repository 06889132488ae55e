#pragma once

// heliotrope-sim's command line.

#include "companions/common/OptionValues.h"
#include "companions/common/SenderAllowList.h"
#include "companions/controllers/SerialControllerOptions.h"

#include <QHostAddress>
#include <QStringList>

#include <optional>

namespace heliotrope::sim {

struct SimulatorOptions {
    QHostAddress listenAddress{QHostAddress::LocalHost};
    quint16 port = 10006;      // the window's default controller port
    double azimuthRate = 6.0;  // degrees per second, as Hamlib's dummy rotator
    double elevationRate = 6.0;
    int reportIntervalMs = 500;
    bool quiet = false;
    companions::SenderAllowList allowedSenders = companions::SenderAllowList::loopbackOnly();
    // --serial: a controller on a pseudo-terminal instead of the UDP one.
    std::optional<controllers::SerialControllerOptions> serial;
};

// arguments as QCoreApplication::arguments() gives them, program name first.
companions::CommandLine<SimulatorOptions> parseSimulatorCommandLine(const QStringList& arguments);

}  // namespace heliotrope::sim
