// The simulated serial controllers driven by the real rotctld through
// Hamlib's own backends (GS-232A/B, EasyComm II, Rot2Prog): a set-point ends
// where the controller's steps and dead band put it, after the time its rates
// take, and a silent line gives rotctld's errors and then recovers.

#include "SerialRotator.h"

#include <QTest>

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
    // The backend's own delays and polling, and a loaded machine's: longest
    // for Rot2Prog at 600 baud, where Hamlib waits out each frame's 0.3 s on
    // the line and asks PH and PV before each set-point.
    QTest::addColumn<double>("lateBy");

    // From north on the horizon at 60°/s and 20°/s, stopping 0.4° short: the
    // reading shows where the stop rounds to, half a step before the stop.
    const QStringList fast{QStringLiteral("--az-rate"), QStringLiteral("60"), QStringLiteral("--el-rate"), QStringLiteral("20")};
    QTest::newRow("GS-232B whole degrees") << "gs232b" << fast << QByteArray("P 166.66 31.53") << 167.0 << 32.0 << 2.775 << 1.575 << 0.4;
    QTest::newRow("GS-232A whole degrees") << "gs232a" << fast << QByteArray("P 166.66 31.53") << 167.0 << 32.0 << 2.775 << 1.575 << 0.4;
    QTest::newRow("EasyComm II tenths") << "easycomm2" << fast << QByteArray("P 166.66 31.53") << 166.3 << 31.1 << 2.771 << 1.553 << 0.4;
    // Hamlib asks PH and PV, then truncates to them: 166.5 and 31.5.
    QTest::newRow("Rot2Prog half degrees") << "rot2prog" << fast << QByteArray("P 166.66 31.53") << 166.0 << 31.0 << 2.763 << 1.538 << 0.7;
    QTest::newRow("Rot2Prog whole degrees") << "rot2prog" << fast + QStringList{QStringLiteral("--resolution"), QStringLiteral("1")}
                                            << QByteArray("P 166.66 31.53") << 166.0 << 31.0 << 2.758 << 1.505 << 0.7;
    // A G-5500's rates when none are given: 6°/s and 2.7°/s.
    QTest::newRow("EasyComm II at G-5500 rates") << "easycomm2" << QStringList() << QByteArray("P 12 5.4") << 11.6 << 5.0 << 1.925 << 1.833 << 0.4;
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
    QFETCH(double, lateBy);
    SerialRotator rotator;
    QVERIFY(rotator.start(protocol, options));
    RotctldSession rotctld;
    QVERIFY(rotctld.connectTo(rotator.port()));

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(rotctld.ask(command), QByteArray("RPRT 0\n"));
    double azimuthAt = -1;
    double elevationAt = -1;
    const double seconds = std::max(azimuthSeconds, elevationSeconds) + lateBy + 1;
    while (static_cast<double>(clock.elapsed()) < seconds * 1000) {
        // The controller reads where the rotator stands as the query
        // arrives, at the start of the backend's exchange.
        const double now = static_cast<double>(clock.elapsed()) / 1000.0;
        const Reading reading = parsed(rotctld.ask("p"));
        if (azimuthAt < 0 && reading.azimuth == azimuth)
            azimuthAt = now;
        if (elevationAt < 0 && reading.elevation == elevation)
            elevationAt = now;
    }
    const Reading settled = parsed(rotctld.ask("p"));
    QCOMPARE(settled.azimuth, azimuth);
    QCOMPARE(settled.elevation, elevation);
    QVERIFY2(azimuthAt >= azimuthSeconds - 0.05 && azimuthAt <= azimuthSeconds + lateBy,
             qPrintable(QStringLiteral("azimuth reached in %1 s, expected %2 s").arg(azimuthAt).arg(azimuthSeconds)));
    QVERIFY2(elevationAt >= elevationSeconds - 0.05 && elevationAt <= elevationSeconds + lateBy,
             qPrintable(QStringLiteral("elevation reached in %1 s, expected %2 s").arg(elevationAt).arg(elevationSeconds)));
}

void TestSerialRotators::silentLineGivesErrorsThenRecovers_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QByteArray>("silentSetPoint");  // what rotctld answers a P on the silent line
    // GS-232 and EasyComm II set-points are written and not answered, so
    // rotctld cannot tell they were lost; Rot2Prog asks PH and PV first.
    QTest::newRow("GS-232B") << "gs232b" << QByteArray("RPRT 0\n");
    QTest::newRow("GS-232A") << "gs232a" << QByteArray("RPRT 0\n");
    QTest::newRow("EasyComm II") << "easycomm2" << QByteArray("RPRT 0\n");
    QTest::newRow("Rot2Prog") << "rot2prog" << QByteArray("RPRT -5\n");
}

void TestSerialRotators::silentLineGivesErrorsThenRecovers()
{
    QFETCH(QString, protocol);
    QFETCH(QByteArray, silentSetPoint);
    SerialRotator rotator;
    QVERIFY(rotator.start(protocol));
    RotctldSession rotctld;
    QVERIFY(rotctld.connectTo(rotator.port()));
    QCOMPARE(parsed(rotctld.ask("p")).azimuth, 0.0);

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
