#include "companions/rotator/RotatorGeometry.h"

#include "companions/common/PositionReport.h"

#include <algorithm>
#include <cmath>
#include <vector>

using heliotrope::companions::normalizedAzimuth;
using heliotrope::companions::SetPoint;

namespace heliotrope::rotator {

namespace {

constexpr double kFullCircle = 360.0;
constexpr double kOverlapEnd = 450.0;

}  // namespace

RotatorLimits rangeExtent(AzimuthRange range)
{
    switch (range) {
    case AzimuthRange::From0To360:
        return {0, kFullCircle, -90, 90};
    case AzimuthRange::FromMinus180To180:
        return {-180, 180, -90, 90};
    case AzimuthRange::Overlap:
        return {0, kOverlapEnd, -90, 90};
    }
    return {0, kFullCircle, -90, 90};
}

bool azimuthReachable(const RotatorFrame& frame)
{
    const RotatorLimits extent = rangeExtent(frame.range);
    return std::max(extent.minAzimuth, frame.limits.minAzimuth) <= std::min(extent.maxAzimuth, frame.limits.maxAzimuth);
}

RotatorCommand rotatorCommand(const RotatorFrame& frame, const SetPoint& setPoint,
                              std::optional<RotatorPosition> present, bool overTheTop)
{
    const RotatorLimits extent = rangeExtent(frame.range);
    const double low = std::max(extent.minAzimuth, frame.limits.minAzimuth);
    const double high = std::min(extent.maxAzimuth, frame.limits.maxAzimuth);

    // Every reading of the direction the rotator's range allows.
    const RotatorPosition offset = frameOffsetAt(frame, setPoint, overTheTop);
    const heliotrope::pointing::Direction mount
        = heliotrope::pointing::mountAngles({normalizedAzimuth(setPoint.azimuth), setPoint.elevation}, overTheTop);
    const double base = normalizedAzimuth(mount.azimuth + offset.azimuth);
    std::vector<double> readings;
    for (double candidate = base - kFullCircle; candidate <= extent.maxAzimuth; candidate += kFullCircle) {
        if (candidate >= extent.minAzimuth)
            readings.push_back(candidate);
    }
    const auto distance = [&](double reading) { return present ? std::abs(reading - present->azimuth) : reading - low; };
    const auto nearest = [&](bool overlapAllowed) {
        std::optional<double> best;
        for (double reading : readings) {
            const bool allowed = reading >= low && reading <= high && (reading <= kFullCircle || overlapAllowed);
            if (allowed && (!best || distance(reading) < distance(*best)))
                best = reading;
        }
        return best;
    };
    // The overlap only from within it, or when the limits leave no other way.
    std::optional<double> chosen = nearest(present && present->azimuth > kFullCircle);
    if (!chosen)
        chosen = nearest(true);

    RotatorCommand command;
    if (chosen) {
        command.azimuth = *chosen;
    } else {
        // Outside the limits: the nearer limit, measured round the circle.
        const auto circular = [&](double limit) {
            const double d = std::abs(normalizedAzimuth(limit) - base);
            return std::min(d, kFullCircle - d);
        };
        command.azimuth = circular(low) <= circular(high) ? low : high;
        command.clamped = true;
    }

    const double elevation = mount.elevation + offset.elevation;
    command.elevation = std::clamp(elevation, frame.limits.minElevation, frame.limits.maxElevation);
    command.clamped = command.clamped || command.elevation != elevation;
    return command;
}

RotatorPosition frameOffsetAt(const RotatorFrame& frame, const SetPoint& sky, bool overTheTop)
{
    // Constant offsets are the rotator's reading error, the same whichever
    // way round it points.
    if (!frame.model)
        return {frame.azimuthOffset, frame.elevationOffset};
    // The model's terms act on the mount's own angles; below the horizon it
    // is taken at the horizon, where a rotator's elevation stops anyway.
    const heliotrope::pointing::Direction onSky{normalizedAzimuth(sky.azimuth), std::clamp(sky.elevation, 0.0, 90.0)};
    const heliotrope::pointing::Command command = heliotrope::pointing::commandFor(*frame.model, onSky, overTheTop);
    const heliotrope::pointing::Direction mount = heliotrope::pointing::mountAngles(onSky, overTheTop);
    return {heliotrope::pointing::wrapSigned(command.reading.azimuth - mount.azimuth), command.reading.elevation - mount.elevation};
}

RotatorPosition skyPosition(const RotatorFrame& frame, const RotatorPosition& reading)
{
    RotatorPosition beam{reading.azimuth - frame.azimuthOffset, reading.elevation - frame.elevationOffset};
    if (frame.model) {
        const heliotrope::pointing::Direction delta
            = heliotrope::pointing::modelOffset(*frame.model, {reading.azimuth, std::clamp(reading.elevation, 0.0, 180.0)});
        beam = {reading.azimuth - delta.azimuth, reading.elevation - delta.elevation};
    }
    // Past the zenith the beam looks down the other side of the sky.
    if (beam.elevation > 90)
        beam = {beam.azimuth + 180, 180 - beam.elevation};
    return {normalizedAzimuth(beam.azimuth), beam.elevation};
}

}  // namespace heliotrope::rotator
