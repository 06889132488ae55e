// Where the bridge points the rotator and when it commands it: the rotator's
// azimuth range, limits and offsets, the threshold and the back-offs; and a
// day of real set-points from the calculation cycle against a rotator that
// slews like Hamlib's dummy, for the number of P commands per hour.

#include "companions/common/PointingRead.h"
#include "companions/controllers/DeadBandRotator.h"
#include "companions/rotator/CommandPolicy.h"
#include "companions/rotator/RotatorGeometry.h"
#include "companions/rotator/RotatorProfile.h"
#include "companions/rotctl/truesun/TrackingLog.h"
#include "link/PointingMessage.h"
#include "solar/CalculationCycle.h"

#include <QTest>

#include <algorithm>
#include <array>
#include <cmath>

using namespace heliotrope::companions;
using namespace heliotrope::hamlib;
using namespace heliotrope::rotator;
using namespace heliotrope::rotctl;

using heliotrope::link::pointingMessage;

class TestRotatorCommands : public QObject {
    Q_OBJECT

private slots:
    void azimuthTakesTheWayTheRotatorAllows_data();
    void azimuthTakesTheWayTheRotatorAllows();
    void setPointsOutsideTheLimitsAreClamped_data();
    void setPointsOutsideTheLimitsAreClamped();
    void clampedToTheLimitNearerRoundTheCircle_data();
    void clampedToTheLimitNearerRoundTheCircle();
    void offsetsAreAppliedOutAndTakenOffBack();
    void thresholdAndMinimumInterval();
    void rotatorOnItsWayIsNotCommandedAgain();
    void rotatorThatStopsShortIsToldAgainWithBackOff();
    void refusedCommandIsRetriedWithBackOff();
    void aHalfStepCommandArrivesRoundedEitherWay();
    void northAndAnAzimuthOnlyRotatorAreLearntRight();
    void aStopIsLearntOnlyAfterAnAcceptedCommand();
    void aStopShowsWhetherTheControllerRoundsOrCuts();
    void aDayOfTrackingSendsFewCommands_data();
    void aDayOfTrackingSendsFewCommands();
};

namespace {

RotatorFrame frame(AzimuthRange range, RotatorLimits limits = {-180, 450, 0, 90})
{
    RotatorFrame f;
    f.range = range;
    f.limits = limits;
    return f;
}

RotatorPosition at(double azimuth, double elevation)
{
    return {azimuth, elevation};
}

}  // namespace

void TestRotatorCommands::azimuthTakesTheWayTheRotatorAllows_data()
{
    QTest::addColumn<int>("range");
    QTest::addColumn<double>("setAzimuth");
    QTest::addColumn<double>("presentAzimuth");
    QTest::addColumn<double>("commanded");
    const int r360 = int(AzimuthRange::From0To360);
    const int r180 = int(AzimuthRange::FromMinus180To180);
    const int overlap = int(AzimuthRange::Overlap);
    QTest::newRow("0..360: afternoon") << r360 << 250.0 << 240.0 << 250.0;
    QTest::newRow("0..360: north as 360 when nearer") << r360 << 0.0 << 350.0 << 360.0;
    QTest::newRow("-180..180: west is negative") << r180 << 300.0 << 0.0 << -60.0;
    QTest::newRow("-180..180: south from the east side") << r180 << 180.0 << 170.0 << 180.0;
    QTest::newRow("-180..180: south from the west side") << r180 << 180.0 << -170.0 << -180.0;
    // From sunset in the west to the sunrise azimuth: through south, not into
    // the overlap, or the morning's track would run into the stop at 450.
    QTest::newRow("overlap: nightly move stays out of the overlap") << overlap << 60.0 << 300.0 << 60.0;
    QTest::newRow("overlap: continued from within it") << overlap << 50.0 << 400.0 << 410.0;
    QTest::newRow("overlap: left when the overlap cannot reach") << overlap << 100.0 << 440.0 << 100.0;
}

void TestRotatorCommands::azimuthTakesTheWayTheRotatorAllows()
{
    QFETCH(int, range);
    QFETCH(double, setAzimuth);
    QFETCH(double, presentAzimuth);
    QFETCH(double, commanded);
    const RotatorCommand command = rotatorCommand(frame(static_cast<AzimuthRange>(range)), SetPoint{setAzimuth, 10}, at(presentAzimuth, 10));
    QCOMPARE(command.azimuth, commanded);
    QVERIFY(!command.clamped);
}

