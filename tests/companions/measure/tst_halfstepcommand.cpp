// The measurement engine on a tenths controller with a dead band (the
// simulated EasyComm II behind the real rotctld), where a command on a half
// step reaches the controller rounded the other way from the bridge's own
// double: a point is counted as reached where the rotator stops, whatever
// the machine's pace.

#include "SerialRotator.h"
#include "TestTimeScale.h"

#include "companions/measure/MeasurementEngine.h"
#include "companions/power/CommandPowerSource.h"
#include "companions/rotctl/bridge/Bridge.h"

#include <QSignalSpy>
#include <QTest>

#include <vector>

using namespace heliotrope::hamlib;
using namespace heliotrope::measure;
using namespace heliotrope::rotator;
using namespace heliotrope::rotctl;

class TestHalfStepCommand : public QObject {
    Q_OBJECT

private slots:
    void aHalfStepRoundedUpOnItsRoadIsStillReached();
};

void TestHalfStepCommand::aHalfStepRoundedUpOnItsRoadIsStillReached()
{
    if (RotctldProcess::program().isEmpty())
        QSKIP("rotctld (Debian package libhamlib-utils) is not installed");
    const TestTimeScale time(20);
    QString problem;
    QVERIFY2(heliotrope::companions::takeTimeScaleFromEnvironment(&problem), qPrintable(problem));
    SerialRotator rotator;
    QVERIFY(rotator.start(QStringLiteral("easycomm2"), {QStringLiteral("--deadband"), QStringLiteral("0.4")}, time.rate()));
    BridgeOptions options;
    options.port = 0;
    options.rotctldPort = rotator.port();
    options.resolution = 0.1;
    options.deadBand = 0.4;
    Bridge bridge(options);
    heliotrope::power::CommandPowerSource power(QStringLiteral("/bin/echo -30"));
    MeasurementEngine engine(bridge, power, EngineSettings{0.2, 0.05, 30}, heliotrope::companions::shiftedUtcClock(0));
    QSignalSpy ready(&engine, &MeasurementEngine::ready);
    std::vector<Dwell> measured;
    int skipped = 0;
    connect(&engine, &MeasurementEngine::measured, this, [&measured](const Dwell& dwell) { measured.push_back(dwell); });
    connect(&engine, &MeasurementEngine::skipped, this, [&skipped] { ++skipped; });
    engine.start();
    QVERIFY(bridge.start(&problem));
    QVERIFY(ready.wait(5000) || !ready.isEmpty());

    // From above on both axes. 23.4488° is nearer 23.4 than 23.5, but it goes
    // to rotctld as 23.45, which Hamlib's float holds as 23.4500008 and
    // writes to the controller as EL23.5: the rotator stops 0.4° above that,
    // at 23.9, half a degree from 23.4.
    for (const heliotrope::companions::SetPoint& point : {heliotrope::companions::SetPoint{40, 30}, heliotrope::companions::SetPoint{30.5488, 23.4488}}) {
        const std::size_t before = measured.size();
        engine.measure([point](double) { return point; });
        QTRY_VERIFY_WITH_TIMEOUT(measured.size() > before || skipped > 0, 10000);
        QVERIFY2(skipped == 0, "the point was waited out and skipped");
    }
    const Dwell dwell = measured.back();
    QCOMPARE(dwell.reading.elevation, 23.9);
    QCOMPARE(dwell.reading.azimuth, 30.9);
    engine.finish();
}

QTEST_GUILESS_MAIN(TestHalfStepCommand)
#include "tst_halfstepcommand.moc"
