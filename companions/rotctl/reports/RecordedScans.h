#pragma once

// The station's record read as the pointing fit's scans: each calibration
// that found offsets at the site, against the sun of the refraction, is one
// scan; what is left out is counted by why.

#include "companions/pointing/PointingFit.h"
#include "companions/record/StationRuns.h"
#include "companions/sky/TrueSun.h"

#include <vector>

namespace heliotrope::rotctl {

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

}  // namespace heliotrope::rotctl
