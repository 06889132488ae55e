#pragma once

// heliotrope-rotctl as an asking command: --stow, --stop-rotator, --resume,
// --status, and --calibrate or --sun-noise while a bridge of this user runs,
// handed to that bridge over its request socket, its progress and answer
// shown as a run of its own would show them.

#include "companions/rotctl/BridgeOptions.h"

#include <QStringList>

#include <optional>

namespace heliotrope::rotctl {

// The exit status, once the running bridge has answered (or went away);
// nothing when no bridge of this user answers on its socket.
std::optional<int> askRunningBridge(const BridgeOptions& options);

// No bridge to ask: Japanese, newline, English.
QString noBridgeText();

}  // namespace heliotrope::rotctl
