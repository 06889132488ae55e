// heliotrope-rotctl --history and --set-flux as the operator runs them: no
// rotctld, no bridge, the record found through XDG_DATA_HOME and never created
// by reading it.

#include "companions/record/StationRecord.h"
#include "companions/sunnoise/SunNoise.h"

#include <QImage>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace heliotrope::record;

class TestHistoryCommand : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;

    int history(const QStringList& arguments, QString* out) { return rotctl(QStringList{QStringLiteral("--history")} + arguments, out); }

    // The program's exit code, and what it printed on either stream into `out`.
    int rotctl(const QStringList& arguments, QString* out)
    {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home.path());
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(HELIOTROPE_ROTCTL_PATH), arguments);
        program.waitForFinished(20000);
        *out = QString::fromUtf8(program.readAllStandardOutput() + program.readAllStandardError());
        return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    }

private slots:
    void missingThenFilteredThenNewer()
    {
        const QString record = m_home.filePath(QStringLiteral("heliotrope/station.sqlite"));
        const QString png = m_home.filePath(QStringLiteral("history.png"));
        QString out;
        QCOMPARE(history({}, &out), 0);
        QVERIFY2(out.contains(QStringLiteral("No record at")), qPrintable(out));
        // A picture asked of nothing is no success; reading made no record.
        QCOMPARE(history({QStringLiteral("--plot"), png}, &out), 1);
        QVERIFY(!QFileInfo::exists(record) && !QFileInfo::exists(png));

        {
            StationRecord writer(record);
            QVERIFY(writer.open());
            RecordedSunNoise later;  // written first, shown last
            later.utc = QDateTime(QDate(2026, 12, 3), QTime(12, 0), QTimeZone::utc());
            later.found = true;
            later.yDecibels = 11.5;
            later.programVersion = QStringLiteral("test");
            QVERIFY(writer.addSunNoise(later));
            RecordedCalibration earlier;
            earlier.utc = later.utc.addDays(-2);
            earlier.pattern = QStringLiteral("five");
            earlier.refraction = QStringLiteral("radio");
            earlier.programVersion = QStringLiteral("test");
            QVERIFY(writer.addCalibration(earlier));
        }
        QCOMPARE(history({}, &out), 0);
        QVERIFY2(out.indexOf(QStringLiteral("2026-12-01 12:00 UTC")) < out.indexOf(QStringLiteral("2026-12-03 12:00 UTC")), qPrintable(out));
        QCOMPARE(history({QStringLiteral("--since"), QStringLiteral("2026-12-02")}, &out), 0);
        QVERIFY2(!out.contains(QStringLiteral("2026-12-01")) && out.contains(QStringLiteral("Y 11.50")), qPrintable(out));
        QCOMPARE(history({QStringLiteral("--since"), QStringLiteral("2026-12-04")}, &out), 0);
        QVERIFY2(out.contains(QStringLiteral("Nothing recorded since 2026-12-04 00:00 UTC")), qPrintable(out));

        // A newer program's record: said, and read all the same.
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("newer"));
            db.setDatabaseName(record);
            QVERIFY(db.open() && QSqlQuery(db).exec(QStringLiteral("PRAGMA user_version = 99")));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("newer"));
        QCOMPARE(history({QStringLiteral("--plot"), png}, &out), 0);
        QVERIFY2(out.contains(QStringLiteral("newer heliotrope-rotctl")) && out.contains(QStringLiteral("2026-12-03")), qPrintable(out));
        QVERIFY(!QImage(png).isNull());
    }

    // The day's flux typed in: that day's runs worked out again (G/T from
    // their own Y at the new flux, the expected Y scaled), the days around
    // untouched, the mark in the history; a slip refused with nothing changed.
    void aDaysFluxWorksOutThatDaysRunsAgain()
    {
        QTemporaryDir home;
        m_home.swap(home);
        const QString path = m_home.filePath(QStringLiteral("heliotrope/station.sqlite"));
        const QDateTime noon(QDate(2026, 11, 30), QTime(3, 0), QTimeZone::utc());
        const heliotrope::sunnoise::Station assumed{120, 1296, 3, 0.55};
        {
            StationRecord writer(path);
            QVERIFY(writer.open());
            for (const QDateTime& utc : {noon.addSecs(-4 * 3600), noon, noon.addSecs(21 * 3600)}) {
                RecordedSunNoise run;
                run.utc = utc;
                run.found = true;
                run.yDecibels = 12.0;
                run.fluxSfu = assumed.fluxSfu;
                run.frequencyMegahertz = assumed.frequencyMegahertz;
                run.dishDiameterMetres = assumed.dishDiameterMetres;
                run.gOverTDecibelsPerKelvin = heliotrope::sunnoise::gOverTDecibelsPerKelvin(assumed, 12.0);
                run.expectedYDecibels = heliotrope::sunnoise::expectedYDecibels(assumed, 100);
                run.programVersion = QStringLiteral("test");
                QVERIFY(writer.addSunNoise(run));
            }
        }
        QString out;
        for (const char* slip : {"2026-11-31,150", "2026-11-30", "2026-11-30,0", "2026-11-30,2e5", "150,2026-11-30"}) {
            QCOMPARE(rotctl({QStringLiteral("--set-flux"), QString::fromLatin1(slip)}, &out), 2);
            QVERIFY2(out.contains(QStringLiteral("--set-flux")), qPrintable(out));
        }
        QCOMPARE(rotctl({QStringLiteral("--set-flux"), QStringLiteral("2099-01-01,150")}, &out), 1);
        QCOMPARE(rotctl({QStringLiteral("--set-flux"), QStringLiteral("2026-11-30,150"), QStringLiteral("--history")}, &out), 2);

        QCOMPARE(rotctl({QStringLiteral("--set-flux"), QStringLiteral("2026-11-30,150")}, &out), 0);
        QVERIFY2(out.contains(QStringLiteral("That day's 1 sun-noise runs")), qPrintable(out));
        StationRecord record(path);
        QVERIFY(record.open());
        QCOMPARE(record.fluxOn(QDate(2026, 11, 30)), std::optional<double>(150));
        QVERIFY(!record.fluxOn(QDate(2026, 11, 29)));
        const std::vector<StationRun> runs = record.history();
        QCOMPARE(runs.size(), 3u);
        const auto& before = std::get<RecordedSunNoise>(runs[0]);
        const auto& typed = std::get<RecordedSunNoise>(runs[1]);
        const auto& after = std::get<RecordedSunNoise>(runs[2]);
        for (const RecordedSunNoise* untouched : {&before, &after}) {
            QCOMPARE(untouched->fluxSource, FluxSource::Assumed);
            QCOMPARE(*untouched->fluxSfu, 120.0);
        }
        QCOMPARE(typed.fluxSource, FluxSource::TypedForTheDay);
        QCOMPARE(*typed.fluxSfu, 150.0);
        // More flux for the same Y: G/T lower by the flux's ratio; the sun's
        // antenna temperature, and so Y − 1 expected, higher by it.
        QVERIFY(std::abs(*typed.gOverTDecibelsPerKelvin - (*before.gOverTDecibelsPerKelvin - 10 * std::log10(150.0 / 120.0))) < 1e-9);
        const auto excess = [](double decibels) { return std::pow(10.0, decibels / 10.0) - 1.0; };
        QVERIFY(std::abs(excess(*typed.expectedYDecibels) / excess(*before.expectedYDecibels) - 150.0 / 120.0) < 1e-9);
        QCOMPARE(history({}, &out), 0);
        QCOMPARE(out.count(QStringLiteral("仮定 assumed, --flux")), 2);
        QVERIFY2(out.contains(QStringLiteral("flux 150.0 sfu (その日の値 typed for the day)")), qPrintable(out));

        // Typed again, corrected: the later value holds, worked out from the run's own Y.
        QCOMPARE(rotctl({QStringLiteral("--set-flux"), QStringLiteral("2026-11-30,160")}, &out), 0);
        QCOMPARE(record.fluxOn(QDate(2026, 11, 30)), std::optional<double>(160));
        const std::vector<StationRun> again = record.history();
        const auto& retyped = std::get<RecordedSunNoise>(again[1]);
        QVERIFY(std::abs(*retyped.gOverTDecibelsPerKelvin - (*before.gOverTDecibelsPerKelvin - 10 * std::log10(160.0 / 120.0))) < 1e-9);
        // Today's flux may be typed in as soon as it is out.
        const QString today = QDateTime::currentDateTimeUtc().date().toString(Qt::ISODate);
        QCOMPARE(rotctl({QStringLiteral("--set-flux"), today + QStringLiteral(",150")}, &out), 0);
    }
};

QTEST_GUILESS_MAIN(TestHistoryCommand)
#include "tst_historycommand.moc"
