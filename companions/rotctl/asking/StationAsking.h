#pragma once

// heliotrope-rotctl as an asking command: --stow, --stop-rotator, --resume,
// --status, and --calibrate or --sun-noise while a bridge of this user runs,
// handed to that bridge over its request socket, its progress and answer
// shown as a run of its own would show them.

#include "companions/rotator/RotatorPosition.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace heliotrope::rotctl {

// What an asking command asks of the running bridge over its request socket.
enum class BridgeAsk { Stow,
                       Resume,
                       StopRotator,
                       Status,
                       Measure };

struct AskOptions {
    BridgeAsk ask = BridgeAsk::Status;
    std::optional<rotator::RotatorPosition> stowAt;  // --stow AZ,EL; none: the bridge's own stow position
    // A measurement: the calibration's pattern (empty: a sun-noise run), its
    // own options as read, one --name=value word each, and the options given
    // that it does not carry (they belong to the running bridge).
    QString pattern;
    bool noiseSource = false;  // the system temperature with a noise source, not a sun-noise run
    QStringList measurementWords;
    QStringList optionsNotCarried;
};

// The exit status, once the running bridge has answered (or went away);
// nothing when no bridge of this user answers on its socket.
std::optional<int> askRunningBridge(const AskOptions& options);

// Whether a bridge of this user answers on its request socket.
bool bridgeAnswers();

// A hot/cold calibration asked while a bridge runs: it is made by the
// process at the operator's terminal, on a rotator of its own bridge, since
// its steps are answered there and the running bridge (a service, most
// often) has none. Japanese, newline, English.
QString systemTemperatureNeedsTheTerminalText();

// No bridge to ask: Japanese, newline, English.
QString noBridgeText();

}  // namespace heliotrope::rotctl
