#include "companions/rotctl/page/RecordJson.h"

#include "companions/record/FluxRecord.h"
#include "companions/record/StationRecord.h"
#include "companions/rotctl/page/StationJson.h"

#include <QFileInfo>
#include <QJsonArray>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <variant>
#include <vector>

namespace heliotrope::rotctl {

namespace {

QJsonValue number(const std::optional<double>& value)
{
    return value && std::isfinite(*value) ? QJsonValue(*value) : QJsonValue();
}

QJsonValue measured(const std::optional<record::Measured>& value)
{
    if (!value)
        return QJsonValue();
    return QJsonObject{{QStringLiteral("value"), value->value}, {QStringLiteral("error"), value->error}};
}

QString utcText(const QDateTime& utc)
{
    return utc.isValid() ? utc.toUTC().toString(Qt::ISODateWithMs) : QString();
}

QJsonObject calibrationJson(const record::RecordedCalibration& c)
{
    return QJsonObject{{QStringLiteral("kind"), QStringLiteral("calibration")},
                       {QStringLiteral("utc"), utcText(c.utc)},
                       {QStringLiteral("pattern"), c.pattern},
                       {QStringLiteral("found"), c.found},
                       {QStringLiteral("saved"), c.saved},
                       {QStringLiteral("overTheTop"), c.overTheTop},
                       {QStringLiteral("azimuthOffset"), measured(c.azimuthOffset)},
                       {QStringLiteral("elevationOffset"), measured(c.elevationOffset)},
                       {QStringLiteral("crossElevationBeamwidth"), measured(c.crossElevationBeamwidth)},
                       {QStringLiteral("elevationBeamwidth"), measured(c.elevationBeamwidth)},
                       {QStringLiteral("yDecibels"), measured(c.yDecibels)},
                       {QStringLiteral("sunElevation"), c.sunElevation},
                       {QStringLiteral("rehearsalClockOffsetSeconds"), c.clockOffsetSeconds},
                       {QStringLiteral("duringBurst"), c.duringBurst},
                       {QStringLiteral("reason"), c.reason.isEmpty() ? QJsonValue() : QJsonValue(bilingualJson(c.reason))}};
}

QJsonObject sunNoiseJson(const record::RecordedSunNoise& r)
{
    return QJsonObject{{QStringLiteral("kind"), QStringLiteral("sunNoise")},
                       {QStringLiteral("utc"), utcText(r.utc)},
                       {QStringLiteral("startedUtc"), r.startedUtc.isValid() ? QJsonValue(utcText(r.startedUtc)) : QJsonValue()},
                       {QStringLiteral("found"), r.found},
                       {QStringLiteral("frequencyMegahertz"), number(r.frequencyMegahertz)},
                       {QStringLiteral("yDecibels"), number(r.yDecibels)},
                       {QStringLiteral("yDecibelsDeviation"), number(r.yDecibelsDeviation)},
                       {QStringLiteral("gOverTDecibelsPerKelvin"), number(r.gOverTDecibelsPerKelvin)},
                       {QStringLiteral("fluxSfu"), number(r.fluxSfu)},
                       {QStringLiteral("fluxTypedForTheDay"), r.fluxSource == record::FluxSource::TypedForTheDay},
                       {QStringLiteral("rehearsalClockOffsetSeconds"), r.clockOffsetSeconds},
                       {QStringLiteral("duringBurst"), r.duringBurst},
                       {QStringLiteral("reason"), r.reason.isEmpty() ? QJsonValue() : QJsonValue(bilingualJson(r.reason))}};
}

QString refusalName(flux::ValueRefusal refusal)
{
    switch (refusal) {
    case flux::ValueRefusal::None:
        return QString();
    case flux::ValueRefusal::NoReadings:
        return QStringLiteral("noReadings");
    case flux::ValueRefusal::TooFewClean:
        return QStringLiteral("tooFewClean");
    }
    return QString();
}

QJsonObject valueJson(const flux::FluxValue& v)
{
    return QJsonObject{{QStringLiteral("nominalUtc"), v.nominalUtc},
                       {QStringLiteral("sfu"), number(v.fluxSfu)},
                       {QStringLiteral("error"), v.fluxSfu ? QJsonValue(v.error) : QJsonValue()},
                       {QStringLiteral("totalError"), v.fluxSfu ? QJsonValue(v.totalError) : QJsonValue()},
                       {QStringLiteral("cleanReadings"), v.cleanReadings},
                       {QStringLiteral("refusal"), v.fluxSfu ? QJsonValue() : QJsonValue(refusalName(v.refusal))}};
}

QJsonObject burstJson(const flux::FluxBurst& b)
{
    return QJsonObject{{QStringLiteral("startUtc"), b.startUtc},
                       {QStringLiteral("peakUtc"), b.peakUtc},
                       {QStringLiteral("peakUtcError"), b.peakUtcError},
                       {QStringLiteral("endUtc"), b.endUtc},
                       {QStringLiteral("peakSfu"), b.peakSfu},
                       {QStringLiteral("peakExcessSfu"), b.peakExcessSfu},
                       {QStringLiteral("peakExcessError"), b.peakExcessError},
                       {QStringLiteral("peakExcessTotalError"), b.peakExcessTotalError}};
}

QJsonObject dayJson(const record::KeptFluxDay& day)
{
    QJsonArray fixed;
    for (const flux::FluxValue& v : day.atFixedTimes)
        fixed.append(valueJson(v));
    QJsonArray bursts;
    for (const flux::FluxBurst& b : day.bursts)
        bursts.append(burstJson(b));
    return QJsonObject{{QStringLiteral("jstDay"), day.jstDay.toString(Qt::ISODate)},
                       {QStringLiteral("scale"), record::scaleKindText(day.scale)},
                       {QStringLiteral("scaleRelativeError"), day.scaleRelativeError},
                       {QStringLiteral("scaleSource"), bilingualJson(day.scaleSource)},
                       {QStringLiteral("daily"), valueJson(day.daily)},
                       {QStringLiteral("atFixedTimes"), fixed},
                       {QStringLiteral("bursts"), bursts},
                       {QStringLiteral("referencesUsed"), day.referencesUsed}};
}

// The record opened for reading, or the reason it cannot be (none yet is no problem).
std::optional<QString> opened(record::StationRecord& record, bool* exists)
{
    *exists = QFileInfo::exists(record.path());
    if (!*exists)
        return std::nullopt;
    if (!record.open())
        return record.problem();
    return std::nullopt;
}

}  // namespace

QJsonObject historyJson(const QString& recordPath, const QDateTime& since)
{
    record::StationRecord record(recordPath);
    bool exists = false;
    QJsonArray runs;
    if (const std::optional<QString> problem = opened(record, &exists))
        return QJsonObject{{QStringLiteral("runs"), runs}, {QStringLiteral("problem"), bilingualJson(*problem)}};
    if (exists) {
        for (const record::StationRun& run : record.history(since)) {
            if (const auto* c = std::get_if<record::RecordedCalibration>(&run))
                runs.append(calibrationJson(*c));
            else
                runs.append(sunNoiseJson(std::get<record::RecordedSunNoise>(run)));
        }
    }
    return QJsonObject{{QStringLiteral("runs"), runs}};
}

QJsonObject fluxJson(const QString& recordPath, const QDate& since)
{
    record::StationRecord record(recordPath);
    bool exists = false;
    QJsonArray days;
    if (const std::optional<QString> problem = opened(record, &exists))
        return QJsonObject{{QStringLiteral("days"), days}, {QStringLiteral("problem"), bilingualJson(*problem)}};
    if (exists) {
        const record::FluxRecord flux(record);
        for (const record::KeptFluxDay& day : flux.keptFluxDays(since))
            days.append(dayJson(day));
    }
    return QJsonObject{{QStringLiteral("days"), days}};
}

QJsonObject lightCurveJson(const flux::FluxDay& day)
{
    struct Minute {
        std::vector<double> sfu;
        bool inBurst = false;
    };
    std::map<qint64, Minute> minutes;
    int flagged = 0;
    for (const flux::FluxReading& r : day.readings) {
        if (r.flags != 0 || !r.fluxSfu || !std::isfinite(*r.fluxSfu)) {
            ++flagged;
            continue;
        }
        Minute& m = minutes[static_cast<qint64>(std::floor(r.utc / 60.0))];
        m.sfu.push_back(*r.fluxSfu);
        m.inBurst = m.inBurst || r.inBurst;
    }
    QJsonArray curve;
    for (auto& [minute, m] : minutes) {
        const auto middle = m.sfu.begin() + static_cast<std::ptrdiff_t>(m.sfu.size() / 2);
        std::nth_element(m.sfu.begin(), middle, m.sfu.end());
        curve.append(QJsonArray{static_cast<double>(minute) * 60.0 + 30.0, *middle, m.inBurst});
    }
    QJsonArray bursts;
    for (const flux::FluxBurst& b : day.bursts)
        bursts.append(burstJson(b));
    return QJsonObject{{QStringLiteral("minutes"), curve},
                       {QStringLiteral("flagged"), flagged},
                       {QStringLiteral("bursts"), bursts},
                       {QStringLiteral("daily"), valueJson(day.daily)}};
}

}  // namespace heliotrope::rotctl
