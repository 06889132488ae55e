#include "companions/rotctl/bridge/PointingChoice.h"

#include "companions/measure/SavedCalibration.h"
#include "companions/mount/SavedPointingModel.h"
#include "companions/rotctl/bridge/Bridge.h"
#include "companions/rotctl/bridge/BridgeMessages.h"

namespace heliotrope::rotctl {

QStringList choosePointing(MountPointing& options)
{
    QStringList lines;
    const std::optional<mount::SavedPointingModel> model = mount::loadPointingModel();
    if (options.offsetsGiven) {
        options.inForce = PointingInForce{PointingInForce::Source::CommandLine, {}, 0, 0, 0};
        if (model)
            lines << said::pointingModelSetAside();
        return lines;
    }
    if (model) {
        const QString refusal = mount::pointingModelRefusal(*model, options.trueSun.site, options.azimuthRange);
        if (refusal.isEmpty()) {
            options.pointingModel = model->model;
            options.azimuthOffset = 0;
            options.elevationOffset = 0;
            options.inForce = PointingInForce{PointingInForce::Source::SavedModel, model->fittedUtc, model->rmsAfter, model->rmsBefore, model->scans};
            lines << said::pointingModelUsed(*model, measure::calibrationSettingsPath());
            if (!options.trueSun.site)
                lines << said::pointingModelSiteUnchecked(model->site);
            if (model->refraction != options.trueSun.refraction)
                lines << said::savedCalibrationOtherSky(model->refraction, options.trueSun.refraction);
            return lines;
        }
        lines << refusal;
    }
    if (const std::optional<measure::SavedCalibration> saved = measure::loadCalibration()) {
        options.azimuthOffset = saved->azimuthOffset;
        options.elevationOffset = saved->elevationOffset;
        options.inForce = PointingInForce{PointingInForce::Source::SavedCalibration, saved->measuredUtc, 0, 0, 0};
        lines << said::savedCalibrationUsed(*saved, measure::calibrationSettingsPath());
        if (saved->refraction != options.trueSun.refraction)
            lines << said::savedCalibrationOtherSky(saved->refraction, options.trueSun.refraction);
    }
    return lines;
}

QString takeUpSavedCalibration(Bridge& bridge, const MountPointing& options)
{
    if (options.offsetsGiven || options.pointingModel)
        return {};
    const std::optional<measure::SavedCalibration> saved = measure::loadCalibration();
    if (!saved)
        return {};
    bridge.applyOffsets(saved->azimuthOffset, saved->elevationOffset, PointingInForce{PointingInForce::Source::SavedCalibration, saved->measuredUtc, 0, 0, 0});
    return said::savedCalibrationUsed(*saved, measure::calibrationSettingsPath());
}

rotator::RotatorFrame startingFrame(const MountPointing& options)
{
    rotator::RotatorFrame frame;
    frame.range = options.azimuthRange;
    const rotator::RotatorLimits extent = rotator::rangeExtent(options.azimuthRange);
    frame.limits = rotator::RotatorLimits{options.minAzimuth.value_or(extent.minAzimuth), options.maxAzimuth.value_or(extent.maxAzimuth),
                                          options.minElevation.value_or(0), options.maxElevation.value_or(90)};
    frame.azimuthOffset = options.azimuthOffset;
    frame.elevationOffset = options.elevationOffset;
    frame.model = options.pointingModel;
    return frame;
}

}  // namespace heliotrope::rotctl
