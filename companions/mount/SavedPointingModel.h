#pragma once

// The mount's pointing model fitted from the station's recorded scans, kept
// in the user's configuration beside the last calibration's offsets
// (heliotrope-rotctl.conf, stationSettings()), and the judgement whether the
// bridge may apply it. Once saved it takes the offsets' place.

#include "companions/pointing/PointingModel.h"
#include "companions/rotator/RotatorGeometry.h"
#include "companions/sky/TrueSun.h"

#include <QDateTime>
#include <QSettings>
#include <QString>

#include <optional>

namespace heliotrope::mount {

// The configuration both the offsets and the model are kept in.
QSettings stationSettings();

struct SavedPointingModel {
    heliotrope::pointing::MountModel model;  // its azimuth range start with it
    // The station whose scans it was fitted from: the model belongs to that
    // mount, and the bridge of another site refuses it.
    heliotrope::sky::Site site;
    heliotrope::sky::Refraction refraction = heliotrope::sky::Refraction::Radio;
    double rmsBefore = 0;  // degrees on the sky, the scans with no model
    double rmsAfter = 0;   // the scans' residuals under the model
    int scans = 0;
    QDateTime fittedUtc;
};

// False when the configuration cannot be written.
bool savePointingModel(const SavedPointingModel& saved);
// Nothing when none was saved or what is there is not a model.
std::optional<SavedPointingModel> loadPointingModel();

// Why the bridge must not apply a saved model, Japanese, newline, English:
// fitted at another site (more than kModelSiteKilometres away), for another
// azimuth range, or one whose commands for the sky the rotator covers would
// not converge or would move the beam by more than kLargestModelShift — no
// mount's error, and a rotator sent there leaves the sun. Empty when it may
// be applied. `site`: the bridge's --site; without one (plain tracking of the
// window's set-points) the site is not checked, as the offsets never were.
inline constexpr double kModelSiteKilometres = 1.0;
inline constexpr double kLargestModelShift = 5.0;  // degrees on the sky
QString pointingModelRefusal(const SavedPointingModel& saved, const std::optional<heliotrope::sky::Site>& site,
                             rotator::AzimuthRange range);
// The azimuth range's start, as the model reckons its azimuth scale from.
double azimuthRangeStart(rotator::AzimuthRange range);

}  // namespace heliotrope::mount
