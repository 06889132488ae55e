// The station's record against real SQLite files: what is written comes back
// whole, a result is written whole or not at all, an older record is brought
// up to date, a writer killed mid-write loses nothing it had committed; and
// the history, its picture and the health warnings drawn from it.

#include "companions/record/StationHealth.h"
#include "companions/record/StationHistory.h"
#include "companions/record/StationRecord.h"

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace heliotrope::record;

namespace {

QDateTime at(const char* iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate).toUTC();
}

RecordedCalibration calibration(const char* when, double az, double el, bool saved = true)
{
    RecordedCalibration c;
    c.utc = at(when);
    c.site = {35.68, 139.77, 40};
    c.pattern = QStringLiteral("cross");
    c.found = true;
    c.saved = saved;
    c.azimuthOffset = Measured{az, 0.01};
    c.elevationOffset = Measured{el, 0.012};
    c.crossElevationBeamwidth = Measured{2.1, 0.03};
    c.elevationBeamwidth = Measured{2.0, 0.03};
    c.yDecibels = Measured{12.5, 0.1};
    c.sunElevation = 40;
    c.refraction = QStringLiteral("radio");
    c.rotatorStep = 0.1;
    c.deadBand = 0.2;
    c.programVersion = QStringLiteral("1.2.3");
    for (int i = 0; i < 5; ++i) {
        RecordedPoint p;
        p.role = QStringLiteral("xel");
        p.plannedCrossElevation = i - 2;
        p.crossElevation = i - 2.01;
        p.power = 10 + i;
        p.count = 20;
        p.utc = c.utc.addSecs(i - 10);
        p.sunAzimuth = 180 + i * 0.01;
        p.readAzimuth = 180.4 + i;
        c.points.push_back(p);
    }
    return c;
}

RecordedSunNoise sunNoise(const char* when, std::optional<double> y, double frequency = 1296)
{
    RecordedSunNoise r;
    r.utc = at(when);
    r.found = y.has_value();
    r.yDecibels = y;
    if (!y)
        r.reason = QStringLiteral("太陽が低すぎます\nthe sun is too low");
    r.yDecibelsDeviation = y ? std::optional<double>(0.1) : std::nullopt;
    r.frequencyMegahertz = frequency;
    r.fluxSfu = 120;
    r.gOverTDecibelsPerKelvin = y ? std::optional<double>(*y - 7) : std::nullopt;
    r.repeats = {{20.1, 8.0}, {20.2, 8.1}};
    r.programVersion = QStringLiteral("1.2.3");
    return r;
}

}  // namespace

class TestStationRecord : public QObject {
    Q_OBJECT

private slots:
    void writtenComesBackWholeOldestFirst()
    {
        QTemporaryDir dir;
        StationRecord record(dir.filePath(QStringLiteral("sub/station.sqlite")));
        QVERIFY2(record.open(), qPrintable(record.problem()));
        QVERIFY(record.writable());
        // Written out of date order: the history sorts them.
        QVERIFY(record.addSunNoise(sunNoise("2026-03-02T10:00:00Z", 12.0)));
        QVERIFY(record.addCalibration(calibration("2026-03-01T09:00:00Z", 0.4, -0.1)));
        QVERIFY(record.addSunNoise(sunNoise("2026-03-03T10:00:00Z", std::nullopt)));

        const std::vector<StationRun> all = record.history();
        QCOMPARE(all.size(), 3u);
        const auto& c = std::get<RecordedCalibration>(all[0]);
        const RecordedCalibration expected = calibration("2026-03-01T09:00:00Z", 0.4, -0.1);
        QCOMPARE(c.utc, expected.utc);
        QCOMPARE(c.azimuthOffset->value, 0.4);
        QCOMPARE(c.elevationOffset->error, 0.012);
        QCOMPARE(c.elevationBeamwidth->value, 2.0);
        QCOMPARE(c.rotatorStep, std::optional<double>(0.1));
        QCOMPARE(c.points.size(), 5u);
        QCOMPARE(c.points[3].power, 13.0);
        QCOMPARE(c.points[3].readAzimuth, 183.4);
        QCOMPARE(c.points[3].utc, expected.points[3].utc);
        const auto& s = std::get<RecordedSunNoise>(all[1]);
        QCOMPARE(s.yDecibels, std::optional<double>(12.0));
        QCOMPARE(s.repeats.size(), 2u);
        QCOMPARE(s.repeats[1].coldDecibels, 8.1);
        const auto& none = std::get<RecordedSunNoise>(all[2]);
        QVERIFY(!none.found && !none.yDecibels && !none.gOverTDecibelsPerKelvin);
        QVERIFY(none.reason.contains(QStringLiteral("too low")));

        QCOMPARE(record.history(at("2026-03-02T00:00:00Z")).size(), 2u);
        QVERIFY(record.integrityOk());
    }

