// One bridge, asked: heliotrope-rotctl running as the bridge on a simulated
// EasyComm II controller behind the real rotctld, and second processes of
// the same user asking it to stow, stop, resume, say its status and
// calibrate, over its request socket. The bridge's PID never changes; garbage
// on the socket, a second bridge, a bridge SIGKILLed in the middle of a
// calibration and the socket it leaves behind are each answered. The sky is
// Sydney's at 2026-06-21 00:00 UTC (sun at azimuth 30°, elevation 26°), on
// the companions' quickened clock, as in the calibration's own test.

#include "ProgramRun.h"
#include "SerialRotator.h"
#include "StationHome.h"
#include "TestTimeScale.h"

#include "companions/record/StationRecord.h"

#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <csignal>
#include <memory>

namespace {

const QString kSite = QStringLiteral("-33.87,151.21,50");
constexpr double kSkyUtc = 1782000000.0;  // 2026-06-21 00:00:00 UTC
constexpr double kTimeScale = 30;

}  // namespace

class TestStationBridge : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void stowStopResumeAndStatusFromAnotherProcess();
    void garbageAndUnusableRequestsChangeNothing();
    void calibrationAskedOfTheRunningBridge();
    void bridgeKilledOrAskerInterruptedMidCalibration();
    void stowEndsASeriesWhoeverAskedForIt_data();
    void stowEndsASeriesWhoeverAskedForIt();
    void stowSaidAsTheRotatorIsSeen();
    void holdsRotctldCannotTakeSaidAsFailed();
    void aRehearsingBridgesClockHoldsForWhatIsAskedOfIt();
    void cleanup();

private:
    // On the test's rotator, or on another's rotctld port.
    std::unique_ptr<Program> startBridge(const QStringList& more = {}, quint16 rotctldPort = 0);
    // An asking command, run to its end.
    std::pair<int, QString> ask(const QStringList& arguments, int timeoutMs = 20000);
    QStringList calibration(const QString& pattern, int seed) const;
    bool rotatorNear(double azimuth, double elevation, int timeoutMs = 10000, quint16 rotctldPort = 0);
    void sendSetPoint(double azimuth, double elevation);

    std::unique_ptr<TestTimeScale> m_time;
    SerialRotator m_rotator;
    StationHome m_home;
    QUdpSocket m_window;
    double m_clockOffset = 0;
    std::unique_ptr<Program> m_bridge;
    quint16 m_bridgePort = 0;
};

void TestStationBridge::initTestCase()
{
    if (RotctldProcess::program().isEmpty())
        QSKIP("rotctld (libhamlib-utils) is not installed");
    QVERIFY(m_home.make());
    // Offsets are saved only on a synchronised clock; this machine's may not be.
    qputenv("HELIOTROPE_CLOCK_STATE", "synchronised");
    QDir::setCurrent(m_home.path());
    m_time = std::make_unique<TestTimeScale>(kTimeScale);
    m_clockOffset = m_time->offsetTo(kSkyUtc);
    QVERIFY(m_rotator.start(QStringLiteral("easycomm2"),
                            {QStringLiteral("--az-rate"), QStringLiteral("6"), QStringLiteral("--el-rate"), QStringLiteral("6"),
                             QStringLiteral("--deadband"), QStringLiteral("0")},
                            kTimeScale));
    QVERIFY(m_window.bind(QHostAddress::LocalHost, 0));
}

void TestStationBridge::init()
{
    // The simulated EasyComm stops on its target: its dead band, 0, given.
    m_bridge = startBridge({QStringLiteral("--stow-position"), QStringLiteral("100,45"), QStringLiteral("--stow-on-exit"),
                            QStringLiteral("--deadband"), QStringLiteral("0")});
    QVERIFY2(m_bridgePort, qPrintable(m_bridge->output));
    // Tracking the sun's place, so that a calibration starts beside it.
    sendSetPoint(30.0, 26.2);
    QVERIFY(rotatorNear(30.0, 26.2));
}

