#include "TestSupport.h"

#include "app/frmMain.h"
#include "link/ControllerLink.h"

#include <QLineEdit>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QTest>
#include <QUdpSocket>

using namespace heliotrope::app;
using namespace heliotrope::link;

// The controller's reports as the window shows them, and what the window
// does when the controller cannot be sent to, all over real loopback sockets.
class TestControllerReports : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void reportsFillTheAntennaBoxes_data();
    void reportsFillTheAntennaBoxes();
    void emptyDatagramContinuesFromTheRemainder();
    void oversizedReportsAreDroppedQuietly();
    void nightMessageOnTheWire();
    void failedSendIsShownInPlaceAndClears();

private:
    void report(const QByteArray& bytes);
    QLineEdit* box(const char* name) const { return m_window->findChild<QLineEdit*>(QLatin1String(name)); }
    void start() { m_window->findChild<QPushButton*>(QStringLiteral("cmdStart"))->click(); }

    FixedClock m_clock{2006, 6, 21, 12, 0, 0};
    PresetDialogs m_dialogs;
    frmMain* m_window = nullptr;
    QUdpSocket* m_controller = nullptr;
    int m_reportsSeen = 0;
};

void TestControllerReports::init()
{
    m_controller = new QUdpSocket;
    QVERIFY(m_controller->bind(QHostAddress::LocalHost, 0));
    m_window = new frmMain(m_clock, m_dialogs);
    box("txtACTLR_Port")->setText(QString::number(m_controller->localPort()));
    m_reportsSeen = 0;
    connect(&m_window->controllerLink(), &ControllerLink::datagramArrived, this, [this] { ++m_reportsSeen; });
    start();
    QVERIFY(m_window->controllerLink().isOpen());
}

void TestControllerReports::cleanup()
{
    delete m_window;
    delete m_controller;
}

// Sends one report to the window's socket and waits until it has been handled.
void TestControllerReports::report(const QByteArray& bytes)
{
    const int before = m_reportsSeen;
    QCOMPARE(m_controller->writeDatagram(bytes, QHostAddress::LocalHost, m_window->controllerLink().localPort()),
             qint64(bytes.size()));
    QTRY_VERIFY_WITH_TIMEOUT(m_reportsSeen > before, 3000);
}

void TestControllerReports::reportsFillTheAntennaBoxes_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("azimuth");
    QTest::addColumn<QString>("elevation");
    QTest::newRow("three fields") << QByteArray("1,123.45,45.67") << "123.45"
                                  << "45.67";
    QTest::newRow("two fields") << QByteArray("OK,123.4") << "123.4"
                                << "";
    QTest::newRow("no comma") << QByteArray("123.45") << ""
                              << "";
    QTest::newRow("line end kept") << QByteArray("1,10.5,20.5\r\n") << "10.5"
                                   << "20.5\r\n";
    QTest::newRow("leading blank kept") << QByteArray("1, 12.5,3") << " 12.5"
                                        << "3";
    QTest::newRow("bytes past ASCII") << QByteArray("1,\xff\xfe,\x80") << QStringLiteral("\u00ff\u00fe") << QStringLiteral("\u0080");
}

void TestControllerReports::reportsFillTheAntennaBoxes()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QString, azimuth);
    QFETCH(QString, elevation);
    box("txtAntennaAzimuth")->setText(QStringLiteral("old"));
    box("txtAntennaElevation")->setText(QStringLiteral("old"));
    report(datagram);
    QCOMPARE(box("txtAntennaAzimuth")->text(), azimuth);
    QCOMPARE(box("txtAntennaElevation")->text(), elevation);
}

void TestControllerReports::emptyDatagramContinuesFromTheRemainder()
{
    report("a,b,c,d,e,f,g");
    QCOMPARE(box("txtAntennaAzimuth")->text(), QStringLiteral("b"));
    report(QByteArray());
    QCOMPARE(box("txtAntennaAzimuth")->text(), QStringLiteral("g"));
    QCOMPARE(box("txtAntennaElevation")->text(), QString());
    report("a,b,c,d,e,f");
    report(QByteArray());
    QCOMPARE(box("txtAntennaAzimuth")->text(), QString());
    QCOMPARE(box("txtAntennaElevation")->text(), QString());
}

void TestControllerReports::oversizedReportsAreDroppedQuietly()
{
    report("1,11.0,22.0");
    report(QByteArray(65507, 'x'));  // the largest UDP datagram, one field too long to split
    QCOMPARE(box("txtAntennaAzimuth")->text(), QStringLiteral("11.0"));
    report("1," + QByteArray(32766, '9') + ",5");
    QCOMPARE(box("txtAntennaAzimuth")->text(), QStringLiteral("11.0"));
    // The link stays open and the next good report shows.
    QVERIFY(m_window->controllerLink().isOpen());
    report("1,33.0,44.0");
    QCOMPARE(box("txtAntennaAzimuth")->text(), QStringLiteral("33.0"));
    QCOMPARE(box("txtAntennaElevation")->text(), QStringLiteral("44.0"));
}

void TestControllerReports::nightMessageOnTheWire()
{
    m_clock.setJst(2006, 6, 21, 22, 0, 0);
    box("txtObserverLatitude")->setText(QStringLiteral("35.0"));
    box("txtObserverLongtitude")->setText(QStringLiteral("135.0"));
    QTRY_VERIFY_WITH_TIMEOUT(m_controller->hasPendingDatagrams(), 3000);
    const QByteArray got = m_controller->receiveDatagram().data();
    QVERIFY2(got.startsWith("0,0") && got.endsWith(",.000") && got.size() == 13, got.constData());
    QCOMPARE(QString::fromLatin1(got.mid(2, 6)), box("txtSettingAzimuth")->text());
}

void TestControllerReports::failedSendIsShownInPlaceAndClears()
{
    auto* port = box("txtACTLR_Port");
    m_window->findChild<QPushButton*>(QStringLiteral("cmdStart"))->click();  // stop
    port->setText(QStringLiteral("0"));                                      // a port no datagram can be sent to
    start();
    QTRY_VERIFY_WITH_TIMEOUT(!port->toolTip().isEmpty(), 3000);
    QVERIFY(port->toolTip().contains(QStringLiteral("送信できません")));
    QVERIFY(m_dialogs.warnings.isEmpty());  // no dialog every 750 ms
    QVERIFY(m_window->findChild<QObject*>(QStringLiteral("Timer_cal"))->property("active").toBool());
    // Stop, give the right port, start: the next good send clears the mark.
    m_window->findChild<QPushButton*>(QStringLiteral("cmdStart"))->click();
    port->setText(QString::number(m_controller->localPort()));
    start();
    QTRY_VERIFY_WITH_TIMEOUT(m_controller->hasPendingDatagrams(), 3000);
    QTRY_VERIFY(port->toolTip().isEmpty());
}

QTEST_MAIN(TestControllerReports)
#include "tst_controllerreports.moc"
