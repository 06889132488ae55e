#pragma once

// How the bridge corrects its commands for the mount, chosen once at start:
// the offsets given on the command line; else the saved pointing model, when
// it belongs to this site and this rotator; else the offsets of the last
// saved calibration; else none.

#include "companions/rotctl/bridge/BridgeOptions.h"

#include <QStringList>

namespace heliotrope::rotctl {

class Bridge;

// Sets the pointing's offsets or model; the lines say what was chosen and what
// was refused, and why.
QStringList choosePointing(MountPointing& pointing);

// After a calibration saved its offsets: the running bridge points with them
// at once (a station that runs for months never restarts to take them up),
// unless offsets were given or a pointing model is applied, which the scan
// reaches through the next fit. The line that says so; empty when nothing changed.
QString takeUpSavedCalibration(Bridge& bridge, const MountPointing& pointing);

// The frame the bridge would command with, before rotctld reports its limits.
rotator::RotatorFrame startingFrame(const MountPointing& pointing);

}  // namespace heliotrope::rotctl
