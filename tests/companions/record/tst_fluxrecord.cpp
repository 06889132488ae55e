// The sun's flux in the station's record against real SQLite files: readings
// come back as they went in (angles to the kept resolution, an unreadable
// power as unreadable), a batch is kept whole or not at all, a record of the
// schema before brought up keeps its runs, and a day kept again replaces
// what was kept of it.

#include "companions/record/FluxRecord.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <cmath>

using namespace heliotrope;
using namespace heliotrope::record;

namespace {

const double kNoon = 1796875200;  // 2026-12-10 03:00 UTC, noon JST

std::vector<flux::Reading> minuteOfReadings(double from)
{
    std::vector<flux::Reading> readings;
    for (int i = 0; i < 60; ++i) {
        flux::Reading r;
        r.utc = from + i + 0.25;
        r.power = 1.0e-3 * (1 + i * 1e-4);
        r.antennaAzimuth = 180.12345 + i * 0.004;
        r.antennaElevation = 31.00049;
        r.sunAzimuth = -0.00051;
        r.sunElevation = 31.2;
        r.moved = i % 7 == 0;
        r.state = i < 50 ? flux::StationState::Tracking : flux::StationState::Reference;
        if (i == 3)
            r.separationDegrees = 0.0123;
        if (i == 5)
            r.power = std::nan("");
        readings.push_back(r);
    }
    return readings;
}

flux::FluxDay dayWith(double flux, int bursts)
{
    flux::FluxDay day;
    day.scaleRelativeError = 0.05;
    day.daily.nominalUtc = kNoon;
    day.daily.fluxSfu = flux;
    day.daily.error = 0.4;
    day.daily.totalError = 7;
    day.daily.cleanReadings = 20000;
    flux::FluxValue refused;
    refused.nominalUtc = kNoon - 7200;
    refused.refusal = flux::ValueRefusal::TooFewClean;
    refused.cleanReadings = 12;
    day.atFixedTimes = {refused};
    for (int i = 0; i < bursts; ++i)
        day.bursts.push_back({flux::ScaleKind::GOverT, kNoon + i * 600, kNoon + i * 600 + 30, 4, kNoon + i * 600 + 90, 160, 20});
    for (int i = 0; i < 3; ++i) {
        flux::FluxReading r;
        r.utc = kNoon + i + 0.25;
        r.flags = i == 1 ? unsigned(flux::Flag::Moved) | unsigned(flux::Flag::Spike) : 0;
        r.inBurst = i == 2;
        day.readings.push_back(r);
    }
    return day;
}

}  // namespace

class FluxRecordTest : public QObject {
    Q_OBJECT

private slots:
    void readingsComeBackAsTheyWentIn()
    {
        QTemporaryDir dir;
        StationRecord record(dir.filePath(QStringLiteral("station.sqlite")));
        QVERIFY2(record.open(), qPrintable(record.problem()));
        FluxRecord fluxRecord(record);
        const std::vector<flux::Reading> in = minuteOfReadings(kNoon);
        flux::Reference reference{kNoon + 50, kNoon + 60, {0.9e-3, 1e-5, 10}};
        QVERIFY2(fluxRecord.addFluxBatch(in, {reference}), qPrintable(fluxRecord.problem()));
        // The same minute again (a batch sent twice) is not doubled.
        QVERIFY(fluxRecord.addFluxBatch(in, {reference}));
        const std::vector<flux::Reading> out = fluxRecord.fluxReadingsBetween(kNoon + 1, kNoon + 60);
        QCOMPARE(out.size(), in.size() - 1);
        QCOMPARE(fluxRecord.fluxReadingCountBetween(kNoon, kNoon + 60), qint64(60));
        const double half = kKeptAngleResolutionDegrees / 2 + 1e-12;
        for (std::size_t i = 0; i < out.size(); ++i) {
            const flux::Reading& a = in[i + 1];
            const flux::Reading& b = out[i];
            QCOMPARE(b.utc, a.utc);
            QVERIFY(std::fabs(b.antennaAzimuth - a.antennaAzimuth) <= half);
            QVERIFY(std::fabs(b.antennaElevation - a.antennaElevation) <= half);
            QVERIFY(std::fabs(b.sunAzimuth - a.sunAzimuth) <= half);
            QCOMPARE(b.moved, a.moved);
            QCOMPARE(b.state, a.state);
            QCOMPARE(b.separationDegrees.has_value(), a.separationDegrees.has_value());
            if (std::isnan(a.power))
                QVERIFY(std::isnan(b.power));
            else
                QCOMPARE(b.power, a.power);
        }
        QVERIFY(std::fabs(*out[2].separationDegrees - 0.0123) <= half);
        const std::vector<flux::Reference> refs = fluxRecord.fluxReferencesBetween(kNoon, kNoon + 3600);
        QCOMPARE(refs.size(), 1u);
        QCOMPARE(refs[0].endUtc, reference.endUtc);
        QCOMPARE(refs[0].power.mean, reference.power.mean);
        QCOMPARE(refs[0].power.count, 10);
    }