    void queriesForTheHealthFigures()
    {
        QTemporaryDir dir;
        StationRecord record(dir.filePath(QStringLiteral("station.sqlite")));
        QVERIFY(record.open());
        for (int day = 1; day <= 12; ++day)
            QVERIFY(record.addSunNoise(sunNoise(qPrintable(QStringLiteral("2026-04-%1T10:00:00Z").arg(day, 2, 10, QLatin1Char('0'))),
                                                10.0 + day)));
        QVERIFY(record.addSunNoise(sunNoise("2026-04-20T10:00:00Z", 30.0, 10368)));
        QVERIFY(record.addSunNoise(sunNoise("2026-04-21T10:00:00Z", std::nullopt)));
        const std::vector<RecordedSunNoise> last = record.lastSunNoiseAt(1296.0, 3);
        QCOMPARE(last.size(), 3u);
        QCOMPARE(*last.front().yDecibels, 20.0);  // oldest of the last three first
        QCOMPARE(*last.back().yDecibels, 22.0);

        QVERIFY(!record.lastCalibration());
        QVERIFY(record.addCalibration(calibration("2026-04-01T09:00:00Z", 0.1, 0.1)));
        QVERIFY(record.addCalibration(calibration("2026-04-08T09:00:00Z", 0.3, 0.2, false)));
        QCOMPARE(record.lastCalibration()->azimuthOffset->value, 0.1);
        QCOMPARE(record.lastCalibration(false)->azimuthOffset->value, 0.3);
    }

    void rehearsalsAreMarkedAndKeptOutOfTheHealth()
    {
        QTemporaryDir dir;
        StationRecord record(dir.filePath(QStringLiteral("station.sqlite")));
        QVERIFY(record.open());
        for (int day = 1; day <= 10; ++day)
            QVERIFY(record.addSunNoise(sunNoise(qPrintable(QStringLiteral("2026-05-%1T03:00:00Z").arg(day, 2, 10, QLatin1Char('0'))), 12.0)));
        QVERIFY(record.addCalibration(calibration("2026-05-10T04:00:00Z", 0.4, -0.1)));
        // Practised at night on a clock ten hours back: a Y and offsets the station's own would warn of.
        RecordedSunNoise practisedY = sunNoise("2026-05-11T03:00:00Z", 8.0);
        practisedY.clockOffsetSeconds = -36000;
        RecordedCalibration practised = calibration("2026-05-11T04:00:00Z", 3.0, 3.0);
        practised.clockOffsetSeconds = -36000;
        for (int again = 0; again < 3; ++again)
            QVERIFY(record.addSunNoise(practisedY));
        QVERIFY(record.addCalibration(practised));

        const std::vector<StationRun> runs = record.history();
        QCOMPARE(std::get<RecordedCalibration>(runs.back()).clockOffsetSeconds, -36000.0);
        QVERIFY(std::get<RecordedSunNoise>(runs[runs.size() - 2]).rehearsal());
        for (const RecordedSunNoise& recent : record.lastSunNoiseAt(1296.0, 3))
            QCOMPARE(*recent.yDecibels, 12.0);
        const QString health = healthLines(record).join(QLatin1Char('\n'));
        QVERIFY2(!health.contains(QStringLiteral("Warning")) && health.contains(QStringLiteral("latest calibration: azimuth 0.400°"))
                     && health.contains(QStringLiteral("latest sun-noise Y: 12.00 dB")),
                 qPrintable(health));
        const QString lines = historyLines(runs).join(QLatin1Char('\n'));
        QVERIFY2(lines.count(QStringLiteral("rehearsal, 時計 clock -10.00 h")) == 4, qPrintable(lines));
    }

