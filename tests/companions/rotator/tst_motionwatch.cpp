// Whether the rotator does what it is told, as the bridge judges it from the
// readings: said after half a minute of standing still away from the last
// command accepted, from the moment it stopped, never while it stands where it
// was told or after a stop, and taken back the moment it moves.

#include "companions/rotator/MotionWatch.h"

#include <QTest>

using heliotrope::rotator::MotionWatch;
using heliotrope::rotator::RotatorPosition;
using heliotrope::rotator::RotatorProfile;
using Change = MotionWatch::Change;

class TestMotionWatch : public QObject {
    Q_OBJECT

private slots:
    void saidFromTheMomentItStoppedAndTakenBack()
    {
        const RotatorProfile profile(0.1, 0.4);
        MotionWatch watch;
        watch.commanded({80, 45}, 0);
        // Turning for 20 s, then stuck at 50°, 30°: said 30 s after it stopped, not after the command.
        for (int second = 0; second <= 20; ++second)
            QCOMPARE(watch.reading({30.0 + second, 20.0 + second / 2.0}, second * 1000LL, profile), Change::None);
        QCOMPARE(watch.reading({50, 30}, 29000, profile), Change::None);
        QCOMPARE(watch.reading({50, 30}, 49999, profile), Change::None);
        QCOMPARE(watch.reading({50, 30}, 50000, profile), Change::NotFollowing);
        QVERIFY(watch.notFollowing() && watch.lastCommanded()->azimuth == 80 && watch.toldSinceMs() == 20000);
        // A reading that flickers by a step has not moved; two steps have.
        QCOMPARE(watch.reading({50.1, 30}, 51000, profile), Change::None);
        QCOMPARE(watch.reading({50.3, 30}, 52000, profile), Change::FollowingAgain);
        QVERIFY(!watch.notFollowing());
    }

    void neverWhereItWasToldNorAfterAStop()
    {
        const RotatorProfile profile(1.0, 0.4);
        MotionWatch watch;
        watch.commanded({120, 30}, 0);
        for (long long ms = 0; ms <= 120000; ms += 1000)
            QCOMPARE(watch.reading({120, 30}, ms, profile), Change::None);
        watch.commanded({200, 30}, 120000);
        watch.halted();
        for (long long ms = 121000; ms <= 240000; ms += 1000)
            QCOMPARE(watch.reading({125, 30}, ms, profile), Change::None);
    }
};

QTEST_APPLESS_MAIN(TestMotionWatch)
#include "tst_motionwatch.moc"