void TestStationBridge::cleanup()
{
    m_bridge.reset();
    // Each case's bridge starts with no offsets and no stow kept, tracking where it is told.
    QFile::remove(m_home.filePath(QStringLiteral("config/heliotrope/heliotrope-rotctl.conf")));
    QFile::remove(m_home.filePath(QStringLiteral("state/heliotrope/heliotrope-rotctl-hold.ini")));
}

std::unique_ptr<Program> TestStationBridge::startBridge(const QStringList& more, quint16 rotctldPort)
{
    auto bridge = std::make_unique<Program>(
        QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--rotctld"),
                    QStringLiteral("127.0.0.1:%1").arg(rotctldPort ? rotctldPort : m_rotator.port()), QStringLiteral("--poll-ms"), QStringLiteral("250"),
                    QStringLiteral("--min-interval"), QStringLiteral("0.5"), QStringLiteral("--threshold"), QStringLiteral("0.1")}
        + more);
    m_bridgePort = 0;
    if (bridge->waitFor(QStringLiteral("relaying them to rotctld"), 10000))
        m_bridgePort = bridgePortFrom(bridge->output);
    return bridge;
}

std::pair<int, QString> TestStationBridge::ask(const QStringList& arguments, int timeoutMs)
{
    Program asker(arguments);
    const int status = asker.exitWithin(timeoutMs);
    return {status, asker.output};
}

QStringList TestStationBridge::calibration(const QString& pattern, int seed) const
{
    const QString radiometer = QStringLiteral("%1 --once --site %2 --rotctld 127.0.0.1:%3 --error 0.4,-0.3 --beamwidth 1.7 "
                                              "--peak 10 --baseline -30 --noise 0.04 --seed %4 --clock-offset %5")
                                   .arg(QStringLiteral(HELIOTROPE_RADIOMETER_PATH), kSite)
                                   .arg(m_rotator.port())
                                   .arg(seed)
                                   .arg(m_clockOffset, 0, 'f', 3);
    // As a copied README line has it: the bridge's own --rotctld and --port
    // too, which differ from the running bridge's and must not matter.
    return {QStringLiteral("--calibrate"), pattern, QStringLiteral("--site"), kSite, QStringLiteral("--clock-offset"),
            QString::number(m_clockOffset, 'f', 3), QStringLiteral("--beamwidth"), QStringLiteral("1.7"), QStringLiteral("--dwell"),
            QStringLiteral("0.3"), QStringLiteral("--power"), QStringLiteral("command:") + radiometer, QStringLiteral("--rotctld"),
            QStringLiteral("127.0.0.1:4533"), QStringLiteral("--port"), QStringLiteral("10006")};
}

bool TestStationBridge::rotatorNear(double azimuth, double elevation, int timeoutMs, quint16 rotctldPort)
{
    RotctldSession session;
    if (!session.connectTo(rotctldPort ? rotctldPort : m_rotator.port()))
        return false;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < timeoutMs) {
        const QList<QByteArray> lines = session.ask("p").split('\n');
        if (lines.size() >= 2 && std::abs(lines[0].toDouble() - azimuth) < 0.3 && std::abs(lines[1].toDouble() - elevation) < 0.3)
            return true;
        QTest::qWait(100);
    }
    return false;
}

void TestStationBridge::sendSetPoint(double azimuth, double elevation)
{
    m_window.writeDatagram(QStringLiteral("0,%1,%2").arg(azimuth, 6, 'f', 2, QLatin1Char('0')).arg(elevation, 6, 'f', 2).toLatin1(),
                           QHostAddress::LocalHost, m_bridgePort);
}

