// The window while the controller's host name is looked up: the clock keeps
// ticking, a second press starts nothing, and a name server that never answers
// is given up on after the lookup bound with its own message, nothing sent.
//
// Two such name servers: a scripted one inside the process, and a real UDP
// socket on loopback that reads queries and never replies, which the system's
// resolver is pointed at through a private /etc/resolv.conf. The second runs
// this test program again inside its own user, mount and network namespaces
// (unshare), so the machine's resolver and network are never touched; where
// namespaces are not permitted it is skipped.

#include "TestSupport.h"

#include "app/frmMain.h"
#include "link/ControllerLink.h"
#include "tests/link/ScriptedResolver.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

using namespace heliotrope::app;
using namespace heliotrope::link;

namespace {

const QString kName = QStringLiteral("controller.heliotrope.test");
constexpr qint64 kBoundMs = ControllerLink::kDefaultLookupBound.count();
// Set in the copy of this program that runs inside the private namespaces: the
// resolver configuration to bind over /etc/resolv.conf.
constexpr char kPrivateResolverVariable[] = "HELIOTROPE_PRIVATE_RESOLV_CONF";
// Where the silent name server listens inside the private network namespace.
const QHostAddress kSilentNameServer(QStringLiteral("127.0.0.53"));

// The loopback interface of a fresh network namespace is down; bring it up.
bool bringLoopbackUp()
{
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0)
        return false;
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ::ioctl(s, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    up = up && ::ioctl(s, SIOCSIFFLAGS, &request) == 0;
    ::close(s);
    return up;
}

}  // namespace

class TestHostLookup : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void silentNameServerDoesNotFreezeTheWindow();
    void answeredNameStartsTheCalculation();
    void systemResolverWithASilentNameServer();

private:
    QLineEdit* box(const char* name) const { return m_window->findChild<QLineEdit*>(QLatin1String(name)); }
    QPushButton* startButton() const { return m_window->findChild<QPushButton*>(QStringLiteral("cmdStart")); }
    QLabel* clockLabel() const { return m_window->findChild<QLabel*>(QStringLiteral("lblTime")); }
    QTimer* calculationTimer() const { return m_window->findChild<QTimer*>(QStringLiteral("Timer_cal")); }
    void pressStartAndWatchTheSilence(const std::function<void()>& whileWaiting);

    FixedClock m_clock{2006, 6, 21, 12, 0, 0};
    PresetDialogs m_dialogs;
    frmMain* m_window = nullptr;
    QUdpSocket* m_controller = nullptr;
};

