#pragma once

// Hamlib's rotctld with its dummy rotator (model 1), or a real backend on a
// serial device, started by a test on a free loopback port and killed when
// the test is done with it. The same for rigctld and its dummy radio, given
// as the daemon.

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

class RotctldProcess {
public:
    explicit RotctldProcess(const QString& daemon = QStringLiteral("rotctld"))
        : m_daemon(daemon)
    {
    }
    RotctldProcess(const RotctldProcess&) = delete;
    RotctldProcess& operator=(const RotctldProcess&) = delete;
    ~RotctldProcess() { kill(); }

    static QString program(const QString& daemon = QStringLiteral("rotctld")) { return QStandardPaths::findExecutable(daemon); }

    // A TCP port free on loopback just now.
    static quint16 freePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }

    // Starts rotctld on `port` (conf: rotctld's -C, e.g. "max_az=20") and waits
    // until it takes connections. False when it does not within three seconds.
    bool start(quint16 port, const QString& conf = {})
    {
        QStringList arguments{QStringLiteral("-m"), QStringLiteral("1")};
        if (!conf.isEmpty())
            arguments << QStringLiteral("-C") << conf;
        return launch(port, arguments);
    }

    // Starts rotctld with Hamlib's backend `model` driving the controller on
    // the serial device `device`, as start() does the dummy.
    bool startOnDevice(quint16 port, int model, const QString& device, const QString& conf = {})
    {
        QStringList arguments{QStringLiteral("-m"), QString::number(model), QStringLiteral("-r"), device};
        if (!conf.isEmpty())
            arguments << QStringLiteral("-C") << conf;
        return launch(port, arguments);
    }

    // As a crash or a kill -9 would end it: no goodbye to its clients.
    void kill()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(3000);
    }

    quint16 port() const { return m_port; }

private:
    bool launch(quint16 port, QStringList arguments)
    {
        m_port = port;
        arguments << QStringLiteral("-T") << QStringLiteral("127.0.0.1") << QStringLiteral("-t") << QString::number(port);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.start(program(m_daemon), arguments);
        if (!m_process.waitForStarted(3000))
            return false;
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 3000) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port);
            if (probe.waitForConnected(200)) {
                probe.disconnectFromHost();
                // rigctld (Hamlib 4.5) closes the radio when a client leaves
                // and drops a connection that comes in meanwhile (about one
                // in fifty made at once); let it finish with the probe.
                if (m_daemon == QStringLiteral("rigctld"))
                    QTest::qWait(300);
                return true;
            }
            QTest::qWait(50);
        }
        return false;
    }

    QString m_daemon;
    QProcess m_process;
    quint16 m_port = 0;
};