void TestStationBridge::stowStopResumeAndStatusFromAnotherProcess()
{
    const qint64 pid = m_bridge->process.processId();
    auto [status, said] = ask({QStringLiteral("--rotctld"), QStringLiteral("127.0.0.1:%1").arg(m_rotator.port())});
    QCOMPARE(status, 1);
    QVERIFY2(said.contains(QStringLiteral("run one bridge only")), qPrintable(said));

    std::tie(status, said) = ask({QStringLiteral("--stow"), QStringLiteral("200,40")});
    QVERIFY2(status == 0 && said.contains(QStringLiteral("rotctld took it")), qPrintable(said));
    QVERIFY(rotatorNear(200, 40));
    // Held: a set-point from the window moves nothing, a measurement is refused.
    sendSetPoint(30.0, 26.2);
    QTest::qWait(1500);
    QVERIFY(rotatorNear(200, 40, 100));
    // Skipped, not failed: a station's timers go on through a long stow.
    std::tie(status, said) = ask(calibration(QStringLiteral("five"), 1));
    QVERIFY2(status == 0 && said.contains(QStringLiteral("The rotator is stowed")), qPrintable(said));
    std::tie(status, said) = ask({QStringLiteral("--status")});
    QVERIFY2(status == 0 && said.contains(QStringLiteral("stowed: 200.00° 40.00°"))
                 && said.contains(QStringLiteral("last set-point: 30.00° 26.20°")) && said.contains(QStringLiteral("rotator position: 200"))
                 && said.contains(QStringLiteral("dead band 0.00°")) && !said.contains(QStringLiteral("dead band 0.00° to")),
             qPrintable(said));

    std::tie(status, said) = ask({QStringLiteral("--resume")});
    QCOMPARE(status, 0);
    QVERIFY(rotatorNear(30.0, 26.2));
    std::tie(status, said) = ask({QStringLiteral("--stop-rotator")});
    QVERIFY2(status == 0, qPrintable(said));
    QVERIFY(ask({QStringLiteral("--status")}).second.contains(QStringLiteral("stopped (S)")));
    QCOMPARE(ask({QStringLiteral("--resume")}).first, 0);
    QVERIFY(ask({QStringLiteral("--status")}).second.contains(QStringLiteral("tracking")));
    QCOMPARE(m_bridge->process.processId(), pid);

    // systemd's SIGTERM with --stow-on-exit: the stow position first, then the end.
    m_bridge->process.terminate();
    QCOMPARE(m_bridge->exitWithin(5000), 0);
    QVERIFY2(m_bridge->output.contains(QStringLiteral("Stowing the rotator at 100.00° 45.00°")), qPrintable(m_bridge->output));
    QVERIFY(rotatorNear(100, 45));
    // Nobody to ask now.
    std::tie(status, said) = ask({QStringLiteral("--status")});
    QVERIFY2(status == 1 && said.contains(QStringLiteral("No heliotrope-rotctl bridge is running")), qPrintable(said));
}

