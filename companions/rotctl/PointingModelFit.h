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
#include "companions/record/StationRuns.h"
#include "companions/rotator/RotatorGeometry.h"
#include "companions/sky/TrueSun.h"

#include <QDateTime>
#include <QImage>
#include <QString>

#include <optional>
#include <vector>

namespace heliotrope::companions {
class CompanionCommandLine;
}

namespace heliotrope::rotctl {

struct PointingFitOptions {
    QDateTime since;  // UTC; invalid: every scan recorded
    std::vector<heliotrope::pointing::Term> terms{heliotrope::pointing::kAllTerms.begin(),
                                                  heliotrope::pointing::kAllTerms.end()};
    QString plotPath;             // empty: no picture
    bool withRehearsals = false;  // --with-rehearsals: scans run on a shifted clock too
};

// Nothing without --fit-pointing-model; --since, --terms and --plot without it are problems.
void addPointingFitOptions(companions::CompanionCommandLine& commandLine);
std::optional<PointingFitOptions> readPointingFitOptions(companions::CompanionCommandLine& commandLine);

// The record's calibrations as the fit's scans, and what was left out.
struct RecordedScans {
    std::vector<heliotrope::pointing::Scan> scans;
    int notFound = 0;    // calibrations that found no offsets
    int otherSite = 0;   // measured at another site
    int otherSky = 0;    // measured against the sun of another refraction
    int unusable = 0;    // offsets without an uncertainty, or no point on the sun
    int rehearsals = 0;  // run on a shifted clock (--clock-offset), left out unless asked for
};
RecordedScans scansFromRecord(const std::vector<heliotrope::record::StationRun>& runs, const heliotrope::sky::Site& site,
                              heliotrope::sky::Refraction refraction, bool withRehearsals = false);

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

// The scans' residuals before (grey) and after (blue) the model, against the
// sun's azimuth and elevation: cross-elevation above, elevation below.
QImage pointingResidualPicture(const std::vector<heliotrope::pointing::Scan>& scans,
                               const heliotrope::pointing::PointingFit& fit);

}  // namespace heliotrope::rotctl
