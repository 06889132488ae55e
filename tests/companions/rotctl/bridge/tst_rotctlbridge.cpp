// heliotrope-rotctl against the real rotctld of Hamlib (dummy rotator, model 1,
// on a free loopback port): pointing messages become P commands, the dummy
// moves, and its position comes back over UDP to the socket that stands where
// the window would; the threshold, the limits, a refusing rotctld, a
// rotctld killed and started again, and the mount's saved pointing model in
// every command.

#include "RotctldProcess.h"
#include "WindowSocket.h"

#include "companions/measure/SavedCalibration.h"
#include "companions/mount/SavedPointingModel.h"
#include "companions/rotctl/bridge/Bridge.h"
#include "companions/rotctl/bridge/DeskMessages.h"
#include "companions/rotctl/bridge/PointingChoice.h"

#include <QElapsedTimer>
#include <QFile>
#include <QNetworkDatagram>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <cmath>

using namespace heliotrope::companions;
using namespace heliotrope::hamlib;
using namespace heliotrope::measure;
using namespace heliotrope::mount;
using namespace heliotrope::rotator;
using namespace heliotrope::rotctl;

class TestRotctlBridge : public QObject {
    Q_OBJECT

private slots:
    void init();
    void pointingMessageMovesTheRotatorAndThePositionComesBack();
    void thresholdSuppressesRepeatedCommands();
    void limitsReportedByRotctldClamp();
    void refusedCommandsAreSaidOnce();
    void rotctldAbsentThenKilledAndRestartedIsRecovered();
    void anElevationLimitGivenAgainstRotctldsHolds();
    void strangersNeverReachRotctld();
    void theSavedPointingModelShiftsTheCommandAndIsTakenOffTheReport();
};

namespace {

constexpr int kWaitMs = 8000;

BridgeOptions testOptions(quint16 rotctldPort)
{
    BridgeOptions options;
    options.port = 0;  // a free port; the test's window socket asks the bridge which
    options.rotctldPort = rotctldPort;
    options.pollIntervalMs = 250;
    return options;
}

// The P commands among the lines written to rotctld.
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

int linesContaining(const QSignalSpy& notices, const QString& text)
{
    int count = 0;
    for (const QList<QVariant>& call : notices)
        count += call.first().toString().contains(text) ? 1 : 0;
    return count;
}

// Where rotctld itself says its rotator stands, asked on a connection of the
// test's own: two numbers, as `p` answers.
RotatorPosition positionFromRotctld(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(3000))
        return {-999, -999};
    socket.write("p\n");
    QByteArray answer;
    while (answer.count('\n') < 2 && socket.waitForReadyRead(3000))
        answer += socket.readAll();
    const QList<QByteArray> lines = answer.split('\n');
    return {lines.value(0).toDouble(), lines.value(1).toDouble()};
}

}  // namespace

void TestRotctlBridge::init()
{
    if (RotctldProcess::program().isEmpty())
        QSKIP("rotctld not found: install Debian's libhamlib-utils to run these tests");
}

