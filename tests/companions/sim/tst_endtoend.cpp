// The real window, standing at noon on the longest day, against the simulator
// program as an operator would start it: the antenna boxes show what the
// simulated controller reports, and the antenna comes to the set-point.

#include "tests/app/TestSupport.h"

#include "app/frmMain.h"

#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QUdpSocket>

using heliotrope::app::FixedClock;
using heliotrope::app::frmMain;

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void windowShowsTheSimulatedAntenna();
};

void TestEndToEnd::windowShowsTheSimulatedAntenna()
{
    quint16 port = 0;
    {
        QUdpSocket probe;
        QVERIFY(probe.bind(QHostAddress::LocalHost, 0));
        port = probe.localPort();
    }
    // Fast enough to arrive within the test's patience (the default 6 degrees
    // a second would take half a minute to swing round to the sun).
    QProcess simulator;
    simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    simulator.start(QStringLiteral(HELIOTROPE_SIM_PATH),
                    {QStringLiteral("--port"), QString::number(port), QStringLiteral("--az-rate"), QStringLiteral("120"),
                     QStringLiteral("--el-rate"), QStringLiteral("120"), QStringLiteral("--report-ms"),
                     QStringLiteral("200")});
    QVERIFY(simulator.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(simulator.canReadLine(), 5000);  // its "listening" line

    FixedClock clock(2006, 6, 21, 12, 0, 0);
    PresetDialogs dialogs;
    frmMain window(clock, dialogs);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const auto box = [&window](const char* name) { return window.findChild<QLineEdit*>(QLatin1String(name)); };
    box("txtACTLR_IP")->setText(QStringLiteral("127.0.0.1"));
    box("txtACTLR_Port")->setText(QString::number(port));
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("cmdStart")), Qt::LeftButton);

    // First the antenna on its way (a report shown within a couple of cycles)...
    QTRY_VERIFY_WITH_TIMEOUT(!box("txtAntennaAzimuth")->text().isEmpty(), 3000);
    bool number = false;
    box("txtAntennaAzimuth")->text().toDouble(&number);
    QVERIFY(number);
    // ...then on the set-point the window computed: 196.06 and 77.36.
    QTRY_COMPARE_WITH_TIMEOUT(box("txtAntennaAzimuth")->text(), box("txtSettingAzimuth")->text(), 6000);
    QCOMPARE(box("txtAntennaAzimuth")->text(), QStringLiteral("196.06"));
    QCOMPARE(box("txtAntennaElevation")->text(), QStringLiteral("77.36"));
    QVERIFY(dialogs.warnings.isEmpty());

    simulator.kill();
    simulator.waitForFinished(3000);
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