    void runsDuringABurstAreMarkedOnceAndKeptOutOfTheHealth()
    {
        QTemporaryDir dir;
        StationRecord record(dir.filePath(QStringLiteral("station.sqlite")));
        QVERIFY(record.open());
        for (int day = 1; day <= 10; ++day)
            QVERIFY(record.addSunNoise(sunNoise(qPrintable(QStringLiteral("2026-05-%1T03:00:00Z").arg(day, 2, 10, QLatin1Char('0'))), 12.0)));
        QVERIFY(record.addCalibration(calibration("2026-05-10T04:00:00Z", 0.4, -0.1)));
        // On the 11th a burst from 03:04 to 03:10: a run from 03:02 to 03:05
        // overlaps it by its start; one ending 03:03:59 does not; a
        // calibration whose points ran 03:09:50 to 03:09:54 (ended 03:10:04) does.
        RecordedSunNoise before = sunNoise("2026-05-11T03:03:59Z", 12.0);
        before.startedUtc = at("2026-05-11T03:01:00Z");
        RecordedSunNoise during = sunNoise("2026-05-11T03:05:00Z", 14.5);
        during.startedUtc = at("2026-05-11T03:02:00Z");
        // And one that began at 03:09:30, before the burst was over, and ended after it.
        RecordedSunNoise straddling = sunNoise("2026-05-11T03:12:00Z", 13.5);
        straddling.startedUtc = at("2026-05-11T03:09:30Z");
        QVERIFY(record.addSunNoise(before));
        QVERIFY(record.addSunNoise(during));
        QVERIFY(record.addSunNoise(straddling));
        QVERIFY(record.addCalibration(calibration("2026-05-11T03:10:04Z", 3.0, 3.0)));
        // A rehearsal's times are another hour's sun: never this burst's.
        RecordedSunNoise practised = during;
        practised.clockOffsetSeconds = -36000;
        QVERIFY(record.addSunNoise(practised));

        const std::optional<std::vector<StationRun>> marked = record.markRunsDuringBurst(at("2026-05-11T03:04:00Z"), at("2026-05-11T03:10:00Z"));
        QVERIFY2(marked, qPrintable(record.problem()));
        QCOMPARE(marked->size(), 3u);
        QVERIFY(std::get<RecordedSunNoise>(marked->at(0)).duringBurst && std::get<RecordedSunNoise>(marked->at(0)).yDecibels == 14.5);
        QVERIFY(std::get<RecordedCalibration>(marked->at(1)).duringBurst);
        QVERIFY(std::get<RecordedSunNoise>(marked->at(2)).duringBurst && std::get<RecordedSunNoise>(marked->at(2)).yDecibels == 13.5);
        // The burst seen again at the next look: nothing new to say.
        QCOMPARE(record.markRunsDuringBurst(at("2026-05-11T03:04:30Z"), at("2026-05-11T03:09:30Z"))->size(), 0u);

        const std::vector<StationRun> runs = record.history();
        QVERIFY(!std::get<RecordedSunNoise>(runs[runs.size() - 5]).duringBurst);
        QCOMPARE(std::get<RecordedSunNoise>(runs[runs.size() - 4]).startedUtc, at("2026-05-11T03:02:00Z"));
        QCOMPARE(record.lastSunNoiseAt(1296.0, 3).back().utc, at("2026-05-11T03:03:59Z"));
        const QString health = healthLines(record).join(QLatin1Char('\n'));
        QVERIFY2(!health.contains(QStringLiteral("Warning")) && health.contains(QStringLiteral("latest calibration: azimuth 0.400°")), qPrintable(health));
        const QString lines = historyLines(runs).join(QLatin1Char('\n'));
        QVERIFY2(lines.count(QStringLiteral("during a burst")) == 3, qPrintable(lines));
    }

