// The controller link over real UDP sockets on the loopback interface: a test
// controller socket stands on the other side, receiving pointing messages and
// sending reports, which are split as the window splits them.

#include "link/ControllerLink.h"
#include "link/ControllerReport.h"
#include "link/Module1.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QTest>
#include <QUdpSocket>

#include <algorithm>
#include <memory>

using namespace heliotrope::link;

namespace {

constexpr int kWaitMs = 3000;  // for something that must arrive
constexpr int kQuietMs = 150;  // for something that must not
constexpr qsizetype kMaxUdpIpv4Payload = 65507;

// Traffic over loopback in this run, both directions. Unanswered: sent on
// purpose where no socket reads it any more.
int g_sent = 0;
int g_received = 0;
int g_unanswered = 0;

using Problem = ControllerLink::OpenProblem;

bool loopbackIpv6Works()
{
    QUdpSocket probe;
    return probe.bind(QHostAddress::LocalHostIPv6, 0);
}

// The other end of the link.
class TestController {
public:
    explicit TestController(const QHostAddress& address = QHostAddress(QHostAddress::LocalHost), quint16 port = 0)
        : m_address(address)
    {
        m_bound = m_socket.bind(address, port, QAbstractSocket::DontShareAddress);
    }

    bool bound() const { return m_bound; }
    quint16 port() const { return m_socket.localPort(); }
    QString portText() const { return QString::number(port()); }

    bool sendTo(quint16 port, const QByteArray& datagram)
    {
        const bool ok = m_socket.writeDatagram(datagram, m_address, port) == datagram.size();
        g_sent += ok ? 1 : 0;
        return ok;
    }

    // Whatever has arrived once `count` datagrams have, or the time is up.
    QList<QNetworkDatagram> receive(int count, int timeoutMs = kWaitMs)
    {
        QList<QNetworkDatagram> got;
        QElapsedTimer clock;
        clock.start();
        while (got.size() < count && clock.elapsed() < timeoutMs) {
            while (got.size() < count && m_socket.hasPendingDatagrams()) {
                got << m_socket.receiveDatagram();
                ++g_received;
            }
            if (got.size() < count)
                QTest::qWait(2);
        }
        return got;
    }

    bool staysQuiet()
    {
        QTest::qWait(kQuietMs);
        return !m_socket.hasPendingDatagrams();
    }

private:
    QHostAddress m_address;
    QUdpSocket m_socket;
    bool m_bound = false;
};

// Stands in for the window: splits each datagram the link hands on and keeps
// what the two antenna boxes would show, or "abandoned".
class AntennaBoxes {
public:
    void watch(ControllerLink& link)
    {
        QObject::connect(&link, &ControllerLink::datagramArrived, &m_context,
                         [this](const QByteArray& datagram) { handle(datagram); });
    }

    bool waitFor(int count, int timeoutMs = kWaitMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (shown.size() < count && clock.elapsed() < timeoutMs)
            QTest::qWait(2);
        return shown.size() >= count;
    }

    QList<QByteArray> datagrams;
    QStringList shown;

private:
    void handle(const QByteArray& datagram)
    {
        ++g_received;
        const std::optional<ReportFields> fields = readControllerReport(datagram);
        datagrams << datagram;
        shown << (fields ? fields->azimuth + u'|' + fields->elevation : QStringLiteral("abandoned"));
    }

    QObject m_context;
};

bool sendCounted(ControllerLink& link, const QString& azimuth, const QString& elevation)
{
    const bool ok = link.send(azimuth, elevation);
    g_sent += ok ? 1 : 0;
    return ok;
}

QByteArray filledTo(QByteArray start, qsizetype size, char filler)
{
    start.append(size - start.size(), filler);
    return start;
}

// A port that nothing listens on right now.
quint16 unusedPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0, QAbstractSocket::DontShareAddress);
    return probe.localPort();
}

}  // namespace

class TestControllerLink : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanupTestCase();

    void pointingMessagesOnTheWire_data();
    void pointingMessagesOnTheWire();
    void refusedSendsLeaveTheLinkUsable();
    void reportsAsShown_data();
    void reportsAsShown();
    void burstsArriveWholeAndInOrder();
    void badPortText_data();
    void badPortText();
    void portTextRounds();
    void unknownAddress_data();
    void unknownAddress();
    void restartTakesANewSocket();
    void closingFromTheReportHandler();
    void controllerStartingLateGetsTheNextMessage();
};

