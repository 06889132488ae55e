// What is not a reading of the received power must not pass for one, nor for
// its opposite: a command that fails has given no reading, whatever it
// printed, rigctld's success code is no refusal, and rigctld hanging up is
// said when it happens, not at the deadline.

#include "companions/power/CommandPowerSource.h"
#include "companions/power/RigctldPowerSource.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace heliotrope::power;

class TestPowerReadings : public QObject {
    Q_OBJECT
private slots:
    void neitherPassesForItsOpposite();
};

void TestPowerReadings::neitherPassesForItsOpposite()
{
    CommandPowerSource source(QStringLiteral("sh -c \"echo -30.5; exit 1\""), 5000);
    QSignalSpy failed(&source, &PowerSource::failed);
    source.requestReading();
    QVERIFY(failed.wait(5000));  // and so no reading: exactly one of the two follows
    QCOMPARE(readStrengthReply("RPRT 0").returnCode, std::nullopt);

    QTcpServer rigctld;  // takes the connection, then hangs up on the question
    QVERIFY(rigctld.listen(QHostAddress::LocalHost));
    connect(&rigctld, &QTcpServer::newConnection, &rigctld, [&rigctld] { rigctld.nextPendingConnection()->close(); });
    RigctldPowerSource power(QStringLiteral("127.0.0.1"), rigctld.serverPort(), 20000);
    QSignalSpy lost(&power, &PowerSource::failed);
    power.requestReading();
    QVERIFY(lost.wait(5000));
}

QTEST_GUILESS_MAIN(TestPowerReadings)
#include "tst_powerreadings.moc"
