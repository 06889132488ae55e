#pragma once

// The options both measurements on the sun take alike, defined and read once,
// with one set of bounds and one wording: how each point is settled and read,
// where the power is read, and the testing clock. The calibration and the
// sun-noise run each take their own options beside these.

#include "companions/power/PowerSourceChoice.h"

#include <QStringList>

#include <optional>
#include <span>

namespace heliotrope::companions {
class CompanionCommandLine;
struct OptionRow;
}  // namespace heliotrope::companions

namespace heliotrope::measure {

struct MeasurementOptions {
    std::optional<double> dwellSeconds;  // given; each run has its own default
    double settleToleranceDegrees = 0.05;
    double settleTimeoutSeconds = 60;
    heliotrope::power::PowerSourceChoice power;
    double clockOffsetSeconds = 0;  // added to the system's UTC for the sun (a testing aid)
    // How results are kept; the bridge's own, since it may measure on request.
    bool clockUnsynchronisedOk = false;  // save a calibration's offsets from an unsynchronised clock
    double healthDropDecibels = 1.0;     // a sun-noise Y this far below the usual is warned of
};

void addMeasurementOptions(companions::CompanionCommandLine& commandLine);
// The table itself: what a request to a running bridge may carry.
std::span<const companions::OptionRow> measurementOptionRows();

// The shared options of a parsed command line. How results are kept is read
// always. When neither --calibrate nor
// --sun-noise asks for a measurement, any of them but the testing clock is a
// problem (it would do nothing); otherwise --power must name a source. Each
// problem, Japanese then English, is added to the command line's problems.
MeasurementOptions readMeasurementOptions(companions::CompanionCommandLine& commandLine);

}  // namespace heliotrope::measure
