// The two ways the bridge reads received power: Hamlib's rigctld (the real
// daemon with its dummy radio, and servers that misbehave in the ways a
// network peer can) and a command run per reading; and the simulated
// radiometer read both ways against the real rotctld.

#include "RotctldProcess.h"

#include "companions/power/CommandPowerSource.h"
#include "companions/power/RigctldPowerSource.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <cmath>

using namespace heliotrope::power;

namespace {

constexpr int kWaitMs = 6000;

// The outcome of one reading: the value, or the reason it failed.
struct Outcome {
    std::optional<double> decibels;
    QString reason;
    qint64 elapsedMs = 0;
};

Outcome readOnce(PowerSource& source)
{
    QSignalSpy arrived(&source, &PowerSource::readingArrived);
    QSignalSpy failed(&source, &PowerSource::failed);
    QElapsedTimer clock;
    clock.start();
    source.requestReading();
    // Never synchronously: a caller may connect after asking.
    if (!arrived.isEmpty() || !failed.isEmpty())
        return {std::nullopt, QStringLiteral("answered synchronously"), 0};
    while (arrived.isEmpty() && failed.isEmpty() && clock.elapsed() < kWaitMs)
        QTest::qWait(10);
    Outcome outcome;
    outcome.elapsedMs = clock.elapsed();
    if (!arrived.isEmpty())
        outcome.decibels = arrived.constFirst().constFirst().toDouble();
    if (!failed.isEmpty())
        outcome.reason = failed.constFirst().constFirst().toString();
    if (arrived.size() + failed.size() != 1)
        outcome.reason = QStringLiteral("not exactly one outcome");
    return outcome;
}

// A TCP peer that answers every line with what the test says.
class ScriptedServer : public QObject {
public:
    std::function<QByteArray(const QByteArray&)> answer;
    bool hangUp = false;  // after each answer, as a rigctld restarted between readings
    QTcpServer server;
    ScriptedServer()
    {
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* client = server.nextPendingConnection()) {
                connect(client, &QTcpSocket::readyRead, client, [this, client] {
                    while (client->canReadLine()) {
                        client->write(answer(client->readLine()));
                        if (hangUp)
                            client->disconnectFromHost();
                    }
                });
            }
        });
    }
};

QString radiometerProgram()
{
    return QStringLiteral(HELIOTROPE_RADIOMETER_PATH);
}

}  // namespace

class TestPowerSources : public QObject {
    Q_OBJECT

private slots:
    void repliesAreReadStrictly_data();
    void repliesAreReadStrictly();
    void commandOutputIsOneNumber_data();
    void commandOutputIsOneNumber();
    void realRigctldGivesWholeDecibels();
    void rigctldFailuresAreSaidAndTheNextReadingReconnects();
    void commandReadingsAndTheirFailures();
    void radiometerReadBothWaysAgainstRotctld();
};

void TestPowerSources::repliesAreReadStrictly_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<double>("decibels");  // NaN: no reading
    QTest::addColumn<int>("returnCode");   // 0: none
    const double none = std::nan("");
    QTest::newRow("below S9") << QByteArray("-54") << -54.0 << 0;
    QTest::newRow("carriage return") << QByteArray("-3\r") << -3.0 << 0;
    QTest::newRow("over S9") << QByteArray("20") << 20.0 << 0;
    QTest::newRow("refused") << QByteArray("RPRT -11") << none << -11;
    QTest::newRow("RPRT 0 is no reading") << QByteArray("RPRT 0") << none << 0;
    QTest::newRow("words") << QByteArray("STRENGTH: -54") << none << 0;
    QTest::newRow("empty") << QByteArray("") << none << 0;
    QTest::newRow("the edge of the scale") << QByteArray("-200") << -200.0 << 0;
    QTest::newRow("beyond the scale") << QByteArray("201") << none << 0;
    QTest::newRow("absurd") << QByteArray("1e300") << none << 0;
    QTest::newRow("not a number") << QByteArray("nan") << none << 0;
}

