// The sun-noise run end to end against Hamlib's real rotctld, driving a
// rotator that slews at 6° a second on both axes and stops on its target
// (heliotrope-sim as an EasyComm II controller with no dead band), and the
// simulated radiometer read as a command, with the sun placed high by
// shifting the clock of both to 2025-06-21 00:00 UTC (09:00 JST) at 八王子:
// the sun at azimuth 97.5°, elevation 52.5°. The run, the rotator and the
// radiometer are on the companions' time, kTimeScale times the wall clock's
// pace (TestTimeScale); rotctld's timeouts keep real time.
//
// The radiometer stands for a receiver of system temperature 100 K with a sun
// of 1000 K in the beam: its peak over the baseline is 10·log10((100 + 1000) / 100)
// = 10.414 dB, so the run must measure Y = 10.41 dB within 0.1 dB.

#include "RotctldProcess.h"
#include "SerialRotator.h"
#include "TestTimeScale.h"

#include "companions/measure/MeasurementSession.h"
#include "companions/measure/SunNoiseRun.h"
#include "companions/record/StationRecord.h"
#include "companions/rotctl/bridge/Bridge.h"
#include "companions/rotctl/bridge/ProgressLine.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QUdpSocket>

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>

using namespace heliotrope::hamlib;
using namespace heliotrope::measure;
using namespace heliotrope::rotator;
using namespace heliotrope::rotctl;

class TestSunNoiseRun : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void yOfAHundredKelvinSystemOnAThousandKelvinSun();
    void aFlatPowerWarnsOfGainControlAndOfTheDrop();
    void refusedWithNothingCommanded_data();
    void refusedWithNothingCommanded();
    void interruptedRunReturnsToTracking();
    void aWarningTakesTheJournalsPriorityOnItsStreamOnly();
    void everyBadOptionExitsTwoAndCommandsNothing_data();
    void everyBadOptionExitsTwoAndCommandsNothing();
};

namespace {

constexpr int kRunWaitMs = 120000;
constexpr double kTimeScale = 20;
const heliotrope::sky::Site kHachioji{35.6581, 139.3383, 120};
const QString kSiteText = QStringLiteral("35.6581,139.3383,120");
// 2025-06-21 00:00 UTC: the sun high in the morning at 八王子.
constexpr double kHighSunUtc = 1750464000.0;
// 2025-06-20 20:00 UTC: the sun at 5.2° just after sunrise.
constexpr double kLowSunUtc = 1750449600.0;

BridgeOptions bridgeOptions(quint16 rotctldPort)
{
    BridgeOptions options;
    options.port = 0;
    options.rotctldPort = rotctldPort;
    options.pollIntervalMs = 250;
    return options;
}

// 1.2 m at 10368 MHz: beamwidth 70° λ / D = 1.69°, as the radiometer's 1.7°.
MeasurementRequest runRequest(int repeats, double dwellSeconds)
{
    MeasurementRequest request;
    request.measurement.dwellSeconds = dwellSeconds;
    request.site = kHachioji;
    request.refraction = heliotrope::sky::Refraction::None;
    SunNoiseOptions& options = request.run.emplace<SunNoiseOptions>();
    options.repeats = repeats;
    options.frequencyMegahertz = 10368;
    options.dishDiameterMetres = 1.2;
    options.fluxSfu = 100;
    options.efficiency = 0.55;
    options.systemTemperatureKelvin = 100;
    return request;
}

QString radiometerCommand(quint16 rotctldPort, double clockOffset, double noise)
{
    return QStringLiteral("%1 --once --site %2 --rotctld 127.0.0.1:%3 --beamwidth 1.7 --peak %4 --baseline -30 "
                          "--noise %5 --clock-offset %6")
        .arg(QStringLiteral(HELIOTROPE_RADIOMETER_PATH), kSiteText)
        .arg(rotctldPort)
        .arg(10.0 * std::log10(11.0), 0, 'f', 4)
        .arg(noise)
        .arg(clockOffset, 0, 'f', 3);
}

QString joined(const QSignalSpy& spy)
{
    QStringList lines;
    for (const QList<QVariant>& call : spy)
        lines << call.first().toString();
    return lines.join(QLatin1Char('\n'));
}

QList<QByteArray> pointings(const QSignalSpy& written)
{
    QList<QByteArray> found;
    for (const QList<QVariant>& call : written) {
        const QByteArray line = call.first().toByteArray();
        if (line.startsWith("P "))
            found << line;
    }
    return found;
}

// A bridge on rotctld with a measurement session handed the rotator, and the
// station's record it writes, everything a test needs to watch.
struct Station {
    SerialRotator rotator;
    QTemporaryDir recordDir;
    std::unique_ptr<Bridge> bridge;
    std::unique_ptr<MeasurementSession> session;
    int ended = 0;