void TestControllerLink::init()
{
    // Every report sequence starts from an empty tokenizer remainder.
    QString reset = QStringLiteral("x");
    GETFIELD(reset, QStringLiteral(","));
}

void TestControllerLink::cleanupTestCase()
{
    qInfo("loopback datagrams: %d sent (%d to no reader on purpose), %d received", g_sent, g_unanswered, g_received);
    QCOMPARE(g_received, g_sent - g_unanswered);
}

void TestControllerLink::pointingMessagesOnTheWire_data()
{
    QTest::addColumn<QString>("hostText");
    QTest::addColumn<QHostAddress>("controllerAddress");

    const QHostAddress v4(QHostAddress::LocalHost);
    const QHostAddress v6(QHostAddress::LocalHostIPv6);
    QTest::newRow("IPv4") << QStringLiteral("127.0.0.1") << v4;
    QTest::newRow("localhost") << QStringLiteral("localhost") << v4;
    QTest::newRow("IPv6") << QStringLiteral("::1") << v6;
    QTest::newRow("IPv6 in brackets, blanks around") << QStringLiteral(" [::1] ") << v6;
}

void TestControllerLink::pointingMessagesOnTheWire()
{
    QFETCH(QString, hostText);
    QFETCH(QHostAddress, controllerAddress);
    if (controllerAddress.protocol() == QAbstractSocket::IPv6Protocol && !loopbackIpv6Works())
        QSKIP("no IPv6 loopback on this machine");

    TestController controller(controllerAddress);
    QVERIFY(controller.bound());
    ControllerLink link;
    const ControllerLink::OpenResult opened = link.open(hostText, controller.portText());
    QVERIFY2(opened.ok, qPrintable(QString::number(int(opened.problem))));
    QVERIFY(link.isOpen());
    QVERIFY(link.localPort() != 0);
    QVERIFY2(controller.staysQuiet(), "something was sent while opening");

    QVERIFY(sendCounted(link, QStringLiteral("108.46"), QStringLiteral(" 78.43")));  // by day
    QVERIFY(sendCounted(link, QStringLiteral("065.20"), QStringLiteral(".000")));    // by night
    const QList<QNetworkDatagram> got = controller.receive(2);
    QCOMPARE(got.size(), 2);
    QCOMPARE(got[0].data(), QByteArray("0,108.46, 78.43"));
    QCOMPARE(got[1].data(), QByteArray("0,065.20,.000"));
    QCOMPARE(got[0].senderPort(), int(link.localPort()));
    QCOMPARE(link.lastSendProblem(), ControllerLink::SendProblem::None);
}

void TestControllerLink::refusedSendsLeaveTheLinkUsable()
{
    ControllerLink link;
    QVERIFY(!link.send(QStringLiteral("108.46"), QStringLiteral(" 78.43")));
    QCOMPARE(link.lastSendProblem(), ControllerLink::SendProblem::LinkClosed);
    link.close();  // harmless when closed
    QVERIFY(!link.isOpen());
    QCOMPARE(link.localPort(), quint16{0});

    TestController controller;
    QVERIFY(link.open(QStringLiteral("127.0.0.1"), controller.portText()).ok);
    // Full-width digits have no single-byte code: refused, not garbled.
    QVERIFY(!link.send(u"１０８.46"_qs, QStringLiteral(" 78.43")));
    QCOMPARE(link.lastSendProblem(), ControllerLink::SendProblem::NotAscii);
    QVERIFY(!link.send(QStringLiteral("108.46"), u"78.43°"_qs));
    QVERIFY(controller.staysQuiet());

    QVERIFY(sendCounted(link, QStringLiteral("108.47"), QStringLiteral(" 78.44")));
    QCOMPARE(link.lastSendProblem(), ControllerLink::SendProblem::None);
    const QList<QNetworkDatagram> got = controller.receive(1);
    QCOMPARE(got.size(), 1);
    QCOMPARE(got[0].data(), QByteArray("0,108.47, 78.44"));
}

