// heliotrope-rotctl against peers on rotctld's port that accept and then fail
// it: one that never answers, one that answers with what is not rotctld's
// protocol, one that answers the handshake and then hangs. Each is said once
// however often the bridge tries again; the bridge keeps hearing the window
// meanwhile; and when a real rotctld (Hamlib's dummy, model 1) takes the port
// over, the rotator is sent to the latest set-point only, never to the stale
// ones that came in while it was away.

#include "FakeRotctld.h"
#include "RotctldProcess.h"

#include "companions/rotctl/bridge/Bridge.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

using namespace heliotrope::hamlib;
using namespace heliotrope::measure;
using namespace heliotrope::rotator;
using namespace heliotrope::rotctl;

class TestHungRotctld : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void hungPeersAreSaidOnceAndARealRotctldTakesOver_data();
    void hungPeersAreSaidOnceAndARealRotctldTakesOver();

private:
    QStringList m_notices;  // what the bridge said, shown when a test fails
};

namespace {

// The bridge's answer time limit, shortened from its 10 s so that a test of
// several reconnections takes seconds.
constexpr int kAnswerTimeoutMs = 300;
// The longest back-off is 8 s; a real rotctld must be found within it.
constexpr int kRecoverMs = 15000;

int linesContaining(const QSignalSpy& notices, const QString& text)
{
    int count = 0;
    for (const QList<QVariant>& call : notices)
        count += call.first().toString().contains(text) ? 1 : 0;
    return count;
}

QList<QByteArray> pointingsSince(const QSignalSpy& written, qsizetype from)
{
    QList<QByteArray> found;
    for (qsizetype i = from; i < written.size(); ++i) {
        const QByteArray line = written.at(i).first().toByteArray();
        if (line.startsWith("P "))
            found << line;
    }
    return found;
}

}  // namespace

void TestHungRotctld::init()
{
    if (RotctldProcess::program().isEmpty())
        QSKIP("rotctld not found: install Debian's libhamlib-utils to run these tests");
}

void TestHungRotctld::hungPeersAreSaidOnceAndARealRotctldTakesOver_data()
{
    QTest::addColumn<int>("behaviour");
    QTest::addColumn<QString>("said");
    QTest::newRow("accepts, never answers") << int(FakeRotctld::Behaviour::NeverAnswers) << QStringLiteral("応答しません");
    QTest::newRow("answers garbage") << int(FakeRotctld::Behaviour::AnswersGarbage) << QStringLiteral("読めません");
    QTest::newRow("answers dump_state, then hangs") << int(FakeRotctld::Behaviour::HangsAfterDumpState)
                                                    << QStringLiteral("応答しません");
}

void TestHungRotctld::hungPeersAreSaidOnceAndARealRotctldTakesOver()
{
    QFETCH(int, behaviour);
    QFETCH(QString, said);
    const quint16 port = RotctldProcess::freePort();
    FakeRotctld fake(static_cast<FakeRotctld::Behaviour>(behaviour));
    QVERIFY(fake.listen(port));

    BridgeOptions options;
    options.port = 0;
    options.rotctldPort = port;
    options.pollIntervalMs = 250;
    options.minIntervalSeconds = 0.2;
    Bridge bridge(options);
    bridge.rotctld().setAnswerTimeoutMs(kAnswerTimeoutMs);
    QSignalSpy written(&bridge.rotctld(), &RotctldClient::commandWritten);
    QSignalSpy notices(&bridge, &Bridge::notice);
    connect(&bridge, &Bridge::notice, this, [this](const QString& line) { m_notices << line; });
    QList<int> retries;  // the wait before each reconnection, as each loss leaves it
    connect(&bridge.rotctld(), &RotctldClient::lost, this, [&bridge, &retries] { retries << bridge.rotctld().nextRetryMs(); });
    QVERIFY(bridge.start(nullptr));

    // The window goes on sending while the peer fails the bridge: set-points
    // that will be stale by the time a rotctld answers. Near where the dummy
    // rotator starts, so that it is there a moment after it is told.
    QUdpSocket window;
    QVERIFY(window.bind(QHostAddress::LocalHost, 0));
    const char* const setPoints[] = {"0,001.00, 0.50", "0,001.10, 0.55", "0,001.20, 0.60"};
    for (const char* message : setPoints) {
        window.writeDatagram(message, QHostAddress::LocalHost, bridge.localPort());
        QTest::qWait(1200);
    }
    // Three and a half seconds: tried again and again, said once.
    QVERIFY2(fake.connections() >= 3, qPrintable(QString::number(fake.connections())));
    QCOMPARE(linesContaining(notices, said), 1);
    QVERIFY(!bridge.rotctld().isReady());
    // The window's side kept serving all along.
    QCOMPARE(bridge.receivedCounts().pointing, quint64(3));
    // Not a burst: the back-off doubles, so few connections, not one a cycle.
    QVERIFY2(fake.connections() <= 5, qPrintable(QString::number(fake.connections())));
    QVERIFY2(retries.size() >= 3 && retries.mid(0, 3) == (QList<int>{1000, 2000, 4000}), qPrintable(QString::number(retries.size())));

    // A real rotctld takes the port over.
    const qsizetype writtenBefore = written.size();
    fake.close();
    RotctldProcess rotctld;
    QVERIFY(rotctld.start(port));
    QByteArray lastReport;
    const auto reportNow = [&window, &lastReport] {
        while (window.hasPendingDatagrams())
            lastReport = window.receiveDatagram().data();
        return lastReport;
    };
    QTRY_COMPARE_WITH_TIMEOUT(reportNow(), QByteArray("1,1.20,0.60"), kRecoverMs);
    QCOMPARE(pointingsSince(written, writtenBefore), QList<QByteArray>{"P 1.20 0.60"});
    QCOMPARE(bridge.rotctld().nextRetryMs(), 500);
    QCOMPARE(linesContaining(notices, said), 1);
    // Connected is said once, for the real one. A peer that never answered
    // \dump_state, or answered it, does not leave the bridge without the
    // real one's limits. (After garbage in answer to \dump_state the next
    // connection goes without it, as for a rotctld whose \dump_state this
    // bridge cannot read; whether that was the last try before the real one
    // came is a matter of timing.)
    QCOMPARE(linesContaining(notices, QStringLiteral("に接続しました")), 1);
    if (behaviour != int(FakeRotctld::Behaviour::AnswersGarbage))
        QCOMPARE(linesContaining(notices, QStringLiteral("（rotctld の報告）")), 1);
}

void TestHungRotctld::cleanup()
{
    if (QTest::currentTestFailed()) {
        for (const QString& line : std::as_const(m_notices))
            qInfo("%s", qPrintable(line));
    }
    m_notices.clear();
}

QTEST_GUILESS_MAIN(TestHungRotctld)
#include "tst_hungrotctld.moc"