    QString recordPath() const { return recordDir.filePath(QStringLiteral("station.sqlite")); }
    bool start(MeasurementRequest request, double utcAtStart, const std::function<QString(quint16, double)>& command,
               const QString& rotctldConf = {})
    {
        const QString rate = QString::number(6);
        if (!rotator.start(QStringLiteral("easycomm2"),
                           {QStringLiteral("--az-rate"), rate, QStringLiteral("--el-rate"), rate, QStringLiteral("--deadband"), QStringLiteral("0")},
                           kTimeScale, rotctldConf))
            return false;
        bridge = std::make_unique<Bridge>(bridgeOptions(rotator.port()));
        const double offset = utcAtStart - heliotrope::companions::companionUtc();
        request.measurement.power.kind = heliotrope::power::PowerSourceChoice::Kind::Command;
        request.measurement.power.command = command(rotator.port(), offset);
        request.recordPath = recordPath();
        session = std::make_unique<MeasurementSession>(*bridge, request, heliotrope::companions::shiftedUtcClock(offset));
        QObject::connect(session.get(), &MeasurementSession::finished, [this] { ++ended; });
        return true;
    }
    bool go()
    {
        session->start();
        QString problem;
        return bridge->start(&problem);
    }
    bool waitForEnd(int timeoutMs)
    {
        QElapsedTimer waited;
        waited.start();
        while (ended == 0 && waited.elapsed() < timeoutMs)
            QTest::qWait(20);
        return ended == 1;
    }
    std::vector<heliotrope::record::StationRun> recorded() const
    {
        heliotrope::record::StationRecord record(recordPath());
        return record.open() ? record.history() : std::vector<heliotrope::record::StationRun>{};
    }
};

}  // namespace

void TestSunNoiseRun::initTestCase()
{
    // This process's run and the programs it starts, on one clock.
    static const TestTimeScale time(kTimeScale);
    QString problem;
    QVERIFY2(heliotrope::companions::takeTimeScaleFromEnvironment(&problem), qPrintable(problem));
}

void TestSunNoiseRun::init()
{
    if (RotctldProcess::program().isEmpty())
        QSKIP("rotctld (Debian package libhamlib-utils) is not installed");
}