void TestStationBridge::garbageAndUnusableRequestsChangeNothing()
{
    QLocalSocket socket;
    socket.connectToServer(QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR")) + QStringLiteral("/heliotrope-rotctl.socket"));
    QVERIFY(socket.waitForConnected(2000));
    const auto answer = [&socket](const QByteArray& line) {
        socket.write(line);
        QByteArray got;
        QElapsedTimer waited;
        waited.start();
        while (!got.contains("RPRT") && waited.elapsed() < 5000) {
            socket.waitForReadyRead(100);
            got += socket.readAll();
        }
        return got;
    };
    QVERIFY(answer("\xff\xfe\x01garbage\n").endsWith("RPRT -8\n"));
    QVERIFY(answer("frobnicate now\n").endsWith("RPRT -4\n"));
    QVERIFY(answer("stow 900 0\n").endsWith("RPRT -1\n"));
    const QByteArray badOption = answer("calibrate cross --beamwidth much --site " + kSite.toLatin1() + "\n");
    QVERIFY2(badOption.endsWith("RPRT -1\n") && badOption.contains("--beamwidth"), badOption.constData());
    const QByteArray status = answer("status\n");
    QVERIFY2(status.contains("say: tracking") && status.endsWith("RPRT 0\n"), status.constData());
    // A calibration asked at night (a timer's at a dark hour) is skipped, not failed.
    QStringList night = calibration(QStringLiteral("cross"), 1);
    night.replace(night.indexOf(QStringLiteral("--clock-offset")) + 1, QString::number(m_clockOffset + 12 * 3600, 'f', 3));
    const auto [nightStatus, nightSaid] = ask(night);
    QVERIFY2(nightStatus == 0 && nightSaid.contains(QStringLiteral("Skipped: the sun is too low")), qPrintable(nightSaid.right(400)));
    QVERIFY(rotatorNear(30.0, 26.2, 100));
}

void TestStationBridge::calibrationAskedOfTheRunningBridge()
{
    const qint64 pid = m_bridge->process.processId();
    // Dwells long enough for the second asker to start while it runs, on a busy machine too.
    QStringList slow = calibration(QStringLiteral("cross"), 2);
    slow.replace(slow.indexOf(QStringLiteral("--dwell")) + 1, QStringLiteral("15"));
    Program asker(slow);
    QVERIFY2(asker.waitFor(QStringLiteral("point 2 of 14")), qPrintable(asker.output));
    const QString measuring = ask({QStringLiteral("--status")}).second;
    QVERIFY2(measuring.contains(QStringLiteral("measuring: calibration point")), qPrintable(measuring));
    // One measurement at a time, whoever asks.
    auto [status, said] = ask(calibration(QStringLiteral("five"), 3));
    QVERIFY2(status == 3 && said.contains(QStringLiteral("A measurement already runs")), qPrintable(said));
    QCOMPARE(asker.exitWithin(60000), 0);
    QVERIFY(asker.output.contains(QStringLiteral("--rotctld 127.0.0.1:4533: the running bridge's")));
    QVERIFY2(asker.output.contains(QStringLiteral("Offsets saved")), qPrintable(asker.output));
    // Its picture beside the station's record, not in the bridge's working folder, named whole to the asker.
    static const QRegularExpression picture(QStringLiteral("Picture: (\\S+/data/heliotrope/calibrations/heliotrope-calibration-\\S+\\.png)"));
    const QString png = picture.match(asker.output).captured(1);
    QVERIFY2(png.startsWith(m_home.path()) && QFile::exists(png), qPrintable(asker.output));
    QVERIFY(QFile::exists(m_home.filePath(QStringLiteral("config/heliotrope/heliotrope-rotctl.conf"))));
    // Kept in the station's record by the bridge that measured it, as the
    // rehearsal it is (the sky of another hour): out of the health figures.
    const QString history = ask({QStringLiteral("--history")}).second;
    QVERIFY2(history.contains(QStringLiteral("calibration (cross, リハーサル rehearsal")) && history.contains(QStringLiteral("saved")),
             qPrintable(history));
    const QString health = ask({QStringLiteral("--status")}).second;
    QVERIFY2(!health.contains(QStringLiteral("latest calibration: azimuth")) && health.contains(QStringLiteral("no sun-noise Y recorded yet")),
             qPrintable(health));
    QVERIFY2(health.contains(QStringLiteral("pointing correction: constant offsets, the saved calibration's")), qPrintable(health));
    // Pointed with at once: the set-point plus the offsets found (0.4, -0.3).
    QVERIFY(asker.output.contains(QStringLiteral("Using the saved calibration")));
    QVERIFY(rotatorNear(30.4, 25.9));

    // The sun-noise run likewise, with its own options.
    QStringList sunNoise = calibration(QString(), 6).mid(2);
    sunNoise.replace(sunNoise.indexOf(QStringLiteral("--beamwidth")) + 1, QStringLiteral("9.5"));
    sunNoise.replace(sunNoise.indexOf(QStringLiteral("--beamwidth")), QStringLiteral("--dish-diameter"));
    sunNoise << QStringLiteral("--sun-noise") << QStringLiteral("--repeat") << QStringLiteral("2") << QStringLiteral("--frequency")
             << QStringLiteral("1296") << QStringLiteral("--flux") << QStringLiteral("120");
    // The sky's day had its flux typed in before the run: the record keeps
    // the run's G/T from it, not from --flux, and says so.
    std::tie(status, said) = ask({QStringLiteral("--set-flux"), QStringLiteral("2026-06-21,150")});
    QVERIFY2(status == 0 && said.contains(QStringLiteral("No sun-noise run on that day yet")), qPrintable(said));
    std::tie(status, said) = ask(sunNoise, 60000);
    QVERIFY2(status == 0 && said.contains(QStringLiteral("Y =")), qPrintable(said));
    const QString typedTaken = QStringLiteral("The flux of 2026-06-21 was typed in as 150.0 SFU (--set-flux): the G/T kept is");
    QVERIFY2(said.contains(typedTaken) || m_bridge->waitFor(typedTaken), qPrintable(said + m_bridge->output));
    QVERIFY(ask({QStringLiteral("--history")}).second.contains(QStringLiteral("flux 150.0 sfu (その日の値 typed for the day)")));
    QVERIFY(rotatorNear(30.4, 25.9));
    QCOMPARE(m_bridge->process.processId(), pid);
}

void TestStationBridge::bridgeKilledOrAskerInterruptedMidCalibration()
{
    {
        // Ctrl+C on the asker: the bridge ends the run and tracks on.
        Program asker(calibration(QStringLiteral("cross"), 4));
        QVERIFY2(asker.waitFor(QStringLiteral("point 2 of")), qPrintable(asker.output));
        ::kill(static_cast<pid_t>(asker.process.processId()), SIGINT);
        QCOMPARE(asker.exitWithin(5000), 1);
        QVERIFY(asker.output.contains(QStringLiteral("Interrupted")));
        QVERIFY(m_bridge->waitFor(QStringLiteral("The operator ended the measurement")));
        QVERIFY(rotatorNear(30.0, 26.2));
        QVERIFY(ask({QStringLiteral("--status")}).second.contains(QStringLiteral("tracking")));
    }
    // What the station kept before the bridge is killed mid-run: the record
    // and an earlier calibration.
    const QByteArray savedBefore = "[calibration]\nazimuthOffset=0.25\nelevationOffset=-0.125\n"
                                   "measuredUtc=2026-01-02T03:04:05Z\nrefraction=radio\n";
    QFile saved(m_home.filePath(QStringLiteral("config/heliotrope/heliotrope-rotctl.conf")));
    QVERIFY(saved.open(QIODevice::WriteOnly));
    saved.write(savedBefore);
    saved.close();
    const auto recorded = [] {
        heliotrope::record::StationRecord record(heliotrope::record::StationRecord::defaultPath());
        const bool whole = record.open() && record.integrityOk();
        return std::pair(whole, record.history().size());
    };
    const auto [whole, runsBefore] = recorded();
    QVERIFY(whole && runsBefore >= 2);
    Program asker(calibration(QStringLiteral("cross"), 5));
    QVERIFY2(asker.waitFor(QStringLiteral("point 2 of")), qPrintable(asker.output));
    m_bridge->process.kill();
    QCOMPARE(asker.exitWithin(3000), 1);
    QVERIFY2(asker.output.contains(QStringLiteral("The bridge went away")), qPrintable(asker.output));
    // The socket the dead bridge left is taken over by the next one.
    m_bridge = startBridge();
    QVERIFY2(m_bridge->waitFor(QStringLiteral("Taking requests")), qPrintable(m_bridge->output));
    QCOMPARE(ask({QStringLiteral("--status")}).first, 0);
    // Nothing of the killed run, everything before it, and the earlier calibration whole.
    QCOMPARE(recorded(), std::pair(true, runsBefore));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), savedBefore);
}

