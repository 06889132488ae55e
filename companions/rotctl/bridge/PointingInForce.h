#pragma once

// Where the correction the bridge points with came from: chosen at start with
// the offsets or the model it describes, and changed only with them, so that
// what --status and the station's page say of the pointing is what the
// commands are made with, never a second reading of the saved file.

#include <QDateTime>

namespace heliotrope::rotctl {

struct PointingInForce {
    enum class Source { None,
                        CommandLine,       // --az-offset, --el-offset
                        SavedCalibration,  // the last saved calibration's constant offsets
                        SavedModel };      // the saved pointing model, in place of the offsets
    Source source = Source::None;
    QDateTime madeUtc;  // when the calibration was measured or the model fitted
    // The model's fit: the scans' rms on the sky under it and with no model
    // at all, degrees, and how many scans it was fitted from.
    double rmsDegrees = 0;
    double rmsWithoutDegrees = 0;
    int scans = 0;
};

}  // namespace heliotrope::rotctl
