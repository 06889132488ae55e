// Who may steer the antenna: which senders an allow-list takes, how --allow
// values are read, and the shared receiver dropping everyone else unread, on
// real loopback sockets (127.0.0.0/8 gives the test more than one sender).

#include "companions/common/PointingReceiver.h"
#include "companions/common/SenderAllowList.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

#include <memory>
#include <vector>

using namespace heliotrope::companions;

class TestSenderAllowList : public QObject {
    Q_OBJECT

private slots:
    void sendersAreTakenOnlyWhenAllowed_data();
    void sendersAreTakenOnlyWhenAllowed();
    void unusableValuesAreRefused_data();
    void unusableValuesAreRefused();
    void listeningBeyondLoopbackNeedsAnAllowList();
    void receiverDropsOthersUnreadSaysOnceAndNeverAnswers();
    void aFloodOfSendersIsNamedUpToItsLimitThenCounted();
};

namespace {

SenderAllowList listOf(const QStringList& values)
{
    if (values.isEmpty())
        return SenderAllowList::loopbackOnly();
    const OptionValue<SenderAllowList> read = senderAllowListOption(QStringLiteral("allow"), values, QHostAddress::Any);
    return read.value.value_or(SenderAllowList());
}

}  // namespace

void TestSenderAllowList::sendersAreTakenOnlyWhenAllowed_data()
{
    QTest::addColumn<QStringList>("allow");
    QTest::addColumn<QString>("sender");
    QTest::addColumn<bool>("allowed");
    const QStringList loopback;
    QTest::newRow("default: 127.0.0.1") << loopback << "127.0.0.1" << true;
    QTest::newRow("default: all of 127/8") << loopback << "127.255.0.9" << true;
    QTest::newRow("default: ::1") << loopback << "::1" << true;
    QTest::newRow("default: IPv4 loopback on a dual-stack socket") << loopback << "::ffff:127.0.0.1" << true;
    QTest::newRow("default: the network") << loopback << "192.168.1.20" << false;
    QTest::newRow("default: IPv6 global") << loopback << "2001:db8::1" << false;

    const QStringList one{"192.168.1.20"};
    QTest::newRow("address: itself") << one << "192.168.1.20" << true;
    QTest::newRow("address: its neighbour") << one << "192.168.1.21" << false;
    QTest::newRow("address: on a dual-stack socket") << one << "::ffff:192.168.1.20" << true;
    QTest::newRow("address: loopback no longer") << one << "127.0.0.1" << false;
    QTest::newRow("address as /32") << QStringList{"192.168.1.20/32"} << "192.168.1.20" << true;
    QTest::newRow("address as /128") << QStringList{"2001:db8::5/128"} << "2001:db8::5" << true;

    const QStringList subnet{"192.168.1.0/24", "2001:db8::/32"};
    QTest::newRow("subnet: first") << subnet << "192.168.1.0" << true;
    QTest::newRow("subnet: last") << subnet << "192.168.1.255" << true;
    QTest::newRow("subnet: next") << subnet << "192.168.2.0" << false;
    QTest::newRow("subnet v6: inside") << subnet << "2001:db8:ffff::1" << true;
    QTest::newRow("subnet v6: outside") << subnet << "2001:db9::1" << false;
    QTest::newRow("subnet v6: link-local with scope") << QStringList{"fe80::/10"} << "fe80::1%lo" << true;
    QTest::newRow("host bits in the subnet") << QStringList{"10.1.2.3/16"} << "10.1.200.7" << true;
    QTest::newRow("IPv6 subnet does not take IPv4") << QStringList{"::/0"} << "192.168.1.20" << false;
}

void TestSenderAllowList::sendersAreTakenOnlyWhenAllowed()
{
    QFETCH(QStringList, allow);
    QFETCH(QString, sender);
    QFETCH(bool, allowed);
    const SenderAllowList list = listOf(allow);
    QVERIFY2(list.allows(QHostAddress(sender)) == allowed,
             qPrintable(QStringLiteral("%1 against [%2]").arg(sender, list.text())));
}

void TestSenderAllowList::unusableValuesAreRefused_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("short IPv4, not a network") << "192.168.1";
    QTest::newRow("prefix too long, v4") << "10.0.0.0/33";
    QTest::newRow("prefix too long, v6") << "2001:db8::/129";
    QTest::newRow("prefix not a number") << "10.0.0.0/eight";
    QTest::newRow("negative prefix") << "10.0.0.0/-1";
    QTest::newRow("host name") << "example.org";
    QTest::newRow("scoped address") << "fe80::1%eth0";
    QTest::newRow("empty") << "";
}

void TestSenderAllowList::unusableValuesAreRefused()
{
    QFETCH(QString, value);
    const OptionValue<SenderAllowList> read = senderAllowListOption(QStringLiteral("allow"), {QStringLiteral("192.168.1.20"), value}, QHostAddress::Any);
    QVERIFY(!read.value);
    QVERIFY2(read.problem.contains(QStringLiteral("--allow 「%1」").arg(value)) && read.problem.contains(QLatin1String("neither")),
             qPrintable(read.problem));
}