// Each row: datagrams the controller sends in order, and what the antenna boxes
// show after each ("azimuth|elevation", or "abandoned" when the report is dropped).
void TestControllerLink::reportsAsShown_data()
{
    QTest::addColumn<QList<QByteArray>>("reports");
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("three fields") << QList<QByteArray>{"1,123.45,45.67"} << QStringList{"123.45|45.67"};
    QTest::newRow("two fields") << QList<QByteArray>{"OK,123.4"} << QStringList{"123.4|"};
    QTest::newRow("no comma") << QList<QByteArray>{"123.45"} << QStringList{"|"};
    QTest::newRow("line end stays") << QList<QByteArray>{"1,123.45,45.67\r\n"} << QStringList{"123.45|45.67\r\n"};
    QTest::newRow("blank stays") << QList<QByteArray>{"1, 12.5,45"} << QStringList{" 12.5|45"};
    QTest::newRow("seven fields, then empty")
        << QList<QByteArray>{"a,b,c,d,e,f,g", ""} << QStringList{"b|c", "g|"};
    QTest::newRow("six fields, then empty") << QList<QByteArray>{"a,b,c,d,e,f", ""} << QStringList{"b|c", "|"};
    QTest::newRow("a new report drops the rest")
        << QList<QByteArray>{"a,b,c,d,e,f,g", "1,2,3", ""} << QStringList{"b|c", "2|3", "|"};
    QTest::newRow("bytes beyond ASCII read one per character")
        << QList<QByteArray>{QByteArray("\xff,\xe9\x00,\x80", 6)} << QStringList{QString::fromLatin1("\xe9\x00|\x80", 4)};

    // The largest IPv4 datagram is read whole: its second field alone is longer
    // than half of it.
    const QByteArray longestField(kMaxFieldLength, 'a');
    QTest::newRow("largest datagram, fields within the limit")
        << QList<QByteArray>{filledTo("1," + longestField + ",b,", kMaxUdpIpv4Payload, 'z')}
        << QStringList{QString::fromLatin1(longestField) + QStringLiteral("|b")};
    QTest::newRow("largest datagram, field past the limit, then a good one")
        << QList<QByteArray>{filledTo("1,", kMaxUdpIpv4Payload, 'x'), "1,2,3"} << QStringList{"abandoned", "2|3"};
    QTest::newRow("one character past the limit, then a good one")
        << QList<QByteArray>{"1," + QByteArray(kMaxFieldLength + 1, 'x') + ",3", "1,2,3"}
        << QStringList{"abandoned", "2|3"};
}

void TestControllerLink::reportsAsShown()
{
    QFETCH(QList<QByteArray>, reports);
    QFETCH(QStringList, shown);

    TestController controller;
    AntennaBoxes boxes;
    ControllerLink link;
    boxes.watch(link);
    QVERIFY(link.open(QStringLiteral("127.0.0.1"), controller.portText()).ok);

    // One at a time, so that each datagram is split before the next arrives.
    for (qsizetype i = 0; i < reports.size(); ++i) {
        QVERIFY(controller.sendTo(link.localPort(), reports[i]));
        QVERIFY2(boxes.waitFor(int(i) + 1), qPrintable(QStringLiteral("report %1 did not arrive").arg(i)));
    }
    QCOMPARE(boxes.datagrams, reports);
    QCOMPARE(boxes.shown, shown);
}

void TestControllerLink::burstsArriveWholeAndInOrder()
{
    TestController controller;
    AntennaBoxes boxes;
    ControllerLink link;
    boxes.watch(link);
    QVERIFY(link.open(QStringLiteral("127.0.0.1"), controller.portText()).ok);

    // Bursts larger than what the link takes in one pass of the event loop.
    constexpr int kBursts = 3;
    constexpr int kPerBurst = 100;
    QStringList expected;
    for (int burst = 0; burst < kBursts; ++burst) {
        for (int i = 0; i < kPerBurst; ++i) {
            const int n = burst * kPerBurst + i;
            QVERIFY(controller.sendTo(link.localPort(), QByteArray::number(n) + "," + QByteArray::number(n) + ",x"));
            expected << QString::number(n) + QStringLiteral("|x");
        }
        QVERIFY(boxes.waitFor((burst + 1) * kPerBurst));
    }
    QCOMPARE(boxes.shown, expected);
}

