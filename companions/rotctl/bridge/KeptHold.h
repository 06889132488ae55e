#pragma once

// The operator's stow or stop, kept in the station's state folder while it
// stands, so that a bridge restarted (after a power cut, a crash, systemd)
// holds the rotator as it was told to and says so, instead of tracking again
// into the storm it was stowed for. Cleared by --resume alone.
//
// $XDG_STATE_HOME/heliotrope/heliotrope-rotctl-hold.ini (~/.local/state when
// XDG_STATE_HOME is unset), written whole or not at all.

#include "companions/rotator/RotatorPosition.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace heliotrope::rotctl {

struct KeptHold {
    bool stop = false;                                       // Hamlib's S, else a stow
    std::optional<heliotrope::rotator::RotatorPosition> at;  // the stow's position in the rotator's terms; none: the park (K)
    QDateTime askedUtc;                                      // when the operator asked for it
};

// The station's state folder ($XDG_STATE_HOME/heliotrope): what outlives a
// bridge that is restarted.
QString stateFolder();
QString keptHoldPath();
// False when it cannot be written: the hold stands in this bridge but would
// not survive a restart.
bool keepHold(const KeptHold& hold);
// Nothing when no hold is kept; a file that cannot be read as one sets
// `unreadable` and is not taken for a stow it does not say.
std::optional<KeptHold> loadKeptHold(bool* unreadable);
bool forgetHold();

}  // namespace heliotrope::rotctl