void TestRotatorCommands::setPointsOutsideTheLimitsAreClamped_data()
{
    QTest::addColumn<double>("setAzimuth");
    QTest::addColumn<double>("setElevation");
    QTest::addColumn<double>("azimuth");
    QTest::addColumn<double>("elevation");
    // Limits: azimuth 20 to 340, elevation 10 to 80.
    QTest::newRow("inside") << 100.0 << 45.0 << 100.0 << 45.0;
    QTest::newRow("low sun") << 100.0 << 5.0 << 100.0 << 10.0;
    QTest::newRow("night parking at elevation 0") << 65.2 << 0.0 << 65.2 << 10.0;
    QTest::newRow("near zenith") << 180.0 << 87.0 << 180.0 << 80.0;
    QTest::newRow("just east of north: nearer limit round the circle") << 5.0 << 20.0 << 20.0 << 20.0;
    QTest::newRow("just west of north") << 355.0 << 20.0 << 340.0 << 20.0;
}

void TestRotatorCommands::setPointsOutsideTheLimitsAreClamped()
{
    QFETCH(double, setAzimuth);
    QFETCH(double, setElevation);
    QFETCH(double, azimuth);
    QFETCH(double, elevation);
    const RotatorCommand command = rotatorCommand(frame(AzimuthRange::From0To360, {20, 340, 10, 80}),
                                                  SetPoint{setAzimuth, setElevation}, at(180, 45));
    QCOMPARE(command.azimuth, azimuth);
    QCOMPARE(command.elevation, elevation);
    QCOMPARE(command.clamped, azimuth != setAzimuth || elevation != setElevation);

    // Limits that leave the range nothing are recognised, not pointed at.
    QVERIFY(azimuthReachable(frame(AzimuthRange::From0To360, {20, 340, 10, 80})));
    QVERIFY(!azimuthReachable(frame(AzimuthRange::FromMinus180To180, {200, 300, 0, 90})));
}

// Limits that do not sit evenly about north: the set-point goes to the limit
// it is nearer to round the circle, which is not the one nearer on the
// rotator's scale. 350 lies 30 degrees from 20 (through north) and 50 from 300.
void TestRotatorCommands::clampedToTheLimitNearerRoundTheCircle_data()
{
    QTest::addColumn<int>("range");
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<double>("setAzimuth");
    QTest::addColumn<double>("commanded");
    const int r360 = int(AzimuthRange::From0To360);
    const int r180 = int(AzimuthRange::FromMinus180To180);
    QTest::newRow("20..300, set 350: 20 through north") << r360 << 20.0 << 300.0 << 350.0 << 20.0;
    QTest::newRow("20..300, set 330: 300") << r360 << 20.0 << 300.0 << 330.0 << 300.0;
    QTest::newRow("20..300, set 5: 20") << r360 << 20.0 << 300.0 << 5.0 << 20.0;
    QTest::newRow("60..200, set 350: 60 through north") << r360 << 60.0 << 200.0 << 350.0 << 60.0;
    // -170..100 on the south-stop scale: 150 is 40 from -170 (190) through
    // south and 50 from 100.
    QTest::newRow("-170..100, set 150: -170 through south") << r180 << -170.0 << 100.0 << 150.0 << -170.0;
    QTest::newRow("-170..100, set 120: 100") << r180 << -170.0 << 100.0 << 120.0 << 100.0;
}

void TestRotatorCommands::clampedToTheLimitNearerRoundTheCircle()
{
    QFETCH(int, range);
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(double, setAzimuth);
    QFETCH(double, commanded);
    const RotatorFrame f = frame(static_cast<AzimuthRange>(range), {low, high, 0, 90});
    // Wherever the rotator stands: the limit depends on the set-point alone.
    for (const double present : {low, (low + high) / 2, high}) {
        const RotatorCommand command = rotatorCommand(f, SetPoint{setAzimuth, 30}, at(present, 30));
        QCOMPARE(command.azimuth, commanded);
        QVERIFY(command.clamped);
        QCOMPARE(command.elevation, 30.0);
    }
}