void TestPowerSources::repliesAreReadStrictly()
{
    QFETCH(QByteArray, line);
    QFETCH(double, decibels);
    QFETCH(int, returnCode);
    const StrengthReply reply = readStrengthReply(line);
    QCOMPARE(reply.decibels.has_value(), !std::isnan(decibels));
    if (reply.decibels)
        QCOMPARE(*reply.decibels, decibels);
    QCOMPARE(reply.returnCode.value_or(0), returnCode);
}

void TestPowerSources::commandOutputIsOneNumber_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<double>("decibels");  // NaN: no reading
    const double none = std::nan("");
    QTest::newRow("decimals") << QByteArray("-12.375\n") << -12.375;
    QTest::newRow("blanks around") << QByteArray("  7.5  \n") << 7.5;
    QTest::newRow("exponent") << QByteArray("-1.25e1") << -12.5;
    QTest::newRow("two numbers") << QByteArray("-12.3\n-12.4\n") << none;
    QTest::newRow("unit") << QByteArray("-12.3 dB") << none;
    QTest::newRow("comma decimal") << QByteArray("-12,3") << none;
    QTest::newRow("nothing") << QByteArray("\n") << none;
    QTest::newRow("infinite") << QByteArray("1e999") << none;
    QTest::newRow("escape sequence") << QByteArray("\x1b[2J-3") << none;
}

void TestPowerSources::commandOutputIsOneNumber()
{
    QFETCH(QByteArray, output);
    QFETCH(double, decibels);
    const std::optional<double> value = readCommandOutput(output);
    QCOMPARE(value.has_value(), !std::isnan(decibels));
    if (value)
        QCOMPARE(*value, decibels);
}

void TestPowerSources::realRigctldGivesWholeDecibels()
{
    if (RotctldProcess::program(QStringLiteral("rigctld")).isEmpty())
        QSKIP("rigctld (libhamlib-utils) is not installed");
    RotctldProcess rigctld(QStringLiteral("rigctld"));
    QVERIFY(rigctld.start(RotctldProcess::freePort()));
    RigctldPowerSource source(QStringLiteral("127.0.0.1"), rigctld.port(), 2000);
    QCOMPARE(source.resolution(), 1.0);
    // The dummy radio's S-meter wanders; every reading is whole dB.
    for (int i = 0; i < 5; ++i) {
        const Outcome outcome = readOnce(source);
        QVERIFY2(outcome.decibels, qPrintable(outcome.reason));
        QCOMPARE(*outcome.decibels, std::round(*outcome.decibels));
    }
    // rigctld gone: a failure, said within the deadline; back: readings again.
    rigctld.kill();
    const Outcome gone = readOnce(source);
    QVERIFY(!gone.decibels);
    QVERIFY2(gone.reason.contains(QStringLiteral("rigctld")), qPrintable(gone.reason));
    QVERIFY(rigctld.start(rigctld.port()));
    const Outcome back = readOnce(source);
    QVERIFY2(back.decibels, qPrintable(back.reason));

    // Restarted between two readings: the next reading is on a new
    // connection, not a failure on the dead one.
    rigctld.kill();
    QTest::qWait(100);
    QVERIFY(rigctld.start(rigctld.port()));
    const Outcome restarted = readOnce(source);
    QVERIFY2(restarted.decibels, qPrintable(restarted.reason));
}

