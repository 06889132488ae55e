#include "companions/record/StationRecord.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTimeZone>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <iterator>

namespace heliotrope::record {

namespace {

// Each step brings the schema from version (index) to version (index + 1).
// A step is never edited once released: a record written by that version
// must come up the same way.
const char* const kStepTo1[] = {
    "CREATE TABLE calibrations ("
    " id INTEGER PRIMARY KEY,"
    " utc TEXT NOT NULL,"
    " latitude REAL NOT NULL, longitude REAL NOT NULL, height REAL NOT NULL,"
    " pattern TEXT NOT NULL,"
    " found INTEGER NOT NULL, saved INTEGER NOT NULL, reason TEXT,"
    " azimuth_offset REAL, azimuth_offset_error REAL,"
    " elevation_offset REAL, elevation_offset_error REAL,"
    " xel_beamwidth REAL, xel_beamwidth_error REAL,"
    " el_beamwidth REAL, el_beamwidth_error REAL,"
    " y_db REAL, y_db_error REAL,"
    " sun_elevation REAL NOT NULL,"
    " refraction TEXT NOT NULL,"
    " rotator_step REAL, dead_band REAL NOT NULL,"
    " program_version TEXT NOT NULL)",
    "CREATE TABLE calibration_points ("
    " calibration_id INTEGER NOT NULL REFERENCES calibrations(id) ON DELETE CASCADE,"
    " seq INTEGER NOT NULL,"
    " role TEXT NOT NULL,"
    " planned_xel REAL NOT NULL, planned_el REAL NOT NULL,"
    " skipped INTEGER NOT NULL,"
    " xel REAL NOT NULL, el REAL NOT NULL,"
    " power_db REAL NOT NULL, spread_db REAL NOT NULL, count INTEGER NOT NULL,"
    " utc TEXT NOT NULL,"
    " sun_azimuth REAL NOT NULL, sun_elevation REAL NOT NULL,"
    " read_azimuth REAL NOT NULL, read_elevation REAL NOT NULL,"
    " position_uncertainty REAL NOT NULL,"
    " PRIMARY KEY (calibration_id, seq))",
    "CREATE TABLE sun_noise_runs ("
    " id INTEGER PRIMARY KEY,"
    " utc TEXT NOT NULL,"
    " latitude REAL NOT NULL, longitude REAL NOT NULL, height REAL NOT NULL,"
    " found INTEGER NOT NULL, reason TEXT,"
    " y_db REAL, y_db_deviation REAL, g_over_t REAL,"
    " flux_sfu REAL, frequency_mhz REAL, dish_diameter_m REAL,"
    " program_version TEXT NOT NULL)",
    "CREATE TABLE sun_noise_repeats ("
    " run_id INTEGER NOT NULL REFERENCES sun_noise_runs(id) ON DELETE CASCADE,"
    " seq INTEGER NOT NULL,"
    " sun_db REAL NOT NULL, cold_db REAL NOT NULL,"
    " PRIMARY KEY (run_id, seq))",
};
const char* const kStepTo2[] = {
    "ALTER TABLE sun_noise_runs ADD COLUMN expected_y_db REAL",
    "ALTER TABLE sun_noise_runs ADD COLUMN agc_warning INTEGER NOT NULL DEFAULT 0",
    "CREATE INDEX calibrations_by_utc ON calibrations (utc)",
    "CREATE INDEX sun_noise_by_utc ON sun_noise_runs (utc)",
    "CREATE INDEX sun_noise_by_frequency ON sun_noise_runs (frequency_mhz, utc)",
};

// A scan taken over the top is marked; every calibration before it was straight.
const char* const kStepTo3[] = {
    "ALTER TABLE calibrations ADD COLUMN over_the_top INTEGER NOT NULL DEFAULT 0",
};

// A rehearsal's clock offset is kept; every run before it was the station's own.
const char* const kStepTo4[] = {
    "ALTER TABLE calibrations ADD COLUMN clock_offset_s REAL NOT NULL DEFAULT 0",
    "ALTER TABLE sun_noise_runs ADD COLUMN clock_offset_s REAL NOT NULL DEFAULT 0",
};

// A run's flux was its --flux until now; a day's own flux can be typed in.
const char* const kStepTo5[] = {
    "ALTER TABLE sun_noise_runs ADD COLUMN flux_source TEXT NOT NULL DEFAULT 'assumed'",
    "CREATE TABLE day_flux (utc_day TEXT PRIMARY KEY, flux_sfu REAL NOT NULL, typed_utc TEXT NOT NULL)",
};

// The sun's flux: the readings while tracking, keyed by their UTC in whole
// milliseconds, angles in whole millidegrees, the state and the rotator's
// having moved as state * 2 + moved; the references by their start; the days
// worked out by their JST date, with their values (seq 0 the day's, then the
// fixed times), bursts and the flags of the readings that have any.
const char* const kStepTo6[] = {
    ("CREATE TABLE flux_readings ("
     " utc_ms INTEGER PRIMARY KEY, power REAL,"
     " antenna_az_mdeg INTEGER, antenna_el_mdeg INTEGER, sun_az_mdeg INTEGER, sun_el_mdeg INTEGER,"
     " separation_mdeg INTEGER, state INTEGER NOT NULL) WITHOUT ROWID"),
    ("CREATE TABLE flux_references ("
     " start_ms INTEGER PRIMARY KEY, end_ms INTEGER NOT NULL,"
     " mean REAL, scatter REAL, count INTEGER NOT NULL) WITHOUT ROWID"),
    ("CREATE TABLE flux_days ("
     " jst_day TEXT PRIMARY KEY, scale_kind TEXT NOT NULL, scale_relative_error REAL NOT NULL,"
     " scale_source TEXT NOT NULL, references_used INTEGER NOT NULL, reading_noise REAL, gain_wander REAL,"
     " readings INTEGER NOT NULL)"),
    ("CREATE TABLE flux_values ("
     " jst_day TEXT NOT NULL REFERENCES flux_days(jst_day) ON DELETE CASCADE, seq INTEGER NOT NULL,"
     " nominal_utc REAL NOT NULL, mean_utc REAL, flux_sfu REAL, error REAL, total_error REAL,"
     " clean_readings INTEGER NOT NULL, refusal INTEGER NOT NULL, PRIMARY KEY (jst_day, seq))"),
    ("CREATE TABLE flux_bursts ("
     " jst_day TEXT NOT NULL REFERENCES flux_days(jst_day) ON DELETE CASCADE, seq INTEGER NOT NULL,"
     " start_utc REAL NOT NULL, peak_utc REAL NOT NULL, peak_utc_error REAL, end_utc REAL NOT NULL,"
     " peak_sfu REAL, peak_excess REAL, peak_excess_error REAL, peak_excess_total_error REAL,"
     " integrated_excess REAL, integrated_excess_error REAL, integrated_excess_total_error REAL,"
     " quiet_sfu REAL, quiet_scatter REAL, PRIMARY KEY (jst_day, seq))"),
    ("CREATE TABLE flux_reading_flags ("
     " utc_ms INTEGER PRIMARY KEY, flags INTEGER NOT NULL, in_burst INTEGER NOT NULL) WITHOUT ROWID"),
};

// A run during a burst is marked (every run before was unmarked, the flux
// watch not yet there); a sun-noise run's start is kept beside its end.
const char* const kStepTo7[] = {
    "ALTER TABLE calibrations ADD COLUMN during_burst INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE sun_noise_runs ADD COLUMN during_burst INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE sun_noise_runs ADD COLUMN started_utc TEXT",
};

// The system temperatures measured on cold sky: the three dwells' linear
// powers, the step in temperature behind the rise (the absorber's and the
// cold sky's kelvin, or the source's excess noise), and the aperture the
// operator gave. A table of its own: nothing of the earlier ones changes.
const char* const kStepTo8[] = {
    ("CREATE TABLE system_temperature_runs ("
     " id INTEGER PRIMARY KEY, utc TEXT NOT NULL,"
     " latitude REAL NOT NULL, longitude REAL NOT NULL, height REAL NOT NULL,"
     " kind TEXT NOT NULL, found INTEGER NOT NULL, reason TEXT,"
     " frequency_mhz REAL NOT NULL, dish_diameter_m REAL NOT NULL, efficiency REAL NOT NULL, efficiency_error REAL NOT NULL,"
     " cold_azimuth REAL NOT NULL, cold_elevation REAL NOT NULL,"
     " cold_before_mean REAL, cold_before_scatter REAL, cold_before_count INTEGER,"
     " raised_mean REAL, raised_scatter REAL, raised_count INTEGER,"
     " cold_after_mean REAL, cold_after_scatter REAL, cold_after_count INTEGER,"
     " ambient_k REAL, ambient_error_k REAL, cold_sky_k REAL, cold_sky_error_k REAL,"
     " enr_db REAL, enr_error_db REAL, y_factor REAL, system_k REAL, system_error_k REAL, cold_drift REAL,"
     " program_version TEXT NOT NULL, clock_offset_s REAL NOT NULL)"),
    "CREATE INDEX system_temperature_runs_by_utc ON system_temperature_runs (utc)",
};

struct Step {
    const char* const* statements;
    std::size_t count;
};
const Step kSteps[] = {
    {kStepTo1, std::size(kStepTo1)},
    {kStepTo2, std::size(kStepTo2)},
    {kStepTo3, std::size(kStepTo3)},
    {kStepTo4, std::size(kStepTo4)},
    {kStepTo5, std::size(kStepTo5)},
    {kStepTo6, std::size(kStepTo6)},
    {kStepTo7, std::size(kStepTo7)},
    {kStepTo8, std::size(kStepTo8)},
};
static_assert(std::size(kSteps) == StationRecord::kSchemaVersion);

// Times as ISO 8601 UTC with milliseconds: they sort as text.
QString timeText(const QDateTime& utc)
{
    return utc.toUTC().toString(Qt::ISODateWithMs);
}

QDateTime timeFrom(const QVariant& value)
{
    QDateTime utc = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    utc.setTimeZone(QTimeZone::utc());
    return utc;
}

QVariant orNull(const std::optional<double>& value)
{
    return value ? QVariant(*value) : QVariant(QMetaType::fromType<double>());
}

std::optional<double> optionalFrom(const QVariant& value)
{
    if (value.isNull())
        return std::nullopt;
    return value.toDouble();
}

std::optional<Measured> measuredFrom(const QVariant& value, const QVariant& error)
{
    if (value.isNull())
        return std::nullopt;
    return Measured{value.toDouble(), error.toDouble()};
}

QVariant valueOf(const std::optional<Measured>& m)
{
    return m ? QVariant(m->value) : QVariant(QMetaType::fromType<double>());
}

QVariant errorOf(const std::optional<Measured>& m)
{
    return m ? QVariant(m->error) : QVariant(QMetaType::fromType<double>());
}

// The source as the record spells it; anything else read back is an
// assumption, never a typed flux.
QString fluxSourceText(FluxSource source)
{
    return source == FluxSource::TypedForTheDay ? QStringLiteral("typed") : QStringLiteral("assumed");
}

FluxSource fluxSourceFrom(const QVariant& value)
{
    return value.toString() == QLatin1String("typed") ? FluxSource::TypedForTheDay : FluxSource::Assumed;
}

QString dayText(const QDate& utcDay)
{
    return utcDay.toString(Qt::ISODate);
}

QString nextConnectionName()
{
    static std::atomic<int> serial{0};
    return QStringLiteral("heliotrope-station-record-%1").arg(++serial);
}

}  // namespace

QString StationRecord::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/heliotrope/station.sqlite");
}

