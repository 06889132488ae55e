#include "companions/record/FluxRecord.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <limits>

namespace heliotrope::record {

namespace {

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

QVariant nullDouble()
{
    return QVariant(QMetaType::fromType<double>());
}

QVariant nullInteger()
{
    return QVariant(QMetaType::fromType<qint64>());
}

qint64 millisecondsOf(double utc)
{
    return std::llround(utc * 1000.0);
}

// SQLite keeps a bound NaN as NULL; saying so here keeps the reading-back the
// same for every column.
QVariant realOrNull(double value)
{
    return std::isfinite(value) ? QVariant(value) : nullDouble();
}

QVariant millidegreesOf(double degrees)
{
    if (!std::isfinite(degrees) || std::fabs(degrees) > 1e9)
        return nullInteger();
    return QVariant(static_cast<qint64>(std::llround(degrees * 1000.0)));
}

double degreesFrom(const QVariant& value)
{
    return value.isNull() ? kNotANumber : static_cast<double>(value.toLongLong()) / 1000.0;
}

double secondsFrom(const QVariant& milliseconds)
{
    return static_cast<double>(milliseconds.toLongLong()) / 1000.0;
}

double realFrom(const QVariant& value)
{
    return value.isNull() ? kNotANumber : value.toDouble();
}

std::optional<double> optionalFrom(const QVariant& value)
{
    if (value.isNull())
        return std::nullopt;
    return value.toDouble();
}

QVariant orNull(const std::optional<double>& value)
{
    return value && std::isfinite(*value) ? QVariant(*value) : nullDouble();
}

int stateCode(const flux::Reading& reading)
{
    return static_cast<int>(reading.state) * 2 + (reading.moved ? 1 : 0);
}

flux::StationState stateFrom(int code)
{
    switch (code / 2) {
    case 0:
        return flux::StationState::Tracking;
    case 1:
        return flux::StationState::Reference;
    case 2:
        return flux::StationState::Stow;
    default:
        return flux::StationState::Measurement;
    }
}

flux::ScaleKind scaleKindFrom(const QString& text)
{
    if (text == scaleKindText(flux::ScaleKind::HotCold))
        return flux::ScaleKind::HotCold;
    if (text == scaleKindText(flux::ScaleKind::NoiseSource))
        return flux::ScaleKind::NoiseSource;
    return flux::ScaleKind::GOverT;
}

flux::ValueRefusal refusalFrom(int code)
{
    switch (code) {
    case 1:
        return flux::ValueRefusal::NoReadings;
    case 2:
        return flux::ValueRefusal::TooFewClean;
    default:
        return flux::ValueRefusal::None;
    }
}

int refusalCode(flux::ValueRefusal refusal)
{
    switch (refusal) {
    case flux::ValueRefusal::None:
        return 0;
    case flux::ValueRefusal::NoReadings:
        return 1;
    case flux::ValueRefusal::TooFewClean:
        return 2;
    }
    return 0;
}

QString dayText(const QDate& day)
{
    return day.toString(Qt::ISODate);
}

}  // namespace

QString scaleKindText(flux::ScaleKind kind)
{
    switch (kind) {
    case flux::ScaleKind::GOverT:
        return QStringLiteral("G/T");
    case flux::ScaleKind::HotCold:
        return QStringLiteral("hot/cold");
    case flux::ScaleKind::NoiseSource:
        return QStringLiteral("noise source");
    }
    return QStringLiteral("G/T");
}

double jstDayStartUtc(const QDate& jstDay)
{
    return static_cast<double>(QDateTime(jstDay, QTime(0, 0), QTimeZone(9 * 3600)).toSecsSinceEpoch());
}

FluxRecord::FluxRecord(StationRecord& record)
    : m_record(record)
{
}

bool FluxRecord::hasFluxTables() const
{
    QSqlQuery query(QSqlDatabase::database(m_record.m_connection, false));
    return query.exec(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'flux_readings'")) && query.next();
}

bool FluxRecord::addFluxBatch(const std::vector<flux::Reading>& readings, const std::vector<flux::Reference>& references)
{
    // A reading is kept by its instant: one without a time has no place.
    for (const flux::Reading& r : readings)
        if (!std::isfinite(r.utc) || std::fabs(r.utc) > 1e14)
            return m_record.fail(QStringLiteral("時刻のない読みがあるため、この %1 件の読みを記録しません").arg(readings.size()),
                                 QStringLiteral("a reading without a time: none of the batch's %1 readings kept").arg(readings.size()),
                                 QStringLiteral("utc %1").arg(r.utc));
    for (const flux::Reference& r : references)
        if (!std::isfinite(r.startUtc) || !std::isfinite(r.endUtc) || std::fabs(r.startUtc) > 1e14 || std::fabs(r.endUtc) > 1e14)
            return m_record.fail(QStringLiteral("時刻のない参照があるため、この組の読みを記録しません"),
                                 QStringLiteral("a reference without a time: none of the batch kept"),
                                 QStringLiteral("start %1, end %2").arg(r.startUtc).arg(r.endUtc));
    const auto rows = [&](QSqlQuery& query) -> std::variant<qint64, QString> {
        query.prepare(QStringLiteral("INSERT OR REPLACE INTO flux_readings (utc_ms, power, antenna_az_mdeg, antenna_el_mdeg,"
                                     " sun_az_mdeg, sun_el_mdeg, separation_mdeg, state) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
        for (const flux::Reading& r : readings) {
            query.bindValue(0, millisecondsOf(r.utc));
            query.bindValue(1, realOrNull(r.power));
            query.bindValue(2, millidegreesOf(r.antennaAzimuth));
            query.bindValue(3, millidegreesOf(r.antennaElevation));
            query.bindValue(4, millidegreesOf(r.sunAzimuth));
            query.bindValue(5, millidegreesOf(r.sunElevation));
            query.bindValue(6, r.separationDegrees ? millidegreesOf(*r.separationDegrees) : nullInteger());
            query.bindValue(7, stateCode(r));
            if (!query.exec())
                return query.lastError().text();
        }
        query.prepare(QStringLiteral("INSERT OR REPLACE INTO flux_references (start_ms, end_ms, mean, scatter, count)"
                                     " VALUES (?, ?, ?, ?, ?)"));
        for (const flux::Reference& r : references) {
            query.bindValue(0, millisecondsOf(r.startUtc));
            query.bindValue(1, millisecondsOf(r.endUtc));
            query.bindValue(2, realOrNull(r.power.mean));
            query.bindValue(3, realOrNull(r.power.scatter));
            query.bindValue(4, r.power.count);
            if (!query.exec())
                return query.lastError().text();
        }
        return qint64{0};
    };
    return m_record
        .writeResult(QStringLiteral("追尾中の読み %1 件と参照 %2 回").arg(readings.size()).arg(references.size()),
                     QStringLiteral("%1 readings while tracking and %2 references").arg(readings.size()).arg(references.size()),
                     rows)
        .has_value();
}

std::vector<flux::Reading> FluxRecord::fluxReadingsBetween(double fromUtc, double toUtc) const
{
    std::vector<flux::Reading> readings;
    const QSqlDatabase db = QSqlDatabase::database(m_record.m_connection, false);
    if (!db.isOpen() || !(fromUtc < toUtc))
        return readings;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT utc_ms, power, antenna_az_mdeg, antenna_el_mdeg, sun_az_mdeg, sun_el_mdeg,"
                                 " separation_mdeg, state FROM flux_readings WHERE utc_ms >= ? AND utc_ms < ? ORDER BY utc_ms"));
    query.addBindValue(millisecondsOf(fromUtc));
    query.addBindValue(millisecondsOf(toUtc));
    if (!query.exec())
        return readings;
    while (query.next()) {
        flux::Reading r;
        r.utc = secondsFrom(query.value(0));
        r.power = realFrom(query.value(1));
        r.antennaAzimuth = degreesFrom(query.value(2));
        r.antennaElevation = degreesFrom(query.value(3));
        r.sunAzimuth = degreesFrom(query.value(4));
        r.sunElevation = degreesFrom(query.value(5));
        if (!query.value(6).isNull())
            r.separationDegrees = degreesFrom(query.value(6));
        const int code = query.value(7).toInt();
        r.moved = (code % 2) != 0;
        r.state = stateFrom(code);
        readings.push_back(r);
    }
    return readings;
}

qint64 FluxRecord::fluxReadingCountBetween(double fromUtc, double toUtc) const
{
    QSqlQuery query(QSqlDatabase::database(m_record.m_connection, false));
    query.prepare(QStringLiteral("SELECT count(*) FROM flux_readings WHERE utc_ms >= ? AND utc_ms < ?"));
    query.addBindValue(millisecondsOf(fromUtc));
    query.addBindValue(millisecondsOf(toUtc));
    if (!query.exec() || !query.next())
        return 0;
    return query.value(0).toLongLong();
}

double FluxRecord::readingStepDecibelsBetween(double fromUtc, double toUtc) const
{
    const QSqlDatabase db = QSqlDatabase::database(m_record.m_connection, false);
    if (!db.isOpen() || !(fromUtc < toUtc))
        return 0;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT power FROM flux_readings WHERE utc_ms >= ? AND utc_ms < ? AND power > 0"));
    query.addBindValue(millisecondsOf(fromUtc));
    query.addBindValue(millisecondsOf(toUtc));
    if (!query.exec())
        return 0;
    std::size_t whole = 0;
    std::size_t readable = 0;
    while (query.next()) {
        const double power = query.value(0).toDouble();
        if (std::isfinite(power)) {
            ++readable;
            whole += flux::inWholeDecibels(power);
        }
    }
    return flux::readingStepDecibels(whole, readable);
}

std::vector<flux::Reference> FluxRecord::fluxReferencesBetween(double fromUtc, double toUtc) const
{
    std::vector<flux::Reference> references;
    const QSqlDatabase db = QSqlDatabase::database(m_record.m_connection, false);
    if (!db.isOpen() || !(fromUtc < toUtc))
        return references;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT start_ms, end_ms, mean, scatter, count FROM flux_references"
                                 " WHERE start_ms >= ? AND start_ms < ? ORDER BY start_ms"));
    query.addBindValue(millisecondsOf(fromUtc));
    query.addBindValue(millisecondsOf(toUtc));
    if (!query.exec())
        return references;
    while (query.next()) {
        flux::Reference r;
        r.startUtc = secondsFrom(query.value(0));
        r.endUtc = secondsFrom(query.value(1));
        r.power.mean = realFrom(query.value(2));
        r.power.scatter = realFrom(query.value(3));
        r.power.count = query.value(4).toInt();
        references.push_back(r);
    }
    return references;
}