void TestRotatorCommands::offsetsAreAppliedOutAndTakenOffBack()
{
    RotatorFrame f = frame(AzimuthRange::From0To360);
    f.azimuthOffset = 2;     // the rotator reads 2 more than the true direction
    f.elevationOffset = -1;  // and 1 less in elevation
    const RotatorCommand command = rotatorCommand(f, SetPoint{359, 10}, at(10, 10));
    QCOMPARE(command.azimuth, 1.0);  // past north on the rotator's scale
    QCOMPARE(command.elevation, 9.0);
    const RotatorPosition sky = skyPosition(f, at(command.azimuth, command.elevation));
    QCOMPARE(sky.azimuth, 359.0);
    QCOMPARE(sky.elevation, 10.0);
    // Over the top the offsets act on the flipped angles, and the reading
    // comes back as the sky direction asked; through a model likewise.
    f.limits.maxElevation = 180;
    const RotatorCommand flipped = rotatorCommand(f, SetPoint{30, 26}, at(10, 10), true);
    QVERIFY(flipped.azimuth == 212 && flipped.elevation == 153 && !flipped.clamped);
    f.model = heliotrope::pointing::parseMount("IA=0.3,CA=0.4,IE=-0.2,TF=0.2", nullptr);
    const RotatorCommand c = rotatorCommand(f, SetPoint{30, 26}, at(10, 10), true);
    const RotatorPosition back = skyPosition(f, at(c.azimuth, c.elevation));
    QVERIFY(c.elevation > 90 && std::abs(back.azimuth - 30) < 1e-6 && std::abs(back.elevation - 26) < 1e-6);
    // The tracking error is taken the short way round north.
    QCOMPARE(azimuthDifference(359.5, 0.5), 1.0);
    QCOMPARE(azimuthDifference(0.5, 359.5), -1.0);
}

void TestRotatorCommands::thresholdAndMinimumInterval()
{
    CommandPolicy policy(0.5, 2000);
    const RotatorPosition target = at(100.6, 30);
    QVERIFY(!policy.shouldCommand(target, std::nullopt, 0));     // not read yet on this connection
    QVERIFY(!policy.shouldCommand(target, at(100.2, 30.4), 0));  // within 0.5 on both axes
    QVERIFY(policy.shouldCommand(target, at(100.0, 30), 0));
    policy.commanded(target, 0);
    policy.answered(true, 50);

    // A new target well away, but sooner than the minimum interval.
    QVERIFY(!policy.shouldCommand(at(110, 30), at(100.6, 30), 1999));
    QVERIFY(policy.shouldCommand(at(110, 30), at(100.6, 30), 2000));

    // A new connection forgets the past.
    policy.reset();
    QVERIFY(policy.shouldCommand(at(110, 30), at(100.6, 30), 2001));
}

void TestRotatorCommands::rotatorOnItsWayIsNotCommandedAgain()
{
    // The nightly move: 240 degrees at 6 degrees a second, while the window
    // repeats the same set-point every 750 ms for forty seconds.
    CommandPolicy policy(0.5, 2000);
    const RotatorPosition sunrise = at(60, 0);
    policy.commanded(sunrise, 0);
    policy.answered(true, 20);
    int commands = 1;
    for (long long t = 750; t < 40000; t += 750) {
        const double azimuth = std::max(60.0, 300.0 - 6.0 * double(t) / 1000.0);
        policy.positionRead(at(azimuth, 0), t);
        if (policy.shouldCommand(at(60.004, 0), at(azimuth, 0), t)) {
            policy.commanded(at(60.004, 0), t);
            ++commands;
        }
    }
    QCOMPARE(commands, 1);
}

void TestRotatorCommands::rotatorThatStopsShortIsToldAgainWithBackOff()
{
    CommandPolicy policy(0.5, 2000);
    const RotatorPosition target = at(120, 20);
    const RotatorPosition stuck = at(110, 20);  // stopped by hand ten degrees short
    policy.commanded(target, 0);
    policy.answered(true, 10);
    // One reading after the command says nothing about standing still, nor
    // two alike a few milliseconds apart (a whole-degree rotator turning
    // reads the same degree meanwhile): alike for a second, it stands.
    policy.positionRead(stuck, 2500);
    QVERIFY(!policy.shouldCommand(target, stuck, 2500));
    policy.positionRead(stuck, 2505);
    QVERIFY(!policy.shouldCommand(target, stuck, 2505));
    policy.positionRead(stuck, 3500);
    QVERIFY(policy.shouldCommand(target, stuck, 3500));

    // Each further repeat waits twice as long as the one before.
    std::vector<long long> repeats;
    long long t = 3500;
    policy.commanded(target, t);
    policy.answered(true, t);
    repeats.push_back(t);
    for (; t < 200000; t += 500) {
        policy.positionRead(stuck, t);
        if (policy.shouldCommand(target, stuck, t)) {
            policy.commanded(target, t);
            policy.answered(true, t);
            repeats.push_back(t);
        }
    }
    QVERIFY2(repeats.size() >= 4 && repeats.size() <= 8, qPrintable(QString::number(repeats.size())));
    for (std::size_t i = 2; i < repeats.size(); ++i)
        QVERIFY(repeats[i] - repeats[i - 1] >= 2 * (repeats[i - 1] - repeats[i - 2]) - 1000);
}

