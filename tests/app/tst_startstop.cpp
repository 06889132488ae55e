#include "TestSupport.h"

#include "app/frmMain.h"
#include "link/ControllerLink.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

using namespace heliotrope::app;
using namespace heliotrope::link;

// Start and stop with a controller listening on loopback, the clock, and the
// way out through the confirmation.
class TestStartStop : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void startStopStartAgain();
    void firstCycleComesOneIntervalAfterTheClick();
    void stopLeavesTheDisplayAsItWas();
    void failedOpeningLeavesTheCalculationStopped_data();
    void failedOpeningLeavesTheCalculationStopped();
    void noKeepsTheWindowAndTheCalculation();
    void yesEndsWithoutAnotherMessage();
    void clockShowsJapanStandardTime();
    void keysStartOnlyFromTheButton_data();
    void keysStartOnlyFromTheButton();
    void clockTickRepaintsOnlyTheClock();

private:
    QLineEdit* box(const char* name) const { return m_window->findChild<QLineEdit*>(QLatin1String(name)); }
    QPushButton* button(const char* name) const { return m_window->findChild<QPushButton*>(QLatin1String(name)); }
    QTimer* calculationTimer() const { return m_window->findChild<QTimer*>(QStringLiteral("Timer_cal")); }
    QList<QByteArray> drain();

    FixedClock m_clock{2006, 6, 21, 12, 0, 0};
    PresetDialogs m_dialogs;
    frmMain* m_window = nullptr;
    QUdpSocket* m_controller = nullptr;
};