void TestPowerSources::rigctldFailuresAreSaidAndTheNextReadingReconnects()
{
    ScriptedServer peer;
    RigctldPowerSource source(QStringLiteral("127.0.0.1"), peer.server.serverPort(), 500);

    peer.answer = [](const QByteArray&) { return QByteArray("RPRT -11\n"); };
    Outcome outcome = readOnce(source);
    QVERIFY(!outcome.decibels);
    QVERIFY2(outcome.reason.contains(QStringLiteral("RPRT -11")), qPrintable(outcome.reason));

    peer.answer = [](const QByteArray&) { return QByteArray("\x1b]0;owned\x07\n"); };
    outcome = readOnce(source);
    QVERIFY(!outcome.decibels);
    // The garbage is shown, never passed to the terminal as it came.
    QVERIFY2(!outcome.reason.contains(QChar(0x1b)) && outcome.reason.contains(QStringLiteral("\\x1b")),
             qPrintable(outcome.reason));

    // Silent: the deadline, and not much later.
    peer.answer = [](const QByteArray&) { return QByteArray(); };
    outcome = readOnce(source);
    QVERIFY(!outcome.decibels);
    QVERIFY2(outcome.elapsedMs >= 450 && outcome.elapsedMs < 2000, qPrintable(QString::number(outcome.elapsedMs)));

    // An answer late for the silent request must not be taken for the next one:
    // the next request starts a new conversation.
    peer.answer = [](const QByteArray& line) { return line.startsWith("l STRENGTH") ? QByteArray("-7\n") : QByteArray(); };
    outcome = readOnce(source);
    QVERIFY2(outcome.decibels && *outcome.decibels == -7.0, qPrintable(outcome.reason));

    // A peer that hangs up after each answer, seen before the next question:
    // every reading is still a reading, each on a new connection.
    peer.hangUp = true;
    for (int i = 0; i < 3; ++i) {
        outcome = readOnce(source);
        QVERIFY2(outcome.decibels && *outcome.decibels == -7.0, qPrintable(outcome.reason));
        QTest::qWait(20);
    }

    // Nobody listening.
    RigctldPowerSource nowhere(QStringLiteral("127.0.0.1"), RotctldProcess::freePort(), 1000);
    outcome = readOnce(nowhere);
    QVERIFY(!outcome.decibels);
    QVERIFY(!outcome.reason.isEmpty());
}

void TestPowerSources::commandReadingsAndTheirFailures()
{
    struct Case {
        const char* command;
        std::optional<double> decibels;
        const char* reasonHas;
    };
    const Case cases[] = {
        {"sh -c \"echo -12.375\"", -12.375, ""},
        {"sh -c \"echo bad; exit 3\"", std::nullopt, "3"},
        // A meter's warning on standard error is not part of its reading,
        // but is shown with its failure.
        {"sh -c \"echo low battery >&2; echo -12.5\"", -12.5, ""},
        {"sh -c \"echo -12.5; echo no signal >&2; exit 2\"", std::nullopt, "no signal"},
        {"sh -c \"echo -12.3 dB\"", std::nullopt, "-12.3 dB"},
        {"sh -c \"echo 1; echo 2\"", std::nullopt, "not one number"},
        {"sh -c \"kill -9 $$\"", std::nullopt, "crashed"},
        {"/nonexistent/power-meter", std::nullopt, "cannot be started"},
        {"yes", std::nullopt, "more than 4096 bytes"},
        {"   ", std::nullopt, "empty"},
    };
    for (const Case& c : cases) {
        CommandPowerSource source(QString::fromUtf8(c.command), 3000);
        QCOMPARE(source.resolution(), 0.0);
        const Outcome outcome = readOnce(source);
        QVERIFY2(outcome.decibels == c.decibels, qPrintable(c.command + QStringLiteral(": ") + outcome.reason));
        QVERIFY2(outcome.reason.contains(QString::fromUtf8(c.reasonHas)), qPrintable(c.command + QStringLiteral(": ") + outcome.reason));
    }
    // A command that hangs is given up at the deadline and killed.
    CommandPowerSource hanging(QStringLiteral("sleep 30"), 300);
    const Outcome outcome = readOnce(hanging);
    QVERIFY(!outcome.decibels);
    QVERIFY2(outcome.elapsedMs < 2000, qPrintable(QString::number(outcome.elapsedMs)));
    QVERIFY(!hanging.readingPending());
}

