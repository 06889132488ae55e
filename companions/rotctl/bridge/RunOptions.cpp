#include "companions/rotctl/bridge/RunOptions.h"

namespace heliotrope::rotctl {

std::optional<measure::MeasurementRequest> measurementRequest(const RunOptions& run)
{
    measure::MeasurementRequest request;
    if (run.calibration)
        request.run = *run.calibration;
    else if (run.sunNoise)
        request.run = *run.sunNoise;
    else if (run.systemTemperature)
        request.run = *run.systemTemperature;
    else
        return std::nullopt;
    request.site = run.sky.site.value_or(heliotrope::sky::Site{});
    request.refraction = run.sky.refraction;
    request.atmosphere = run.sky.atmosphere;
    request.measurement = run.measurement;
    return request;
}

}  // namespace heliotrope::rotctl
