// The day's flux as the bridge works it out while it tracks: on a record
// holding a sun-noise run on a day whose flux was typed in, the simulated
// radiometer's sun bursts; the burst is said once, as a warning, with its
// peak time, by the rule given, and not for the station's own references; --status shows the
// day so far; and when the bridge ends the day is kept with the burst, its
// daily value, and no value at the fixed times it did not see.

#include "ProgramRun.h"
#include "SerialRotator.h"
#include "StationHome.h"
#include "TestTimeScale.h"

#include "companions/record/FluxRecord.h"
#include "companions/record/StationRecord.h"

#include <QRegularExpression>
#include <QSaveFile>
#include <QTest>
#include <QTimeZone>

#include <cmath>
#include <memory>

namespace {

const QString kSiteText = QStringLiteral("35.68,139.77,40");
constexpr double kJstDayStart = 1796828400.0;  // 2026-12-10 00:00 JST
constexpr double kSkyUtc = kJstDayStart + 11 * 3600 + 18 * 60;
constexpr double kTimeScale = 20;
// The burst is laid in at the reference after this: some forty minutes of the
// sun before it, as the running quiet level wants a quarter of its two hours
// filled.
constexpr double kBurstNotBefore = kJstDayStart + 11 * 3600 + 54 * 60;
// Two minutes after that reference begins, when it has ended: a reference's
// slews and dwell would hide a burst's peak, and how long each takes on a
// loaded machine moves the next one by minutes of the quickened clock.
constexpr double kBurstAfterReference = 120;
constexpr double kBurstRise = 30;

QString fluxHistory(std::optional<double> burstStart)
{
    QString text = QStringLiteral("heliotrope-sunflux 1\nquiet 70 0 27 %1 0 %1\n").arg(kSkyUtc, 0, 'f', 0);
    if (burstStart)
        text += QStringLiteral("burst %1 %2 30 60\n").arg(*burstStart, 0, 'f', 0).arg(kBurstRise);
    return text;
}

// The radiometer, started for each reading, reads the file whole or its
// earlier form, never half of it.
bool writeFluxHistory(const QString& path, std::optional<double> burstStart)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(fluxHistory(burstStart).toUtf8()) > 0 && file.commit();
}

// The UTC of the next reference --status gives, if it gives one.
std::optional<double> nextReferenceUtc(const QString& status)
{
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("next reference (\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d)")).match(status);
    if (!m.hasMatch())
        return std::nullopt;
    QDateTime jst = QDateTime::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    jst.setTimeZone(QTimeZone(9 * 3600));
    return static_cast<double>(jst.toSecsSinceEpoch());
}

}  // namespace

class TestFluxWatch : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void aBurstSaidOnceAndTheDayKept();

private:
    static heliotrope::record::RecordedSunNoise morningRun();
    StationHome m_home;
    std::unique_ptr<TestTimeScale> m_time;
    SerialRotator m_rotator;
};

void TestFluxWatch::initTestCase()
{
    if (RotctldProcess::program().isEmpty())
        QSKIP("rotctld (libhamlib-utils) is not installed");
    QVERIFY(m_home.make());
    m_time = std::make_unique<TestTimeScale>(kTimeScale, kSkyUtc);
    QVERIFY(m_rotator.start(QStringLiteral("gs232b"), {QStringLiteral("--az-rate"), QStringLiteral("6"), QStringLiteral("--el-rate"), QStringLiteral("3")},
                            kTimeScale));

    // The scale: that morning's sun-noise run, its flux typed in.
    heliotrope::record::StationRecord record;
    QVERIFY2(record.open(), qPrintable(record.problem()));
    QVERIFY2(record.addSunNoise(morningRun()), qPrintable(record.problem()));
}

heliotrope::record::RecordedSunNoise TestFluxWatch::morningRun()
{
    heliotrope::record::RecordedSunNoise run;
    run.utc = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(kJstDayStart + 9 * 3600), QTimeZone::utc());
    run.site = {35.68, 139.77, 40};
    run.found = true;
    run.yDecibels = 4.8;
    run.yDecibelsDeviation = 0.02;
    run.repeats = std::vector<heliotrope::record::RecordedRepeat>(3, heliotrope::record::RecordedRepeat{-50.8, -54.0});
    run.gOverTDecibelsPerKelvin = 3.8;
    run.fluxSfu = 70;
    run.fluxSource = heliotrope::record::FluxSource::TypedForTheDay;
    run.frequencyMegahertz = 1400;
    run.dishDiameterMetres = 1.2;
    run.programVersion = QStringLiteral("test");
    return run;
}