void TestHostLookup::init()
{
    m_clock.setJst(2006, 6, 21, 12, 0, 0);
    m_controller = new QUdpSocket;
    QVERIFY(m_controller->bind(QHostAddress::LocalHost, 0));
    m_dialogs = PresetDialogs();
    m_window = new frmMain(m_clock, m_dialogs);
    box("txtACTLR_IP")->setText(kName);
    box("txtACTLR_Port")->setText(QString::number(m_controller->localPort()));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void TestHostLookup::cleanup()
{
    delete m_window;
    delete m_controller;
}

// Presses 「計算開始」 with a name server that never answers and follows the
// window until it gives up; whileWaiting runs once the clock has been seen to
// tick during the lookup.
void TestHostLookup::pressStartAndWatchTheSilence(const std::function<void()>& whileWaiting)
{
    QElapsedTimer sincePress;
    sincePress.start();
    QTest::mouseClick(startButton(), Qt::LeftButton);
    // The press returns at once: the lookup does not run on the window's thread.
    QVERIFY2(sincePress.elapsed() < 1000, qPrintable(QString::number(sincePress.elapsed())));
    QVERIFY(m_window->controllerLink().isResolving());
    QCOMPARE(startButton()->text(), QStringLiteral("計算開始"));

    // The window's own event loop keeps running: the clock shows a new time.
    m_clock.setJst(2006, 6, 21, 12, 0, 3);
    QTRY_COMPARE_WITH_TIMEOUT(clockLabel()->text(), QStringLiteral("2006/06/21 12:00:03"), 2500);
    QVERIFY(m_dialogs.warnings.isEmpty());
    QVERIFY(m_window->controllerLink().isResolving());
    whileWaiting();

    QTRY_COMPARE_WITH_TIMEOUT(m_dialogs.warnings.size(), 1, int(kBoundMs) + 3000);
    const qint64 waited = sincePress.elapsed();
    QVERIFY2(waited >= kBoundMs && waited < kBoundMs + 1500, qPrintable(QString::number(waited)));
    qInfo("the name server was given up on %lld ms after the press", static_cast<long long>(waited));
    const QString said = m_dialogs.warnings.first();
    QCOMPARE(said, QStringLiteral("アンテナコントローラ IP「%1」の名前を問い合わせましたが、"
                                  "ネームサーバーが 5 秒以内に応答しませんでした。")
                       .arg(kName));
    QCOMPARE(box("txtACTLR_IP")->toolTip(), said);
    QVERIFY(!m_window->controllerLink().isResolving());
    QVERIFY(!m_window->controllerLink().isOpen());
    QVERIFY(!calculationTimer()->isActive());
    QCOMPARE(startButton()->text(), QStringLiteral("計算開始"));
    QTest::qWait(800);  // more than one calculation interval
    QVERIFY(!m_controller->hasPendingDatagrams());
    QCOMPARE(m_dialogs.warnings.size(), 1);
}

void TestHostLookup::silentNameServerDoesNotFreezeTheWindow()
{
    ScriptedResolver::Log log;
    m_window->controllerLink().setResolver(std::make_unique<ScriptedResolver>(log));
    pressStartAndWatchTheSilence([&] {
        // The button answers, and a second press does not ask again.
        QTest::mouseClick(startButton(), Qt::LeftButton);
        QCOMPARE(log.asked, QStringList{kName});
        QCOMPARE(startButton()->text(), QStringLiteral("計算開始"));
    });
    QCOMPARE(log.cancelled, 1);
}

void TestHostLookup::answeredNameStartsTheCalculation()
{
    ScriptedResolver::Log log;
    m_window->controllerLink().setResolver(std::make_unique<ScriptedResolver>(
        log, true, HostResolver::Outcome::Found, QList<QHostAddress>{QHostAddress(QHostAddress::LocalHost)}));
    QTest::mouseClick(startButton(), Qt::LeftButton);
    // The caption changes only once the link is open.
    QCOMPARE(startButton()->text(), QStringLiteral("計算開始"));
    QTRY_COMPARE_WITH_TIMEOUT(startButton()->text(), QStringLiteral("計算停止"), 2000);
    QVERIFY(calculationTimer()->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(m_controller->hasPendingDatagrams(), 3000);
    QCOMPARE(m_controller->receiveDatagram().data(), QByteArray("0,196.06, 77.36"));
    QVERIFY(m_dialogs.warnings.isEmpty());
}

void TestHostLookup::systemResolverWithASilentNameServer()
{
    const QByteArray privateResolver = qgetenv(kPrivateResolverVariable);
    if (privateResolver.isEmpty()) {
        // Outside: write the private configuration and run this very test
        // again in namespaces of its own.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile conf(dir.filePath(QStringLiteral("resolv.conf")));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        // The system gives up after 8 s, later than the window's bound, so the
        // window's own bound is what ends the wait.
        conf.write("nameserver " + kSilentNameServer.toString().toLatin1() + "\noptions timeout:8 attempts:1\n");
        conf.close();

        const QStringList namespaces{QStringLiteral("--user"), QStringLiteral("--map-root-user"),
                                     QStringLiteral("--mount"), QStringLiteral("--net")};
        QProcess probe;
        probe.start(QStringLiteral("unshare"), namespaces + QStringList{QStringLiteral("true")});
        if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
            QSKIP("unshare cannot make user, mount and network namespaces here");

        QProcess inside;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QLatin1String(kPrivateResolverVariable), conf.fileName());
        inside.setProcessEnvironment(env);
        inside.setProcessChannelMode(QProcess::MergedChannels);
        inside.start(QStringLiteral("unshare"),
                     namespaces + QStringList{QCoreApplication::applicationFilePath(), QStringLiteral("systemResolverWithASilentNameServer")});
        QVERIFY(inside.waitForFinished(60000));
        const QByteArray output = inside.readAll();
        QVERIFY2(inside.exitStatus() == QProcess::NormalExit && inside.exitCode() == 0, output.constData());
        QVERIFY2(output.contains("PASS   : TestHostLookup::systemResolverWithASilentNameServer()"), output.constData());
        for (const QByteArray& line : output.split('\n')) {
            const qsizetype said = line.indexOf("() ");
            if (line.startsWith("QINFO") && said > 0)
                qInfo("inside the namespaces: %s", line.mid(said + 3).constData());
        }
        return;
    }

    // Inside: this process alone sees the private configuration and network.
    QVERIFY2(::mount(privateResolver.constData(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) == 0,
             std::strerror(errno));
    QVERIFY(bringLoopbackUp());
    QUdpSocket nameServer;
    QVERIFY(nameServer.bind(kSilentNameServer, 53));
    int queries = 0;
    connect(&nameServer, &QUdpSocket::readyRead, this, [&] {
        while (nameServer.hasPendingDatagrams()) {
            nameServer.receiveDatagram();  // read, and never answered
            ++queries;
        }
    });
    pressStartAndWatchTheSilence([&] {
        QTRY_VERIFY_WITH_TIMEOUT(queries > 0, 3000);  // the question did reach the name server
        QTest::mouseClick(startButton(), Qt::LeftButton);
        QVERIFY(m_window->controllerLink().isResolving());
    });
    qInfo("queries the silent name server read: %d", queries);
}

QTEST_MAIN(TestHostLookup)
#include "tst_hostlookup.moc"
