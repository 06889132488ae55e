#pragma once

// A measurement as its options give it, on the command line or in a request
// over the socket: the run (a calibration or a sun-noise run), what the two
// runs share, and the sky it is made under.

#include "companions/measure/CalibrationOptions.h"
#include "companions/measure/MeasurementSession.h"
#include "companions/measure/SunNoiseOptions.h"
#include "companions/measure/SystemTemperatureOptions.h"
#include "companions/rotctl/truesun/TrueSunOptions.h"

#include <optional>

namespace heliotrope::rotctl {

struct RunOptions {
    std::optional<measure::CalibrationOptions> calibration;
    std::optional<measure::SunNoiseOptions> sunNoise;
    std::optional<measure::SystemTemperatureOptions> systemTemperature;
    measure::MeasurementOptions measurement;
    TrueSunOptions sky;  // its site, refraction, air and clock offset
};

// The run as a session takes it; nothing when no run is asked.
std::optional<measure::MeasurementRequest> measurementRequest(const RunOptions& run);

}  // namespace heliotrope::rotctl