void TestRotatorCommands::refusedCommandIsRetriedWithBackOff()
{
    CommandPolicy policy(0.5, 1000);
    const RotatorPosition target = at(200, 20);
    const RotatorPosition present = at(100, 20);
    policy.commanded(target, 0);
    policy.answered(false, 10);
    QVERIFY(!policy.shouldCommand(target, present, 900));
    QVERIFY(policy.shouldCommand(target, present, 1010));
    policy.commanded(target, 1010);
    policy.answered(false, 1020);
    QVERIFY(!policy.shouldCommand(target, present, 2900));  // twice as long now
    QVERIFY(policy.shouldCommand(target, present, 3020));
    policy.commanded(target, 3020);
    policy.answered(true, 3030);  // accepted: on its way, not retried
    QVERIFY(!policy.shouldCommand(target, present, 10000));
    // An accepted P ends the back-off: the next refusal waits the first
    // second again, not four.
    const RotatorPosition next = at(250, 20);
    policy.commanded(next, 10000);
    policy.answered(false, 10010);
    QVERIFY(policy.shouldCommand(next, present, 11010));
}

namespace {

// The window's calculation cycle with its boxes as plain strings.
class SetPointView final : public solar::CycleView {
public:
    std::string latitude;
    std::string longitude;
    std::string azimuthBox;
    std::string elevationBox;
    std::optional<QByteArray> message;

    std::string observerLatitudeText() const override { return latitude; }
    std::string observerLongitudeText() const override { return longitude; }
    void showObserverProblem(const solar::ObserverProblem&) override { }
    void setSettingElevationText(const std::string& text) override { elevationBox = text; }
    void setSettingAzimuthText(const std::string& text) override { azimuthBox = text; }
    std::string settingAzimuthText() const override { return azimuthBox; }
    std::string settingElevationText() const override { return elevationBox; }
    void drawSky(const solar::SkyStep&) override { }
    void drawNotice(const solar::Notice&) override { }
    void sendPointing(const std::string& azimuth, const std::string& elevation) override
    {
        message = pointingMessage(QString::fromStdString(azimuth), QString::fromStdString(elevation));
    }
};

// The angle on the sky between the set-point and where the antenna points.
double separation(const SetPoint& sun, const heliotrope::controllers::ControllerAngles& antenna)
{
    constexpr double rad = 3.14159265358979 / 180.0;
    const double cosine = std::sin(sun.elevation * rad) * std::sin(antenna.elevation * rad)
        + std::cos(sun.elevation * rad) * std::cos(antenna.elevation * rad) * std::cos((sun.azimuth - antenna.azimuth) * rad);
    return std::acos(std::clamp(cosine, -1.0, 1.0)) / rad;
}

solar::ClockReading clockAt(long long msOfDay, int year, int month, int day)
{
    const long long seconds = msOfDay / 1000;
    return {year, month, day, int(seconds / 3600), int(seconds / 60 % 60), int(seconds % 60)};
}

}  // namespace

void TestRotatorCommands::aHalfStepCommandArrivesRoundedEitherWay()
{
    // 23.45° to a tenths controller: Hamlib's float takes it to 23.5, the
    // bridge's double to 23.4. A rotator standing 0.4° (its dead band) above
    // 23.5 has arrived; one 0.4° above 23.6 has not.
    const RotatorProfile step(0.1, 0.4);
    QVERIFY(step.within({30.9, 23.9}, {30.55, 23.45}));
    QVERIFY(step.within({30.1, 23.0}, {30.55, 23.45}));
    QVERIFY(!step.within({30.9, 24.0}, {30.55, 23.45}));
    QVERIFY(!step.within({30.9, 23.9}, {30.55, 23.44}));
}