StationRecord::StationRecord(QString path)
    : m_path(std::move(path))
    , m_connection(nextConnectionName())
{
}

StationRecord::~StationRecord()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (db.isValid())
            db.close();
    }
    if (QSqlDatabase::contains(m_connection))
        QSqlDatabase::removeDatabase(m_connection);
}

bool StationRecord::fail(const QString& japanese, const QString& english, const QString& detail)
{
    m_problem = QStringLiteral("%1（%3）\n%2 (%3)").arg(japanese, english, detail);
    return false;
}

bool StationRecord::isOpen() const
{
    return QSqlDatabase::database(m_connection, false).isOpen();
}

bool StationRecord::open()
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        return fail(QStringLiteral("Qt の SQLite ドライバがありません。libqt6sql6-sqlite を入れてください"),
                    QStringLiteral("Qt's SQLite driver is missing: install libqt6sql6-sqlite"), QStringLiteral("QSQLITE"));
    const QFileInfo file(m_path);
    if (!QDir().mkpath(file.absolutePath()))
        return fail(QStringLiteral("記録のフォルダ「%1」を作れません").arg(file.absolutePath()),
                    QStringLiteral("cannot create the record's folder %1").arg(file.absolutePath()), m_path);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_path);
    // A bridge and an asking command may open the record at once: wait for
    // the other's transaction rather than fail.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    const auto cannotOpen = [&](const QString& detail) {
        return fail(QStringLiteral("記録「%1」を開けません").arg(m_path), QStringLiteral("cannot open the record %1").arg(m_path),
                    detail);
    };
    if (!db.open())
        return cannotOpen(db.lastError().text());
    QSqlQuery query(db);
    // Commit means on the disk, and a point's runs go with it.
    for (const char* pragma : {"PRAGMA synchronous = FULL", "PRAGMA foreign_keys = ON"})
        if (!query.exec(QString::fromLatin1(pragma)))
            return cannotOpen(query.lastError().text());
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return cannotOpen(query.lastError().text());
    m_foundVersion = query.value(0).toInt();
    query.finish();
    if (m_foundVersion > kSchemaVersion) {
        m_writable = false;
        m_problem = QStringLiteral("記録「%1」は新しい版の heliotrope-rotctl が書いたもの（形式 %2、この版は %3）です。読むだけで、書き足しません。\n"
                                   "The record %1 was written by a newer heliotrope-rotctl (schema %2, this one knows %3): "
                                   "read, never written.")
                        .arg(m_path)
                        .arg(m_foundVersion)
                        .arg(kSchemaVersion);
        return true;
    }
    if (m_foundVersion < kSchemaVersion && !migrate(m_foundVersion))
        return false;
    m_writable = true;
    return true;
}

