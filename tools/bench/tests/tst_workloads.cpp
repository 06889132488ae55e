// The benchmarks are only worth their figures if each unit of work does the
// whole job it is named for; these check the rigs, and that their own checks
// notice when a unit falls short.

#include "app/frmMain.h"
#include "tools/bench/Workloads.h"

#include <QLineEdit>
#include <QTest>

using bench::Sky;

class TestWorkloads : public QObject {
    Q_OBJECT
private slots:
    void windowCyclesPaintAndSend_data();
    void windowCyclesPaintAndSend();
    void aCycleThatSendsNothingIsNoticed();
    void steppingClockStaysOnItsSideOfTheHorizon_data();
    void steppingClockStaysOnItsSideOfTheHorizon();
};

void TestWorkloads::windowCyclesPaintAndSend_data()
{
    QTest::addColumn<Sky>("sky");
    QTest::newRow("day") << Sky::Day;
    QTest::newRow("night") << Sky::Night;
}

void TestWorkloads::windowCyclesPaintAndSend()
{
    QFETCH(Sky, sky);
    bench::WindowWorkload work(sky);
    QVERIFY2(work.setupError().empty(), work.setupError().c_str());
    for (int i = 0; i < 3; ++i)
        work.once();
    // Three cycles: three chart repaints, three messages of the right branch.
    const std::string problem = work.check(3);
    QVERIFY2(problem.empty(), problem.c_str());

    // With the clock a second on at every reading, each tick repaints the
    // time and sends nothing.
    bench::WindowWorkload ticking(sky, std::chrono::seconds(1));
    QVERIFY2(ticking.setupError().empty(), ticking.setupError().c_str());
    ticking.clockTick();
    ticking.clockTick();
    const std::string clockProblem = ticking.checkClock(2);
    QVERIFY2(clockProblem.empty(), clockProblem.c_str());
}

void TestWorkloads::aCycleThatSendsNothingIsNoticed()
{
    bench::WindowWorkload work(Sky::Day);
    QVERIFY2(work.setupError().empty(), work.setupError().c_str());
    work.window().findChild<QLineEdit*>(QStringLiteral("txtObserverLatitude"))->setText(QStringLiteral("abc"));
    work.once();
    const std::string problem = work.check(1);
    QVERIFY2(problem.find("sent 0 datagrams") != std::string::npos, problem.c_str());
    // A miscount is noticed too: two cycles checked as one.
    work.window().findChild<QLineEdit*>(QStringLiteral("txtObserverLatitude"))->setText(QStringLiteral("35.64"));
    work.once();
    work.once();
    QVERIFY(!work.check(1).empty());
}

void TestWorkloads::steppingClockStaysOnItsSideOfTheHorizon_data()
{
    QTest::addColumn<Sky>("sky");
    QTest::newRow("day") << Sky::Day;
    QTest::newRow("night") << Sky::Night;
}

void TestWorkloads::steppingClockStaysOnItsSideOfTheHorizon()
{
    // However long a benchmark runs, every cycle is of the branch it is
    // named for: through a whole round of the clock and past its restart.
    QFETCH(Sky, sky);
    bench::CycleWorkload work(sky);
    for (int i = 0; i < 2 * 2400 + 10; ++i) {
        if (!work.once())
            QFAIL(qPrintable(QStringLiteral("cycle %1 sent nothing or ran the other branch").arg(i)));
    }
}

QTEST_MAIN(TestWorkloads)
#include "tst_workloads.moc"