void TestControllerLink::badPortText_data()
{
    QTest::addColumn<QString>("portText");
    QTest::addColumn<Problem>("reason");

    QTest::newRow("letters") << QStringLiteral("abc") << Problem::PortNotANumber;
    QTest::newRow("empty") << QString() << Problem::PortNotANumber;
    QTest::newRow("above 65535") << QStringLiteral("70000") << Problem::PortOutOfRange;
    QTest::newRow("negative") << QStringLiteral("-1") << Problem::PortOutOfRange;
    QTest::newRow("past 32 bits") << QStringLiteral("4294977302") << Problem::PortOutOfRange;
}

void TestControllerLink::badPortText()
{
    QFETCH(QString, portText);
    QFETCH(Problem, reason);

    TestController controller;
    AntennaBoxes boxes;
    ControllerLink link;
    boxes.watch(link);
    QVERIFY(link.open(QStringLiteral("127.0.0.1"), controller.portText()).ok);
    const quint16 oldPort = link.localPort();

    const ControllerLink::OpenResult opened = link.open(QStringLiteral("127.0.0.1"), portText);
    QVERIFY(!opened.ok);
    QCOMPARE(opened.problem, reason);
    QVERIFY(!link.isOpen());
    QCOMPARE(link.localPort(), quint16{0});
    QVERIFY(!link.send(QStringLiteral("108.46"), QStringLiteral(" 78.43")));

    // The socket of the earlier start is gone too.
    QVERIFY(controller.sendTo(oldPort, "1,2,3"));
    ++g_unanswered;
    QTest::qWait(kQuietMs);
    QVERIFY(boxes.shown.isEmpty());
}

void TestControllerLink::portTextRounds()
{
    // A controller on an even port P, so that both halves around it round to it.
    std::unique_ptr<TestController> controller;
    for (int attempt = 0; attempt < 20 && !(controller && controller->port() % 2 == 0); ++attempt)
        controller = std::make_unique<TestController>();
    QVERIFY(controller->port() % 2 == 0);
    const int p = controller->port();

    const QStringList texts{
        QStringLiteral(" %1 ").arg(p),         // blanks around
        QStringLiteral("%1.5").arg(p),         // half, down to the even P
        QStringLiteral("%1.5").arg(p - 1),     // half, up to the even P
        QStringLiteral("%1.4999").arg(p),      // below half
        QStringLiteral("%1.5001").arg(p - 1),  // above half
    };
    ControllerLink link;
    for (const QString& text : texts) {
        const ControllerLink::OpenResult opened = link.open(QStringLiteral("127.0.0.1"), text);
        QVERIFY2(opened.ok, qPrintable(text));
        QCOMPARE(int(link.remotePort()), p);
        QVERIFY(sendCounted(link, QStringLiteral("000.00"), QStringLiteral(" 1.00")));
        QCOMPARE(controller->receive(1).size(), 1);
    }
}

void TestControllerLink::unknownAddress_data()
{
    QTest::addColumn<QString>("hostText");

    // Reserved names that never resolve (and are answered without asking a
    // name server), and nothing at all.
    QTest::newRow("invalid name") << QStringLiteral("controller.invalid");
    QTest::newRow("invalid name, upper case, final dot") << QStringLiteral("ANTENNA.INVALID.");
    QTest::newRow("mistyped address") << QStringLiteral("127.0.0.256");
    QTest::newRow("empty") << QString();
    QTest::newRow("blank") << QStringLiteral("   ");
}

void TestControllerLink::unknownAddress()
{
    QFETCH(QString, hostText);

    TestController controller;
    ControllerLink link;
    QVERIFY(link.open(QStringLiteral("127.0.0.1"), controller.portText()).ok);

    QElapsedTimer clock;
    clock.start();
    const ControllerLink::OpenResult opened = link.open(hostText, controller.portText());
    QVERIFY(clock.elapsed() < 1000);
    QVERIFY(!opened.ok);
    QCOMPARE(opened.problem, hostText.trimmed().isEmpty() ? Problem::AddressMissing : Problem::AddressNotFound);
    QVERIFY(!link.isOpen());
    QVERIFY(!link.send(QStringLiteral("108.46"), QStringLiteral(" 78.43")));
    QVERIFY(controller.staysQuiet());
}