bool StationRecord::migrate(int from)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    for (int version = from; version < kSchemaVersion; ++version) {
        const Step& step = kSteps[version];
        const auto cannot = [&](const QString& detail) {
            db.rollback();
            return fail(QStringLiteral("記録「%1」を形式 %2 から %3 に更新できません").arg(m_path).arg(version).arg(version + 1),
                        QStringLiteral("cannot bring the record %1 from schema %2 to %3").arg(m_path).arg(version).arg(version + 1),
                        detail);
        };
        if (!db.transaction())
            return cannot(db.lastError().text());
        QSqlQuery query(db);
        for (std::size_t i = 0; i < step.count; ++i)
            if (!query.exec(QString::fromLatin1(step.statements[i])))
                return cannot(query.lastError().text());
        if (!query.exec(QStringLiteral("PRAGMA user_version = %1").arg(version + 1)))
            return cannot(query.lastError().text());
        query.finish();
        if (!db.commit())
            return cannot(db.lastError().text());
    }
    return true;
}

std::optional<qint64> StationRecord::writeResult(const QString& whatJapanese, const QString& whatEnglish,
                                                 const std::function<std::variant<qint64, QString>(QSqlQuery&)>& rows)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!m_writable) {
        fail(QStringLiteral("記録に書けません"), QStringLiteral("the record cannot be written"),
             isOpen() ? QStringLiteral("schema %1").arg(m_foundVersion) : QStringLiteral("not open"));
        return std::nullopt;
    }
    const auto cannot = [&](const QString& detail) -> std::optional<qint64> {
        db.rollback();
        fail(QStringLiteral("%1を記録「%2」に書けません").arg(whatJapanese, m_path),
             QStringLiteral("cannot write %1 to the record %2").arg(whatEnglish, m_path), detail);
        return std::nullopt;
    };
    if (!db.transaction())
        return cannot(db.lastError().text());
    std::variant<qint64, QString> written;
    {
        QSqlQuery query(db);
        written = rows(query);
        query.finish();
    }
    if (const QString* problem = std::get_if<QString>(&written))
        return cannot(*problem);
    if (!db.commit())
        return cannot(db.lastError().text());
    return std::get<qint64>(written);
}

