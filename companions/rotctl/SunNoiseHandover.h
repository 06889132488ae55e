#pragma once

// Hands the rotator from the bridge to a sun-noise run as soon as rotctld is
// ready, and back to tracking when the run ends, however it ends: completed,
// refused, or stopped by the operator. And the power source the run reads.

#include "companions/power/PowerSource.h"
#include "companions/rotctl/CalibrationOptions.h"

#include <memory>

namespace heliotrope::rotctl {

class Bridge;
class SunNoiseRun;

void handRotatorToSunNoise(Bridge& bridge, SunNoiseRun& run);

// The source --power names; nothing, with the reason in Japanese and English,
// when a command line holds no program.
std::unique_ptr<heliotrope::power::PowerSource> sunNoisePowerSource(const PowerSourceChoice& choice, QString* problem);

}  // namespace heliotrope::rotctl
