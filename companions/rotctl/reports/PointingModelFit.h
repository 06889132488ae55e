#pragma once

// --fit-pointing-model: the mount's pointing model fitted from the scans the
// station's record keeps, read without rotctld or a running bridge. Each
// calibration that found offsets at this --site, against the sun of this
// --refraction, is one scan: where the sun was and where the rotator read
// with the beam on it. The fit's terms are printed with their uncertainties,
// the rms before and after, the terms the scans cannot tell apart and what
// was done about them; the model is saved beside the calibration's offsets,
// which it then replaces. Too few scans for the terms asked: said, nothing
// saved.

#include "companions/pointing/PointingFit.h"
#include "companions/rotator/RotatorGeometry.h"
#include "companions/rotctl/reports/PointingFitOptions.h"
#include "companions/rotctl/reports/PointingResidualPicture.h"
#include "companions/rotctl/reports/RecordedScans.h"
#include "companions/sky/TrueSun.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace heliotrope::rotctl {

// Where the bridge stands: the site, the sky and the rotator's azimuth range
// (the azimuth scale is reckoned from its middle).
struct FitStation {
    heliotrope::sky::Site site;
    heliotrope::sky::Refraction refraction = heliotrope::sky::Refraction::Radio;
    rotator::AzimuthRange range = rotator::AzimuthRange::From0To360;
};

struct PointingFitReport {
    QString text;      // for standard output
    QString problem;   // for standard error
    int exitCode = 0;  // 1: no record, too few scans, or the model or the picture not saved
};

// Reads the record at `recordPath` (never creating it), fits, saves the model
// as fitted at `nowUtc` and draws the picture asked for.
PointingFitReport fitPointingModelFromRecord(const PointingFitOptions& options, const FitStation& station,
                                             const QString& recordPath, const QDateTime& nowUtc);

}  // namespace heliotrope::rotctl