std::optional<qint64> StationRecord::addCalibration(const RecordedCalibration& c)
{
    return writeResult(QStringLiteral("較正"), QStringLiteral("the calibration"),
                       [&c](QSqlQuery& query) -> std::variant<qint64, QString> {
                           query.prepare(QStringLiteral(
                               "INSERT INTO calibrations (utc, latitude, longitude, height, pattern, found, saved, reason,"
                               " azimuth_offset, azimuth_offset_error, elevation_offset, elevation_offset_error,"
                               " xel_beamwidth, xel_beamwidth_error, el_beamwidth, el_beamwidth_error, y_db, y_db_error,"
                               " sun_elevation, refraction, rotator_step, dead_band, program_version, over_the_top, clock_offset_s, during_burst)"
                               " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
                           for (const QVariant& v :
                                {QVariant(timeText(c.utc)), QVariant(c.site.latitude), QVariant(c.site.longitude), QVariant(c.site.height),
                                 QVariant(c.pattern), QVariant(c.found), QVariant(c.saved), QVariant(c.reason), valueOf(c.azimuthOffset),
                                 errorOf(c.azimuthOffset), valueOf(c.elevationOffset), errorOf(c.elevationOffset),
                                 valueOf(c.crossElevationBeamwidth), errorOf(c.crossElevationBeamwidth), valueOf(c.elevationBeamwidth),
                                 errorOf(c.elevationBeamwidth), valueOf(c.yDecibels), errorOf(c.yDecibels), QVariant(c.sunElevation),
                                 QVariant(c.refraction), orNull(c.rotatorStep), QVariant(c.deadBand), QVariant(c.programVersion),
                                 QVariant(c.overTheTop), QVariant(c.clockOffsetSeconds), QVariant(c.duringBurst)})
                               query.addBindValue(v);
                           if (!query.exec())
                               return query.lastError().text();
                           const qint64 id = query.lastInsertId().toLongLong();
                           query.prepare(QStringLiteral(
                               "INSERT INTO calibration_points (calibration_id, seq, role, planned_xel, planned_el, skipped, xel, el,"
                               " power_db, spread_db, count, utc, sun_azimuth, sun_elevation, read_azimuth, read_elevation,"
                               " position_uncertainty) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
                           int seq = 0;
                           for (const RecordedPoint& p : c.points) {
                               for (const QVariant& v :
                                    {QVariant(id), QVariant(seq++), QVariant(p.role), QVariant(p.plannedCrossElevation),
                                     QVariant(p.plannedElevation), QVariant(p.skipped), QVariant(p.crossElevation), QVariant(p.elevation),
                                     QVariant(p.power), QVariant(p.spread), QVariant(p.count), QVariant(timeText(p.utc)),
                                     QVariant(p.sunAzimuth), QVariant(p.sunElevation), QVariant(p.readAzimuth), QVariant(p.readElevation),
                                     QVariant(p.positionUncertainty)})
                                   query.addBindValue(v);
                               if (!query.exec())
                                   return query.lastError().text();
                           }
                           return id;
                       });
}

std::optional<qint64> StationRecord::addSunNoise(const RecordedSunNoise& r)
{
    return writeResult(QStringLiteral("太陽雑音の測定"), QStringLiteral("the sun-noise run"),
                       [&r](QSqlQuery& query) -> std::variant<qint64, QString> {
                           query.prepare(QStringLiteral(
                               "INSERT INTO sun_noise_runs (utc, latitude, longitude, height, found, reason, y_db, y_db_deviation,"
                               " g_over_t, flux_sfu, frequency_mhz, dish_diameter_m, program_version, expected_y_db, agc_warning,"
                               " clock_offset_s, flux_source, during_burst, started_utc) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
                           for (const QVariant& v :
                                {QVariant(timeText(r.utc)), QVariant(r.site.latitude), QVariant(r.site.longitude), QVariant(r.site.height),
                                 QVariant(r.found), QVariant(r.reason), orNull(r.yDecibels), orNull(r.yDecibelsDeviation),
                                 orNull(r.gOverTDecibelsPerKelvin), orNull(r.fluxSfu), orNull(r.frequencyMegahertz),
                                 orNull(r.dishDiameterMetres), QVariant(r.programVersion), orNull(r.expectedYDecibels),
                                 QVariant(r.gainControlWarning), QVariant(r.clockOffsetSeconds), QVariant(fluxSourceText(r.fluxSource)),
                                 QVariant(r.duringBurst), r.startedUtc.isValid() ? QVariant(timeText(r.startedUtc)) : QVariant(QMetaType::fromType<QString>())})
                               query.addBindValue(v);
                           if (!query.exec())
                               return query.lastError().text();
                           const qint64 id = query.lastInsertId().toLongLong();
                           query.prepare(QStringLiteral("INSERT INTO sun_noise_repeats (run_id, seq, sun_db, cold_db) VALUES (?, ?, ?, ?)"));
                           int seq = 0;
                           for (const RecordedRepeat& repeat : r.repeats) {
                               for (const QVariant& v : {QVariant(id), QVariant(seq++), QVariant(repeat.sunDecibels), QVariant(repeat.coldDecibels)})
                                   query.addBindValue(v);
                               if (!query.exec())
                                   return query.lastError().text();
                           }
                           return id;
                       });
}

namespace {

const QString kCalibrationColumns = QStringLiteral(
    "id, utc, latitude, longitude, height, pattern, found, saved, reason,"
    " azimuth_offset, azimuth_offset_error, elevation_offset, elevation_offset_error,"
    " xel_beamwidth, xel_beamwidth_error, el_beamwidth, el_beamwidth_error, y_db, y_db_error,"
    " sun_elevation, refraction, rotator_step, dead_band, program_version, over_the_top, clock_offset_s, during_burst");

RecordedCalibration calibrationFrom(const QSqlQuery& q, const QSqlDatabase& db)
{
    RecordedCalibration c;
    c.id = q.value(0).toLongLong();
    c.utc = timeFrom(q.value(1));
    c.site = {q.value(2).toDouble(), q.value(3).toDouble(), q.value(4).toDouble()};
    c.pattern = q.value(5).toString();
    c.found = q.value(6).toBool();
    c.saved = q.value(7).toBool();
    c.reason = q.value(8).toString();
    c.azimuthOffset = measuredFrom(q.value(9), q.value(10));
    c.elevationOffset = measuredFrom(q.value(11), q.value(12));
    c.crossElevationBeamwidth = measuredFrom(q.value(13), q.value(14));
    c.elevationBeamwidth = measuredFrom(q.value(15), q.value(16));
    c.yDecibels = measuredFrom(q.value(17), q.value(18));
    c.sunElevation = q.value(19).toDouble();
    c.refraction = q.value(20).toString();
    c.rotatorStep = optionalFrom(q.value(21));
    c.deadBand = q.value(22).toDouble();
    c.programVersion = q.value(23).toString();
    c.overTheTop = q.value(24).toBool();
    c.clockOffsetSeconds = q.value(25).toDouble();
    c.duringBurst = q.value(26).toBool();
    QSqlQuery points(db);
    points.prepare(QStringLiteral(
        "SELECT role, planned_xel, planned_el, skipped, xel, el, power_db, spread_db, count, utc, sun_azimuth,"
        " sun_elevation, read_azimuth, read_elevation, position_uncertainty FROM calibration_points"
        " WHERE calibration_id = ? ORDER BY seq"));
    points.addBindValue(c.id);
    points.exec();
    while (points.next()) {
        RecordedPoint p;
        p.role = points.value(0).toString();
        p.plannedCrossElevation = points.value(1).toDouble();
        p.plannedElevation = points.value(2).toDouble();
        p.skipped = points.value(3).toBool();
        p.crossElevation = points.value(4).toDouble();
        p.elevation = points.value(5).toDouble();
        p.power = points.value(6).toDouble();
        p.spread = points.value(7).toDouble();
        p.count = points.value(8).toInt();
        p.utc = timeFrom(points.value(9));
        p.sunAzimuth = points.value(10).toDouble();
        p.sunElevation = points.value(11).toDouble();
        p.readAzimuth = points.value(12).toDouble();
        p.readElevation = points.value(13).toDouble();
        p.positionUncertainty = points.value(14).toDouble();
        c.points.push_back(p);
    }
    return c;
}

const QString kSunNoiseColumns = QStringLiteral(
    "id, utc, latitude, longitude, height, found, reason, y_db, y_db_deviation, g_over_t, flux_sfu,"
    " frequency_mhz, dish_diameter_m, program_version, expected_y_db, agc_warning, clock_offset_s, flux_source, during_burst,"
    " started_utc");

RecordedSunNoise sunNoiseFrom(const QSqlQuery& q, const QSqlDatabase& db)
{
    RecordedSunNoise r;
    r.id = q.value(0).toLongLong();
    r.utc = timeFrom(q.value(1));
    r.site = {q.value(2).toDouble(), q.value(3).toDouble(), q.value(4).toDouble()};
    r.found = q.value(5).toBool();
    r.reason = q.value(6).toString();
    r.yDecibels = optionalFrom(q.value(7));
    r.yDecibelsDeviation = optionalFrom(q.value(8));
    r.gOverTDecibelsPerKelvin = optionalFrom(q.value(9));
    r.fluxSfu = optionalFrom(q.value(10));
    r.frequencyMegahertz = optionalFrom(q.value(11));
    r.dishDiameterMetres = optionalFrom(q.value(12));
    r.programVersion = q.value(13).toString();
    r.expectedYDecibels = optionalFrom(q.value(14));
    r.gainControlWarning = q.value(15).toBool();
    r.clockOffsetSeconds = q.value(16).toDouble();
    r.fluxSource = fluxSourceFrom(q.value(17));
    r.duringBurst = q.value(18).toBool();
    if (!q.value(19).isNull())
        r.startedUtc = timeFrom(q.value(19));
    QSqlQuery repeats(db);
    repeats.prepare(QStringLiteral("SELECT sun_db, cold_db FROM sun_noise_repeats WHERE run_id = ? ORDER BY seq"));
    repeats.addBindValue(r.id);
    repeats.exec();
    while (repeats.next())
        r.repeats.push_back({repeats.value(0).toDouble(), repeats.value(1).toDouble()});
    return r;
}

}  // namespace

std::vector<StationRun> StationRecord::history(const QDateTime& since) const
{
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    std::vector<StationRun> runs;
    if (!db.isOpen())
        return runs;
    const QString from = since.isValid() ? timeText(since) : QStringLiteral("0000");
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT %1 FROM calibrations WHERE utc >= ? ORDER BY utc, id").arg(kCalibrationColumns));
    query.addBindValue(from);
    query.exec();
    while (query.next())
        runs.emplace_back(calibrationFrom(query, db));
    query.prepare(QStringLiteral("SELECT %1 FROM sun_noise_runs WHERE utc >= ? ORDER BY utc, id").arg(kSunNoiseColumns));
    query.addBindValue(from);
    query.exec();
    while (query.next())
        runs.emplace_back(sunNoiseFrom(query, db));
    std::stable_sort(runs.begin(), runs.end(),
                     [](const StationRun& a, const StationRun& b) { return runUtc(a) < runUtc(b); });
    return runs;
}

std::vector<RecordedSunNoise> StationRecord::lastSunNoiseAt(double frequencyMegahertz, int count) const
{
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    std::vector<RecordedSunNoise> runs;
    if (!db.isOpen() || count <= 0)
        return runs;
    QSqlQuery query(db);
    // The station's own runs: a rehearsal's Y says nothing of the receiver today.
    query.prepare(QStringLiteral("SELECT %1 FROM sun_noise_runs WHERE found AND y_db IS NOT NULL AND clock_offset_s = 0 AND NOT during_burst"
                                 " AND frequency_mhz BETWEEN ? AND ? ORDER BY utc DESC, id DESC LIMIT ?")
                      .arg(kSunNoiseColumns));
    query.addBindValue(frequencyMegahertz - 0.001);
    query.addBindValue(frequencyMegahertz + 0.001);
    query.addBindValue(count);
    query.exec();
    while (query.next())
        runs.push_back(sunNoiseFrom(query, db));
    std::reverse(runs.begin(), runs.end());
    return runs;
}

std::optional<RecordedCalibration> StationRecord::lastCalibration(bool savedOnly) const
{
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.isOpen())
        return std::nullopt;
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT %1 FROM calibrations WHERE found AND azimuth_offset IS NOT NULL AND NOT over_the_top"
                                 " AND clock_offset_s = 0 %2"
                                 " ORDER BY utc DESC, id DESC LIMIT 1")
                      .arg(kCalibrationColumns, savedOnly ? QStringLiteral("AND saved") : QString()));
    if (!query.exec() || !query.next())
        return std::nullopt;
    return calibrationFrom(query, db);
}

std::optional<RecordedSunNoise> StationRecord::latestYForHealth() const
{
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.isOpen())
        return std::nullopt;
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT %1 FROM sun_noise_runs WHERE y_db IS NOT NULL AND frequency_mhz IS NOT NULL AND clock_offset_s = 0"
                                 " AND NOT during_burst ORDER BY utc DESC, id DESC LIMIT 1")
                      .arg(kSunNoiseColumns));
    if (!query.exec() || !query.next())
        return std::nullopt;
    return sunNoiseFrom(query, db);
}