    void aResultIsWrittenWholeOrNotAtAll()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("station.sqlite"));
        StationRecord record(path);
        QVERIFY(record.open());
        QVERIFY(record.addCalibration(calibration("2026-05-01T09:00:00Z", 0.1, 0.1)));
        {
            // A disk that fails at the fourth point of the next result.
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("saboteur"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("CREATE TRIGGER fail BEFORE INSERT ON calibration_points "
                                                      "WHEN NEW.seq = 3 BEGIN SELECT RAISE(ABORT, 'disk'); END")));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("saboteur"));
        QVERIFY(!record.addCalibration(calibration("2026-05-02T09:00:00Z", 0.2, 0.2)));
        QVERIFY(record.problem().contains(QStringLiteral("disk")));
        const std::vector<StationRun> all = record.history();
        QCOMPARE(all.size(), 1u);
        QCOMPARE(std::get<RecordedCalibration>(all[0]).points.size(), 5u);
        QVERIFY(record.integrityOk());
    }

    void anOlderRecordIsBroughtUpAndANewerOneOnlyRead()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("v1.sqlite"));
        {
            // The first record's schema, as that version wrote it.
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("v1"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            for (const char* sql :
                 {"CREATE TABLE calibrations (id INTEGER PRIMARY KEY, utc TEXT NOT NULL, latitude REAL NOT NULL,"
                  " longitude REAL NOT NULL, height REAL NOT NULL, pattern TEXT NOT NULL, found INTEGER NOT NULL,"
                  " saved INTEGER NOT NULL, reason TEXT, azimuth_offset REAL, azimuth_offset_error REAL,"
                  " elevation_offset REAL, elevation_offset_error REAL, xel_beamwidth REAL, xel_beamwidth_error REAL,"
                  " el_beamwidth REAL, el_beamwidth_error REAL, y_db REAL, y_db_error REAL, sun_elevation REAL NOT NULL,"
                  " refraction TEXT NOT NULL, rotator_step REAL, dead_band REAL NOT NULL, program_version TEXT NOT NULL)",
                  "CREATE TABLE calibration_points (calibration_id INTEGER NOT NULL REFERENCES calibrations(id) ON DELETE"
                  " CASCADE, seq INTEGER NOT NULL, role TEXT NOT NULL, planned_xel REAL NOT NULL, planned_el REAL NOT NULL,"
                  " skipped INTEGER NOT NULL, xel REAL NOT NULL, el REAL NOT NULL, power_db REAL NOT NULL, spread_db REAL"
                  " NOT NULL, count INTEGER NOT NULL, utc TEXT NOT NULL, sun_azimuth REAL NOT NULL, sun_elevation REAL NOT"
                  " NULL, read_azimuth REAL NOT NULL, read_elevation REAL NOT NULL, position_uncertainty REAL NOT NULL,"
                  " PRIMARY KEY (calibration_id, seq))",
                  "CREATE TABLE sun_noise_runs (id INTEGER PRIMARY KEY, utc TEXT NOT NULL, latitude REAL NOT NULL,"
                  " longitude REAL NOT NULL, height REAL NOT NULL, found INTEGER NOT NULL, reason TEXT, y_db REAL,"
                  " y_db_deviation REAL, g_over_t REAL, flux_sfu REAL, frequency_mhz REAL, dish_diameter_m REAL,"
                  " program_version TEXT NOT NULL)",
                  "CREATE TABLE sun_noise_repeats (run_id INTEGER NOT NULL REFERENCES sun_noise_runs(id) ON DELETE"
                  " CASCADE, seq INTEGER NOT NULL, sun_db REAL NOT NULL, cold_db REAL NOT NULL, PRIMARY KEY (run_id, seq))",
                  "INSERT INTO sun_noise_runs VALUES (1, '2025-12-01T10:00:00.000Z', 35, 139, 0, 1, '', 11.5, 0.2, 4.0,"
                  " 110, 1296, 3, '1.0.0')",
                  "INSERT INTO sun_noise_repeats VALUES (1, 0, 19.5, 8.0)", "PRAGMA user_version = 1"})
                QVERIFY2(q.exec(QString::fromLatin1(sql)), sql);
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("v1"));
        {
            StationRecord record(path);
            QVERIFY2(record.open(), qPrintable(record.problem()));
            QCOMPARE(record.foundSchemaVersion(), 1);
            QVERIFY(record.writable());
            const std::vector<RecordedSunNoise> old = record.lastSunNoiseAt(1296, 10);
            QCOMPARE(old.size(), 1u);
            QCOMPARE(*old[0].yDecibels, 11.5);
            QVERIFY(!old[0].expectedYDecibels);
            RecordedSunNoise now = sunNoise("2026-01-01T10:00:00Z", 12.0);
            now.expectedYDecibels = 12.4;
            now.gainControlWarning = true;
            QVERIFY(record.addSunNoise(now));
            QCOMPARE(record.lastSunNoiseAt(1296, 1)[0].expectedYDecibels, std::optional<double>(12.4));
        }
        {
            StationRecord again(path);
            QVERIFY(again.open());
            QCOMPARE(again.foundSchemaVersion(), StationRecord::kSchemaVersion);
            QCOMPARE(again.history().size(), 2u);
        }
        {
            // A record from a newer program: read, never written.
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("v99"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("PRAGMA user_version = 99")));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("v99"));
        StationRecord newer(path);
        QVERIFY(newer.open());
        QVERIFY(!newer.writable());
        QVERIFY(newer.problem().contains(QStringLiteral("newer")));
        QCOMPARE(newer.history().size(), 2u);
        QVERIFY(!newer.addSunNoise(sunNoise("2026-01-02T10:00:00Z", 12.0)));
    }

    void aWriterKilledMidWriteLosesNothingCommitted()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("station.sqlite"));
        for (int round = 0; round < 3; ++round) {
            QProcess writer;
            writer.start(QStringLiteral(HELIOTROPE_RECORD_WRITER_PATH), {path, QStringLiteral("400")});
            QVERIFY(writer.waitForStarted());
            int written = 0;
            QByteArray out;
            while (written < 4 + round && writer.waitForReadyRead(10000)) {
                out += writer.readAllStandardOutput();
                const qsizetype last = out.lastIndexOf("written ");
                if (last >= 0)
                    written = out.mid(last + 8).trimmed().split('\n').first().toInt();
            }
            QVERIFY2(written >= 4 + round, out.constData());
            QTest::qWait(round * 7);  // at another point of the next write each round
            ::kill(static_cast<pid_t>(writer.processId()), SIGKILL);
            QVERIFY(writer.waitForFinished(5000));
            out += writer.readAllStandardOutput();
            const qsizetype last = out.lastIndexOf("written ");
            written = out.mid(last + 8).trimmed().split('\n').first().toInt();

            StationRecord record(path);
            QVERIFY2(record.open(), qPrintable(record.problem()));
            QVERIFY(record.integrityOk());
            const std::vector<StationRun> all = record.history();
            QVERIFY2(all.size() >= static_cast<std::size_t>(written), qPrintable(QString::number(all.size())));
            for (const StationRun& run : all)
                QCOMPARE(std::get<RecordedCalibration>(run).points.size(), 400u);
        }
    }

    void historyLinesAndPicture()
    {
        std::vector<StationRun> runs{calibration("2026-06-01T09:00:00Z", 0.123, -0.05),
                                     sunNoise("2026-06-02T10:00:00Z", 12.34), sunNoise("2026-06-03T10:00:00Z", std::nullopt)};
        RecordedCalibration refused = calibration("2026-06-04T09:00:00Z", 0, 0);
        refused.found = false;
        refused.azimuthOffset.reset();
        refused.reason = QStringLiteral("中心が範囲の外\nthe centre lies beyond the span");
        runs.push_back(refused);
        const QStringList lines = historyLines(runs);
        QCOMPARE(lines.size(), 4);
        QVERIFY2(lines[0].startsWith(QStringLiteral("2026-06-01 09:00 UTC")), qPrintable(lines[0]));
        QVERIFY2(lines[0].contains(QStringLiteral("Δaz +0.123 ± 0.010°")) && lines[0].contains(QStringLiteral("保存 saved")),
                 qPrintable(lines[0]));
        QVERIFY2(lines[1].contains(QStringLiteral("1296.000 MHz: Y 12.34 ± 0.10 dB")) && lines[1].contains(QStringLiteral("G/T 5.34")),
                 qPrintable(lines[1]));
        QVERIFY2(lines[2].contains(QStringLiteral("結果なし no result: 太陽が低すぎます / the sun is too low")), qPrintable(lines[2]));
        QVERIFY2(lines[3].contains(QStringLiteral("中心が範囲の外 / the centre lies beyond")), qPrintable(lines[3]));
        for (const QString& line : lines)
            QVERIFY(!line.contains(QLatin1Char('\n')));

        QCOMPARE(sinceFromText(QStringLiteral("2026-06-02")), at("2026-06-02T00:00:00Z"));
        QCOMPARE(sinceFromText(QStringLiteral("2026-06-02T10:30")), at("2026-06-02T10:30:00Z"));
        QVERIFY(!sinceFromText(QStringLiteral("yesterday")).isValid());

        QTemporaryDir dir;
        QString problem;
        const QString png = dir.filePath(QStringLiteral("history.png"));
        QVERIFY2(saveHistoryPicture(runs, png, &problem), qPrintable(problem));
        const QImage image(png);
        QCOMPARE(image.size(), QSize(1400, 1000));
        // The points are drawn: the offsets' blue is there.
        bool blue = false;
        for (int y = 0; y < image.height() && !blue; ++y)
            for (int x = 0; x < image.width() && !blue; ++x)
                blue = image.pixelColor(x, y) == QColor(20, 60, 160);
        QVERIFY(blue);
        QVERIFY(!saveHistoryPicture(runs, dir.filePath(QStringLiteral("no/such/folder/h.png")), &problem));
        QVERIFY(problem.contains(QStringLiteral("Cannot save the picture")));
    }

    void yDropWarnsWithTheDateItBegan()
    {
        std::vector<RecordedSunNoise> runs;
        for (int day = 1; day <= 10; ++day)
            runs.push_back(sunNoise(qPrintable(QStringLiteral("2026-07-%1T10:00:00Z").arg(day, 2, 10, QLatin1Char('0'))),
                                    day % 2 ? 12.0 : 12.2));
        QVERIFY(!yDropWarning(runs));
        runs.push_back(sunNoise("2026-07-11T10:00:00Z", 11.2));  // 0.9 dB below the median of 12.1: not yet
        QVERIFY(!yDropWarning(runs));
        runs.push_back(sunNoise("2026-07-12T10:00:00Z", 10.5));
        runs.push_back(sunNoise("2026-07-13T10:00:00Z", 10.4));
        const auto warning = yDropWarning(runs);
        QVERIFY(warning);
        QCOMPARE(warning->runsLow, 2);
        QCOMPARE(warning->began, at("2026-07-12T10:00:00Z"));
        QVERIFY(qAbs(warning->dropDecibels - 1.6) < 1e-9);
        const QString text = warningText(*warning);
        QVERIFY(text.contains(QStringLiteral("警告")) && text.contains(QStringLiteral("2026-07-12 10:00 UTC"))
                && text.contains(QStringLiteral("Warning")));
        // A higher threshold, and too few runs to compare with.
        QVERIFY(!yDropWarning(runs, {2.0}));
        QVERIFY(!yDropWarning({runs.end() - 3, runs.end()}));
    }

    void offsetMoveWarnsPastAQuarterBeam()
    {
        const RecordedCalibration before = calibration("2026-08-01T09:00:00Z", 0.10, 0.10);
        // 0.6° of azimuth at 40° elevation is 0.46° on the sky, under a quarter of 2.05°.
        QVERIFY(!offsetMoveWarning(before, calibration("2026-08-08T09:00:00Z", 0.70, 0.10), 2.0));
        const auto moved = offsetMoveWarning(before, calibration("2026-08-08T09:00:00Z", 0.10, 0.65), 2.0);
        QVERIFY(moved);
        QVERIFY(qAbs(moved->movedDegrees - 0.55) < 1e-9);
        QCOMPARE(moved->began, at("2026-08-08T09:00:00Z"));
        QVERIFY(warningText(*moved).contains(QStringLiteral("quarter")));
        RecordedCalibration none = calibration("2026-08-09T09:00:00Z", 0, 0);
        none.azimuthOffset.reset();
        QVERIFY(!offsetMoveWarning(before, none, 2.0));
    }
};

QTEST_MAIN(TestStationRecord)
#include "tst_stationrecord.moc"
