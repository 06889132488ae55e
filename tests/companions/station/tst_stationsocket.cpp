// The bridge's request socket: the protocol's reader and writer, and the
// server and client on real local sockets: garbage and unknown requests
// answered and nothing else changed, a measurement's progress, a refusal, the
// asker going away and the bridge going away, a socket left behind, a second
// bridge; and the clock's state as the kernel gives it.

#include "companions/station/StationClient.h"
#include "companions/station/StationServer.h"
#include "companions/station/SystemClock.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QLocalSocket>
#include <QPointer>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/timex.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <memory>

using namespace heliotrope::station;

namespace {

// What the bridge will be, as far as the socket sees it: a calibration runs
// until its asker goes, anything else is answered at once.
class Bridge : public StationRequestHandler {
public:
    std::vector<StationRequest> seen;
    QPointer<StationReply> measuring;
    bool abandoned = false;

    void handleRequest(StationReply* reply) override
    {
        seen.push_back(reply->request());
        if (measuring && reply->request().kind != RequestKind::Status)
            return reply->finish(StationCode::Refused, QStringLiteral("測定中です\na measurement is running"));
        if (reply->request().kind == RequestKind::Calibrate) {
            measuring = reply;
            QObject::connect(reply, &StationReply::abandoned, [this] { abandoned = true; });
            reply->progress(QStringLiteral("1/9 点目\npoint 1 of 9"));
            return;
        }
        reply->finish(StationCode::Ok, QStringLiteral("追尾中\ntracking"));
    }
};

// Lines from a raw socket up to the next RPRT; the server answers from this
// thread's event loop, so it is kept turning meanwhile.
QList<QByteArray> answer(QLocalSocket& socket)
{
    QList<QByteArray> lines;
    QDeadlineTimer deadline(5000);
    while ((lines.isEmpty() || !lines.last().startsWith("RPRT")) && !deadline.hasExpired()) {
        if (socket.canReadLine())
            lines << socket.readLine().chopped(1);
        else
            QTest::qWait(5);
    }
    return lines;
}

struct Asker {
    StationClient client;
    QStringList progress, said;
    std::optional<StationCode> code;
    QString lost;
    explicit Asker(const QString& path)
        : client(path)
    {
        QObject::connect(&client, &StationClient::progressed, [this](const QString& t) { progress << t; });
        QObject::connect(&client, &StationClient::said, [this](const QString& t) { said << t; });
        QObject::connect(&client, &StationClient::answered, [this](StationCode c) { code = c; });
        QObject::connect(&client, &StationClient::lost, [this](const QString& why) { lost = why; });
    }
};

}  // namespace

