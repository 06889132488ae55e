#include "companions/measure/SavedCalibration.h"

#include "companions/mount/SavedPointingModel.h"

#include <QSettings>

#include <cmath>

namespace heliotrope::measure {

namespace {

// Beyond this an offset is not a calibration (the bridge takes at most 180).
constexpr double kLargestOffset = 180;

}  // namespace

bool saveCalibration(const SavedCalibration& calibration)
{
    QSettings store = heliotrope::mount::stationSettings();
    store.beginGroup(QStringLiteral("calibration"));
    store.setValue(QStringLiteral("azimuthOffset"), calibration.azimuthOffset);
    store.setValue(QStringLiteral("elevationOffset"), calibration.elevationOffset);
    store.setValue(QStringLiteral("measuredUtc"), calibration.measuredUtc.toUTC().toString(Qt::ISODate));
    store.setValue(QStringLiteral("refraction"), QString::fromLatin1(heliotrope::sky::refractionName(calibration.refraction)));
    store.endGroup();
    store.sync();
    return store.status() == QSettings::NoError;
}

std::optional<SavedCalibration> loadCalibration()
{
    QSettings store = heliotrope::mount::stationSettings();
    store.beginGroup(QStringLiteral("calibration"));
    bool okAz = false;
    bool okEl = false;
    SavedCalibration saved;
    saved.azimuthOffset = store.value(QStringLiteral("azimuthOffset")).toDouble(&okAz);
    saved.elevationOffset = store.value(QStringLiteral("elevationOffset")).toDouble(&okEl);
    saved.measuredUtc = QDateTime::fromString(store.value(QStringLiteral("measuredUtc")).toString(), Qt::ISODate);
    const QString refraction = store.value(QStringLiteral("refraction"), QStringLiteral("radio")).toString();
    const std::optional<heliotrope::sky::Refraction> named = heliotrope::sky::refractionNamed(refraction.toStdString());
    if (!named)
        return std::nullopt;
    saved.refraction = *named;
    if (!okAz || !okEl || !std::isfinite(saved.azimuthOffset) || !std::isfinite(saved.elevationOffset)
        || std::abs(saved.azimuthOffset) > kLargestOffset || std::abs(saved.elevationOffset) > kLargestOffset)
        return std::nullopt;
    return saved;
}

QString calibrationSettingsPath()
{
    return heliotrope::mount::stationSettings().fileName();
}

}  // namespace heliotrope::measure