void TestSenderAllowList::listeningBeyondLoopbackNeedsAnAllowList()
{
    for (const char* listen : {"0.0.0.0", "::", "192.168.1.5"}) {
        const OptionValue<SenderAllowList> read = senderAllowListOption(QStringLiteral("allow"), {}, QHostAddress(QLatin1String(listen)));
        QVERIFY2(!read.value, listen);
        // Says how, in both languages.
        QVERIFY2(read.problem.contains(QLatin1String("--allow 192.168.1.20")) && read.problem.contains(QStringLiteral("指定してください"))
                     && read.problem.contains(QLatin1String("name the computer that runs the window")),
                 qPrintable(read.problem));
    }
    for (const char* listen : {"127.0.0.1", "::1"}) {
        const OptionValue<SenderAllowList> read = senderAllowListOption(QStringLiteral("allow"), {}, QHostAddress(QLatin1String(listen)));
        QVERIFY2(read.value && read.value->isLoopbackOnly(), listen);
    }
}

void TestSenderAllowList::receiverDropsOthersUnreadSaysOnceAndNeverAnswers()
{
    PointingReceiver receiver;
    SenderAllowList allowOnly;
    allowOnly.add({QHostAddress(QStringLiteral("127.0.0.2")), 32});
    receiver.setAllowList(allowOnly);
    QVERIFY(receiver.listen(QHostAddress::LocalHost, 0, nullptr));
    QSignalSpy setPoints(&receiver, &PointingReceiver::setPointArrived);
    QSignalSpy refused(&receiver, &PointingReceiver::senderRefused);
    QSignalSpy rejected(&receiver, &PointingReceiver::messageRejected);

    QUdpSocket stranger;
    QVERIFY(stranger.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    QUdpSocket window;
    QVERIFY(window.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));

    // Sound messages and garbage alike: neither is read, both are counted.
    for (const char* message : {"0,010.00, 5.00", "0,020.00, 5.00", "garbage"})
        stranger.writeDatagram(message, QHostAddress::LocalHost, receiver.localPort());
    QTRY_COMPARE(receiver.counts().refused, quint64(3));
    QCOMPARE(refused.size(), 1);
    QVERIFY2(refused.first().first().toString().contains(QLatin1String("127.0.0.1:")), qPrintable(refused.first().first().toString()));
    QVERIFY(refused.first().first().toString().contains(QLatin1String("not an allowed sender")));
    QCOMPARE(setPoints.size(), 0);
    QCOMPARE(rejected.size(), 0);
    QVERIFY(!receiver.hasReportAddress());
    QVERIFY(!receiver.sendReport("1,0.00,0.00"));

    window.writeDatagram("0,030.00, 5.00", QHostAddress::LocalHost, receiver.localPort());
    QTRY_COMPARE(setPoints.size(), 1);
    QCOMPARE(receiver.reportAddress(), QHostAddress(QStringLiteral("127.0.0.2")));
    // A stranger sending after the window does not take the reports over.
    stranger.writeDatagram("0,040.00, 5.00", QHostAddress::LocalHost, receiver.localPort());
    QTRY_COMPARE(receiver.counts().refused, quint64(4));
    QVERIFY(receiver.sendReport("1,30.00,5.00"));
    QTRY_VERIFY(window.hasPendingDatagrams());
    QTest::qWait(100);
    QVERIFY(!stranger.hasPendingDatagrams());
    QCOMPARE(refused.size(), 1);
    QCOMPARE(receiver.counts().pointing, quint64(1));
}

void TestSenderAllowList::aFloodOfSendersIsNamedUpToItsLimitThenCounted()
{
    PointingReceiver receiver;
    SenderAllowList allowOnly;
    allowOnly.add({QHostAddress(QStringLiteral("127.0.0.2")), 32});
    receiver.setAllowList(allowOnly);
    QVERIFY(receiver.listen(QHostAddress::LocalHost, 0, nullptr));
    QSignalSpy refused(&receiver, &PointingReceiver::senderRefused);

    // Seventy strangers, each from an address of its own, twice each: the
    // first 64 are named once, the 65th brings the one line that says the
    // rest are only counted, and nothing more is said.
    constexpr int kStrangers = 70;
    std::vector<std::unique_ptr<QUdpSocket>> strangers;
    for (int i = 0; i < kStrangers; ++i) {
        auto socket = std::make_unique<QUdpSocket>();
        QVERIFY(socket->bind(QHostAddress(QStringLiteral("127.0.0.%1").arg(10 + i)), 0));
        strangers.push_back(std::move(socket));
    }
    quint64 sent = 0;
    for (int round = 0; round < 2; ++round)
        for (const auto& socket : strangers) {
            socket->writeDatagram("0,010.00, 5.00", QHostAddress::LocalHost, receiver.localPort());
            ++sent;
            QTRY_COMPARE(receiver.counts().refused, sent);
        }
    QCOMPARE(refused.size(), 65);
    for (int i = 0; i < 64; ++i)
        QVERIFY2(refused.at(i).first().toString().contains(QStringLiteral("127.0.0.%1:").arg(10 + i)),
                 qPrintable(refused.at(i).first().toString()));
    QVERIFY(refused.last().first().toString().contains(QLatin1String("Many more senders not allowed")));
}

QTEST_GUILESS_MAIN(TestSenderAllowList)
#include "tst_senderallowlist.moc"