class TestStationSocket : public QObject {
    Q_OBJECT

signals:
    void ctrlC();

private slots:
    void readsRequests_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("code");
        QTest::newRow("status") << QByteArray("status") << 0;
        QTest::newRow("status CRLF, spaces") << QByteArray("  status \r") << 0;
        QTest::newRow("calibrate five with options") << QByteArray("calibrate five --beamwidth 2.5 --dwell 3") << 0;
        QTest::newRow("stow alone") << QByteArray("stow") << 0;
        QTest::newRow("stow comma") << QByteArray("stow 180,45.5") << 0;
        QTest::newRow("unknown") << QByteArray("fly 10 20") << -4;
        QTest::newRow("capitals") << QByteArray("STATUS") << -4;
        QTest::newRow("empty") << QByteArray("") << -8;
        QTest::newRow("not UTF-8") << QByteArray("stow \xff\xfe") << -8;
        QTest::newRow("control character") << QByteArray("status\x1b[2J") << -8;
        QTest::newRow("too long") << QByteArray("sun-noise ") + QByteArray(5000, 'x') << -8;
        QTest::newRow("calibrate without pattern") << QByteArray("calibrate --beamwidth 2") << -1;
        QTest::newRow("stow one number") << QByteArray("stow 180") << -1;
        QTest::newRow("stow not a number") << QByteArray("stow north 10") << -1;
        QTest::newRow("stow nan") << QByteArray("stow nan 10") << -1;
        QTest::newRow("stow out of range") << QByteArray("stow 180 95e3") << -1;
        QTest::newRow("status with argument") << QByteArray("status now") << -1;
        QTest::newRow("broken escape") << QByteArray("sun-noise --csv a%2") << -1;
        QTest::newRow("escaped control") << QByteArray("sun-noise --csv a%0Ab") << -1;
    }

    void readsRequests()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, code);
        const RequestReading reading = readRequest(line);
        QCOMPARE(static_cast<int>(reading.code), code);
        QCOMPARE(reading.request.has_value(), code == 0);
        if (code != 0) {
            // Said in both languages, and what was received is never echoed raw.
            QCOMPARE(reading.problem.count(QLatin1Char('\n')), 1);
            QVERIFY(!reading.problem.contains(QChar(0x1b)));
        }
    }

    void requestsRoundTrip()
    {
        StationRequest calibrate{RequestKind::Calibrate, QStringLiteral("cross"), {QStringLiteral("--power"), QStringLiteral("command:/opt/my tools/read power %d \"q\""), QStringLiteral("--cold"), QStringLiteral("-10,20"), QString(), QStringLiteral("太陽")}, std::nullopt, std::nullopt};
        StationRequest stow{RequestKind::Stow, QString(), {}, 0.1 + 0.2, -5.0};
        for (const StationRequest& request : {calibrate, stow, StationRequest{RequestKind::Cancel, {}, {}, {}, {}}}) {
            const QByteArray line = requestLine(request);
            QVERIFY(line.endsWith('\n') && line.count('\n') == 1);
            const RequestReading back = readRequest(line.chopped(1));
            QVERIFY2(back.request, qPrintable(back.problem));
            QCOMPARE(*back.request, request);
        }
        // A word that cannot be carried is refused by the reader, not altered.
        calibrate.arguments = {QStringLiteral("a\tb")};
        QCOMPARE(readRequest(requestLine(calibrate).chopped(1)).code, StationCode::InvalidArgument);
    }

    void readsAnswers()
    {
        const QByteArray lines = progressLines(QStringLiteral("一\ntwo\x07")) + sayLines(QString()) + endLine(StationCode::Refused);
        const QList<QByteArray> split = lines.chopped(1).split('\n');
        QCOMPARE(split.size(), 4);
        QCOMPARE(*readAnswerLine(split[0]), (AnswerLine{AnswerKind::Progress, QStringLiteral("一"), StationCode::Ok}));
        QCOMPARE(readAnswerLine(split[1])->text, QStringLiteral("two "));
        QCOMPARE(readAnswerLine(split[2])->kind, AnswerKind::Say);
        QCOMPARE(readAnswerLine(split[3])->code, StationCode::Refused);
        QCOMPARE(exitStatusFor(StationCode::Refused), 3);
        // A run skipped for a low sun is no failure of a timer's service.
        QCOMPARE(exitStatusFor(readAnswerLine("RPRT -17")->code), 0);
        QCOMPARE(readAnswerLine("RPRT -99")->code, StationCode::Failed);
        for (const QByteArray& junk : {QByteArray("RPRT"), QByteArray("RPRT x"), QByteArray("hello"), QByteArray("say: \xff")})
            QVERIFY2(!readAnswerLine(junk), junk.constData());
    }

    void garbageIsAnsweredAndTheNextRequestStillServed()
    {
        QTemporaryDir dir;
        Bridge bridge;
        StationServer server(bridge, dir.filePath(QStringLiteral("s")));
        QCOMPARE(server.listen(), StationServer::Listening::Yes);
        struct stat info { };
        QCOMPARE(::stat(QFile::encodeName(server.socketPath()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 077, 0u);  // only its user may connect

        QLocalSocket raw;
        raw.connectToServer(server.socketPath());
        QVERIFY(raw.waitForConnected(2000));
        raw.write(QByteArrayLiteral("\xff\xfe\x00garbage\nfly away\n"));
        raw.write(QByteArray(10000, 'x'));  // a line that never ends where it should
        raw.write("\nstatus\n");
        const QList<QByteArray> garbage = answer(raw);
        QCOMPARE(garbage.size(), 3);
        QVERIFY(garbage[0].startsWith("say: ") && garbage[1].startsWith("say: "));
        QCOMPARE(garbage[2], QByteArray("RPRT -8"));
        QCOMPARE(answer(raw).value(2), QByteArray("RPRT -4"));
        QCOMPARE(answer(raw).value(2), QByteArray("RPRT -8"));
        const QList<QByteArray> status = answer(raw);
        QCOMPARE(status, (QList<QByteArray>{"say: 追尾中", "say: tracking", "RPRT 0"}));
        QCOMPARE(bridge.seen.size(), 1u);
    }

    void aMeasurementSaysItsProgressAndEndsWhenItsAskerGoes()
    {
        QTemporaryDir dir;
        Bridge bridge;
        StationServer server(bridge, dir.filePath(QStringLiteral("s")));
        QCOMPARE(server.listen(), StationServer::Listening::Yes);
        Asker first(server.socketPath());
        QVERIFY(first.client.connectToBridge());
        first.client.send({RequestKind::Calibrate, QStringLiteral("cross"), {QStringLiteral("--beamwidth"), QStringLiteral("2")}, {}, {}});
        QTRY_COMPARE(first.progress, (QStringList{QStringLiteral("1/9 点目"), QStringLiteral("point 1 of 9")}));
        QCOMPARE(bridge.seen[0].arguments, (QStringList{QStringLiteral("--beamwidth"), QStringLiteral("2")}));

        Asker second(server.socketPath());
        QVERIFY(second.client.connectToBridge());
        second.client.send({RequestKind::SunNoise, {}, {}, {}, {}});
        QTRY_VERIFY(second.code);
        QCOMPARE(*second.code, StationCode::Refused);
        QCOMPARE(second.said.last(), QStringLiteral("a measurement is running"));

        first.client.abandon();  // Ctrl+C on the asking command
        QTRY_VERIFY(bridge.abandoned);
        QTRY_VERIFY(!bridge.measuring);

        // The same while the asking command waits in ask(): exit 1.
        bridge.abandoned = false;
        Asker third(server.socketPath());
        QVERIFY(third.client.connectToBridge());
        QCOMPARE(third.client.ask({RequestKind::Status, {}, {}, {}, {}}), 0);
        QTimer::singleShot(100, this, [this] { emit ctrlC(); });
        QCOMPARE(third.client.ask({RequestKind::Calibrate, QStringLiteral("five"), {}, {}, {}}, this, &TestStationSocket::ctrlC), 1);
        QTRY_VERIFY(bridge.abandoned);
        QTRY_COMPARE(server.connectionCount(), 1);
        QVERIFY(first.lost.isEmpty() && !first.code);
    }

    void theAskerHearsTheBridgeGoAway()
    {
        QTemporaryDir dir;
        Bridge bridge;
        auto server = std::make_unique<StationServer>(bridge, dir.filePath(QStringLiteral("s")));
        QCOMPARE(server->listen(), StationServer::Listening::Yes);
        Asker asker(server->socketPath());
        QVERIFY(asker.client.connectToBridge());
        asker.client.send({RequestKind::Calibrate, QStringLiteral("five"), {}, {}, {}});
        QTRY_VERIFY(!asker.progress.isEmpty());
        server.reset();  // the bridge's end closes, as when it is killed
        QTRY_COMPARE(asker.lost, StationClient::lostText());
        QVERIFY(!asker.code);
        QCOMPARE(asker.client.ask({RequestKind::Status, {}, {}, {}, {}}), 1);
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("s"))));
        QVERIFY(!Asker(dir.filePath(QStringLiteral("s"))).client.connectToBridge(200));
    }

    void aSocketLeftBehindIsTakenOverAndALiveBridgeIsNot()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s"));
        {
            // What a bridge killed with SIGKILL leaves: the socket's file, nobody on it.
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            const QByteArray native = QFile::encodeName(path);
            std::memcpy(address.sun_path, native.constData(), static_cast<std::size_t>(native.size()));
            QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
            ::close(fd);
            // and its lock, naming a process that is gone.
            QProcess gone;
            gone.start(QStringLiteral("sleep"), {QStringLiteral("0.1")});
            QVERIFY(gone.waitForStarted());
            const qint64 pid = gone.processId();
            QVERIFY(gone.waitForFinished());
            QFile lock(path + QStringLiteral(".lock"));
            QVERIFY(lock.open(QIODevice::WriteOnly));
            lock.write(QByteArray::number(pid) + "\nheliotrope-rotctl\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        }
        Bridge bridge;
        StationServer server(bridge, path);
        QCOMPARE(server.listen(), StationServer::Listening::Yes);

        Bridge other;
        StationServer second(other, path);
        QCOMPARE(second.listen(), StationServer::Listening::AnotherBridge);
        QVERIFY(second.problem().contains(QStringLiteral("Another heliotrope-rotctl")));
        Asker asker(path);
        QVERIFY(asker.client.connectToBridge());
        asker.client.send({RequestKind::Status, {}, {}, {}, {}});
        QTRY_VERIFY(asker.code);
        QCOMPARE(bridge.seen.size(), 1u);
        QVERIFY(other.seen.empty());

        // Not a socket at all: left as it is.
        const QString file = dir.filePath(QStringLiteral("f"));
        QFile plain(file);
        QVERIFY(plain.open(QIODevice::WriteOnly) && plain.write("keep") == 4);
        plain.close();
        StationServer third(other, file);
        QCOMPARE(third.listen(), StationServer::Listening::Failed);
        QCOMPARE(QFile(file).size(), 4);
    }

    void aBridgeKilledMidMeasurementIsHeardAndReplaced()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s"));
        QProcess bridge;
        bridge.start(QStringLiteral(HELIOTROPE_STATION_STAND_IN_PATH), {path});
        QVERIFY(bridge.waitForReadyRead(10000));
        QCOMPARE(bridge.readLine().trimmed(), QByteArray("listening"));
        Asker asker(path);
        QVERIFY(asker.client.connectToBridge());
        asker.client.send({RequestKind::Calibrate, QStringLiteral("cross"), {}, {}, {}});
        QTRY_VERIFY(!asker.progress.isEmpty());
        ::kill(static_cast<pid_t>(bridge.processId()), SIGKILL);
        QTRY_COMPARE(asker.lost, StationClient::lostText());
        QTRY_COMPARE(bridge.state(), QProcess::NotRunning);
        // Its socket and lock are left behind; the next bridge takes both.
        QVERIFY(QFile::exists(path) && QFile::exists(path + QStringLiteral(".lock")));
        QProcess next;
        next.start(QStringLiteral(HELIOTROPE_STATION_STAND_IN_PATH), {path});
        QVERIFY(next.waitForReadyRead(10000));
        QCOMPARE(next.readLine().trimmed(), QByteArray("listening"));
        Asker again(path);
        QVERIFY(again.client.connectToBridge());
        QCOMPARE(again.client.ask({RequestKind::Status, {}, {}, {}, {}}), 0);
        next.kill();
        next.waitForFinished();
    }

    void theSocketLivesInTheRuntimeDirectory()
    {
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        QString problem;
        qunsetenv("XDG_RUNTIME_DIR");
        QVERIFY(StationServer::defaultSocketPath(&problem).isEmpty());
        QVERIFY(problem.contains(QStringLiteral("XDG_RUNTIME_DIR is not set")) && problem.contains(QStringLiteral("設定されていない")));
        QTemporaryDir dir;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
        QCOMPARE(StationServer::defaultSocketPath(&problem), dir.filePath(QStringLiteral("heliotrope-rotctl.socket")));
        qputenv("XDG_RUNTIME_DIR", saved);
    }

    void theClockIsReadFromTheKernel()
    {
        QCOMPARE(systemClockState([](timex*) { return TIME_ERROR; }), ClockState::Unsynchronised);
        QCOMPARE(systemClockState([](timex*) { return TIME_OK; }), ClockState::Synchronised);
        QCOMPARE(systemClockState([](timex*) { return TIME_INS; }), ClockState::Synchronised);
        QCOMPARE(systemClockState([](timex* t) { return t->modes == 0 ? -1 : TIME_OK; }), ClockState::Unknown);
        QVERIFY(clockStateText(ClockState::Synchronised).isEmpty());
        QVERIFY(clockStateText(ClockState::Unsynchronised).contains(QStringLiteral("--clock-unsynchronised-ok")));
        // The real kernel answers, whatever this machine's clock is.
        QVERIFY(systemClockState() != ClockState::Unknown);
    }
};

QTEST_MAIN(TestStationSocket)
#include "tst_stationsocket.moc"