void TestControllerLink::restartTakesANewSocket()
{
    TestController controller;
    AntennaBoxes boxes;
    ControllerLink link;
    boxes.watch(link);

    QVERIFY(link.open(QStringLiteral("127.0.0.1"), controller.portText()).ok);
    const quint16 firstPort = link.localPort();
    QVERIFY(controller.sendTo(firstPort, "1,10,20"));
    QVERIFY(boxes.waitFor(1));

    link.close();
    link.close();
    QVERIFY(!link.isOpen());
    QVERIFY(controller.sendTo(firstPort, "1,11,21"));  // to nobody now
    ++g_unanswered;
    QTest::qWait(kQuietMs);

    QVERIFY(link.open(QStringLiteral("127.0.0.1"), controller.portText()).ok);
    // Opening twice in a row is a restart as well.
    QVERIFY(link.open(QStringLiteral("127.0.0.1"), controller.portText()).ok);
    QVERIFY(controller.sendTo(firstPort, "1,12,22"));  // the old port, unless reused
    QVERIFY(controller.sendTo(link.localPort(), "1,13,23"));
    QVERIFY(boxes.waitFor(2));
    QTest::qWait(kQuietMs);
    const bool portReused = link.localPort() == firstPort;
    g_unanswered += portReused ? 0 : 1;
    const QStringList expected = portReused ? QStringList{"10|20", "12|22", "13|23"} : QStringList{"10|20", "13|23"};
    QCOMPARE(boxes.shown, expected);

    QVERIFY(sendCounted(link, QStringLiteral("108.46"), QStringLiteral(" 78.43")));
    const QList<QNetworkDatagram> got = controller.receive(1);
    QCOMPARE(got.size(), 1);
    QCOMPARE(got[0].senderPort(), int(link.localPort()));
}

void TestControllerLink::closingFromTheReportHandler()
{
    // The closed socket must not be read again in the same pass; Qt would only
    // say so in a warning, so any warning fails this test.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    TestController controller;
    ControllerLink link;
    QVERIFY(link.open(QStringLiteral("127.0.0.1"), controller.portText()).ok);
    int handled = 0;
    connect(&link, &ControllerLink::datagramArrived, this, [&] {
        ++handled;
        ++g_received;
        link.close();
    });

    const quint16 port = link.localPort();
    for (int i = 0; i < 3; ++i)
        QVERIFY(controller.sendTo(port, "1,2,3"));
    QTRY_COMPARE_WITH_TIMEOUT(handled, 1, kWaitMs);
    QTest::qWait(kQuietMs);
    QCOMPARE(handled, 1);
    g_unanswered += 2;  // dropped with the closed socket
    QVERIFY(!link.isOpen());
    disconnect(&link, nullptr, this, nullptr);
}

// Nothing listens at the controller's port at first, so the system answers the
// first messages with "port unreachable". Once a controller binds that port it
// gets the very next message.
void TestControllerLink::controllerStartingLateGetsTheNextMessage()
{
    const quint16 port = unusedPort();
    QVERIFY(port != 0);
    AntennaBoxes boxes;
    ControllerLink link;
    boxes.watch(link);
    QVERIFY(link.open(QStringLiteral("127.0.0.1"), QString::number(port)).ok);

    // The link is not connected, so the refusals are not reported to it and
    // do not make later sends fail.
    for (int i = 0; i < 3; ++i) {
        QVERIFY2(sendCounted(link, QStringLiteral("001.00"), QStringLiteral(" 1.00")), qPrintable(QString::number(int(link.lastSendProblem()))));
        ++g_unanswered;
        QTest::qWait(20);
    }
    QVERIFY(link.isOpen());

    TestController controller(QHostAddress(QHostAddress::LocalHost), port);
    QVERIFY(controller.bound());
    QVERIFY2(sendCounted(link, QStringLiteral("002.00"), QStringLiteral(" 2.00")), qPrintable(QString::number(int(link.lastSendProblem()))));
    const QList<QNetworkDatagram> got = controller.receive(1);
    QCOMPARE(got.size(), 1);
    QCOMPARE(got[0].data(), QByteArray("0,002.00, 2.00"));
    QVERIFY(sendCounted(link, QStringLiteral("003.00"), QStringLiteral(" 3.00")));
    QCOMPARE(controller.receive(1).size(), 1);

    // And its reports come through.
    QVERIFY(controller.sendTo(link.localPort(), "1,30,40"));
    QVERIFY(boxes.waitFor(1));
    QCOMPARE(boxes.shown, QStringList{"30|40"});
}

QTEST_GUILESS_MAIN(TestControllerLink)
#include "tst_ControllerLink.moc"