void TestPowerSources::radiometerReadBothWaysAgainstRotctld()
{
    if (RotctldProcess::program().isEmpty())
        QSKIP("rotctld (libhamlib-utils) is not installed");
    RotctldProcess rotctld;
    QVERIFY(rotctld.start(RotctldProcess::freePort()));
    // The dummy rotator rests at azimuth 0, elevation 0. A site and an instant
    // where the sun is just there: the equator at the March equinox sunrise is
    // close enough; rather than rely on that, the beam is made wide (90°) and
    // the sun's power is compared between an error that points the dish at the
    // rotator's own direction and one that turns it away.
    const QStringList common{QStringLiteral("--site"), QStringLiteral("0,0"), QStringLiteral("--rotctld"),
                             QStringLiteral("127.0.0.1:%1").arg(rotctld.port()), QStringLiteral("--noise"), QStringLiteral("0"),
                             QStringLiteral("--beamwidth"), QStringLiteral("1.7"), QStringLiteral("--peak"), QStringLiteral("10"),
                             QStringLiteral("--baseline"), QStringLiteral("-30.6")};
    // Far from the sun: the baseline, with three decimals.
    CommandPowerSource far(QStringLiteral("%1 --once %2").arg(radiometerProgram(), common.join(QLatin1Char(' '))), 5000);
    Outcome outcome = readOnce(far);
    QVERIFY2(outcome.decibels, qPrintable(outcome.reason));
    QVERIFY2(std::abs(*outcome.decibels + 30.6) < 0.01, qPrintable(QString::number(*outcome.decibels)));

    // Served as rigctld: whole dB, the nearest, and the same sky.
    QProcess served;
    served.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    served.start(radiometerProgram(), QStringList(common) << QStringLiteral("--rigctld-port") << QStringLiteral("0"));
    QVERIFY(served.waitForReadyRead(5000));
    const QByteArray line = served.readLine();
    const qsizetype colon = line.lastIndexOf(':');
    QVERIFY2(colon > 0, line.constData());
    const quint16 port = static_cast<quint16>(line.mid(colon + 1).split(' ').constFirst().toUInt());
    QVERIFY2(port > 0, line.constData());
    RigctldPowerSource radio(QStringLiteral("127.0.0.1"), port, 3000);
    outcome = readOnce(radio);
    QVERIFY2(outcome.decibels && *outcome.decibels == -31.0, qPrintable(outcome.reason));
    // What Hamlib's clients send on connecting, and what it does not know.
    QTcpSocket raw;
    raw.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(raw.waitForConnected(2000));
    raw.write("\\chk_vfo\nU PTT 1\nl STRENGTH\nq\n");
    QByteArray answers;
    QElapsedTimer waited;
    waited.start();
    while (raw.state() == QAbstractSocket::ConnectedState && waited.elapsed() < 3000)
        if (raw.waitForReadyRead(100))
            answers += raw.readAll();
    answers += raw.readAll();
    QCOMPARE(answers, QByteArray("0\nRPRT -4\n-31\n"));
    // Hamlib's own network client opens it as it opens rigctld, and reads the same.
    const QString rigctl = RotctldProcess::program(QStringLiteral("rigctl"));
    if (!rigctl.isEmpty()) {
        QProcess client;
        client.start(rigctl, {QStringLiteral("-m"), QStringLiteral("2"), QStringLiteral("-r"), QStringLiteral("127.0.0.1:%1").arg(port), QStringLiteral("l"), QStringLiteral("STRENGTH")});
        QVERIFY(client.waitForFinished(10000));
        const QByteArray said = client.readAllStandardOutput() + client.readAllStandardError();
        QVERIFY2(client.exitCode() == 0 && said.trimmed() == "-31", said.constData());
    }

    // rotctld gone: the radio refuses, the command fails with a reason.
    rotctld.kill();
    outcome = readOnce(radio);
    QVERIFY(!outcome.decibels);
    outcome = readOnce(far);
    QVERIFY(!outcome.decibels);
    QVERIFY2(outcome.reason.contains(QStringLiteral("rotctld")), qPrintable(outcome.reason));
    served.kill();
    served.waitForFinished(2000);
}

QTEST_GUILESS_MAIN(TestPowerSources)
#include "tst_powersources.moc"