void TestRotatorCommands::northAndAnAzimuthOnlyRotatorAreLearntRight()
{
    // A whole-degree rotator told 360° that reads 0° (or 359.6°, its dead
    // band short) has arrived; one reading 1.5° has not.
    const RotatorProfile coarse(1.0, 0.4);
    QVERIFY(coarse.within({0, 30}, {360, 30}));
    QVERIFY(coarse.within({360, 30}, {0, 30}));
    QVERIFY(coarse.within({359.6, 30}, {0.2, 30}));
    QVERIFY(!coarse.within({1.5, 30}, {360, 30}));
    QVERIFY(!coarse.within({0, 31.5}, {360, 30}));

    // Turning through north at 3°/s, in azimuth only: the azimuth's rate the
    // short way round, the elevation's still unknown, and so no estimate of
    // a point's time; a stop on north read as 0 is no shortfall.
    RotatorProfile learnt;
    double seconds = 0;
    for (double azimuth : {354.0, 357.0, 0.0, 3.0, 6.0}) {
        learnt.reading({azimuth, 12.0}, seconds);
        seconds += 1;
    }
    QVERIFY(learnt.azimuthRate() && std::abs(*learnt.azimuthRate() - 3.0) < 1e-9);
    QVERIFY(!learnt.elevationRate());
    learnt.stopped({0, 12}, {360, 12});
    QCOMPARE(learnt.deadBand(), 0.0);

    // The step is learnt from ten different values seen, not before.
    RotatorProfile whole;
    for (int k = 1; k <= 8; ++k)
        whole.reading({double(k), 10.0}, k);
    QVERIFY(!whole.step());  // nine values: 1 … 8 and 10
    whole.reading({9.0, 10.0}, 9);
    QCOMPARE(whole.step().value_or(0), 1.0);

    // A dwell at north read on either side of it averages to north.
    const RotatorPosition mean = meanReading({{359.9, 30.0}, {0.1, 30.2}, {0.0, 30.1}});
    QVERIFY2(std::abs(std::remainder(mean.azimuth, 360.0)) < 1e-9 && std::abs(mean.elevation - 30.1) < 1e-9,
             qPrintable(QStringLiteral("%1 %2").arg(mean.azimuth).arg(mean.elevation)));
}

void TestRotatorCommands::aStopIsLearntOnlyAfterAnAcceptedCommand()
{
    // A tenths controller told 120° that stops 0.4° short: a dead band of
    // 0.35° beyond its half step, once the readings after the P stay alike
    // for a second.
    const RotatorPosition sent{120.0, 20.0};
    const RotatorPosition stop{119.6, 20.0};
    RotatorProfile accepted(0.1);
    accepted.commanded(sent);
    accepted.reading(stop, 1, false);  // asked for before the P was answered
    accepted.reading(stop, 2, true);
    QCOMPARE(accepted.deadBand(), 0.0);
    accepted.reading(stop, 3, true);
    QVERIFY(std::abs(accepted.deadBand() - 0.35) < 1e-9);

    // Refused, the P may or may not have reached the controller: a stop
    // near it says nothing.
    RotatorProfile refused(0.1);
    refused.commanded(sent);
    refused.commanded(std::nullopt);
    for (double seconds : {1.0, 2.0, 3.0})
        refused.reading(stop, seconds, true);
    QCOMPARE(refused.deadBand(), 0.0);
}

void TestRotatorCommands::aStopShowsWhetherTheControllerRoundsOrCuts()
{
    // Told 120.6° on whole degrees, a GS-232 stops on 121 (it rounds) and a
    // SPID on 120 (it cuts down): from then on two commands are alike when
    // the controller would take them to the same degree, and only then.
    RotatorProfile rounds(1.0);
    rounds.stopped({121, 30}, {120.6, 30});
    QVERIFY(rounds.sameCommand({120.6, 30}, {121.4, 30}));
    QVERIFY(!rounds.sameCommand({120.4, 30}, {120.6, 30}));

    RotatorProfile cuts(1.0);
    cuts.stopped({120, 30}, {120.6, 30});
    QVERIFY(cuts.sameCommand({120.1, 30}, {120.9, 30}));
    QVERIFY(!cuts.sameCommand({120.9, 30}, {121.1, 30}));
}