std::vector<RecordedCalibration> StationRecord::lastCalibrationsForHealth(int count) const
{
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    std::vector<RecordedCalibration> runs;
    if (!db.isOpen() || count <= 0)
        return runs;
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT %1 FROM calibrations WHERE found AND NOT over_the_top AND clock_offset_s = 0 AND NOT during_burst"
                                 " ORDER BY utc DESC, id DESC LIMIT ?")
                      .arg(kCalibrationColumns));
    query.addBindValue(count);
    query.exec();
    while (query.next())
        runs.push_back(calibrationFrom(query, db));
    std::reverse(runs.begin(), runs.end());
    return runs;
}

std::vector<RecordedSunNoise> StationRecord::sunNoiseOn(const QDate& utcDay) const
{
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    std::vector<RecordedSunNoise> runs;
    if (!db.isOpen() || !utcDay.isValid())
        return runs;
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT %1 FROM sun_noise_runs WHERE utc >= ? AND utc < ? ORDER BY utc, id").arg(kSunNoiseColumns));
    query.addBindValue(dayText(utcDay));
    query.addBindValue(dayText(utcDay.addDays(1)));
    query.exec();
    while (query.next())
        runs.push_back(sunNoiseFrom(query, db));
    return runs;
}

std::optional<double> StationRecord::fluxOn(const QDate& utcDay) const
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("SELECT flux_sfu FROM day_flux WHERE utc_day = ?"));
    query.addBindValue(dayText(utcDay));
    if (!query.exec() || !query.next())
        return std::nullopt;
    return query.value(0).toDouble();
}

