// The simulated serial controllers driven by the real rotctld through
// Hamlib's own backends (GS-232A/B, EasyComm II, Rot2Prog): a set-point ends
// where the controller's steps and dead band put it, after the time its rates
// take (on the simulator's faster clock, TestTimeScale), and a silent line
// gives rotctld's errors and then recovers.

#include "SerialRotator.h"
#include "TestTimeScale.h"

#include <QTest>

#include <algorithm>
#include <utility>

class TestSerialRotators : public QObject {
    Q_OBJECT

private slots:
    void init();
    void setPointEndsWhereTheControllerPutsIt_data();
    void setPointEndsWhereTheControllerPutsIt();
    void silentLineGivesErrorsThenRecovers_data();
    void silentLineGivesErrorsThenRecovers();
};

namespace {

constexpr double kTimeScale = 20;

struct Reading {
    double azimuth = -1;
    double elevation = -1;
};

Reading parsed(const QByteArray& answer)
{
    const QList<QByteArray> lines = answer.trimmed().split('\n');
    if (lines.size() != 2)
        return {};
    return {lines.at(0).toDouble(), lines.at(1).toDouble()};
}

}  // namespace

void TestSerialRotators::init()
{
    if (RotctldProcess::program().isEmpty())
        QSKIP("rotctld is not installed (Debian: libhamlib-utils)");
}

void TestSerialRotators::setPointEndsWhereTheControllerPutsIt_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<double>("azimuth");  // the reading it stops on
    QTest::addColumn<double>("elevation");
    QTest::addColumn<double>("azimuthSeconds");  // until that reading first shows
    QTest::addColumn<double>("elevationSeconds");

    // From north on the horizon at 60°/s and 20°/s, stopping 0.4° short: the
    // reading shows where the stop rounds to, half a step before the stop.
    const QStringList fast{QStringLiteral("--az-rate"), QStringLiteral("60"), QStringLiteral("--el-rate"), QStringLiteral("20")};
    QTest::newRow("GS-232B whole degrees") << "gs232b" << fast << QByteArray("P 166.66 31.53") << 167.0 << 32.0 << 2.775 << 1.575;
    QTest::newRow("GS-232A whole degrees") << "gs232a" << fast << QByteArray("P 166.66 31.53") << 167.0 << 32.0 << 2.775 << 1.575;
    QTest::newRow("EasyComm II tenths") << "easycomm2" << fast << QByteArray("P 166.66 31.53") << 166.3 << 31.1 << 2.771 << 1.553;
    // Hamlib asks PH and PV, then truncates to them: 166.5 and 31.5.
    QTest::newRow("Rot2Prog half degrees") << "rot2prog" << fast << QByteArray("P 166.66 31.53") << 166.0 << 31.0 << 2.763 << 1.538;
    QTest::newRow("Rot2Prog whole degrees") << "rot2prog" << fast + QStringList{QStringLiteral("--resolution"), QStringLiteral("1")}
                                            << QByteArray("P 166.66 31.53") << 166.0 << 31.0 << 2.758 << 1.505;
    // A G-5500's rates when none are given: 6°/s and 2.7°/s.
    QTest::newRow("EasyComm II at G-5500 rates") << "easycomm2" << QStringList() << QByteArray("P 12 5.4") << 11.6 << 5.0 << 1.925 << 1.833;
}

