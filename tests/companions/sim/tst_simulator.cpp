// The simulated controller: how its antenna moves, and what it says over UDP to
// a socket that stands where the window would.

#include "companions/sim/Simulator.h"

#include "WindowSocket.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

using namespace heliotrope::sim;
using heliotrope::controllers::DeadBandRotator;

class TestSimulator : public QObject {
    Q_OBJECT

private slots:
    void axesTurnAtTheirOwnRatesAndStopOnTarget();
    void azimuthNeverCrossesNorth();
    void newTargetContinuesFromWhereTheAntennaIs();
    void reportsGoToTheLatestSenderAtTheReportInterval();
    void badMessagesAreNotedAndTheSimulatorKeepsGoing();
    void oneLinePerChangeOfSetPoint();
};

namespace {

constexpr int kWaitMs = 3000;

SimulatorOptions fastOptions()
{
    SimulatorOptions options;
    options.port = 0;  // a free port
    options.azimuthRate = 100;
    options.elevationRate = 100;
    options.reportIntervalMs = 50;
    return options;
}

}  // namespace

void TestSimulator::axesTurnAtTheirOwnRatesAndStopOnTarget()
{
    DeadBandRotator antenna(6, 2, 0, {0, 0}, 0);
    antenna.setTarget({108.46, 5}, 0);
    const AntennaAngles oneSecond = antenna.position(1000);
    QCOMPARE(oneSecond.azimuth, 6.0);
    QCOMPARE(oneSecond.elevation, 2.0);
    const AntennaAngles later = antenna.position(60000);
    QCOMPARE(later.azimuth, 108.46);
    QCOMPARE(later.elevation, 5.0);
    // A clock read out of order does not move it back.
    QCOMPARE(antenna.position(30000).azimuth, 108.46);
}

void TestSimulator::azimuthNeverCrossesNorth()
{
    // From sunset in the west to the next sunrise in the east: back through south.
    DeadBandRotator antenna(6, 6, 0, {300, 0}, 0);
    antenna.setTarget({60, 0}, 0);
    QCOMPARE(antenna.position(20000).azimuth, 180.0);
    QCOMPARE(antenna.position(40000).azimuth, 60.0);
}

void TestSimulator::newTargetContinuesFromWhereTheAntennaIs()
{
    DeadBandRotator antenna(10, 10, 0, {0, 0}, 0);
    antenna.setTarget({100, 50}, 0);
    antenna.setTarget({0, 0}, 2000);  // turned back after two seconds, at 20 / 20
    QCOMPARE(antenna.position(3000).azimuth, 10.0);
    QCOMPARE(antenna.position(3000).elevation, 10.0);
}

void TestSimulator::reportsGoToTheLatestSenderAtTheReportInterval()
{
    Simulator simulator(fastOptions());
    QString problem;
    QVERIFY2(simulator.start(&problem), qPrintable(problem));
    WindowSocket first;
    WindowSocket second;

    QVERIFY(first.nextReport(150).isEmpty());       // nobody to report to before a message
    QCOMPARE(simulator.position().elevation, 0.0);  // parked at the horizon, due north
    QCOMPARE(simulator.position().azimuth, 0.0);
    first.send(simulator.localPort(), "0,010.00, 5.00");
    QTRY_COMPARE_WITH_TIMEOUT(first.nextReport(100), QByteArray("1,10.00,5.00"), kWaitMs);

    // The window started again on another port: reports follow the messages.
    second.send(simulator.localPort(), "0,020.00, 5.00");
    QTRY_COMPARE_WITH_TIMEOUT(second.nextReport(100), QByteArray("1,20.00,5.00"), kWaitMs);
    first.drain();
    QVERIFY(first.nextReport(200).isEmpty());

    // About one report per interval: 50 ms for a second gives some twenty.
    second.drain();
    const qsizetype before = second.reports.size();
    QTest::qWait(1000);
    const qsizetype reports = second.reports.size() - before;
    QVERIFY2(reports >= 10 && reports <= 25, qPrintable(QString::number(reports)));
}

void TestSimulator::badMessagesAreNotedAndTheSimulatorKeepsGoing()
{
    Simulator simulator(fastOptions());
    QVERIFY(simulator.start(nullptr));
    QSignalSpy problems(&simulator, &Simulator::problem);
    WindowSocket window;
    window.send(simulator.localPort(), "0,010.00, 5.00");
    QTRY_COMPARE_WITH_TIMEOUT(window.nextReport(100), QByteArray("1,10.00,5.00"), kWaitMs);

    const QByteArray bad[] = {"", "0,abc,5", "0,1,2,3", QByteArray("\x1b]0;x\x07", 6)};
    for (const QByteArray& message : bad)
        window.send(simulator.localPort(), message);
    QTRY_COMPARE_WITH_TIMEOUT(problems.size(), 4, kWaitMs);
    for (const QList<QVariant>& line : problems) {
        const QString text = line.first().toString();
        // The Japanese line and the English one: nothing received adds a line.
        QVERIFY(text.count(QLatin1Char('\n')) == 1 && !text.contains(QChar(0x1b)));
    }

    // Nothing moved, and the next sound message is followed.
    window.drain();
    QCOMPARE(window.nextReport(kWaitMs), QByteArray("1,10.00,5.00"));
    window.send(simulator.localPort(), "0,015.00, 5.00");
    QTRY_COMPARE_WITH_TIMEOUT(window.nextReport(100), QByteArray("1,15.00,5.00"), kWaitMs);
}

void TestSimulator::oneLinePerChangeOfSetPoint()
{
    Simulator simulator(fastOptions());
    QVERIFY(simulator.start(nullptr));
    QSignalSpy lines(&simulator, &Simulator::progress);
    WindowSocket window;
    // The window repeats the same set-point every cycle while the sun moves
    // less than a hundredth of a degree.
    for (const char* message : {"0,108.46, 78.43", "0,108.46, 78.43", "0,108.46, 78.43", "0,108.47, 78.43"})
        window.send(simulator.localPort(), message);
    QTRY_VERIFY_WITH_TIMEOUT(!window.nextReport(100).isEmpty(), kWaitMs);
    QTest::qWait(100);

    QStringList setPointLines;
    for (const QList<QVariant>& line : lines) {
        if (line.first().toString().contains(QStringLiteral("設定点")))
            setPointLines << line.first().toString();
    }
    QCOMPARE(setPointLines.size(), 2);
    QVERIFY(setPointLines[0].contains(QStringLiteral("JST")));
    QVERIFY(setPointLines[0].contains(QStringLiteral("108.46°")) && setPointLines[0].contains(QStringLiteral("78.43°")));
    QVERIFY(setPointLines[1].contains(QStringLiteral("108.47°")));
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
