#pragma once

// How the bridge corrects its commands for the mount, chosen once at start:
// the offsets given on the command line; else the saved pointing model, when
// it belongs to this site and this rotator; else the offsets of the last
// saved calibration; else none.

#include "companions/rotctl/BridgeOptions.h"

#include <QStringList>

namespace heliotrope::rotctl {

// Sets the options' offsets or model; the lines say what was chosen and what
// was refused, and why.
QStringList choosePointing(BridgeOptions& options);

// The frame the bridge would command with, before rotctld reports its limits.
RotatorFrame startingFrame(const BridgeOptions& options);

}  // namespace heliotrope::rotctl