void TestStationBridge::stowEndsASeriesWhoeverAskedForIt_data()
{
    QTest::addColumn<bool>("ownCommandLine");
    // With no bridge running, the calibration's command becomes the bridge.
    QTest::newRow("the bridge's own command line") << true;
    QTest::newRow("asked over the socket") << false;
}

void TestStationBridge::stowEndsASeriesWhoeverAskedForIt()
{
    QFETCH(bool, ownCommandLine);
    // A scan a minute of the quickened clock: two seconds here.
    QStringList series = calibration(QStringLiteral("cross"), 7);
    series.replace(series.indexOf(QStringLiteral("--dwell")) + 1, QStringLiteral("3"));
    series << QStringLiteral("--every") << QStringLiteral("1");
    std::unique_ptr<Program> asker;
    if (ownCommandLine) {
        m_bridge.reset();
        // The asking command's --rotctld and --port are the bridge's own here.
        m_bridge = startBridge(series.mid(0, series.indexOf(QStringLiteral("--rotctld"))) + series.mid(series.indexOf(QStringLiteral("--every"))));
        QVERIFY2(m_bridgePort, qPrintable(m_bridge->output));
        sendSetPoint(30.0, 26.2);
    } else {
        asker = std::make_unique<Program>(series);
    }
    // Into the second scan: the first found its offsets and saved them.
    Program& said = asker ? *asker : *m_bridge;
    QVERIFY2(said.waitFor(QStringLiteral("Calibration series, scan 2"), 30000) && said.waitFor(QStringLiteral("point 2 of")), qPrintable(said.output));
    auto [status, answer] = ask({QStringLiteral("--status")});
    QVERIFY2(status == 0 && answer.contains(QStringLiteral("measuring: calibration point")), qPrintable(answer));

    std::tie(status, answer) = ask({QStringLiteral("--stow"), QStringLiteral("180,10")});
    QVERIFY2(status == 0 && answer.contains(QStringLiteral("rotctld took it")), qPrintable(answer));
    QVERIFY(rotatorNear(180, 10));
    // Held through the minutes in which the series would have scanned again.
    for (int check = 0; check < 6; ++check) {
        QTest::qWait(1000);
        QVERIFY2(rotatorNear(180, 10, 100), qPrintable(m_bridge->output));
    }
    std::tie(status, answer) = ask({QStringLiteral("--status")});
    QVERIFY2(status == 0 && answer.contains(QStringLiteral("stowed: 180.00° 10.00°")) && !answer.contains(QStringLiteral("measuring")),
             qPrintable(answer));
    QVERIFY2(m_bridge->output.contains(QStringLiteral("Calibration series over (the operator ended it): 1 of 2 scans found a result")),
             qPrintable(m_bridge->output));
    // A series one of whose scans found its offsets ended well, however it ended.
    if (asker)
        QCOMPARE(asker->exitWithin(5000), 0);

    // Tracking again, with the offsets the first scan found (0.4, -0.3).
    QCOMPARE(ask({QStringLiteral("--resume")}).first, 0);
    QVERIFY(rotatorNear(30.4, 25.9));
    QVERIFY(ask({QStringLiteral("--status")}).second.contains(QStringLiteral("tracking")));
}

