// The record as the page's JSON gives it to other tools: every run with its
// marks (a rehearsal, a burst under way), each kept flux day with its values,
// errors, scale and bursts; nothing, and no complaint, before there is a
// record; the reason in both languages when there is one it cannot read.

#include "companions/record/FluxRecord.h"
#include "companions/record/StationRecord.h"
#include "companions/rotctl/page/RecordJson.h"

#include <QDir>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace heliotrope;

class TestRecordJson : public QObject {
    Q_OBJECT

private slots:
    void runsAndDaysAsKept()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("station.sqlite"));
        const QDateTime noon(QDate(2026, 12, 9), QTime(3, 0), QTimeZone::utc());
        {
            record::StationRecord record(path);
            QVERIFY(record.open());
            record::RecordedSunNoise run;
            run.utc = noon;
            run.startedUtc = noon.addSecs(-300);
            run.found = true;
            run.yDecibels = 4.9;
            run.frequencyMegahertz = 1400;
            run.duringBurst = true;
            run.fluxSource = record::FluxSource::TypedForTheDay;
            run.programVersion = QStringLiteral("test");
            QVERIFY(record.addSunNoise(run));
            record::RecordedCalibration calibration;
            calibration.utc = noon.addSecs(600);
            calibration.pattern = QStringLiteral("cross");
            calibration.found = true;
            calibration.azimuthOffset = record::Measured{0.4, 0.05};
            calibration.elevationOffset = record::Measured{-0.2, 0.04};
            calibration.clockOffsetSeconds = -36000;
            calibration.refraction = QStringLiteral("radio");
            calibration.programVersion = QStringLiteral("test");
            QVERIFY(record.addCalibration(calibration));
            flux::FluxDay day;
            day.daily.fluxSfu = 71.5;
            day.daily.error = 0.1;
            day.daily.totalError = 2.1;
            day.daily.cleanReadings = 16000;
            flux::FluxValue refused;
            refused.refusal = flux::ValueRefusal::TooFewClean;
            refused.cleanReadings = 12;
            day.atFixedTimes = {refused};
            flux::FluxBurst burst;
            burst.startUtc = 1796779200;
            burst.peakUtc = 1796779230;
            burst.endUtc = 1796779300;
            burst.peakExcessSfu = 13.3;
            day.bursts = {burst};
            QVERIFY(record::FluxRecord(record).keepFluxDay(QDate(2026, 12, 9), day, QStringLiteral("G/T 3.43\nG/T 3.43 from a run")));
        }
        const QJsonArray runs = rotctl::historyJson(path, noon.addDays(-1))[QStringLiteral("runs")].toArray();
        QCOMPARE(runs.size(), 2);
        QCOMPARE(runs[0][QStringLiteral("kind")].toString(), QStringLiteral("sunNoise"));
        QVERIFY(runs[0][QStringLiteral("duringBurst")].toBool() && runs[0][QStringLiteral("fluxTypedForTheDay")].toBool());
        QCOMPARE(runs[0][QStringLiteral("yDecibels")].toDouble(), 4.9);
        QCOMPARE(runs[0][QStringLiteral("startedUtc")].toString(), QStringLiteral("2026-12-09T02:55:00.000Z"));
        QCOMPARE(runs[1][QStringLiteral("azimuthOffset")][QStringLiteral("error")].toDouble(), 0.05);
        QCOMPARE(runs[1][QStringLiteral("rehearsalClockOffsetSeconds")].toDouble(), -36000.0);
        // Found, and never put in use: not saved.
        QVERIFY(runs[1][QStringLiteral("found")].toBool() && !runs[1][QStringLiteral("saved")].toBool());
        QVERIFY(rotctl::historyJson(path, noon.addDays(1))[QStringLiteral("runs")].toArray().isEmpty());

        const QJsonArray days = rotctl::fluxJson(path, QDate(2026, 12, 1))[QStringLiteral("days")].toArray();
        QCOMPARE(days.size(), 1);
        const QJsonObject day = days[0].toObject();
        QCOMPARE(day[QStringLiteral("jstDay")].toString(), QStringLiteral("2026-12-09"));
        QCOMPARE(day[QStringLiteral("daily")][QStringLiteral("sfu")].toDouble(), 71.5);
        // The station's own error and the one with the scale's, each its own.
        QCOMPARE(day[QStringLiteral("daily")][QStringLiteral("error")].toDouble(), 0.1);
        QCOMPARE(day[QStringLiteral("daily")][QStringLiteral("totalError")].toDouble(), 2.1);
        // A value refused says why, and gives no number.
        const QJsonObject fixed = day[QStringLiteral("atFixedTimes")][0].toObject();
        QVERIFY(fixed[QStringLiteral("sfu")].isNull());
        QCOMPARE(fixed[QStringLiteral("refusal")].toString(), QStringLiteral("tooFewClean"));
        QCOMPARE(day[QStringLiteral("bursts")][0][QStringLiteral("peakUtc")].toDouble(), 1796779230.0);
        QCOMPARE(day[QStringLiteral("scaleSource")][QStringLiteral("en")].toString(), QStringLiteral("G/T 3.43 from a run"));
    }

    void todayAsMinutesOfCleanReadings()
    {
        flux::FluxDay day;
        const auto reading = [&](double utc, double sfu, unsigned flags, bool inBurst) {
            flux::FluxReading r;
            r.utc = utc;
            r.fluxSfu = sfu;
            r.flags = flags;
            r.inBurst = inBurst;
            day.readings.push_back(r);
        };
        // A spike of 90 does not move the minute's median; a flagged
        // reading of 20 is not in it at all.
        for (const double sfu : {70.0, 71.0, 90.0})
            reading(1796779200 + sfu / 10, sfu, 0, false);
        reading(1796779210, 20, static_cast<unsigned>(flux::Flag::Moved), false);
        reading(1796779265, 80, 0, true);
        const QJsonObject curve = rotctl::lightCurveJson(day);
        const QJsonArray minutes = curve[QStringLiteral("minutes")].toArray();
        QCOMPARE(minutes.size(), 2);
        QCOMPARE(minutes[0][0].toDouble(), 1796779230.0);
        QCOMPARE(minutes[0][1].toDouble(), 71.0);
        QVERIFY(!minutes[0][2].toBool() && minutes[1][2].toBool());
        QCOMPARE(curve[QStringLiteral("flagged")].toInt(), 1);
    }

    void noRecordYetAndOneThatCannotBeRead()
    {
        QTemporaryDir dir;
        const QJsonObject none = rotctl::fluxJson(dir.filePath(QStringLiteral("none.sqlite")), QDate(2026, 1, 1));
        QVERIFY(none[QStringLiteral("days")].toArray().isEmpty() && !none.contains(QStringLiteral("problem")));
        // A folder where the record should be.
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("station.sqlite")));
        const QJsonObject unread = rotctl::historyJson(dir.filePath(QStringLiteral("station.sqlite")), QDateTime());
        QVERIFY(unread[QStringLiteral("runs")].toArray().isEmpty());
        QVERIFY(!unread[QStringLiteral("problem")][QStringLiteral("ja")].toString().isEmpty());
        QVERIFY(!unread[QStringLiteral("problem")][QStringLiteral("en")].toString().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRecordJson)
#include "tst_recordjson.moc"
