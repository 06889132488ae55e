// The settle-then-read loop under the measurements on the sun, against a
// scripted rotctld and a scripted power source: each budget of the run at its
// exact limit and after what resets it, where in a dwell its time is taken,
// a command through north answered on the other side of it; a calibration
// run with offsets already in force; and the bridge's reading of a rotator
// whose line falls silent and comes back; which readings answer a P.

#include "BridgeLine.h"
#include "companions/measure/CalibrationRun.h"
#include "companions/measure/MeasurementEngine.h"
#include "companions/measure/RotatorLender.h"
#include "companions/rotctl/bridge/Bridge.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <cmath>
#include <deque>

using namespace heliotrope::hamlib;
using namespace heliotrope::measure;
using namespace heliotrope::rotator;
using namespace heliotrope::rotctl;
using heliotrope::companions::SetPoint;

namespace {

// rotctld over a rotator that goes at once where it is told (or stays put),
// reading north as 0 however it was sent; each p answered by the next scripted
// reply first, if any.
class ScriptedRotctld : public QObject {
public:
    ScriptedRotctld()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* socket = m_server.nextPendingConnection();
            m_sockets.push_back(socket);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                while (socket->canReadLine())
                    socket->write(answer(socket->readLine().trimmed()));
            });
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    // Hangs up on every connection, as a rotctld restarted would.
    void drop()
    {
        for (const QPointer<QTcpSocket>& socket : m_sockets) {
            if (socket)
                socket->abort();
        }
    }

    RotatorPosition standing{355, 30};
    bool follows = true;
    std::deque<QByteArray> positionReplies;
    std::vector<qint64> positionAsked;  // ms since the start, each p

private:
    QByteArray answer(const QByteArray& line)
    {
        if (line.startsWith("\\dump_state"))
            return "0\n1\n0.000000\n360.000000\n0.000000\n90.000000\n";
        if (line.startsWith("\\dump_caps"))
            return "Caps dump for model:\t1\nCan Park:\t\tY\nRPRT 0\n";
        if (line.startsWith("P ")) {
            const QList<QByteArray> parts = line.split(' ');
            if (follows)
                standing = {std::fmod(parts.at(1).toDouble(), 360.0), parts.at(2).toDouble()};
            return "RPRT 0\n";
        }
        positionAsked.push_back(m_clock.elapsed());
        if (!positionReplies.empty()) {
            const QByteArray reply = positionReplies.front();
            positionReplies.pop_front();
            return reply;
        }
        return QByteArray::number(standing.azimuth, 'f', 6) + '\n' + QByteArray::number(standing.elevation, 'f', 6) + '\n';
    }

    QTcpServer m_server;
    std::vector<QPointer<QTcpSocket>> m_sockets;
    QElapsedTimer m_clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
};

class Lender : public RotatorLender {
public:
    explicit Lender(quint16 port)
        : m_client(QStringLiteral("127.0.0.1"), port)
    {
        m_client.start();
    }
    RotctldClient& rotctld() override { return m_client; }
    const RotatorFrame& frame() const override { return m_frame; }
    const RotatorProfile& rotatorProfile() const override { return m_step; }
    void lendRotator() override { }
    void takeRotatorBack() override { }
    RotatorFrame m_frame;

private:
    RotctldClient m_client;
    RotatorProfile m_step;
};

// Readings (or failures, as nothing) in turn, 20 ms after each request; the
// clock stands at each reading's own instant as it arrives.
class ScriptedPower : public heliotrope::power::PowerSource {
public:
    std::deque<std::optional<double>> script;
    std::function<double()> model;  // once the script is out, when given
    double clock = 1000;
    double clockStep = 0;  // seconds a reading; 0: unevenly
    std::vector<double> readingTimes;
    std::vector<double> readings;