void TestSunNoiseRun::yOfAHundredKelvinSystemOnAThousandKelvinSun()
{
    QTemporaryDir dir;
    // A reading is a process, which takes its real time whatever the
    // clock's pace: dwells long enough for a handful each, and readings with
    // the noise of several averaged (0.1 dB where a dwell held a dozen at
    // the wall clock's pace, 0.04 dB here), so that 0.1 dB is three standard
    // deviations of Y on any machine.
    MeasurementRequest request = runRequest(3, 8.0);
    const QString csvPath = dir.filePath(QStringLiteral("sun-noise.csv"));
    std::get<SunNoiseOptions>(request.run).csvPath = csvPath;
    Station station;
    QVERIFY(station.start(request, kHighSunUtc, [](quint16 port, double offset) { return radiometerCommand(port, offset, 0.04); }));
    QSignalSpy notices(station.session.get(), &MeasurementSession::notice);
    QSignalSpy progress(station.session.get(), &MeasurementSession::progress);
    QVERIFY(station.go());
    QVERIFY2(station.waitForEnd(kRunWaitMs), qPrintable(joined(notices)));
    QVERIFY2(station.session->outcome().found(), qPrintable(joined(notices)));

    QVERIFY(station.session->sunNoiseResult());
    const SunNoiseResult& result = *station.session->sunNoiseResult();
    QVERIFY(result.y);
    QCOMPARE(result.y->repeats, 3);
    const double expected = 10.0 * std::log10(11.0);
    QVERIFY2(std::abs(result.y->meanDecibels - expected) <= 0.1,
             qPrintable(QStringLiteral("Y %1 dB, expected %2 dB within 0.1").arg(result.y->meanDecibels).arg(expected)));
    QVERIFY(result.y->standardDeviationDecibels && *result.y->standardDeviationDecibels < 0.2);
    QVERIFY(!result.gainControlWarning);
    // G/T for 100 SFU, 10368 MHz, 1.2 m: 26.32 dB/K at Y = 10.414 dB (worked
    // out by hand in tst_sunnoise); 0.1 dB in Y moves it by about 0.1 dB.
    QVERIFY(result.gOverTDecibelsPerKelvin);
    QVERIFY2(std::abs(*result.gOverTDecibelsPerKelvin - 26.32) <= 0.12,
             qPrintable(QString::number(*result.gOverTDecibelsPerKelvin)));
    // Expected Y for Tsys 100 K with that station: 5.02 dB.
    QVERIFY(result.expectedYDecibels && std::abs(*result.expectedYDecibels - 5.02) < 0.01);

    const QString said = joined(notices);
    for (const char* text : {"Y = ", "G/T = ", "dB/K", "期待される Y", "Expected Y"})
        QVERIFY2(said.contains(QString::fromUtf8(text)), text);
    QVERIFY(joined(progress).contains(QStringLiteral("3 of 3")));

    QFile csv(csvPath);
    QVERIFY(csv.open(QIODevice::ReadOnly | QIODevice::Text));
    const QList<QByteArray> rows = csv.readAll().trimmed().split('\n');
    QCOMPARE(rows.size(), 4);
    QVERIFY(rows[0].startsWith("repeat,utc,sun_az_deg"));
    for (int i = 1; i < rows.size(); ++i) {
        const QList<QByteArray> columns = rows[i].split(',');
        QCOMPARE(columns.size(), 13);
        // The sun's row near the true sun at 09:00 JST, the cold sky ~14° east of it.
        QVERIFY2(std::abs(columns[2].toDouble() - 97.5) < 1.0, rows[i].constData());
        QVERIFY2(columns[7].toDouble() - columns[2].toDouble() > 10.0, rows[i].constData());
        QVERIFY2(std::abs(columns[12].toDouble() - expected) < 0.3, rows[i].constData());
    }
    QVERIFY(!station.bridge->commandsHeld());

    // The station's record holds the run, its figures and each repeat.
    const auto runs = station.recorded();
    QCOMPARE(runs.size(), std::size_t{1});
    const auto* kept = std::get_if<heliotrope::record::RecordedSunNoise>(&runs.front());
    QVERIFY(kept && kept->found && kept->reason.isEmpty());
    QCOMPARE(kept->repeats.size(), std::size_t{3});
    // It began six dwells of 8 s before it ended, slews aside: a burst in
    // between is matched against both ends.
    QVERIFY2(kept->startedUtc.isValid() && kept->startedUtc.secsTo(kept->utc) > 40,
             qPrintable(kept->startedUtc.toString(Qt::ISODate) + QLatin1Char(' ') + kept->utc.toString(Qt::ISODate)));
    QVERIFY(kept->yDecibels && std::abs(*kept->yDecibels - result.y->meanDecibels) < 1e-9);
    QVERIFY(kept->yDecibelsDeviation && kept->gOverTDecibelsPerKelvin && kept->expectedYDecibels);
    QCOMPARE(kept->frequencyMegahertz.value_or(0), 10368.0);
    QCOMPARE(kept->fluxSfu.value_or(0), 100.0);
    QVERIFY(!kept->programVersion.isEmpty());
}

void TestSunNoiseRun::aFlatPowerWarnsOfGainControlAndOfTheDrop()
{
    Station station;
    // A receiver whose AGC holds its output: the same reading everywhere.
    QVERIFY(station.start(runRequest(2, 0.3), kHighSunUtc,
                          [](quint16, double) { return QStringLiteral("/bin/echo -42.5"); }));
    // The same station gave 10.4 dB at this frequency on the days before.
    {
        heliotrope::record::StationRecord record(station.recordPath());
        QVERIFY(record.open());
        for (int day = 3; day >= 1; --day) {
            heliotrope::record::RecordedSunNoise earlier;
            earlier.utc = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(kHighSunUtc) - day * 86400, Qt::UTC);
            earlier.found = true;
            earlier.yDecibels = 10.4 + 0.05 * day;
            earlier.frequencyMegahertz = 10368;
            earlier.programVersion = QStringLiteral("earlier");
            QVERIFY2(record.addSunNoise(earlier), qPrintable(record.problem()));
        }
    }
    QSignalSpy notices(station.session.get(), &MeasurementSession::notice);
    QSignalSpy warnings(station.session.get(), &MeasurementSession::warning);
    QVERIFY(station.go());
    QVERIFY2(station.waitForEnd(kRunWaitMs), qPrintable(joined(notices)));
    QVERIFY(station.session->sunNoiseResult()->gainControlWarning);
    QVERIFY(station.session->sunNoiseResult()->y && station.session->sunNoiseResult()->y->meanDecibels == 0.0);
    const QString said = joined(notices);
    QVERIFY2(said.contains(QStringLiteral("AGC")) && said.contains(QStringLiteral("gain control may be on")), qPrintable(said));
    QVERIFY(said.contains(QStringLiteral("no G/T")));
    // Against the median of those: a drop far beyond 1 dB, said once as a warning.
    QCOMPARE(warnings.size(), 1);
    const QString warned = warnings.first().first().toString();
    QVERIFY2(warned.contains(QStringLiteral("警告")) && warned.contains(QStringLiteral("below the recent median of 10.50 dB")),
             qPrintable(warned));
}