void TestRotctlBridge::pointingMessageMovesTheRotatorAndThePositionComesBack()
{
    RotctldProcess rotctld;
    QVERIFY(rotctld.start(RotctldProcess::freePort()));
    QTemporaryDir dir;
    BridgeOptions options = testOptions(rotctld.port());
    options.logPath = dir.filePath(QStringLiteral("tracking.csv"));
    Bridge bridge(options);
    QSignalSpy written(&bridge.rotctld(), &RotctldClient::commandWritten);
    QVERIFY(bridge.start(nullptr));
    QTRY_VERIFY_WITH_TIMEOUT(bridge.rotctld().isReady(), kWaitMs);

    WindowSocket window;
    QElapsedTimer sinceMessage;
    window.send(bridge.localPort(), "0,010.00, 5.00");
    sinceMessage.start();
    QTRY_COMPARE_WITH_TIMEOUT(pointings(written), QList<QByteArray>{"P 10.00 5.00"}, kWaitMs);
    // The dummy turns both axes at 6 degrees a second, so within two seconds.
    QTRY_VERIFY_WITH_TIMEOUT(!window.reports.isEmpty() && window.reports.last() != "1,0.00,0.00", kWaitMs);
    const qint64 firstMoving = sinceMessage.elapsed();
    QTRY_COMPARE_WITH_TIMEOUT(window.lastReport(), QByteArray("1,10.00,5.00"), kWaitMs);
    qInfo("pointing message to the first report that moved: %lld ms; to the report on the set-point: %lld ms "
          "(poll every %d ms, dummy at 6 deg/s)",
          firstMoving, sinceMessage.elapsed(), options.pollIntervalMs);

    // The log: a header, then rows of time, set-point, position and error;
    // without true-sun mode the real sun's cells are empty.
    QFile log(options.logPath);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = log.readAll().split('\n');
    QCOMPARE(rows.first(), QByteArray("jst,set_az,set_el,az,el,error_az,error_el,true_az,true_el,set_minus_true,"
                                      "commanded_minus_reported"));
    const QByteArray last = rows.at(rows.size() - 2);
    QVERIFY2(last.endsWith(",10.00,5.00,10.00,5.00,0.00,0.00,,,,0.00"), last.constData());
    // On the way, each axis's error is where it stands less the set-point.
    int onTheWay = 0;
    for (const QByteArray& row : rows.mid(1)) {
        const QList<QByteArray> cells = row.split(',');
        if (cells.size() < 7 || cells.at(3) == cells.at(1))
            continue;
        ++onTheWay;
        // Within the hundredth the cells are rounded to.
        QVERIFY2(std::abs(cells.at(5).toDouble() - (cells.at(3).toDouble() - cells.at(1).toDouble())) < 0.011, row.constData());
        QVERIFY2(std::abs(cells.at(6).toDouble() - (cells.at(4).toDouble() - cells.at(2).toDouble())) < 0.011, row.constData());
    }
    QVERIFY(onTheWay > 0);
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3},"))
                 .match(QString::fromLatin1(last))
                 .hasMatch(),
             last.constData());
}

void TestRotctlBridge::thresholdSuppressesRepeatedCommands()
{
    RotctldProcess rotctld;
    QVERIFY(rotctld.start(RotctldProcess::freePort()));
    BridgeOptions options = testOptions(rotctld.port());
    options.minIntervalSeconds = 0;  // only the threshold holds commands back here
    Bridge bridge(options);
    QSignalSpy written(&bridge.rotctld(), &RotctldClient::commandWritten);
    QVERIFY(bridge.start(nullptr));
    QTRY_VERIFY_WITH_TIMEOUT(bridge.rotctld().isReady(), kWaitMs);
    WindowSocket window;
    window.send(bridge.localPort(), "0,004.00, 4.00");
    QTRY_COMPARE_WITH_TIMEOUT(window.lastReport(), QByteArray("1,4.00,4.00"), kWaitMs);
    QCOMPARE(pointings(written).size(), 1);

    // The sun creeping on, as the window sends it every cycle (here faster):
    // within the threshold of where the rotator stands, nothing is sent.
    for (const char* message : {"0,004.00, 4.00", "0,004.10, 4.05", "0,004.20, 4.10", "0,004.30, 4.20",
                                "0,004.40, 4.30", "0,004.50, 4.40", "0,004.50, 4.50"}) {
        window.send(bridge.localPort(), message);
        QTest::qWait(150);
    }
    QCOMPARE(pointings(written).size(), 1);
    // One step beyond it, one P.
    window.send(bridge.localPort(), "0,004.60, 4.50");
    QTRY_COMPARE_WITH_TIMEOUT(pointings(written).size(), 2, kWaitMs);
    QCOMPARE(pointings(written).last(), QByteArray("P 4.60 4.50"));
    QTRY_COMPARE_WITH_TIMEOUT(window.lastReport(), QByteArray("1,4.60,4.50"), kWaitMs);
    QTest::qWait(600);
    QCOMPARE(pointings(written).size(), 2);
}