bool StationRecord::setFluxOn(const QDate& utcDay, double fluxSfu, const QDateTime& typedUtc,
                              const std::vector<RecordedSunNoise>& runsWorkedOutAgain)
{
    const auto rows = [&](QSqlQuery& query) -> std::variant<qint64, QString> {
        query.prepare(QStringLiteral("INSERT OR REPLACE INTO day_flux (utc_day, flux_sfu, typed_utc) VALUES (?, ?, ?)"));
        for (const QVariant& v : {QVariant(dayText(utcDay)), QVariant(fluxSfu), QVariant(timeText(typedUtc))})
            query.addBindValue(v);
        if (!query.exec())
            return query.lastError().text();
        query.prepare(QStringLiteral("UPDATE sun_noise_runs SET g_over_t = ?, expected_y_db = ?, flux_sfu = ?, flux_source = ?"
                                     " WHERE id = ?"));
        for (const RecordedSunNoise& r : runsWorkedOutAgain) {
            for (const QVariant& v : {orNull(r.gOverTDecibelsPerKelvin), orNull(r.expectedYDecibels), orNull(r.fluxSfu),
                                      QVariant(fluxSourceText(r.fluxSource)), QVariant(r.id)})
                query.addBindValue(v);
            if (!query.exec())
                return query.lastError().text();
            if (query.numRowsAffected() != 1)
                return QStringLiteral("no sun-noise run %1").arg(r.id);
        }
        return qint64{0};
    };
    return writeResult(QStringLiteral("%1 のフラックス").arg(dayText(utcDay)), QStringLiteral("the flux of %1").arg(dayText(utcDay)),
                       rows)
        .has_value();
}