void TestStationBridge::stowSaidAsTheRotatorIsSeen()
{
    // A slow rotator whose controller has no park (a GS-232B: Hamlib's K
    // refused), and a bridge with no stow position of its own.
    SerialRotator slow;
    QVERIFY(slow.start(QStringLiteral("gs232b"),
                       {QStringLiteral("--az-rate"), QStringLiteral("1"), QStringLiteral("--el-rate"), QStringLiteral("1"),
                        QStringLiteral("--deadband"), QStringLiteral("0")},
                       kTimeScale));
    m_bridge.reset();
    m_bridge = startBridge({}, slow.port());
    QVERIFY2(m_bridgePort, qPrintable(m_bridge->output));
    auto [status, said] = ask({QStringLiteral("--status")});
    QVERIFY2(said.contains(QStringLiteral("no set-point yet")) && !said.contains(QStringLiteral("tracking")), qPrintable(said));

    // The refusal is said to the asker, in the bridge's log and by status.
    std::tie(status, said) = ask({QStringLiteral("--stow")});
    QVERIFY2(status == 1 && said.contains(QStringLiteral("rotctld refused the stow with RPRT")), qPrintable(said));
    QVERIFY2(m_bridge->waitFor(QStringLiteral("rotctld refused the stow with RPRT")), qPrintable(m_bridge->output));
    std::tie(status, said) = ask({QStringLiteral("--status")});
    QVERIFY2(said.contains(QStringLiteral("not stowed: rotctld refused the stow at park position (K)"))
                 && !said.contains(QStringLiteral("stowed: park")),
             qPrintable(said));

    // Taken is not there: moving until the rotator reads at the stow, then stowed since then.
    std::tie(status, said) = ask({QStringLiteral("--stow"), QStringLiteral("150,90")});
    QVERIFY2(status == 0 && said.contains(QStringLiteral("on its way to the stow")), qPrintable(said));
    std::tie(status, said) = ask({QStringLiteral("--status")});
    QVERIFY2(said.contains(QStringLiteral("moving to the stow: 150.00° 90.00°")) && !said.contains(QStringLiteral("stowed:")),
             qPrintable(said));
    QVERIFY(rotatorNear(150, 90, 20000, slow.port()));
    QVERIFY2(m_bridge->waitFor(QStringLiteral("The rotator has reached the stow at 150.00° 90.00°")), qPrintable(m_bridge->output));
    std::tie(status, said) = ask({QStringLiteral("--status")});
    static const QRegularExpression stowedSince(QStringLiteral("stowed: 150\\.00° 90\\.00° since \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d JST"));
    // The wind-safe stow, the dish pointing up: no azimuth is named on the sky.
    QVERIFY2(stowedSince.match(said).hasMatch() && said.contains(QStringLiteral("rotator position: 150.00° 90.00° (on the sky the zenith)")),
             qPrintable(said));
    // Whole degrees hide a dead band: said as the range it may be.
    QVERIFY2(said.contains(QStringLiteral("step 1.00°, dead band 0.00° to 0.50° (not seen in the readings")), qPrintable(said));

    // Killed and started again (a power cut): the stow holds until --resume.
    m_bridge->process.kill();
    QVERIFY(m_bridge->process.waitForFinished(3000));
    m_bridge = startBridge({}, slow.port());
    QVERIFY2(m_bridge->waitFor(QStringLiteral("Holding the stow at 150.00° 90.00° asked at")), qPrintable(m_bridge->output));
    sendSetPoint(30.0, 26.2);
    QTest::qWait(1500);
    QVERIFY(rotatorNear(150, 90, 100, slow.port()));
    QVERIFY2(m_bridge->waitFor(QStringLiteral("The rotator has reached the stow at 150.00° 90.00°")), qPrintable(m_bridge->output));
    QVERIFY(stowedSince.match(ask({QStringLiteral("--status")}).second).hasMatch());
    QCOMPARE(ask({QStringLiteral("--resume")}).first, 0);
    QVERIFY(rotatorNear(30.0, 26.2, 20000, slow.port()));
    m_bridge.reset();
    m_bridge = startBridge({}, slow.port());
    sendSetPoint(30.0, 26.2);
    QTest::qWait(500);
    std::tie(status, said) = ask({QStringLiteral("--status")});
    QVERIFY2(said.contains(QStringLiteral("tracking")) && !m_bridge->output.contains(QStringLiteral("Holding the stow")), qPrintable(said));

    // A kept hold that cannot be read moves nothing: held stopped, and said so.
    m_bridge.reset();
    QFile kept(m_home.filePath(QStringLiteral("state/heliotrope/heliotrope-rotctl-hold.ini")));
    QVERIFY(kept.open(QIODevice::WriteOnly));
    kept.write("[hold]\nkind=stow\nazimuth=north\nelevation=90\n");
    kept.close();
    m_bridge = startBridge({}, slow.port());
    QVERIFY2(m_bridge->waitFor(QStringLiteral("cannot be read as a kept stow or stop")), qPrintable(m_bridge->output));
    QVERIFY(ask({QStringLiteral("--status")}).second.contains(QStringLiteral("stopped (S)")));
}