bool FluxRecord::keepFluxDay(const QDate& jstDay, const flux::FluxDay& day, const QString& scaleSource)
{
    if (!jstDay.isValid())
        return m_record.fail(QStringLiteral("日付のない日は記録しません"), QStringLiteral("a day without a date is not kept"),
                             QStringLiteral("invalid date"));
    // The day's flags are replaced over the whole JST day and wherever its
    // readings reach, so that a day worked out again leaves none of the old.
    double from = jstDayStartUtc(jstDay);
    double to = jstDayStartUtc(jstDay.addDays(1));
    for (const flux::FluxReading& r : day.readings)
        if (std::isfinite(r.utc)) {
            from = std::min(from, r.utc);
            to = std::max(to, r.utc + 0.001);
        }
    const auto valueRow = [&](QSqlQuery& query, int seq, const flux::FluxValue& v) {
        for (const QVariant& value : {QVariant(dayText(jstDay)), QVariant(seq), QVariant(v.nominalUtc), realOrNull(v.meanUtc),
                                      orNull(v.fluxSfu), realOrNull(v.error), realOrNull(v.totalError), QVariant(v.cleanReadings),
                                      QVariant(refusalCode(v.refusal))})
            query.addBindValue(value);
        return query.exec();
    };
    const auto rows = [&](QSqlQuery& query) -> std::variant<qint64, QString> {
        query.prepare(QStringLiteral("DELETE FROM flux_days WHERE jst_day = ?"));
        query.addBindValue(dayText(jstDay));
        if (!query.exec())
            return query.lastError().text();
        query.prepare(QStringLiteral("DELETE FROM flux_reading_flags WHERE utc_ms >= ? AND utc_ms < ?"));
        query.addBindValue(millisecondsOf(from));
        query.addBindValue(millisecondsOf(to));
        if (!query.exec())
            return query.lastError().text();
        query.prepare(QStringLiteral("INSERT INTO flux_days (jst_day, scale_kind, scale_relative_error, scale_source, references_used,"
                                     " reading_noise, gain_wander, readings) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
        for (const QVariant& value : {QVariant(dayText(jstDay)), QVariant(scaleKindText(day.scale)), realOrNull(day.scaleRelativeError),
                                      QVariant(scaleSource), QVariant(day.referencesUsed), realOrNull(day.readingNoise),
                                      realOrNull(day.gainWander), QVariant(static_cast<qint64>(day.readings.size()))})
            query.addBindValue(value);
        if (!query.exec())
            return query.lastError().text();
        query.prepare(QStringLiteral("INSERT INTO flux_values (jst_day, seq, nominal_utc, mean_utc, flux_sfu, error, total_error,"
                                     " clean_readings, refusal) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        if (!valueRow(query, 0, day.daily))
            return query.lastError().text();
        for (std::size_t i = 0; i < day.atFixedTimes.size(); ++i)
            if (!valueRow(query, static_cast<int>(i) + 1, day.atFixedTimes[i]))
                return query.lastError().text();
        query.prepare(QStringLiteral("INSERT INTO flux_bursts (jst_day, seq, start_utc, peak_utc, peak_utc_error, end_utc, peak_sfu,"
                                     " peak_excess, peak_excess_error, peak_excess_total_error, integrated_excess,"
                                     " integrated_excess_error, integrated_excess_total_error, quiet_sfu, quiet_scatter)"
                                     " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        int seq = 0;
        for (const flux::FluxBurst& b : day.bursts) {
            for (const QVariant& value :
                 {QVariant(dayText(jstDay)), QVariant(seq++), QVariant(b.startUtc), QVariant(b.peakUtc), realOrNull(b.peakUtcError),
                  QVariant(b.endUtc), realOrNull(b.peakSfu), realOrNull(b.peakExcessSfu), realOrNull(b.peakExcessError),
                  realOrNull(b.peakExcessTotalError), realOrNull(b.integratedExcessSfuSeconds), realOrNull(b.integratedExcessError),
                  realOrNull(b.integratedExcessTotalError), realOrNull(b.quietSfu), realOrNull(b.quietScatterSfu)})
                query.addBindValue(value);
            if (!query.exec())
                return query.lastError().text();
        }
        query.prepare(QStringLiteral("INSERT OR REPLACE INTO flux_reading_flags (utc_ms, flags, in_burst) VALUES (?, ?, ?)"));
        for (const flux::FluxReading& r : day.readings) {
            if ((r.flags == 0 && !r.inBurst) || !std::isfinite(r.utc))
                continue;
            query.bindValue(0, millisecondsOf(r.utc));
            query.bindValue(1, static_cast<qint64>(r.flags));
            query.bindValue(2, r.inBurst ? 1 : 0);
            if (!query.exec())
                return query.lastError().text();
        }
        return qint64{0};
    };
    return m_record
        .writeResult(QStringLiteral("%1（JST）のフラックス").arg(dayText(jstDay)),
                     QStringLiteral("the flux of %1 (JST)").arg(dayText(jstDay)), rows)
        .has_value();
}

namespace {

flux::FluxValue valueFrom(const QSqlQuery& q, flux::ScaleKind scale)
{
    flux::FluxValue v;
    v.scale = scale;
    v.nominalUtc = q.value(1).toDouble();
    v.meanUtc = realFrom(q.value(2));
    v.fluxSfu = optionalFrom(q.value(3));
    v.error = realFrom(q.value(4));
    v.totalError = realFrom(q.value(5));
    v.cleanReadings = q.value(6).toInt();
    v.refusal = refusalFrom(q.value(7).toInt());
    return v;
}

}  // namespace

std::vector<KeptFluxDay> FluxRecord::keptFluxDays(const QDate& since) const
{
    std::vector<KeptFluxDay> days;
    const QSqlDatabase db = QSqlDatabase::database(m_record.m_connection, false);
    if (!db.isOpen())
        return days;
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT jst_day, scale_kind, scale_relative_error, scale_source, references_used, reading_noise,"
                                 " gain_wander, readings FROM flux_days WHERE jst_day >= ? ORDER BY jst_day"));
    query.addBindValue(since.isValid() ? dayText(since) : QStringLiteral("0000"));
    if (!query.exec())
        return days;
    while (query.next()) {
        KeptFluxDay day;
        day.jstDay = QDate::fromString(query.value(0).toString(), Qt::ISODate);
        day.scale = scaleKindFrom(query.value(1).toString());
        day.scaleRelativeError = realFrom(query.value(2));
        day.scaleSource = query.value(3).toString();
        day.referencesUsed = query.value(4).toInt();
        day.readingNoise = realFrom(query.value(5));
        day.gainWander = realFrom(query.value(6));
        day.readingsWorkedOut = query.value(7).toInt();
        days.push_back(day);
    }
    QSqlQuery values(db);
    values.prepare(QStringLiteral("SELECT seq, nominal_utc, mean_utc, flux_sfu, error, total_error, clean_readings, refusal"
                                  " FROM flux_values WHERE jst_day = ? ORDER BY seq"));
    QSqlQuery bursts(db);
    bursts.prepare(QStringLiteral("SELECT start_utc, peak_utc, peak_utc_error, end_utc, peak_sfu, peak_excess, peak_excess_error,"
                                  " peak_excess_total_error, integrated_excess, integrated_excess_error,"
                                  " integrated_excess_total_error, quiet_sfu, quiet_scatter FROM flux_bursts WHERE jst_day = ?"
                                  " ORDER BY seq"));
    for (KeptFluxDay& day : days) {
        values.addBindValue(dayText(day.jstDay));
        values.exec();
        while (values.next()) {
            if (values.value(0).toInt() == 0)
                day.daily = valueFrom(values, day.scale);
            else
                day.atFixedTimes.push_back(valueFrom(values, day.scale));
        }
        bursts.addBindValue(dayText(day.jstDay));
        bursts.exec();
        while (bursts.next()) {
            flux::FluxBurst b;
            b.scale = day.scale;
            b.startUtc = bursts.value(0).toDouble();
            b.peakUtc = bursts.value(1).toDouble();
            b.peakUtcError = realFrom(bursts.value(2));
            b.endUtc = bursts.value(3).toDouble();
            b.peakSfu = realFrom(bursts.value(4));
            b.peakExcessSfu = realFrom(bursts.value(5));
            b.peakExcessError = realFrom(bursts.value(6));
            b.peakExcessTotalError = realFrom(bursts.value(7));
            b.integratedExcessSfuSeconds = realFrom(bursts.value(8));
            b.integratedExcessError = realFrom(bursts.value(9));
            b.integratedExcessTotalError = realFrom(bursts.value(10));
            b.quietSfu = realFrom(bursts.value(11));
            b.quietScatterSfu = realFrom(bursts.value(12));
            day.bursts.push_back(b);
        }
    }
    return days;
}

std::optional<KeptFluxDay> FluxRecord::keptFluxDay(const QDate& jstDay) const
{
    std::vector<KeptFluxDay> days = keptFluxDays(jstDay);
    if (days.empty() || days.front().jstDay != jstDay)
        return std::nullopt;
    return days.front();
}

std::vector<KeptReadingFlags> FluxRecord::keptReadingFlagsBetween(double fromUtc, double toUtc) const
{
    std::vector<KeptReadingFlags> kept;
    QSqlQuery query(QSqlDatabase::database(m_record.m_connection, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT utc_ms, flags, in_burst FROM flux_reading_flags WHERE utc_ms >= ? AND utc_ms < ?"
                                 " ORDER BY utc_ms"));
    query.addBindValue(millisecondsOf(fromUtc));
    query.addBindValue(millisecondsOf(toUtc));
    if (!query.exec())
        return kept;
    while (query.next())
        kept.push_back({secondsFrom(query.value(0)), static_cast<unsigned>(query.value(1).toLongLong()),
                        query.value(2).toBool()});
    return kept;
}

}  // namespace heliotrope::record