    void requestReading() override
    {
        if (m_pending)
            return;
        m_pending = true;
        QTimer::singleShot(20, this, [this] {
            m_pending = false;
            const std::optional<double> next = script.empty() ? std::optional<double>(model ? model() : -30) : script.front();
            if (!script.empty())
                script.pop_front();
            // Unevenly spaced instants, so that the middle of the readings
            // is neither their mean nor any one of them.
            clock += clockStep > 0 ? clockStep : 1.0 + static_cast<double>(readings.size() * readings.size());
            if (!next) {
                emit failed(QStringLiteral("電力が読めません / no power reading"));
                return;
            }
            readingTimes.push_back(clock);
            readings.push_back(*next);
            emit readingArrived(*next);
        });
    }
    bool readingPending() const override { return m_pending; }
    QString description() const override { return QStringLiteral("scripted"); }
    double resolution() const override { return 0; }

private:
    bool m_pending = false;
};

enum class Outcome { Measured,
                     Skipped,
                     Stopped };

struct Harness {
    explicit Harness(const EngineSettings& settings)
        : lender(rotctld.port())
        , engine(lender, power, settings, [this] { return power.clock; })
    {
        QObject::connect(&engine, &MeasurementEngine::measured, [this](const Dwell& d) { dwells.push_back(d), outcomes.push_back(Outcome::Measured); });
        QObject::connect(&engine, &MeasurementEngine::skipped, [this] { outcomes.push_back(Outcome::Skipped); });
        QObject::connect(&engine, &MeasurementEngine::stopped, [this] { outcomes.push_back(Outcome::Stopped); });
        QObject::connect(&engine, &MeasurementEngine::notice, [this] { ++notices; });
        QObject::connect(&engine, &MeasurementEngine::ready, [this] { ready = true; });
        engine.start();
    }
    // One point; what became of it.
    std::optional<Outcome> measure(const SetPoint& sky)
    {
        const size_t before = outcomes.size();
        engine.measure([sky](double) { return sky; });
        if (!QTest::qWaitFor([&] { return outcomes.size() > before; }, 3000))
            return std::nullopt;
        return outcomes.back();
    }

    ScriptedRotctld rotctld;
    ScriptedPower power;
    Lender lender;
    MeasurementEngine engine;
    bool ready = false;
    int notices = 0;
    std::vector<Outcome> outcomes;
    std::vector<Dwell> dwells;
};

}  // namespace

Q_DECLARE_METATYPE(Outcome)

class TestMeasurementEngine : public QObject {
    Q_OBJECT

private slots:
    void budgetsEndTheRunAtTheirExactLimitAndResetOnSuccess_data();
    void budgetsEndTheRunAtTheirExactLimitAndResetOnSuccess();
    void aDwellIsDatedAtTheMiddleOfItsReadings();
    void aCommandThroughNorthArrivesReadOnTheOtherSide();
    void aCalibrationWithOffsetsInForceFindsTheWholeOffsets_data();
    void aCalibrationWithOffsetsInForceFindsTheWholeOffsets();
    void aSilentLineSlowsTheReadingAndWhatItChangedIsPutBack();
    void aLostLinkIsSaidAgainOnlyOnceTheRotatorWasReadAgain();
    void aReadingAnswersAPointingOnlyWhenAskedAfterIt();
};

void TestMeasurementEngine::budgetsEndTheRunAtTheirExactLimitAndResetOnSuccess_data()
{
    // Per point: whether the rotator goes there, the power readings (nothing:
    // a failure), the position readings refused before it answers, and what
    // becomes of the point. Two failures in a row are borne; a success clears
    // them; the third in a row ends the run.
    QTest::addColumn<QList<bool>>("goes");
    QTest::addColumn<QList<int>>("powerFailures");
    QTest::addColumn<QList<int>>("refusedReadings");
    QTest::addColumn<QList<Outcome>>("outcomes");
    using O = Outcome;
    QTest::newRow("points not reached") << QList<bool>{false, false, true, false, false, false} << QList<int>(6, 0)
                                        << QList<int>(6, 0)
                                        << QList<O>{O::Skipped, O::Skipped, O::Measured, O::Skipped, O::Skipped, O::Stopped};
    QTest::newRow("power readings failed") << QList<bool>(3, true) << QList<int>{2, 2, 3} << QList<int>(3, 0)
                                           << QList<O>{O::Measured, O::Measured, O::Stopped};
    QTest::newRow("positions refused") << QList<bool>(3, true) << QList<int>(3, 0) << QList<int>{2, 2, 3}
                                       << QList<O>{O::Measured, O::Measured, O::Stopped};
}