void TestStationBridge::holdsRotctldCannotTakeSaidAsFailed()
{
    // No rotctld at all: the stow stands, and is said to wait for it.
    m_bridge.reset();
    m_bridge = startBridge({}, RotctldProcess::freePort());
    auto [status, said] = ask({QStringLiteral("--stow"), QStringLiteral("10,10")});
    QVERIFY2(status == 1 && said.contains(QStringLiteral("rotctld is not connected")), qPrintable(said));
    QVERIFY(ask({QStringLiteral("--status")}).second.contains(QStringLiteral("stow waiting: 10.00° 10.00° (sent once rotctld is connected)")));

    // A Rot2Prog answers a stop with where it stands; gone silent, rotctld gives up on the S.
    SerialRotator silent;
    QVERIFY(silent.start(QStringLiteral("rot2prog"), {}, kTimeScale, QStringLiteral("retry=0")));
    m_bridge.reset();
    QFile::remove(m_home.filePath(QStringLiteral("state/heliotrope/heliotrope-rotctl-hold.ini")));
    m_bridge = startBridge({}, silent.port());
    QVERIFY2(m_bridge->waitFor(QStringLiteral("Connected to rotctld")), qPrintable(m_bridge->output));
    silent.toggleSilence();
    std::tie(status, said) = ask({QStringLiteral("--stop-rotator")});
    QVERIFY2(status == 1 && said.contains(QStringLiteral("rotctld refused the stop (S) with RPRT")), qPrintable(said));
    QVERIFY2(m_bridge->waitFor(QStringLiteral("rotctld refused the stop (S) with RPRT")), qPrintable(m_bridge->output));
    std::tie(status, said) = ask({QStringLiteral("--status")});
    QVERIFY2(said.contains(QStringLiteral("not stopped: rotctld refused the stop (S)")) && !said.contains(QStringLiteral("stopped (S)\n")),
             qPrintable(said));
}

