#include "companions/rotctl/bridge/KeptHold.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <cmath>

namespace heliotrope::rotctl {

namespace {

const QString kGroup = QStringLiteral("hold");

// What a rotator's degrees can be, in any of the bridge's ranges.
bool plausible(double azimuth, double elevation)
{
    return std::isfinite(azimuth) && std::isfinite(elevation) && azimuth >= -360 && azimuth <= 720 && elevation >= -90
        && elevation <= 180;
}

}  // namespace

QString stateFolder()
{
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    const QString base = state.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/state") : state;
    return base + QStringLiteral("/heliotrope");
}

QString keptHoldPath()
{
    return stateFolder() + QStringLiteral("/heliotrope-rotctl-hold.ini");
}

bool keepHold(const KeptHold& hold)
{
    const QString path = keptHoldPath();
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    QSettings store(path, QSettings::IniFormat);
    store.clear();
    store.beginGroup(kGroup);
    store.setValue(QStringLiteral("kind"), hold.stop ? QStringLiteral("stop") : QStringLiteral("stow"));
    if (hold.at) {
        store.setValue(QStringLiteral("azimuth"), hold.at->azimuth);
        store.setValue(QStringLiteral("elevation"), hold.at->elevation);
    }
    store.setValue(QStringLiteral("askedUtc"), hold.askedUtc.toUTC().toString(Qt::ISODate));
    store.endGroup();
    store.sync();
    return store.status() == QSettings::NoError;
}

std::optional<KeptHold> loadKeptHold(bool* unreadable)
{
    const QString path = keptHoldPath();
    if (!QFileInfo::exists(path))
        return std::nullopt;
    QSettings store(path, QSettings::IniFormat);
    store.beginGroup(kGroup);
    const QString kind = store.value(QStringLiteral("kind")).toString();
    KeptHold hold;
    hold.stop = kind == QLatin1String("stop");
    hold.askedUtc = QDateTime::fromString(store.value(QStringLiteral("askedUtc")).toString(), Qt::ISODate);
    bool azimuthRead = false;
    bool elevationRead = false;
    const double azimuth = store.value(QStringLiteral("azimuth")).toDouble(&azimuthRead);
    const double elevation = store.value(QStringLiteral("elevation")).toDouble(&elevationRead);
    const bool positionGiven = store.contains(QStringLiteral("azimuth")) || store.contains(QStringLiteral("elevation"));
    if (store.status() != QSettings::NoError || (kind != QLatin1String("stop") && kind != QLatin1String("stow"))
        || (positionGiven && (!azimuthRead || !elevationRead || !plausible(azimuth, elevation)))) {
        *unreadable = true;
        return std::nullopt;
    }
    if (positionGiven && !hold.stop)
        hold.at = rotator::RotatorPosition{azimuth, elevation};
    return hold;
}

bool forgetHold()
{
    const QString path = keptHoldPath();
    return !QFileInfo::exists(path) || QFile::remove(path);
}

}  // namespace heliotrope::rotctl
