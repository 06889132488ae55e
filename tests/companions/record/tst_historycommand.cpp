// heliotrope-rotctl --history as the operator runs it: no rotctld, no bridge,
// the record found through XDG_DATA_HOME and never created by reading it.

#include "companions/record/StationRecord.h"

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

    // The program's exit code, and what it printed on either stream into `out`.
    int history(const QStringList& arguments, QString* out)
    {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home.path());
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(HELIOTROPE_ROTCTL_PATH), QStringList{QStringLiteral("--history")} + arguments);
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
};

QTEST_GUILESS_MAIN(TestHistoryCommand)
#include "tst_historycommand.moc"