void TestMeasurementEngine::budgetsEndTheRunAtTheirExactLimitAndResetOnSuccess()
{
    QFETCH(QList<bool>, goes);
    QFETCH(QList<int>, powerFailures);
    QFETCH(QList<int>, refusedReadings);
    QFETCH(QList<Outcome>, outcomes);
    // One reading a point; a point not reached at the first reading that
    // could have shown it is skipped.
    Harness run(EngineSettings{0, 0.05, 0});
    QTRY_VERIFY_WITH_TIMEOUT(run.ready, 3000);
    int failures = 0;
    for (int i = 0; i < goes.size(); ++i) {
        run.rotctld.follows = goes.at(i);
        for (int k = 0; k < powerFailures.at(i); ++k)
            run.power.script.push_back(std::nullopt);
        run.power.script.push_back(-30.0 + i);
        failures += std::min(powerFailures.at(i), MeasurementEngine::kPowerFailuresToGiveUp);
        for (int k = 0; k < refusedReadings.at(i); ++k)
            run.rotctld.positionReplies.push_back("RPRT -5\n");
        const std::optional<Outcome> outcome = run.measure(SetPoint{100.0 + 10 * i, 20.0 + 5 * i});
        QVERIFY2(outcome == outcomes.at(i), qPrintable(QStringLiteral("point %1").arg(i + 1)));
    }
    // Each failed reading was said in the source's own words, the one that
    // ended the run too.
    QCOMPARE(run.notices, failures);
}

void TestMeasurementEngine::aDwellIsDatedAtTheMiddleOfItsReadings()
{
    Harness run(EngineSettings{0.3, 0.05, 1});
    QTRY_VERIFY_WITH_TIMEOUT(run.ready, 3000);
    run.power.script = {-30.0, -20.0, -30.0, -20.0, -26.0, -30.0, -20.0, -30.0, -20.0, -26.0, -30.0};
    QVERIFY(run.measure(SetPoint{120, 40}) == Outcome::Measured);
    const Dwell& dwell = run.dwells.back();
    const std::vector<double>& times = run.power.readingTimes;
    QVERIFY2(dwell.count >= 3 && dwell.count == int(times.size()), qPrintable(QString::number(dwell.count)));
    QCOMPARE(dwell.utc, (times.front() + times.back()) / 2);
    // The power averaged as a detector adds it, the spread of the readings in dB.
    double linear = 0;
    double sum = 0;
    for (const double r : run.power.readings) {
        linear += std::pow(10.0, r / 10.0);
        sum += r;
    }
    double squares = 0;
    for (const double r : run.power.readings)
        squares += (r - sum / dwell.count) * (r - sum / dwell.count);
    QVERIFY(std::abs(dwell.power - 10.0 * std::log10(linear / dwell.count)) < 1e-9);
    QVERIFY(std::abs(dwell.spread - std::sqrt(squares / (dwell.count - 1))) < 1e-9);
    QCOMPARE(dwell.reading.azimuth, 120.0);
}

void TestMeasurementEngine::aCommandThroughNorthArrivesReadOnTheOtherSide()
{
    // From 355° the way to north is 360°, which the rotator reads as 0°.
    Harness run(EngineSettings{0, 0.05, 1});
    QTRY_VERIFY_WITH_TIMEOUT(run.ready, 3000);
    QVERIFY(run.measure(SetPoint{0, 30}) == Outcome::Measured);
    QCOMPARE(run.rotctld.standing.azimuth, 0.0);
    QVERIFY2(std::abs(std::remainder(run.dwells.back().position.azimuth, 360.0)) < 1e-9,
             qPrintable(QString::number(run.dwells.back().position.azimuth)));
}

void TestMeasurementEngine::aCalibrationWithOffsetsInForceFindsTheWholeOffsets_data()
{
    QTest::addColumn<CalibrationPattern>("pattern");
    QTest::newRow("cross") << CalibrationPattern::Cross;
    QTest::newRow("five points") << CalibrationPattern::FivePoint;
}

