// The controller's host name looked up while the window keeps running: a
// scripted name server answers at once, says no, fails, or never answers, and
// the link opens, refuses, or gives up after its bound without sending.

#include "ScriptedResolver.h"
#include "link/ControllerLink.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

using namespace heliotrope::link;

namespace {

using Outcome = HostResolver::Outcome;
using Problem = ControllerLink::OpenProblem;

constexpr std::chrono::milliseconds kShortBound{300};
const QString kName = QStringLiteral("controller.heliotrope.test");

}  // namespace

class TestControllerLookup : public QObject {
    Q_OBJECT

private slots:
    void init();
    void answeredNameOpensTheLink();
    void unansweredOrRefusedNameLeavesTheLinkClosed_data();
    void unansweredOrRefusedNameLeavesTheLinkClosed();
    void addressesNeverAskTheNameServer();
    void closeAndReopenAbandonTheLookup();
    void lateAnswerOfAnAbandonedLookupIsNotTheNewOnes();

private:
    QUdpSocket m_controller;
};

void TestControllerLookup::init()
{
    m_controller.close();
    QVERIFY(m_controller.bind(QHostAddress::LocalHost, 0));
}

void TestControllerLookup::answeredNameOpensTheLink()
{
    ScriptedResolver::Log log;
    ControllerLink link;
    link.setResolver(std::make_unique<ScriptedResolver>(
        log, true, Outcome::Found, QList<QHostAddress>{QHostAddress(QHostAddress::LocalHostIPv6), QHostAddress(QHostAddress::LocalHost)}));
    QSignalSpy finished(&link, &ControllerLink::openFinished);

    const ControllerLink::OpenResult opened = link.open(u' ' + kName + u' ', QString::number(m_controller.localPort()));
    QVERIFY(opened.resolving);
    QVERIFY(!opened.ok);
    QVERIFY(link.isResolving());
    QVERIFY(!link.isOpen());
    QCOMPARE(log.asked, QStringList{kName});

    QVERIFY(finished.wait(2000));
    const auto result = finished.first().first().value<ControllerLink::OpenResult>();
    QVERIFY2(result.ok, qPrintable(QString::number(int(result.problem))));
    QVERIFY(!result.resolving);
    QVERIFY(link.isOpen());
    QVERIFY(!link.isResolving());
    // The IPv4 address is preferred, whatever order the name server gives.
    QCOMPARE(link.remoteAddress(), QHostAddress(QHostAddress::LocalHost));
    QVERIFY(link.send(QStringLiteral("108.46"), QStringLiteral(" 78.43")));
    QVERIFY(m_controller.waitForReadyRead(2000));
    QCOMPARE(m_controller.receiveDatagram().data(), QByteArray("0,108.46, 78.43"));
    QCOMPARE(log.cancelled, 0);
}

void TestControllerLookup::unansweredOrRefusedNameLeavesTheLinkClosed_data()
{
    QTest::addColumn<bool>("answers");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("portText");
    QTest::addColumn<Problem>("problem");
    QTest::addColumn<int>("cancelled");

    const QString port = QStringLiteral("10006");
    QTest::newRow("no such name") << true << int(Outcome::NotFound) << port << Problem::AddressNotFound << 0;
    QTest::newRow("resolver failed") << true << int(Outcome::Failed) << port << Problem::NameLookupFailed << 0;
    QTest::newRow("name server silent") << false << int(Outcome::NotFound) << port
                                        << Problem::NameServerSilent << 1;
    // The port is read once the address is known, as for a typed address.
    QTest::newRow("found, port bad") << true << int(Outcome::Found) << QStringLiteral("abc")
                                     << Problem::PortNotANumber << 0;
}