    void aBatchThatFailsKeepsNothing()
    {
        QTemporaryDir dir;
        StationRecord record(dir.filePath(QStringLiteral("station.sqlite")));
        QVERIFY(record.open());
        {
            // The references fail after the readings went in.
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("trap"));
            db.setDatabaseName(record.path());
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec(QStringLiteral(
                "CREATE TRIGGER refuse BEFORE INSERT ON flux_references BEGIN SELECT RAISE(ABORT, 'disk says no'); END")));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("trap"));
        FluxRecord fluxRecord(record);
        QVERIFY(!fluxRecord.addFluxBatch(minuteOfReadings(kNoon), {{kNoon, kNoon + 10, {1, 0.01, 10}}}));
        QVERIFY(fluxRecord.problem().contains(QStringLiteral("disk says no")));
        QVERIFY(fluxRecord.problem().contains(QStringLiteral("\n")));
        QCOMPARE(fluxRecord.fluxReadingCountBetween(0, 4e9), qint64(0));
        // A reading without a time refuses the batch before anything is written.
        std::vector<flux::Reading> timeless = minuteOfReadings(kNoon);
        timeless[30].utc = std::nan("");
        QVERIFY(!fluxRecord.addFluxBatch(timeless, {}));
        QCOMPARE(fluxRecord.fluxReadingCountBetween(0, 4e9), qint64(0));
    }

    void aDayKeptAgainReplacesIt()
    {
        QTemporaryDir dir;
        StationRecord record(dir.filePath(QStringLiteral("station.sqlite")));
        QVERIFY(record.open());
        FluxRecord fluxRecord(record);
        const QDate day(2026, 12, 10);
        QVERIFY(fluxRecord.keepFluxDay(day, dayWith(150, 3), QStringLiteral("first")));
        QVERIFY(fluxRecord.keepFluxDay(day.addDays(1), dayWith(151, 0), QStringLiteral("next day")));
        flux::FluxDay again = dayWith(152, 1);
        again.readings[1].flags = 0;
        QVERIFY(fluxRecord.keepFluxDay(day, again, QStringLiteral("G/T 2026-12-03 sun-noise run #12 on a typed flux")));
        const std::vector<KeptFluxDay> days = fluxRecord.keptFluxDays(QDate(2026, 12, 1));
        QCOMPARE(days.size(), 2u);
        QCOMPARE(days[0].jstDay, day);
        QCOMPARE(*days[0].daily.fluxSfu, 152.0);
        QCOMPARE(days[0].daily.totalError, 7.0);
        QCOMPARE(days[0].bursts.size(), 1u);
        QCOMPARE(days[0].bursts[0].peakUtcError, 4.0);
        QCOMPARE(days[0].atFixedTimes.size(), 1u);
        QCOMPARE(days[0].atFixedTimes[0].refusal, flux::ValueRefusal::TooFewClean);
        QVERIFY(!days[0].atFixedTimes[0].fluxSfu);
        QCOMPARE(days[0].scaleSource, QStringLiteral("G/T 2026-12-03 sun-noise run #12 on a typed flux"));
        QCOMPARE(days[1].bursts.size(), 0u);
        const std::vector<KeptReadingFlags> flags = fluxRecord.keptReadingFlagsBetween(kNoon - 10, kNoon + 10);
        QCOMPARE(flags.size(), 1u);
        QVERIFY(flags[0].inBurst);
        QCOMPARE(fluxRecord.keptFluxDays(day.addDays(1)).size(), 1u);
        QVERIFY(!fluxRecord.keptFluxDay(day.addDays(-1)));
    }

    void aRecordOfTheSchemaBeforeKeepsItsRuns()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("station.sqlite"));
        {
            StationRecord record(path);
            QVERIFY(record.open());
            RecordedSunNoise run;
            run.utc = QDateTime::fromSecsSinceEpoch(qint64(kNoon), QTimeZone::utc());
            run.found = true;
            run.yDecibels = 12;
            run.frequencyMegahertz = 2800;
            run.programVersion = QStringLiteral("0.1.0");
            QVERIFY(record.addSunNoise(run));
        }
        {
            // Back to the schema before the flux, as that version left it.
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("v5"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            for (const char* table : {"system_temperature_runs", "flux_reading_flags", "flux_bursts", "flux_values", "flux_days",
                                      "flux_references", "flux_readings"})
                QVERIFY(q.exec(QStringLiteral("DROP TABLE %1").arg(QLatin1String(table))));
            for (const char* column : {"calibrations DROP COLUMN during_burst", "sun_noise_runs DROP COLUMN during_burst",
                                       "sun_noise_runs DROP COLUMN started_utc"})
                QVERIFY(q.exec(QStringLiteral("ALTER TABLE %1").arg(QLatin1String(column))));
            QVERIFY(q.exec(QStringLiteral("PRAGMA user_version = 5")));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("v5"));
        StationRecord record(path);
        QVERIFY2(record.open(), qPrintable(record.problem()));
        QCOMPARE(record.foundSchemaVersion(), 5);
        QCOMPARE(record.lastSunNoiseAt(2800, 5).size(), 1u);
        FluxRecord fluxRecord(record);
        QVERIFY(fluxRecord.hasFluxTables());
        QVERIFY(fluxRecord.addFluxBatch(minuteOfReadings(kNoon), {}));
        QCOMPARE(fluxRecord.fluxReadingsBetween(kNoon, kNoon + 60).size(), 60u);
    }
};

QTEST_GUILESS_MAIN(FluxRecordTest)
#include "tst_fluxrecord.moc"
