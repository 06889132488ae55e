#pragma once

// The offsets found by the last calibration on the sun, kept in the user's
// configuration (~/.config/heliotrope/heliotrope-rotctl.conf, or under
// $XDG_CONFIG_HOME) so that the next run of the bridge points with them.
// The mount's pointing model, kept beside them, takes their place once
// saved (companions/mount/SavedPointingModel.h).

#include "companions/sky/TrueSun.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace heliotrope::measure {

struct SavedCalibration {
    double azimuthOffset = 0;    // degrees, how much the rotator's reading exceeds the true direction
    double elevationOffset = 0;  // degrees
    QDateTime measuredUtc;
    // The sky the offsets were measured against; a calibration saved before
    // this was kept was measured against the radio-refracted sun.
    heliotrope::sky::Refraction refraction = heliotrope::sky::Refraction::Radio;
};

// False when the configuration cannot be written.
bool saveCalibration(const SavedCalibration& calibration);
// Nothing when none was saved, or when what is there is not a pair of offsets.
std::optional<SavedCalibration> loadCalibration();
// Where it is kept, for the operator.
QString calibrationSettingsPath();

}  // namespace heliotrope::measure
