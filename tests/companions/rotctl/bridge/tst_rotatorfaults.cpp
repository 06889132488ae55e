// A rotator that fails while the bridge drives it, on each simulated serial
// controller behind Hamlib's own backend: one that takes commands and does
// not turn (stuck), and one whose controller's reading no longer changes
// (frozen). Each is said in the bridge's log and by --status within a minute
// of the station's clock, the command is not repeated meanwhile, and the
// rotator moving again is said.

#include "ProgramRun.h"
#include "SerialRotator.h"
#include "StationHome.h"
#include "TestTimeScale.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <algorithm>
#include <memory>

namespace {

constexpr double kTimeScale = 30;
constexpr double kFailAfter = 30;  // the station's seconds
constexpr double kFailFor = 180;

}  // namespace

class TestRotatorFaults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void saidWithinAMinuteAndTheRecoveryToo_data();
    void saidWithinAMinuteAndTheRecoveryToo();

private:
    std::unique_ptr<TestTimeScale> m_time;
    StationHome m_home;
};

void TestRotatorFaults::initTestCase()
{
    if (RotctldProcess::program().isEmpty())
        QSKIP("rotctld (libhamlib-utils) is not installed");
    QVERIFY(m_home.make());
    m_time = std::make_unique<TestTimeScale>(kTimeScale);
}

void TestRotatorFaults::saidWithinAMinuteAndTheRecoveryToo_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("simulatorSays");
    for (const char* protocol : {"gs232b", "easycomm2", "rot2prog"}) {
        QTest::addRow("%s stuck", protocol) << QString::fromLatin1(protocol) << QStringLiteral("stuck") << QStringLiteral("The rotator is stuck");
        QTest::addRow("%s frozen", protocol) << QString::fromLatin1(protocol) << QStringLiteral("frozen")
                                             << QStringLiteral("The controller's reading is frozen");
    }
}

void TestRotatorFaults::saidWithinAMinuteAndTheRecoveryToo()
{
    QFETCH(QString, protocol);
    QFETCH(QString, fault);
    QFETCH(QString, simulatorSays);
    SerialRotator rotator;
    const QString commandLog = m_home.filePath(QStringLiteral("commands-%1-%2.csv").arg(protocol, fault));
    QVERIFY(rotator.start(protocol,
                          {QStringLiteral("--fail"), fault, QStringLiteral("--fail-after"), QString::number(kFailAfter),
                           QStringLiteral("--fail-for"), QString::number(kFailFor), QStringLiteral("--command-log"), commandLog},
                          kTimeScale));
    const auto commandsSent = [&commandLog] {
        QFile file(commandLog);
        return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : 0;
    };
    Program bridge({QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--rotctld"), QStringLiteral("127.0.0.1:%1").arg(rotator.port()),
                    QStringLiteral("--poll-ms"), QStringLiteral("250"), QStringLiteral("--min-interval"), QStringLiteral("0.5")});
    QVERIFY2(bridge.waitFor(QStringLiteral("relaying them to rotctld")), qPrintable(bridge.output));
    const quint16 bridgePort = bridgePortFrom(bridge.output);
    QUdpSocket window;
    QVERIFY(window.bind(QHostAddress::LocalHost, 0));
    const auto setPoint = [&](const char* message) { window.writeDatagram(message, QHostAddress::LocalHost, bridgePort); };
    setPoint("0,030.00, 20.00");

    // The fault begins; the window then asks for somewhere else.
    QElapsedTimer since;
    since.start();
    while (!rotator.output().join(QLatin1Char('\n')).contains(simulatorSays) && since.elapsed() < 10000)
        QTest::qWait(20);
    QVERIFY2(rotator.output().join(QLatin1Char('\n')).contains(simulatorSays), qPrintable(rotator.output().join(QLatin1Char('\n'))));
    since.restart();
    setPoint("0,080.00, 45.00");
    QVERIFY2(bridge.waitFor(QStringLiteral("The rotator does not follow: commanded to"), 10000), qPrintable(bridge.output));
    const double saidAfter = static_cast<double>(since.elapsed()) * kTimeScale / 1000.0;
    QVERIFY2(saidAfter <= 60, qPrintable(QStringLiteral("said %1 s after the fault").arg(saidAfter)));
    qInfo("%s %s: said %.0f s (the station's clock) after the fault", qPrintable(protocol), qPrintable(fault), saidAfter);
    Program status({QStringLiteral("--status")});
    QVERIFY2(status.waitFor(QStringLiteral("offsets in use")) && status.output.contains(QStringLiteral("the rotator does not follow: commanded 80")),
             qPrintable(status.output));
    // Not told again and again while it does nothing: the stall policy alone would repeat it within the minute.
    // Counted while the fault lasts: once it ends, the bridge rightly commands
    // again. On a busy machine --status alone may take a station's half-minute.
    const double faultLeft = kFailFor - static_cast<double>(since.elapsed()) * kTimeScale / 1000.0 - 10;
    const double quiet = std::min(50.0, faultLeft);
    QVERIFY2(quiet >= 40, qPrintable(QStringLiteral("only %1 s of the fault left to count in").arg(faultLeft)));
    const qsizetype commandsBefore = commandsSent();
    QTest::qWait(m_time->realMs(quiet));
    QCOMPARE(commandsSent(), commandsBefore);

    QVERIFY2(bridge.waitFor(QStringLiteral("The rotator moves again"), 10000), qPrintable(bridge.output));
    Program after({QStringLiteral("--status")});
    QVERIFY2(after.waitFor(QStringLiteral("offsets in use")) && !after.output.contains(QStringLiteral("does not follow")), qPrintable(after.output));
}

QTEST_GUILESS_MAIN(TestRotatorFaults)
#include "tst_rotatorfaults.moc"
