#include "companions/rotctl/PointingChoice.h"

#include "companions/measure/SavedCalibration.h"
#include "companions/rotctl/Bridge.h"
#include "companions/rotctl/BridgeMessages.h"

namespace heliotrope::rotctl {

QStringList choosePointing(BridgeOptions& options)
{
    QStringList lines;
    const std::optional<SavedPointingModel> model = loadPointingModel();
    if (options.offsetsGiven) {
        if (model)
            lines << said::pointingModelSetAside();
        return lines;
    }
    if (model) {
        const QString refusal = pointingModelRefusal(*model, options.trueSun.site, options.azimuthRange);
        if (refusal.isEmpty()) {
            options.pointingModel = model->model;
            options.azimuthOffset = 0;
            options.elevationOffset = 0;
            lines << said::pointingModelUsed(*model, calibrationSettingsPath());
            if (!options.trueSun.site)
                lines << said::pointingModelSiteUnchecked(model->site);
            if (model->refraction != options.trueSun.refraction)
                lines << said::savedCalibrationOtherSky(model->refraction, options.trueSun.refraction);
            return lines;
        }
        lines << refusal;
    }
    if (const std::optional<SavedCalibration> saved = loadCalibration()) {
        options.azimuthOffset = saved->azimuthOffset;
        options.elevationOffset = saved->elevationOffset;
        lines << said::savedCalibrationUsed(*saved, calibrationSettingsPath());
        if (saved->refraction != options.trueSun.refraction)
            lines << said::savedCalibrationOtherSky(saved->refraction, options.trueSun.refraction);
    }
    return lines;
}

QString takeUpSavedCalibration(Bridge& bridge, const BridgeOptions& options)
{
    if (options.offsetsGiven || options.pointingModel)
        return {};
    const std::optional<SavedCalibration> saved = loadCalibration();
    if (!saved)
        return {};
    bridge.applyOffsets(saved->azimuthOffset, saved->elevationOffset);
    return said::savedCalibrationUsed(*saved, calibrationSettingsPath());
}

RotatorFrame startingFrame(const BridgeOptions& options)
{
    RotatorFrame frame;
    frame.range = options.azimuthRange;
    const RotatorLimits extent = rangeExtent(options.azimuthRange);
    frame.limits = RotatorLimits{options.minAzimuth.value_or(extent.minAzimuth), options.maxAzimuth.value_or(extent.maxAzimuth),
                                 options.minElevation.value_or(0), options.maxElevation.value_or(90)};
    frame.azimuthOffset = options.azimuthOffset;
    frame.elevationOffset = options.elevationOffset;
    frame.model = options.pointingModel;
    return frame;
}

}  // namespace heliotrope::rotctl