void TestMeasurementEngine::aCalibrationWithOffsetsInForceFindsTheWholeOffsets()
{
    // The rotator reads 0.8° more azimuth and 0.5° less elevation than the
    // dish points; a first calibration put 0.5° and −0.3° in force. The
    // second finds the whole offsets, not what is left of them.
    QFETCH(CalibrationPattern, pattern);
    constexpr double kAzimuthOffset = 0.8;
    constexpr double kElevationOffset = -0.5;
    CalibrationOptions options;
    options.pattern = pattern;
    options.beamwidth = 3;
    options.site = {35.64, 139.3, 0};
    ScriptedRotctld rotctld;
    ScriptedPower power;
    power.clock = 1790996400;  // 2026-10-03 12:00 JST, the sun at 50°
    power.clockStep = 0.5;
    power.model = [&] {
        const auto sun = heliotrope::sky::trueSunTopocentric(power.clock, options.site, options.refraction, options.atmosphere);
        const double off = heliotrope::sky::skySeparation(rotctld.standing.azimuth - kAzimuthOffset,
                                                          rotctld.standing.elevation - kElevationOffset, sun.azimuth, sun.elevation);
        return -30 + 10 * std::log10(1 + 9 * std::exp(-4 * std::log(2.0) * off * off / 9));
    };
    Lender lender(rotctld.port());
    lender.m_frame.azimuthOffset = 0.5;
    lender.m_frame.elevationOffset = -0.3;
    MeasurementEngine engine(lender, power, EngineSettings{0, 0.05, 1}, [&power] { return power.clock; });
    CalibrationRun run(engine, options);
    std::optional<CalibrationOutcome> outcome;
    MeasurementOutcome ended;
    bool finished = false;
    connect(&run, &CalibrationRun::finished, this, [&](const std::optional<CalibrationOutcome>& o, const MeasurementOutcome& e) {
        outcome = o, ended = e, finished = true;
    });
    run.start();
    engine.start();
    QTRY_VERIFY_WITH_TIMEOUT(finished, 5000);
    QVERIFY(outcome && outcome->ok);
    QVERIFY2(std::abs(outcome->azimuthOffset - kAzimuthOffset) < 0.01 && std::abs(outcome->elevationOffset - kElevationOffset) < 0.01,
             qPrintable(QStringLiteral("%1 %2").arg(outcome->azimuthOffset).arg(outcome->elevationOffset)));
    QVERIFY(ended.reason != OutcomeReason::SunTooLow);

    // At midnight the same run is refused, and the refusal is known as the low sun's.
    power.clock += 12 * 3600;
    engine.finish();
    MeasurementEngine nightEngine(lender, power, EngineSettings{0, 0.05, 1}, [&power] { return power.clock; });
    CalibrationRun night(nightEngine, options);
    finished = false;
    connect(&night, &CalibrationRun::finished, this, [&](const std::optional<CalibrationOutcome>& o, const MeasurementOutcome& e) {
        outcome = o, ended = e, finished = true;
    });
    night.start();
    nightEngine.start();
    QTRY_VERIFY_WITH_TIMEOUT(finished, 5000);
    QVERIFY(!outcome && ended.reason == OutcomeReason::SunTooLow && ended.kind() == MeasurementOutcome::Kind::Refused);
}