void TestStartStop::init()
{
    m_controller = new QUdpSocket;
    QVERIFY(m_controller->bind(QHostAddress::LocalHost, 0));
    m_dialogs = PresetDialogs();
    m_window = new frmMain(m_clock, m_dialogs);
    box("txtACTLR_Port")->setText(QString::number(m_controller->localPort()));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void TestStartStop::cleanup()
{
    delete m_window;
    delete m_controller;
}

QList<QByteArray> TestStartStop::drain()
{
    QList<QByteArray> got;
    while (m_controller->hasPendingDatagrams())
        got << m_controller->receiveDatagram().data();
    return got;
}

void TestStartStop::startStopStartAgain()
{
    ControllerLink& link = m_window->controllerLink();
    QTest::mouseClick(button("cmdStart"), Qt::LeftButton);
    QVERIFY(calculationTimer()->isActive());
    QVERIFY(link.isOpen());
    QCOMPARE(button("cmdStart")->text(), QStringLiteral("計算停止"));
    QTest::mouseClick(button("cmdStart"), Qt::LeftButton);
    QVERIFY(!calculationTimer()->isActive());
    QVERIFY(!link.isOpen());
    QCOMPARE(button("cmdStart")->text(), QStringLiteral("計算開始"));
    QTest::mouseClick(button("cmdStart"), Qt::LeftButton);
    QVERIFY(calculationTimer()->isActive());
    QVERIFY(link.isOpen());
    QTRY_VERIFY_WITH_TIMEOUT(m_controller->waitForReadyRead(50), 3000);
    QCOMPARE(drain().value(0), QByteArray("0,196.06, 77.36"));
}

void TestStartStop::firstCycleComesOneIntervalAfterTheClick()
{
    QElapsedTimer sinceClick;
    QTest::mouseClick(button("cmdStart"), Qt::LeftButton);
    sinceClick.start();
    QVERIFY(box("txtSettingAzimuth")->text().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!box("txtSettingAzimuth")->text().isEmpty(), 3000);
    const qint64 elapsed = sinceClick.elapsed();
    QVERIFY2(elapsed >= 740, qPrintable(QString::number(elapsed)));
    QTRY_VERIFY_WITH_TIMEOUT(m_controller->hasPendingDatagrams(), 3000);
    QCOMPARE(drain().size(), 1);
}

void TestStartStop::stopLeavesTheDisplayAsItWas()
{
    QTest::mouseClick(button("cmdStart"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!box("txtSettingAzimuth")->text().isEmpty(), 3000);
    const QString azimuth = box("txtSettingAzimuth")->text();
    const QString elevation = box("txtSettingElevation")->text();
    QTest::mouseClick(button("cmdStart"), Qt::LeftButton);
    m_clock.setJst(2006, 6, 21, 15, 0, 0);
    QTest::qWait(1600);
    QCOMPARE(box("txtSettingAzimuth")->text(), azimuth);
    QCOMPARE(box("txtSettingElevation")->text(), elevation);
}

void TestStartStop::failedOpeningLeavesTheCalculationStopped_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("boxNamed");
    QTest::newRow("port not a number") << "127.0.0.1"
                                       << "abc" << QStringLiteral("ポート");
    QTest::newRow("port out of range") << "127.0.0.1"
                                       << "70000" << QStringLiteral("ポート");
    QTest::newRow("port empty") << "127.0.0.1"
                                << "" << QStringLiteral("ポート");
    QTest::newRow("unresolvable host") << "no-such-controller.invalid"
                                       << "10006" << QStringLiteral("IP");
    QTest::newRow("empty host") << ""
                                << "10006" << QStringLiteral("IP");
}

void TestStartStop::failedOpeningLeavesTheCalculationStopped()
{
    QFETCH(QString, address);
    QFETCH(QString, port);
    QFETCH(QString, boxNamed);
    box("txtACTLR_IP")->setText(address);
    box("txtACTLR_Port")->setText(port);
    QTest::mouseClick(button("cmdStart"), Qt::LeftButton);
    QCOMPARE(m_dialogs.warnings.size(), 1);
    QVERIFY2(m_dialogs.warnings.first().contains(boxNamed), qPrintable(m_dialogs.warnings.first()));
    QVERIFY(!calculationTimer()->isActive());
    QVERIFY(!m_window->controllerLink().isOpen());
    QCOMPARE(button("cmdStart")->text(), QStringLiteral("計算開始"));
    QVERIFY(m_window->isVisible());
    // The box at fault is marked until a start succeeds.
    QLineEdit* faulty = boxNamed == QLatin1String("IP") ? box("txtACTLR_IP") : box("txtACTLR_Port");
    QCOMPARE(faulty->toolTip(), m_dialogs.warnings.first());
    box("txtACTLR_IP")->setText(QStringLiteral("127.0.0.1"));
    box("txtACTLR_Port")->setText(QString::number(m_controller->localPort()));
    QTest::mouseClick(button("cmdStart"), Qt::LeftButton);
    QVERIFY(calculationTimer()->isActive());
    QVERIFY(faulty->toolTip().isEmpty());
}

void TestStartStop::noKeepsTheWindowAndTheCalculation()
{
    QTest::mouseClick(button("cmdStart"), Qt::LeftButton);
    m_dialogs.nextQuitAnswer = false;
    QTest::mouseClick(button("cmdClose"), Qt::LeftButton);  // the exit button
    QVERIFY(m_window->close() == false);                    // the close box
    QCOMPARE(m_dialogs.quitQuestions, 2);
    QVERIFY(m_window->isVisible());
    QVERIFY(calculationTimer()->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(m_controller->hasPendingDatagrams(), 3000);
}

void TestStartStop::yesEndsWithoutAnotherMessage()
{
    QTest::mouseClick(button("cmdStart"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(m_controller->hasPendingDatagrams(), 3000);
    drain();
    m_dialogs.nextQuitAnswer = true;
    QTest::mouseClick(button("cmdClose"), Qt::LeftButton);
    QCOMPARE(m_dialogs.quitQuestions, 1);
    QVERIFY(!m_window->isVisible());
    QTest::qWait(1600);
    QVERIFY(drain().isEmpty());
}

void TestStartStop::clockShowsJapanStandardTime()
{
    auto* time = m_window->findChild<QLabel*>(QStringLiteral("lblTime"));
    m_clock.setJst(2026, 12, 7, 9, 5, 3);
    QTRY_COMPARE_WITH_TIMEOUT(time->text(), QStringLiteral("2026/12/07 9:05:03"), 2500);
    m_clock.setJst(2026, 12, 8, 0, 0, 0);
    QTRY_COMPARE_WITH_TIMEOUT(time->text(), QStringLiteral("2026/12/08"), 2500);
    m_clock.setJst(2026, 12, 8, 23, 59, 59);
    QTRY_COMPARE_WITH_TIMEOUT(time->text(), QStringLiteral("2026/12/08 23:59:59"), 2500);
    QCOMPARE(generalDateTimeText(solar::ClockReading{2027, 1, 1, 0, 0, 1}), QStringLiteral("2027/01/01 0:00:01"));

    // A second is shown until it is over: at its half and at its last millisecond.
    struct MillisecondClock final : Clock {
        qint64 ms = 0;
        std::chrono::system_clock::time_point now() const override
        {
            return std::chrono::system_clock::time_point(std::chrono::milliseconds(ms));
        }
    } clock;
    for (const qint64 ms : {1150858800500LL, 1150858800999LL}) {
        clock.ms = ms;
        const solar::ClockReading jst = clock.jstNow();
        QCOMPARE(QList<int>({jst.hour, jst.minute, jst.second}), QList<int>({12, 0, 0}));
    }
}

void TestStartStop::keysStartOnlyFromTheButton_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("Enter") << int(Qt::Key_Return) << int(Qt::NoModifier);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
    QTest::newRow("space") << int(Qt::Key_Space) << int(Qt::NoModifier);
}

void TestStartStop::keysStartOnlyFromTheButton()
{
    // A key that finishes typing in a box presses no button, neither start
    // nor exit; Space on the focused start button is a click.
    QFETCH(int, key);
    QFETCH(int, modifiers);
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    for (const char* name : {"txtObserverLatitude", "txtACTLR_Port", "txtSettingAzimuth"}) {
        box(name)->setFocus();
        QTest::keyClick(box(name), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QVERIFY2(!calculationTimer()->isActive(), name);
    }
    QCOMPARE(m_dialogs.quitQuestions, 0);
    if (key == Qt::Key_Space) {
        button("cmdStart")->setFocus();
        QTest::keyClick(button("cmdStart"), Qt::Key_Space);
        QVERIFY(calculationTimer()->isActive());
    }
}

// Counts the paint events of the widgets it watches.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// The clock's box overlaps the frame and the labels beside it; the tick every
// second, with the calculation stopped the only work there is, must not
// redraw them.
void TestStartStop::clockTickRepaintsOnlyTheClock()
{
    PaintCounter clock;
    PaintCounter neighbours;
    m_window->findChild<QLabel*>(QStringLiteral("lblTime"))->installEventFilter(&clock);
    for (const char* name : {"Frame1", "Label9", "Label10"})
        m_window->findChild<QWidget*>(QLatin1String(name))->installEventFilter(&neighbours);
    m_clock.setJst(2026, 12, 7, 9, 5, 3);
    QTRY_VERIFY_WITH_TIMEOUT(clock.paints >= 1, 2500);
    m_clock.setJst(2026, 12, 7, 23, 59, 59);
    const int before = clock.paints;
    QTRY_VERIFY_WITH_TIMEOUT(clock.paints > before, 2500);
    QCOMPARE(neighbours.paints, 0);
}

QTEST_MAIN(TestStartStop)
#include "tst_startstop.moc"