void TestControllerLookup::unansweredOrRefusedNameLeavesTheLinkClosed()
{
    QFETCH(bool, answers);
    QFETCH(int, outcome);
    QFETCH(QString, portText);
    QFETCH(Problem, problem);
    QFETCH(int, cancelled);

    ScriptedResolver::Log log;
    ControllerLink link;
    link.setLookupBound(kShortBound);
    link.setResolver(std::make_unique<ScriptedResolver>(log, answers, Outcome(outcome),
                                                        QList<QHostAddress>{QHostAddress(QHostAddress::LocalHost)}));
    QSignalSpy finished(&link, &ControllerLink::openFinished);

    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY(link.open(kName, portText).resolving);
    QVERIFY(finished.wait(3000));
    if (!answers)
        QVERIFY2(elapsed.elapsed() >= kShortBound.count(), qPrintable(QString::number(elapsed.elapsed())));
    const auto result = finished.first().first().value<ControllerLink::OpenResult>();
    QVERIFY(!result.ok);
    QCOMPARE(result.problem, problem);
    QCOMPARE(log.cancelled, cancelled);
    QVERIFY(!link.isOpen());
    QVERIFY(!link.isResolving());
    QVERIFY(!link.send(QStringLiteral("108.46"), QStringLiteral(" 78.43")));
    // Exactly one outcome, however long one waits after it.
    QTest::qWait(int(kShortBound.count()) + 100);
    QCOMPARE(finished.size(), 1);
    QVERIFY(!m_controller.hasPendingDatagrams());
}

void TestControllerLookup::addressesNeverAskTheNameServer()
{
    ScriptedResolver::Log log;
    ControllerLink link;
    link.setResolver(std::make_unique<ScriptedResolver>(log));
    const QString port = QString::number(m_controller.localPort());
    for (const char* host : {"127.0.0.1", "::1", "[::1]", "localhost", "LOCALHOST.", "antenna.localhost"}) {
        const ControllerLink::OpenResult opened = link.open(QLatin1String(host), port);
        QVERIFY2(opened.ok && link.isOpen(), host);
    }
    for (const char* host : {"controller.invalid", "127.0.0.256", ""})
        QVERIFY2(!link.open(QLatin1String(host), port).resolving, host);
    QVERIFY2(log.asked.isEmpty(), qPrintable(log.asked.join(u',')));
}

void TestControllerLookup::closeAndReopenAbandonTheLookup()
{
    ScriptedResolver::Log log;
    ControllerLink link;
    link.setLookupBound(kShortBound);
    link.setResolver(std::make_unique<ScriptedResolver>(log));
    QSignalSpy finished(&link, &ControllerLink::openFinished);

    QVERIFY(link.open(kName, QStringLiteral("10006")).resolving);
    link.close();
    QVERIFY(!link.isResolving());
    QCOMPARE(log.cancelled, 1);
    QTest::qWait(int(kShortBound.count()) * 2);
    QCOMPARE(finished.size(), 0);

    // A second open replaces the first lookup: it is cancelled, and only the
    // second one ends (here, silent past the bound).
    QVERIFY(link.open(QStringLiteral("first.heliotrope.test"), QStringLiteral("10006")).resolving);
    QVERIFY(link.open(QStringLiteral("second.heliotrope.test"), QStringLiteral("10006")).resolving);
    QCOMPARE(log.cancelled, 2);
    QVERIFY(finished.wait(3000));
    QTest::qWait(int(kShortBound.count()) * 2);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().value<ControllerLink::OpenResult>().problem, Problem::NameServerSilent);
    QCOMPARE(log.asked.last(), QStringLiteral("second.heliotrope.test"));
    QCOMPARE(log.cancelled, 3);
}

void TestControllerLookup::lateAnswerOfAnAbandonedLookupIsNotTheNewOnes()
{
    ScriptedResolver::Log log;
    ControllerLink link;
    link.setResolver(std::make_unique<ScriptedResolver>(log, true, Outcome::Found,
                                                        QList<QHostAddress>{QHostAddress(QHostAddress::LocalHost)}, false));
    QSignalSpy finished(&link, &ControllerLink::openFinished);
    QVERIFY(link.open(QStringLiteral("gone.heliotrope.test"), QStringLiteral("10006")).resolving);
    QVERIFY(link.open(kName, QStringLiteral("10006")).resolving);
    QVERIFY(finished.wait(2000));
    QVERIFY(finished.first().first().value<ControllerLink::OpenResult>().ok);
}

QTEST_GUILESS_MAIN(TestControllerLookup)
#include "tst_ControllerLookup.moc"