void TestStationBridge::aRehearsingBridgesClockHoldsForWhatIsAskedOfIt()
{
    // The bridge practises on the sky of another hour; the asker names no clock.
    m_bridge.reset();
    m_bridge = startBridge({QStringLiteral("--clock-offset"), QString::number(m_clockOffset, 'f', 3)});
    sendSetPoint(30.0, 26.2);
    QVERIFY(rotatorNear(30.0, 26.2));
    QStringList sunNoise = calibration(QString(), 8).mid(2);
    sunNoise.replace(sunNoise.indexOf(QStringLiteral("--beamwidth")), QStringLiteral("--dish-diameter"));
    sunNoise.replace(sunNoise.indexOf(QStringLiteral("--dish-diameter")) + 1, QStringLiteral("9.5"));
    const qsizetype clock = sunNoise.indexOf(QStringLiteral("--clock-offset"));
    sunNoise.remove(clock, 2);
    sunNoise << QStringLiteral("--sun-noise") << QStringLiteral("--repeat") << QStringLiteral("1") << QStringLiteral("--frequency")
             << QStringLiteral("1296") << QStringLiteral("--flux") << QStringLiteral("120");
    auto [status, said] = ask(sunNoise, 60000);
    QVERIFY2(status == 0 && said.contains(QStringLiteral("Y =")), qPrintable(said));
    const QString history = ask({QStringLiteral("--history")}).second;
    QVERIFY2(history.contains(QStringLiteral("sun noise 1296.000 MHz (リハーサル rehearsal")), qPrintable(history));
}

QTEST_GUILESS_MAIN(TestStationBridge)
#include "tst_stationbridge.moc"