void TestSunNoiseRun::refusedWithNothingCommanded_data()
{
    QTest::addColumn<double>("utc");
    QTest::addColumn<QString>("rotctldConf");
    QTest::addColumn<QString>("csv");
    QTest::addColumn<QString>("power");
    QTest::addColumn<QString>("said");
    const QString one = QStringLiteral("/bin/echo 1");
    QTest::newRow("sun at 5°") << kLowSunUtc << QString() << QString() << one << "below 10°";
    // A rotator that stops at azimuth 90°: the sun at 97.5° is out of its reach.
    QTest::newRow("sun beyond the azimuth limit") << kHighSunUtc << "max_az=90" << QString() << one
                                                  << "outside the rotator's limits";
    QTest::newRow("CSV in a missing folder") << kHighSunUtc << QString() << "/nonexistent-folder/sun.csv" << one
                                             << "Cannot open the CSV file";
    // Read once before the antenna moves: the receiver off is found at once.
    QTest::newRow("power source that cannot be read") << kHighSunUtc << QString() << QString()
                                                      << "/bin/sh -c \"echo no receiver >&2; exit 1\""
                                                      << "the power cannot be read";
}

void TestSunNoiseRun::refusedWithNothingCommanded()
{
    QFETCH(double, utc);
    QFETCH(QString, rotctldConf);
    QFETCH(QString, csv);
    QFETCH(QString, power);
    QFETCH(QString, said);
    MeasurementRequest request = runRequest(2, 0.3);
    std::get<SunNoiseOptions>(request.run).csvPath = csv;
    Station station;
    QVERIFY(station.start(
        request, utc, [power](quint16, double) { return power; }, rotctldConf));
    QSignalSpy notices(station.session.get(), &MeasurementSession::notice);
    QSignalSpy written(&station.bridge->rotctld(), &RotctldClient::commandWritten);
    QVERIFY(station.go());
    QVERIFY(station.waitForEnd(10000));
    QCOMPARE(station.session->outcome().kind(), MeasurementOutcome::Kind::Refused);
    // Only the low sun makes the refusal a skipped run.
    QCOMPARE(station.session->outcome().reason == OutcomeReason::SunTooLow, said == QStringLiteral("below 10°"));
    const QString lines = joined(notices);
    QVERIFY2(lines.contains(said) && lines.contains(QStringLiteral("を始めません")), qPrintable(lines));
    QTest::qWait(600);
    QVERIFY2(pointings(written).isEmpty(), pointings(written).join(' ').constData());
    QVERIFY(!station.bridge->commandsHeld());
    // Kept in the record all the same, with its reason.
    const auto runs = station.recorded();
    QCOMPARE(runs.size(), std::size_t{1});
    const auto* kept = std::get_if<heliotrope::record::RecordedSunNoise>(&runs.front());
    QVERIFY(kept && !kept->found && kept->reason.contains(said) && kept->repeats.empty());
}

void TestSunNoiseRun::interruptedRunReturnsToTracking()
{
    Station station;
    // Long enough to be running still when the set-point comes, however fast.
    QVERIFY(station.start(runRequest(40, 1.0), kHighSunUtc, [](quint16, double) { return QStringLiteral("/bin/echo 3"); }));
    QSignalSpy notices(station.session.get(), &MeasurementSession::notice);
    QSignalSpy progress(station.session.get(), &MeasurementSession::progress);
    QSignalSpy written(&station.bridge->rotctld(), &RotctldClient::commandWritten);
    QVERIFY(station.go());
    QVERIFY(progress.wait(10000) || !progress.isEmpty());
    QVERIFY(station.bridge->commandsHeld());

    // The window sends a set-point meanwhile: held back while the run holds the rotator.
    QUdpSocket window;
    window.bind(QHostAddress::LocalHost, 0);
    window.writeDatagram(QByteArray("0,150.00, 30.00"), QHostAddress::LocalHost, station.bridge->localPort());
    QTest::qWait(1500);
    for (const QByteArray& p : pointings(written))
        QVERIFY2(!p.startsWith("P 150.00"), p.constData());

    station.session->interrupt();
    QCOMPARE(station.ended, 1);
    QCOMPARE(station.session->outcome().reason, OutcomeReason::Interrupted);
    QVERIFY(joined(notices).contains(QStringLiteral("The operator ended the measurement")));
    QVERIFY(!station.bridge->commandsHeld());
    // Tracking again: the window's set-point is commanded.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (const QByteArray& p : pointings(written)) {
                if (p.startsWith("P 150.0"))
                    return true;
            }
            return false;
        }(),
        8000);
}