void TestRotctlBridge::limitsReportedByRotctldClamp()
{
    RotctldProcess rotctld;
    QVERIFY(rotctld.start(RotctldProcess::freePort(), QStringLiteral("max_az=8,min_el=6")));
    Bridge bridge(testOptions(rotctld.port()));
    QSignalSpy written(&bridge.rotctld(), &RotctldClient::commandWritten);
    QSignalSpy notices(&bridge, &Bridge::notice);
    QVERIFY(bridge.start(nullptr));
    QTRY_VERIFY_WITH_TIMEOUT(bridge.rotctld().isReady(), kWaitMs);
    WindowSocket window;
    for (const char* message : {"0,030.00, 2.00", "0,030.01, 2.00", "0,030.02, 2.01"}) {
        window.send(bridge.localPort(), message);
        QTest::qWait(100);
    }
    QTRY_COMPARE_WITH_TIMEOUT(pointings(written).value(0), QByteArray("P 8.00 6.00"), kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(window.lastReport(), QByteArray("1,8.00,6.00"), kWaitMs);
    QCOMPARE(linesContaining(notices, QStringLiteral("可動範囲（")), 1);  // said once, not per message
}

void TestRotctlBridge::refusedCommandsAreSaidOnce()
{
    // The operator allows more than rotctld does: rotctld refuses with RPRT -1.
    RotctldProcess rotctld;
    QVERIFY(rotctld.start(RotctldProcess::freePort(), QStringLiteral("max_az=8")));
    BridgeOptions options = testOptions(rotctld.port());
    options.maxAzimuth = 360;
    options.minIntervalSeconds = 0.2;
    Bridge bridge(options);
    QSignalSpy written(&bridge.rotctld(), &RotctldClient::commandWritten);
    QSignalSpy notices(&bridge, &Bridge::notice);
    QVERIFY(bridge.start(nullptr));
    QTRY_VERIFY_WITH_TIMEOUT(bridge.rotctld().isReady(), kWaitMs);
    WindowSocket window;
    QElapsedTimer sending;
    sending.start();
    while (sending.elapsed() < 2500) {
        window.send(bridge.localPort(), "0,030.00, 2.00");
        QTest::qWait(100);
    }
    // Retried with back-off (a second, then doubling: two or three tries in
    // 2.5 s, not one per message), said once, and the rotator still read and
    // reported all along.
    const qsizetype tries = pointings(written).size();
    QVERIFY2(tries >= 2 && tries <= 4, qPrintable(QString::number(tries)));
    QCOMPARE(linesContaining(notices, QStringLiteral("RPRT -1")), 1);
    QCOMPARE(window.lastReport(), QByteArray("1,0.00,0.00"));

    // Within what rotctld allows, the next command is taken, and that is said.
    window.send(bridge.localPort(), "0,005.00, 2.00");
    QTRY_COMPARE_WITH_TIMEOUT(window.lastReport(), QByteArray("1,5.00,2.00"), kWaitMs);
    QCOMPARE(linesContaining(notices, QStringLiteral("再び指向コマンド P を受け付けました")), 1);
}

void TestRotctlBridge::rotctldAbsentThenKilledAndRestartedIsRecovered()
{
    const quint16 port = RotctldProcess::freePort();
    Bridge bridge(testOptions(port));
    QSignalSpy written(&bridge.rotctld(), &RotctldClient::commandWritten);
    QSignalSpy notices(&bridge, &Bridge::notice);
    QVERIFY(bridge.start(nullptr));
    WindowSocket window;
    // Near where the dummy rotator starts: there a moment after it is told.
    window.send(bridge.localPort(), "0,001.60, 0.80");

    // Nothing listens yet: said once, however many retries.
    QTest::qWait(1700);
    QCOMPARE(linesContaining(notices, QStringLiteral("接続を拒否されました")), 1);

    RotctldProcess rotctld;
    QVERIFY(rotctld.start(port));
    QTRY_VERIFY_WITH_TIMEOUT(bridge.rotctld().isReady(), kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(window.lastReport(), QByteArray("1,1.60,0.80"), kWaitMs);

    // Killed: the connection closes; the bridge neither hangs nor ends.
    rotctld.kill();
    QTRY_COMPARE_WITH_TIMEOUT(linesContaining(notices, QStringLiteral("接続を閉じました")), 1, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!bridge.rotctld().isReady(), kWaitMs);
    window.send(bridge.localPort(), "0,001.70, 0.80");

    // Started again: the dummy starts at 0, 0 again, and is sent to the
    // latest set-point without a restart of the bridge.
    const qsizetype pointingsBefore = pointings(written).size();
    RotctldProcess again;
    QVERIFY(again.start(port));
    QTRY_COMPARE_WITH_TIMEOUT(window.lastReport(), QByteArray("1,1.70,0.80"), kWaitMs);
    QVERIFY(pointings(written).size() > pointingsBefore);
    QCOMPARE(linesContaining(notices, QStringLiteral("接続しました")), 2);
    QCOMPARE(linesContaining(notices, QStringLiteral("接続を閉じました")), 1);
}

void TestRotctlBridge::anElevationLimitGivenAgainstRotctldsHolds()
{
    // The dummy reports elevation 0 to 90; a bound given beyond it on the
    // command line is the operator's word, and the other bound gives way.
    RotctldProcess rotctld;
    QVERIFY(rotctld.start(RotctldProcess::freePort()));
    for (const double given : {95.0, -5.0}) {
        BridgeOptions options = testOptions(rotctld.port());
        (given > 90 ? options.minElevation : options.maxElevation) = given;
        Bridge bridge(options);
        QVERIFY(bridge.start(nullptr));
        QTRY_VERIFY_WITH_TIMEOUT(bridge.rotctld().isReady(), kWaitMs);
        QCOMPARE(bridge.frame().limits.minElevation, given);
        QCOMPARE(bridge.frame().limits.maxElevation, given);
    }
}

void TestRotctlBridge::strangersNeverReachRotctld()
{
    RotctldProcess rotctld;
    QVERIFY(rotctld.start(RotctldProcess::freePort()));
    BridgeOptions options = testOptions(rotctld.port());
    options.allowedSenders = SenderAllowList();
    options.allowedSenders.add({QHostAddress(QStringLiteral("127.0.0.2")), 32});  // the window's computer
    Bridge bridge(options);
    QSignalSpy written(&bridge.rotctld(), &RotctldClient::commandWritten);
    QSignalSpy notices(&bridge, &Bridge::notice);
    QVERIFY(bridge.start(nullptr));
    QTRY_VERIFY_WITH_TIMEOUT(bridge.rotctld().isReady(), kWaitMs);

    QUdpSocket stranger;
    QVERIFY(stranger.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    for (int i = 0; i < 5; ++i) {
        stranger.writeDatagram("0,090.00,45.00", QHostAddress::LocalHost, bridge.localPort());
        QTest::qWait(100);
    }
    QTRY_COMPARE_WITH_TIMEOUT(bridge.receivedCounts().refused, quint64(5), kWaitMs);
    QTest::qWait(2 * options.pollIntervalMs);
    // rotctld was never told to move: its dummy still stands where it started.
    const RotatorPosition untouched = positionFromRotctld(rotctld.port());
    QCOMPARE(untouched.azimuth, 0.0);
    QCOMPARE(untouched.elevation, 0.0);
    QVERIFY(pointings(written).isEmpty());
    QCOMPARE(linesContaining(notices, QStringLiteral("Dropped a datagram from 127.0.0.1:")), 1);
    QVERIFY(!stranger.hasPendingDatagrams());  // no report went back to it

    // The window's computer steers it.
    QUdpSocket window;
    QVERIFY(window.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
    window.writeDatagram("0,010.00, 5.00", QHostAddress::LocalHost, bridge.localPort());
    QTRY_COMPARE_WITH_TIMEOUT(pointings(written), QList<QByteArray>{"P 10.00 5.00"}, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(positionFromRotctld(rotctld.port()).azimuth == 10.0, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(window.hasPendingDatagrams(), kWaitMs);
    QVERIFY(!stranger.hasPendingDatagrams());
}

void TestRotctlBridge::theSavedPointingModelShiftsTheCommandAndIsTakenOffTheReport()
{
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    SavedPointingModel saved;
    saved.model[heliotrope::pointing::Term::IA] = 0.4;
    saved.model[heliotrope::pointing::Term::AN] = 0.3;
    saved.model[heliotrope::pointing::Term::TF] = 0.2;
    saved.model[heliotrope::pointing::Term::ES] = 0.01;
    saved.site = {35.68, 139.77, 40};
    saved.rmsBefore = 0.35;
    saved.rmsAfter = 0.012;
    saved.scans = 16;
    QVERIFY(savePointingModel(saved));

    RotctldProcess rotctld;
    QVERIFY(rotctld.start(RotctldProcess::freePort()));
    BridgeOptions options = testOptions(rotctld.port());
    options.threshold = 0.01;
    options.trueSun.site = saved.site;
    const QStringList said = choosePointing(options);
    QVERIFY(options.pointingModel && said.join(QString()).contains(QStringLiteral("Using the saved pointing model")));
    Bridge bridge(options);
    // Said as the frame applies it: the terms it has, the fit's rms.
    const QString inForce = heliotrope::rotctl::said::statusPointing(bridge.pointingInForce(), bridge.frame().model);
    QVERIFY2(inForce.contains(QStringLiteral("the saved pointing model, 4 terms (IA, AN, TF, ES), rms 0.012° (0.350° with no model")), qPrintable(inForce));
    QSignalSpy written(&bridge.rotctld(), &RotctldClient::commandWritten);
    QVERIFY(bridge.start(nullptr));
    QTRY_VERIFY_WITH_TIMEOUT(bridge.rotctld().isReady(), kWaitMs);

    WindowSocket window;
    window.send(bridge.localPort(), "0,020.00,30.00");
    const heliotrope::pointing::Direction reading = heliotrope::pointing::commandFor(saved.model, {20, 30}).reading;
    const QByteArray expected = QStringLiteral("P %1 %2").arg(reading.azimuth, 0, 'f', 2).arg(reading.elevation, 0, 'f', 2).toLatin1();
    QTRY_VERIFY_WITH_TIMEOUT(!pointings(written).isEmpty(), kWaitMs);
    QCOMPARE(pointings(written).first(), expected);
    QVERIFY(std::abs(reading.azimuth - 20) > 0.3);  // the model moves it, by tenths
    // The dummy stands on the command; the window is told the sky it points at.
    QTRY_VERIFY_WITH_TIMEOUT(std::abs(positionFromRotctld(rotctld.port()).azimuth - reading.azimuth) < 0.01, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(window.lastReport(), QByteArray("1,20.00,30.00"), kWaitMs);

    // Another station's bridge refuses it, says why, and commands the set-point as it is.
    BridgeOptions elsewhere = testOptions(rotctld.port());
    elsewhere.trueSun.site = heliotrope::sky::Site{34.7, 135.5, 0};
    QVERIFY(choosePointing(elsewhere).join(QString()).contains(QStringLiteral("another site's mount")));
    QVERIFY(!elsewhere.pointingModel);
    QVERIFY(heliotrope::rotctl::said::statusPointing(elsewhere.inForce, std::nullopt).contains(QStringLiteral("pointing correction: none")));
}

QTEST_GUILESS_MAIN(TestRotctlBridge)
#include "tst_rotctlbridge.moc"
