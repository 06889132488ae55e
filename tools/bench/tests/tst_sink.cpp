// The counting controller decides whether the bench believes the window sent
// anything, so it must neither lose a datagram nor miss being asked.

#include <QHostAddress>
#include <QProcess>
#include <QTest>
#include <QUdpSocket>

#include <csignal>

class TestSink : public QObject {
    Q_OBJECT
private slots:
    void countsWhatArrivesAndSaysSoWhenAsked();
};

namespace {

// The next line the sink writes, waiting for it.
QByteArray nextLine(QProcess& sink)
{
    QDeadlineTimer deadline(5000);
    while (!sink.canReadLine() && !deadline.hasExpired())
        sink.waitForReadyRead(100);
    return sink.readLine().trimmed();
}

}  // namespace

void TestSink::countsWhatArrivesAndSaysSoWhenAsked()
{
    QProcess sink;
    sink.start(QStringLiteral(HELIOTROPE_SINK), {});
    QVERIFY(sink.waitForStarted());
    const QByteArray first = nextLine(sink);
    QVERIFY2(first.startsWith("port "), first.constData());
    const auto port = static_cast<quint16>(first.mid(5).toUInt());
    QVERIFY(port != 0);

    QUdpSocket window;
    for (const QByteArray& message : {QByteArray("0,108.46, 78.43"), QByteArray(), QByteArray("0,065.20,.000")})
        QCOMPARE(window.writeDatagram(message, QHostAddress::LocalHost, port), message.size());
    // Asked at once, and asked again: every answer is a line of its own, and
    // none is lost to a signal that arrives while the sink is between waits.
    for (int i = 0; i < 20; ++i) {
        ::kill(static_cast<pid_t>(sink.processId()), SIGUSR1);
        const QByteArray answer = nextLine(sink);
        QVERIFY2(answer.startsWith("count "), answer.constData());
        if (answer == "count 3")
            break;
        QVERIFY2(i < 19, "the count never reached 3");
    }
    sink.terminate();
    QVERIFY(sink.waitForFinished(5000));
    QCOMPARE(nextLine(sink), QByteArray("datagrams 3 last 0,065.20,.000"));
}

QTEST_GUILESS_MAIN(TestSink)
#include "tst_sink.moc"
