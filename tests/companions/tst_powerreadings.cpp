// What is not a reading of the received power must not pass for one, nor for
// its opposite: a command that fails has given no reading, whatever it
// printed, and rigctld's success code is no refusal.

#include "companions/power/CommandPowerSource.h"
#include "companions/power/RigctldPowerSource.h"

#include <QSignalSpy>
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
}

QTEST_GUILESS_MAIN(TestPowerReadings)
#include "tst_powerreadings.moc"
