#include "companions/mount/SavedPointingModel.h"

#include "companions/sky/SiteDistance.h"

#include <cmath>

namespace heliotrope::mount {

namespace {

const QString kModelGroup = QStringLiteral("pointingModel");

QString siteText(const heliotrope::sky::Site& site)
{
    return QStringLiteral("%1,%2").arg(site.latitude, 0, 'f', 4).arg(site.longitude, 0, 'f', 4);
}

}  // namespace

QSettings stationSettings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("heliotrope"), QStringLiteral("heliotrope-rotctl"));
}

bool savePointingModel(const SavedPointingModel& saved)
{
    using heliotrope::pointing::kAllTerms;
    using heliotrope::pointing::termName;
    QSettings store = stationSettings();
    store.remove(kModelGroup);
    store.beginGroup(kModelGroup);
    // Each term at full precision: a model rounded on the way to the file
    // would no longer be the one whose rms was said.
    for (const heliotrope::pointing::Term term : kAllTerms)
        store.setValue(QString::fromLatin1(termName(term)), saved.model[term]);
    store.setValue(QStringLiteral("azimuthRangeStart"), saved.model.azimuthRangeStart);
    store.setValue(QStringLiteral("latitude"), saved.site.latitude);
    store.setValue(QStringLiteral("longitude"), saved.site.longitude);
    store.setValue(QStringLiteral("height"), saved.site.height);
    store.setValue(QStringLiteral("refraction"), QString::fromLatin1(heliotrope::sky::refractionName(saved.refraction)));
    store.setValue(QStringLiteral("rmsBefore"), saved.rmsBefore);
    store.setValue(QStringLiteral("rmsAfter"), saved.rmsAfter);
    store.setValue(QStringLiteral("scans"), saved.scans);
    store.setValue(QStringLiteral("fittedUtc"), saved.fittedUtc.toUTC().toString(Qt::ISODate));
    store.endGroup();
    store.sync();
    return store.status() == QSettings::NoError;
}

std::optional<SavedPointingModel> loadPointingModel()
{
    using heliotrope::pointing::kAllTerms;
    using heliotrope::pointing::termName;
    QSettings store = stationSettings();
    if (!store.childGroups().contains(kModelGroup))
        return std::nullopt;
    store.beginGroup(kModelGroup);
    SavedPointingModel saved;
    bool allOk = true;
    const auto number = [&](const QString& key) {
        bool ok = false;
        const double value = store.value(key).toDouble(&ok);
        allOk = allOk && ok && std::isfinite(value);
        return value;
    };
    for (const heliotrope::pointing::Term term : kAllTerms)
        saved.model[term] = number(QString::fromLatin1(termName(term)));
    saved.model.azimuthRangeStart = number(QStringLiteral("azimuthRangeStart"));
    saved.site.latitude = number(QStringLiteral("latitude"));
    saved.site.longitude = number(QStringLiteral("longitude"));
    saved.site.height = number(QStringLiteral("height"));
    saved.rmsBefore = number(QStringLiteral("rmsBefore"));
    saved.rmsAfter = number(QStringLiteral("rmsAfter"));
    saved.scans = static_cast<int>(number(QStringLiteral("scans")));
    saved.fittedUtc = QDateTime::fromString(store.value(QStringLiteral("fittedUtc")).toString(), Qt::ISODate);
    const std::optional<heliotrope::sky::Refraction> refraction
        = heliotrope::sky::refractionNamed(store.value(QStringLiteral("refraction")).toString().toStdString());
    if (!allOk || !refraction)
        return std::nullopt;
    saved.refraction = *refraction;
    // Through the model's own reading, which bounds every term.
    if (!heliotrope::pointing::parseMount(heliotrope::pointing::mountText(saved.model), nullptr))
        return std::nullopt;
    return saved;
}

double azimuthRangeStart(rotator::AzimuthRange range)
{
    return range == rotator::AzimuthRange::FromMinus180To180 ? -180.0 : 0.0;
}

QString pointingModelRefusal(const SavedPointingModel& saved, const std::optional<heliotrope::sky::Site>& site,
                             rotator::AzimuthRange range)
{
    using heliotrope::pointing::Direction;
    const double distance = site ? heliotrope::sky::kilometresBetween(saved.site, *site) : 0;
    if (distance > kModelSiteKilometres) {
        return QStringLiteral("保存した指向モデルは別の地点（%1、--site %2 から %3 km）のアンテナのものです。使いません。"
                              "この地点の記録から --fit-pointing-model で求め直してください。\n"
                              "The saved pointing model belongs to another site's mount (%1, %3 km from --site %2): not applied. "
                              "Fit one from this site's record with --fit-pointing-model.")
            .arg(siteText(saved.site), siteText(*site))
            .arg(distance, 0, 'f', 1);
    }
    if (saved.model.azimuthRangeStart != azimuthRangeStart(range)) {
        return QStringLiteral("保存した指向モデルは方位角が %1° から始まるローテーターで求めたもので、--az-range と合いません。使いません。\n"
                              "The saved pointing model was fitted for a rotator whose azimuth starts at %1°, not this --az-range: "
                              "not applied.")
            .arg(saved.model.azimuthRangeStart);
    }
    // The sky the bridge commands: every direction above the horizon, short of
    // the zenith's last degrees where any azimuth term is held.
    constexpr double kAzimuthStep = 15;
    constexpr double kElevationStep = 8;
    constexpr double kHighest = 88;
    double worst = 0;
    Direction worstAt;
    bool converged = true;
    for (double elevation = 0; elevation <= kHighest; elevation += kElevationStep) {
        for (double azimuth = 0; azimuth < 360; azimuth += kAzimuthStep) {
            const Direction sky{azimuth, elevation};
            const heliotrope::pointing::Command command = heliotrope::pointing::commandFor(saved.model, sky);
            const Direction beam = heliotrope::pointing::beamOnSky(saved.model, command.reading);
            const double shift = heliotrope::pointing::separationOnSky(sky, Direction{command.reading.azimuth, command.reading.elevation});
            converged = converged && command.converged && heliotrope::pointing::separationOnSky(sky, beam) < 1e-6;
            if (!converged || shift > worst) {
                worst = shift;
                worstAt = sky;
            }
            if (!converged)
                break;
        }
    }
    if (!converged || worst > kLargestModelShift) {
        return QStringLiteral("保存した指向モデル（%1）は方位角 %2° 仰角 %3° へのコマンドを %4 動かします。"
                              "架台の誤差ではありえず、ローテーターの範囲を外れるため使いません。\n"
                              "The saved pointing model (%1) moves the command for azimuth %2°, elevation %3° by %5: "
                              "no mount's error, and beyond what the rotator can follow. Not applied.")
            .arg(QString::fromStdString(heliotrope::pointing::mountText(saved.model)))
            .arg(worstAt.azimuth)
            .arg(worstAt.elevation)
            .arg(converged ? QStringLiteral("%1°").arg(worst, 0, 'f', 2) : QStringLiteral("収束しないほど"),
                 converged ? QStringLiteral("%1°").arg(worst, 0, 'f', 2) : QStringLiteral("so much that it does not converge"));
    }
    return {};
}

}  // namespace heliotrope::mount