void TestSunNoiseRun::aWarningTakesTheJournalsPriorityOnItsStreamOnly()
{
    // systemd names the stream it connected; a child writing elsewhere
    // inherits the name and must not put <4> in a file or on a terminal.
    QTemporaryFile journal;
    QVERIFY(journal.open());
    std::FILE* stream = std::fopen(qPrintable(journal.fileName()), "w");
    QVERIFY(stream);
    struct stat status { };
    QCOMPARE(::fstat(::fileno(stream), &status), 0);
    const QByteArray before = qgetenv("JOURNAL_STREAM");
    qputenv("JOURNAL_STREAM", QByteArray::number(quint64(status.st_dev)) + ':' + QByteArray::number(quint64(status.st_ino)));
    const QString journalLine = warningLine(QStringLiteral("警告\nWarning"), stream);
    const QString elsewhere = warningLine(QStringLiteral("警告\nWarning"), stderr);
    std::fclose(stream);
    qputenv("JOURNAL_STREAM", before);
    QCOMPARE(journalLine, QStringLiteral("<4>警告\n<4>Warning"));
    QCOMPARE(elsewhere, QStringLiteral("警告\nWarning"));
}

void TestSunNoiseRun::everyBadOptionExitsTwoAndCommandsNothing_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("named");
    const QStringList run{"--sun-noise", "--site", kSiteText, "--power", "command:/bin/echo 1",
                          "--frequency", "10368", "--dish-diameter", "1.2"};
    QTest::newRow("negative flux") << run + QStringList{"--flux", "-70"} << "--flux";
    QTest::newRow("efficiency above 1") << run + QStringList{"--efficiency", "1.5"} << "--efficiency";
    QTest::newRow("efficiency negative") << run + QStringList{"--efficiency", "-0.5"} << "--efficiency";
    QTest::newRow("cold point below the horizon") << run + QStringList{"--cold", "180,-5"} << "--cold";
    QTest::newRow("no repeats") << run + QStringList{"--repeat", "0"} << "--repeat";
    QTest::newRow("dwell not a number") << run + QStringList{"--dwell", "5s"} << "--dwell";
    QTest::newRow("system temperature zero") << run + QStringList{"--flux", "100", "--system-temperature", "0"}
                                             << "--system-temperature";
}

void TestSunNoiseRun::everyBadOptionExitsTwoAndCommandsNothing()
{
    QFETCH(QStringList, options);
    QFETCH(QString, named);
    RotctldProcess rotctld;
    QVERIFY(rotctld.start(RotctldProcess::freePort()));
    QProcess bridge;
    bridge.start(QStringLiteral(HELIOTROPE_ROTCTL_PATH),
                 QStringList{"--port", "0", "--rotctld", QStringLiteral("127.0.0.1:%1").arg(rotctld.port())} + options);
    QVERIFY(bridge.waitForFinished(10000));
    QCOMPARE(bridge.exitStatus(), QProcess::NormalExit);
    QCOMPARE(bridge.exitCode(), 2);
    const QString error = QString::fromUtf8(bridge.readAllStandardError());
    QVERIFY2(error.contains(named), qPrintable(error));
    QVERIFY2(error.contains(QStringLiteral("してください")) || error.contains(QStringLiteral("ありません")) || error.contains(QStringLiteral("です")),
             qPrintable(error));

    // From rotctld's side: the dummy rotator still stands where it started.
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, rotctld.port());
    QVERIFY(probe.waitForConnected(3000));
    probe.write("p\n");
    QByteArray answer;
    QElapsedTimer waited;
    waited.start();
    while (answer.count('\n') < 2 && waited.elapsed() < 3000) {
        probe.waitForReadyRead(200);
        answer += probe.readAll();
    }
    const QList<QByteArray> lines = answer.trimmed().split('\n');
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0].trimmed().toDouble(), 0.0);
    QCOMPARE(lines[1].trimmed().toDouble(), 0.0);
}

QTEST_GUILESS_MAIN(TestSunNoiseRun)
#include "tst_sunnoiserun.moc"