void TestFluxWatch::aBurstSaidOnceAndTheDayKept()
{
    const QString history = m_home.filePath(QStringLiteral("flux-history.txt"));
    QVERIFY(writeFluxHistory(history, std::nullopt));
    const QString radiometer = QStringLiteral("%1 --once --site %2 --rotctld 127.0.0.1:%3 --receiver-temperature 60 --frequency 1400 "
                                              "--dish-diameter 1.2 --flux-history %4 --noise 0.02 --seed 3")
                                   .arg(QStringLiteral(HELIOTROPE_RADIOMETER_PATH), kSiteText)
                                   .arg(m_rotator.port())
                                   .arg(history);
    Program bridge({QStringLiteral("--track-sun"), QStringLiteral("--site"), kSiteText, QStringLiteral("--port"), QStringLiteral("0"),
                    QStringLiteral("--rotctld"), QStringLiteral("127.0.0.1:%1").arg(m_rotator.port()), QStringLiteral("--watch-power"),
                    QStringLiteral("command:") + radiometer, QStringLiteral("--watch-beamwidth"), QStringLiteral("12.5"),
                    QStringLiteral("--reference-every"), QStringLiteral("5"), QStringLiteral("--reference-dwell"), QStringLiteral("20"), QStringLiteral("--reference-offset"),
                    QStringLiteral("2"), QStringLiteral("--burst-sigma"), QStringLiteral("4")});
    QVERIFY2(bridge.waitFor(QStringLiteral("Reading the power every second"), 10000), qPrintable(bridge.output));
    // The rule given is the one the watch looks by.
    QVERIFY2(bridge.waitFor(QStringLiteral("a burst: 4 times the quiet level's scatter above it for 30 s"), 10000), qPrintable(bridge.output));

    QTest::qWait(m_time->realMs(kBurstNotBefore - m_time->utcNow()));
    std::optional<double> reference;
    QString asked;
    for (int tries = 0; !reference && tries < 20; ++tries) {
        Program status({QStringLiteral("--status")});
        QCOMPARE(status.exitWithin(10000), 0);
        asked = status.output;
        reference = nextReferenceUtc(asked);
        if (!reference)
            QTest::qWait(m_time->realMs(20));
    }
    QVERIFY2(reference, qPrintable(asked));
    const double burstStart = *reference + kBurstAfterReference;
    const double burstPeakUtc = burstStart + kBurstRise;
    QVERIFY(writeFluxHistory(history, burstStart));
    // A sun-noise run across the burst's start, its day's flux typed in: it
    // is marked, and the day's scale stays the morning's.
    {
        heliotrope::record::StationRecord record;
        QVERIFY2(record.open(), qPrintable(record.problem()));
        heliotrope::record::RecordedSunNoise run = morningRun();
        run.startedUtc = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(burstStart - 60), QTimeZone::utc());
        run.utc = run.startedUtc.addSecs(120);
        run.gOverTDecibelsPerKelvin = 4.6;
        QVERIFY2(record.addSunNoise(run), qPrintable(record.problem()));
    }

    // Said at the first look after the burst (every five minutes of the
    // companions' time), with its peak to within ten seconds.
    QVERIFY2(bridge.waitFor(QStringLiteral("Solar radio burst"), m_time->realMs(burstPeakUtc - m_time->utcNow() + 900)),
             qPrintable(bridge.output));
    const QRegularExpressionMatch said = QRegularExpression(QStringLiteral("Solar radio burst: from \\S+ \\S+ JST, peak \\S+ (\\d+):(\\d+):(\\d+) JST"))
                                             .match(bridge.output);
    QVERIFY2(said.hasMatch(), qPrintable(bridge.output));
    const double peakSaid = kJstDayStart + said.captured(1).toDouble() * 3600 + said.captured(2).toDouble() * 60 + said.captured(3).toDouble();
    QVERIFY2(std::abs(peakSaid - burstPeakUtc) <= 10, qPrintable(bridge.output));
    Program status({QStringLiteral("--status")});
    QCOMPARE(status.exitWithin(10000), 0);
    QVERIFY2(status.output.contains(QStringLiteral("today's flux so far")) && status.output.contains(QStringLiteral("1 bursts")), qPrintable(status.output));

    // Another look with the burst over and a reference since: nothing new.
    QTest::qWait(m_time->realMs(330));
    bridge.process.terminate();
    QVERIFY(bridge.exitWithin(15000) >= 0);
    QCOMPARE(bridge.output.count(QStringLiteral("Solar radio burst")), 1);
    QVERIFY2(bridge.output.contains(QStringLiteral("The flux of 2026-12-10 (JST) is kept: daily value ")), qPrintable(bridge.output));

    heliotrope::record::StationRecord record;
    QVERIFY2(record.open(), qPrintable(record.problem()));
    const std::optional<heliotrope::record::KeptFluxDay> day = heliotrope::record::FluxRecord(record).keptFluxDay(QDate(2026, 12, 10));
    QVERIFY(day);
    QCOMPARE(day->bursts.size(), std::size_t{1});
    QVERIFY(std::abs(day->bursts.front().peakUtc - burstPeakUtc) <= 10);
    // The burst's excess on the run's scale, near the 30 SFU the sun added.
    QVERIFY2(day->bursts.front().peakExcessSfu > 15 && day->bursts.front().peakExcessSfu < 60, qPrintable(QString::number(day->bursts.front().peakExcessSfu)));
    // Forty-odd minutes of clean readings make a daily value, fewer than
    // the day's least (a loaded machine's slower readings) none, and it says
    // so; the fixed times two hours either side of the transit have none.
    QVERIFY2(day->daily.fluxSfu ? day->daily.cleanReadings >= 1800
                                : day->daily.refusal == heliotrope::flux::ValueRefusal::TooFewClean && day->daily.cleanReadings < 1800,
             qPrintable(QString::number(day->daily.cleanReadings)));
    QVERIFY(!day->atFixedTimes.front().fluxSfu && day->atFixedTimes.front().refusal == heliotrope::flux::ValueRefusal::NoReadings);
    QVERIFY(day->referencesUsed >= 2);
    QVERIFY2(day->scaleSource.contains(QStringLiteral("G/T 3.80")), qPrintable(day->scaleSource));
    QVERIFY2(bridge.output.count(QStringLiteral("measured while a solar radio burst was")) == 1, qPrintable(bridge.output));
    QVERIFY(std::get<heliotrope::record::RecordedSunNoise>(record.history().back()).duringBurst);
}

QTEST_GUILESS_MAIN(TestFluxWatch)
#include "tst_fluxwatch.moc"