std::optional<std::vector<StationRun>> StationRecord::markRunsDuringBurst(const QDateTime& from, const QDateTime& to)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    std::vector<qint64> calibrations;
    std::vector<qint64> sunNoise;
    const auto rows = [&](QSqlQuery& query) -> std::variant<qint64, QString> {
        const auto marked = [&](const QString& select, const QString& update, std::vector<qint64>& ids) -> std::optional<QString> {
            query.prepare(select);
            query.addBindValue(timeText(from));
            query.addBindValue(timeText(to));
            if (!query.exec())
                return query.lastError().text();
            while (query.next())
                ids.push_back(query.value(0).toLongLong());
            query.prepare(update);
            for (const qint64 id : ids) {
                query.addBindValue(id);
                if (!query.exec())
                    return query.lastError().text();
            }
            return std::nullopt;
        };
        // A calibration that never reached its first point measured nothing;
        // a rehearsal's times are of another hour's sun, not of this burst.
        if (const std::optional<QString> problem
            = marked(QStringLiteral("SELECT id FROM calibrations WHERE NOT during_burst AND clock_offset_s = 0 AND utc >= ?"
                                    " AND (SELECT MIN(utc) FROM calibration_points WHERE calibration_id = calibrations.id) <= ?"),
                     QStringLiteral("UPDATE calibrations SET during_burst = 1 WHERE id = ?"), calibrations))
            return *problem;
        if (const std::optional<QString> problem
            = marked(QStringLiteral("SELECT id FROM sun_noise_runs WHERE NOT during_burst AND clock_offset_s = 0 AND utc >= ?"
                                    " AND COALESCE(started_utc, utc) <= ?"),
                     QStringLiteral("UPDATE sun_noise_runs SET during_burst = 1 WHERE id = ?"), sunNoise))
            return *problem;
        return qint64{0};
    };
    if (!writeResult(QStringLiteral("バーストの印"), QStringLiteral("the mark of a burst"), rows))
        return std::nullopt;
    std::vector<StationRun> runs;
    QSqlQuery query(db);
    for (const qint64 id : calibrations) {
        query.prepare(QStringLiteral("SELECT %1 FROM calibrations WHERE id = ?").arg(kCalibrationColumns));
        query.addBindValue(id);
        if (query.exec() && query.next())
            runs.emplace_back(calibrationFrom(query, db));
    }
    for (const qint64 id : sunNoise) {
        query.prepare(QStringLiteral("SELECT %1 FROM sun_noise_runs WHERE id = ?").arg(kSunNoiseColumns));
        query.addBindValue(id);
        if (query.exec() && query.next())
            runs.emplace_back(sunNoiseFrom(query, db));
    }
    std::stable_sort(runs.begin(), runs.end(), [](const StationRun& a, const StationRun& b) { return runUtc(a) < runUtc(b); });
    return runs;
}

namespace {

QString systemTemperatureKindText(SystemTemperatureKind kind)
{
    return kind == SystemTemperatureKind::NoiseSource ? QStringLiteral("noise-source") : QStringLiteral("hot-cold");
}

QVariant nullDouble()
{
    return QVariant(QMetaType::fromType<double>());
}

void bindPower(QSqlQuery& query, const std::optional<RecordedPower>& power)
{
    query.addBindValue(power ? QVariant(power->mean) : nullDouble());
    query.addBindValue(power ? QVariant(power->scatter) : nullDouble());
    query.addBindValue(power ? QVariant(power->count) : QVariant(QMetaType::fromType<int>()));
}

std::optional<RecordedPower> powerFrom(const QSqlQuery& q, int column)
{
    if (q.value(column).isNull())
        return std::nullopt;
    return RecordedPower{q.value(column).toDouble(), q.value(column + 1).toDouble(), q.value(column + 2).toInt()};
}

}  // namespace