void TestMeasurementEngine::aSilentLineSlowsTheReadingAndWhatItChangedIsPutBack()
{
    // Read every 100 ms; a silent line (rotctld's RPRT -5 to p) doubles the
    // interval and is said once; the first reading again puts the interval
    // back and says so, and a second silence is said again.
    ScriptedRotctld rotctld;
    const auto line = heliotrope::rotctl::parseBridgeLine(
        {"heliotrope-rotctl", "--rotctld", QStringLiteral("127.0.0.1:%1").arg(rotctld.port()), "--port", "0", "--poll-ms", "100"});
    QVERIFY2(line.options, qPrintable(line.text));
    Bridge bridge(*line.options);
    int silences = 0;
    // A position not read is a warning, said once a spell.
    connect(&bridge, &Bridge::warning, this, [&silences](const QString& said) { silences += said.contains(QLatin1String("RPRT -5")); });
    QString problem;
    QVERIFY2(bridge.start(&problem), qPrintable(problem));
    QTRY_VERIFY_WITH_TIMEOUT(rotctld.positionAsked.size() >= 2, 3000);
    const auto gapsAfter = [&](size_t from) {
        std::vector<qint64> gaps;
        for (size_t i = from + 1; i < rotctld.positionAsked.size(); ++i)
            gaps.push_back(rotctld.positionAsked[i] - rotctld.positionAsked[i - 1]);
        return gaps;
    };
    for (int spell = 1; spell <= 2; ++spell) {
        rotctld.positionReplies = {"RPRT -5\n", "RPRT -5\n"};
        const size_t first = rotctld.positionAsked.size();
        QTRY_VERIFY_WITH_TIMEOUT(rotctld.positionAsked.size() >= first + 5, 3000);
        const std::vector<qint64> gaps = gapsAfter(first);
        // After each refusal 200, then 400; after the reading 100 again (not
        // 800: well under it however busy the machine).
        QVERIFY2(gaps.at(0) >= 190 && gaps.at(1) >= 390 && gaps.at(2) < 600 && gaps.at(3) < 600,
                 qPrintable(QStringLiteral("%1 %2 %3 %4").arg(gaps.at(0)).arg(gaps.at(1)).arg(gaps.at(2)).arg(gaps.at(3))));
        QCOMPARE(silences, spell);
    }
}

void TestMeasurementEngine::aLostLinkIsSaidAgainOnlyOnceTheRotatorWasReadAgain()
{
    ScriptedRotctld rotctld;
    RotctldClient client(QStringLiteral("127.0.0.1"), rotctld.port());
    QStringList said;
    int ready = 0;
    int read = 0;
    connect(&client, &RotctldClient::lost, this, [&said](RotctldClient::Problem, const QString& line) { said << line; });
    connect(&client, &RotctldClient::ready, this, [&ready] { ++ready; });
    connect(&client, &RotctldClient::positionRead, this, [&read] { ++read; });
    client.start();
    // Lost, said; back and read: a second loss is said again.
    for (int loss = 1; loss <= 2; ++loss) {
        QTRY_COMPARE_WITH_TIMEOUT(ready, loss, 3000);
        client.requestPosition();
        QTRY_COMPARE_WITH_TIMEOUT(read, loss, 3000);
        rotctld.drop();
        QTRY_COMPARE_WITH_TIMEOUT(said.size(), loss, 3000);
        QVERIFY(!said.last().isEmpty());
    }
    // Back but never read: the same loss again is not said again.
    QTRY_COMPARE_WITH_TIMEOUT(ready, 3, 3000);
    rotctld.drop();
    QTRY_COMPARE_WITH_TIMEOUT(said.size(), 3, 3000);
    QVERIFY2(said.last().isEmpty(), qPrintable(said.last()));
}

void TestMeasurementEngine::aReadingAnswersAPointingOnlyWhenAskedAfterIt()
{
    // The reading of a p already on its way when a P is asked for shows the
    // rotator from before that P, however many P were answered earlier.
    ScriptedRotctld rotctld;
    RotctldClient client(QStringLiteral("127.0.0.1"), rotctld.port());
    QList<bool> after;
    connect(&client, &RotctldClient::positionRead, this, [&after](const RotatorPosition&, bool afterPointing) { after << afterPointing; });
    client.start();
    QTRY_VERIFY(client.isReady());
    client.requestPointing({10, 20});
    client.requestPosition();
    QTRY_COMPARE(after.size(), 1);
    client.requestPosition();
    client.requestPointing({11, 20});
    QTRY_COMPARE(after.size(), 2);
    client.requestPosition();
    QTRY_COMPARE(after.size(), 3);
    QCOMPARE(after, (QList<bool>{true, false, true}));
}

QTEST_GUILESS_MAIN(TestMeasurementEngine)
#include "tst_measurementengine.moc"