void TestRotatorCommands::aDayOfTrackingSendsFewCommands_data()
{
    QTest::addColumn<QString>("latitude");
    QTest::addColumn<QString>("longitude");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("fromHour");
    QTest::addColumn<int>("toHour");
    // The window's first city on the longest day, from the small hours to the
    // night's parking; and Naha around noon, where the sun passes 2.6 degrees
    // from the zenith and its azimuth turns fastest.
    QTest::newRow("八王子 2006-06-21 03:00-21:00") << "35.64"
                                                   << "139.3" << 6 << 21 << 3 << 21;
    QTest::newRow("八王子 2006-12-22 05:00-19:00") << "35.64"
                                                   << "139.3" << 12 << 22 << 5 << 19;
    QTest::newRow("那覇 2006-06-21 11:00-14:00") << "26.217"
                                                 << "127.7" << 6 << 21 << 11 << 14;
}

void TestRotatorCommands::aDayOfTrackingSendsFewCommands()
{
    QFETCH(QString, latitude);
    QFETCH(QString, longitude);
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(int, fromHour);
    QFETCH(int, toHour);

    // Defaults of heliotrope-rotctl against Hamlib's dummy rotator: threshold
    // 0.5 degrees, 2 s between commands, p every 1000 ms answered at once, P
    // obeyed at once at 6 degrees a second. The window sends every 750 ms.
    constexpr long long cycleMs = 750;
    constexpr long long pollMs = 1000;
    const RotatorFrame rotator = frame(AzimuthRange::From0To360);
    CommandPolicy policy(0.5, 2000);
    solar::CalculationState state;
    SetPointView window;
    window.latitude = latitude.toStdString();
    window.longitude = longitude.toStdString();

    const long long start = fromHour * 3600000LL;
    const long long end = toHour * 3600000LL;
    heliotrope::controllers::DeadBandRotator antenna(6, 6, 0, {0, 0}, start);
    std::optional<SetPoint> setPoint;
    std::optional<RotatorPosition> present;
    std::array<int, 24> commandsInHour{};
    // The angle between where the antenna points and the sun, once the antenna
    // has first reached the sun (the swing from its parking place excluded).
    bool acquired = false;
    int dayPolls = 0;
    double worstDayError = 0;

    const auto consider = [&](long long t) {
        if (!setPoint)
            return;
        const RotatorCommand command = rotatorCommand(rotator, *setPoint, present);
        const RotatorPosition target{command.azimuth, command.elevation};
        if (!policy.shouldCommand(target, present, t))
            return;
        policy.commanded(target, t);
        antenna.setTarget({target.azimuth, target.elevation}, t);
        policy.answered(true, t);
        ++commandsInHour[std::size_t(t / 3600000)];
    };

    for (long long t = start, nextPoll = start; t < end; t += cycleMs) {
        for (; nextPoll <= t; nextPoll += pollMs) {
            const heliotrope::controllers::ControllerAngles reading = antenna.position(nextPoll);
            present = RotatorPosition{reading.azimuth, reading.elevation};
            policy.positionRead(*present, nextPoll);
            if (setPoint && setPoint->elevation > 0) {
                const double error = separation(*setPoint, reading);
                acquired = acquired || error <= 0.5;
                if (acquired) {
                    ++dayPolls;
                    worstDayError = std::max(worstDayError, error);
                }
            }
            consider(nextPoll);
        }
        window.message.reset();
        solar::runCalculationCycle(state, clockAt(t, 2006, month, day), window);
        QVERIFY(window.message);
        setPoint = readPointingMessage(*window.message).setPoint;
        QVERIFY(setPoint);
        consider(t);
    }

    QStringList perHour;
    int busiest = 0;
    int total = 0;
    for (int hour = fromHour; hour < toHour; ++hour) {
        perHour << QStringLiteral("%1時 %2").arg(hour).arg(commandsInHour[std::size_t(hour)]);
        busiest = std::max(busiest, commandsInHour[std::size_t(hour)]);
        total += commandsInHour[std::size_t(hour)];
    }
    qInfo().noquote() << QStringLiteral("P per hour (one per cycle would be 4800): %1; total %2 in %3 h; "
                                        "worst pointing error by day %4 deg over %5 polls")
                             .arg(perHour.join(QStringLiteral(", ")))
                             .arg(total)
                             .arg(toHour - fromHour)
                             .arg(worstDayError, 0, 'f', 2)
                             .arg(dayPolls);
    // A tenth of one per cycle even where the sun's azimuth turns fastest.
    QVERIFY2(busiest <= 480, qPrintable(perHour.join(QStringLiteral(", "))));
    QVERIFY2(worstDayError < 1.0, qPrintable(QString::number(worstDayError)));
}

QTEST_GUILESS_MAIN(TestRotatorCommands)
#include "tst_rotatorcommands.moc"