std::optional<qint64> StationRecord::addSystemTemperature(const RecordedSystemTemperature& r)
{
    return writeResult(QStringLiteral("システム雑音温度の測定"), QStringLiteral("the system temperature run"),
                       [&r](QSqlQuery& query) -> std::variant<qint64, QString> {
                           query.prepare(QStringLiteral(
                               "INSERT INTO system_temperature_runs (utc, latitude, longitude, height, kind, found, reason,"
                               " frequency_mhz, dish_diameter_m, efficiency, efficiency_error, cold_azimuth, cold_elevation,"
                               " cold_before_mean, cold_before_scatter, cold_before_count, raised_mean, raised_scatter, raised_count,"
                               " cold_after_mean, cold_after_scatter, cold_after_count, ambient_k, ambient_error_k, cold_sky_k,"
                               " cold_sky_error_k, enr_db, enr_error_db, y_factor, system_k, system_error_k, cold_drift,"
                               " program_version, clock_offset_s) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?,"
                               " ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
                           for (const QVariant& v :
                                {QVariant(timeText(r.utc)), QVariant(r.site.latitude), QVariant(r.site.longitude), QVariant(r.site.height),
                                 QVariant(systemTemperatureKindText(r.kind)), QVariant(r.found), QVariant(r.reason),
                                 QVariant(r.frequencyMegahertz), QVariant(r.dishDiameterMetres), QVariant(r.efficiency),
                                 QVariant(r.efficiencyError), QVariant(r.coldAzimuth), QVariant(r.coldElevation)})
                               query.addBindValue(v);
                           bindPower(query, r.coldBefore);
                           bindPower(query, r.raised);
                           bindPower(query, r.coldAfter);
                           for (const QVariant& v :
                                {valueOf(r.ambientKelvin), errorOf(r.ambientKelvin), valueOf(r.coldSkyKelvin), errorOf(r.coldSkyKelvin),
                                 valueOf(r.enrDecibels), errorOf(r.enrDecibels), orNull(r.yFactor), valueOf(r.systemKelvin),
                                 errorOf(r.systemKelvin), orNull(r.coldDrift), QVariant(r.programVersion), QVariant(r.clockOffsetSeconds)})
                               query.addBindValue(v);
                           if (!query.exec())
                               return query.lastError().text();
                           return query.lastInsertId().toLongLong();
                       });
}

std::vector<RecordedSystemTemperature> StationRecord::systemTemperatures() const
{
    std::vector<RecordedSystemTemperature> runs;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral(
            "SELECT id, utc, latitude, longitude, height, kind, found, reason, frequency_mhz, dish_diameter_m, efficiency,"
            " efficiency_error, cold_azimuth, cold_elevation, cold_before_mean, cold_before_scatter, cold_before_count,"
            " raised_mean, raised_scatter, raised_count, cold_after_mean, cold_after_scatter, cold_after_count, ambient_k,"
            " ambient_error_k, cold_sky_k, cold_sky_error_k, enr_db, enr_error_db, y_factor, system_k, system_error_k,"
            " cold_drift, program_version, clock_offset_s FROM system_temperature_runs ORDER BY utc, id")))
        return runs;
    while (q.next()) {
        RecordedSystemTemperature r;
        r.id = q.value(0).toLongLong();
        r.utc = timeFrom(q.value(1));
        r.site = RecordedSite{q.value(2).toDouble(), q.value(3).toDouble(), q.value(4).toDouble()};
        r.kind = q.value(5).toString() == QLatin1String("noise-source") ? SystemTemperatureKind::NoiseSource : SystemTemperatureKind::HotCold;
        r.found = q.value(6).toBool();
        r.reason = q.value(7).toString();
        r.frequencyMegahertz = q.value(8).toDouble();
        r.dishDiameterMetres = q.value(9).toDouble();
        r.efficiency = q.value(10).toDouble();
        r.efficiencyError = q.value(11).toDouble();
        r.coldAzimuth = q.value(12).toDouble();
        r.coldElevation = q.value(13).toDouble();
        r.coldBefore = powerFrom(q, 14);
        r.raised = powerFrom(q, 17);
        r.coldAfter = powerFrom(q, 20);
        r.ambientKelvin = measuredFrom(q.value(23), q.value(24));
        r.coldSkyKelvin = measuredFrom(q.value(25), q.value(26));
        r.enrDecibels = measuredFrom(q.value(27), q.value(28));
        r.yFactor = optionalFrom(q.value(29));
        r.systemKelvin = measuredFrom(q.value(30), q.value(31));
        r.coldDrift = optionalFrom(q.value(32));
        r.programVersion = q.value(33).toString();
        r.clockOffsetSeconds = q.value(34).toDouble();
        runs.push_back(r);
    }
    return runs;
}

bool StationRecord::integrityOk() const
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    return query.exec(QStringLiteral("PRAGMA integrity_check")) && query.next()
        && query.value(0).toString() == QLatin1String("ok");
}

}  // namespace heliotrope::record