void TestSerialRotators::setPointEndsWhereTheControllerPutsIt()
{
    QFETCH(QString, protocol);
    QFETCH(QStringList, options);
    QFETCH(QByteArray, command);
    QFETCH(double, azimuth);
    QFETCH(double, elevation);
    QFETCH(double, azimuthSeconds);
    QFETCH(double, elevationSeconds);
    const TestTimeScale time(kTimeScale);
    SerialRotator rotator;
    QVERIFY(rotator.start(protocol, options, time.rate()));
    RotctldSession rotctld;
    QVERIFY(rotctld.connectTo(rotator.port()));

    // Seconds of the simulator's time since the P went.
    QElapsedTimer clock;
    clock.start();
    const auto now = [&clock, &time] { return static_cast<double>(clock.nsecsElapsed()) / 1e9 * time.rate(); };
    QCOMPARE(rotctld.ask(command), QByteArray("RPRT 0\n"));
    // The rotator starts when the controller reads the set-point: before it
    // reads the first query, which it reads between the asking and the
    // answer (rotctld answers the P itself once written, whenever the
    // controller gets to it). So the moment each value first shows lies
    // after the last query that did not see it, less the first query's
    // answer, and before the answer that first did: bounds that hold at any
    // pace of the machine, however late each program gets its turn.
    double firstAnswered = -1;
    struct Axis {
        double shows;
        double notYetAsked = 0;  // when the last query that did not see it was asked
        double seenBy = -1;      // when the first answer that saw it came
    } az{azimuth}, el{elevation};
    while (now() < std::max(azimuthSeconds, elevationSeconds) + 1.0 || az.seenBy < 0 || el.seenBy < 0) {
        QVERIFY2(now() < 60, "the rotator never showed its stop");
        const double asked = now();
        const Reading reading = parsed(rotctld.ask("p"));
        const double answered = now();
        if (firstAnswered < 0)
            firstAnswered = answered;
        for (auto [axis, read] : {std::pair{&az, reading.azimuth}, std::pair{&el, reading.elevation}}) {
            if (read == axis->shows && axis->seenBy < 0)
                axis->seenBy = answered;
            else if (read != axis->shows)
                axis->notYetAsked = asked;
        }
    }
    const Reading settled = parsed(rotctld.ask("p"));
    QCOMPARE(settled.azimuth, azimuth);
    QCOMPARE(settled.elevation, elevation);
    for (const auto& [axis, expected] : {std::pair{az, azimuthSeconds}, std::pair{el, elevationSeconds}}) {
        QVERIFY2(expected >= axis.notYetAsked - firstAnswered - 0.01 && expected <= axis.seenBy + 0.01,
                 qPrintable(QStringLiteral("%1 first shown between %2 s and %3 s, expected at %4 s")
                                .arg(axis.shows)
                                .arg(axis.notYetAsked - firstAnswered)
                                .arg(axis.seenBy)
                                .arg(expected)));
    }
}

void TestSerialRotators::silentLineGivesErrorsThenRecovers_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QByteArray>("silentSetPoint");  // what rotctld answers a P on the silent line
    QTest::addColumn<QByteArray>("partMessage");     // half a command on the line as it falls silent
    // GS-232 and EasyComm II set-points are written and not answered, so
    // rotctld cannot tell they were lost; Rot2Prog asks PH and PV first.
    QTest::newRow("GS-232B") << "gs232b" << QByteArray("RPRT 0\n") << QByteArray("W12");
    QTest::newRow("GS-232A") << "gs232a" << QByteArray("RPRT 0\n") << QByteArray("M1");
    QTest::newRow("EasyComm II") << "easycomm2" << QByteArray("RPRT 0\n") << QByteArray("AZ12");
    QTest::newRow("Rot2Prog") << "rot2prog" << QByteArray("RPRT -5\n") << QByteArray("W0360");
}

void TestSerialRotators::silentLineGivesErrorsThenRecovers()
{
    QFETCH(QString, protocol);
    QFETCH(QByteArray, silentSetPoint);
    QFETCH(QByteArray, partMessage);
    // rotctld gives up after one timeout (-C retry=0): its three retries
    // into the silence would be most of this test's time, and the timeout,
    // Hamlib's own, takes real time whatever the simulator's clock; rotctld's
    // pause after each command is shortened with it (TestTimeScale).
    const TestTimeScale time(kTimeScale);
    SerialRotator rotator;
    QVERIFY(rotator.start(protocol, {}, time.rate(), QStringLiteral("retry=0")));
    RotctldSession rotctld;
    QVERIFY(rotctld.connectTo(rotator.port()));
    QCOMPARE(parsed(rotctld.ask("p")).azimuth, 0.0);

    // The line falls silent in the middle of a command: what came of it is
    // not the start of the first command after the silence.
    QFile line(rotator.device());
    QVERIFY2(line.open(QIODevice::WriteOnly | QIODevice::Unbuffered), qPrintable(line.errorString()));
    QCOMPARE(line.write(partMessage), partMessage.size());
    QTest::qWait(100);
    rotator.toggleSilence();
    QTest::qWait(100);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(rotctld.ask("p"), QByteArray("RPRT -5\n"));  // -RIG_ETIMEOUT
    const qint64 positionMs = clock.restart();
    QCOMPARE(rotctld.ask("P 10 10"), silentSetPoint);
    qInfo("%s on a silent line: p RPRT -5 after %lld ms, P %s after %lld ms", qPrintable(protocol), positionMs,
          silentSetPoint.trimmed().constData(), clock.elapsed());

    rotator.toggleSilence();
    QTest::qWait(100);
    // The set-point sent into the silence was lost: the rotator never moved.
    const Reading back = parsed(rotctld.ask("p"));
    QCOMPARE(back.azimuth, 0.0);
    QCOMPARE(back.elevation, 0.0);
    QCOMPARE(rotctld.ask("P 10 10"), QByteArray("RPRT 0\n"));
}

QTEST_GUILESS_MAIN(TestSerialRotators)
#include "tst_serialrotators.moc"
