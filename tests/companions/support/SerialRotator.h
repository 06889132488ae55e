#pragma once

// A rotator as a site owns it, for a test: heliotrope-sim --serial speaking a
// controller's protocol on a pseudo-terminal, and the real rotctld driving it
// with Hamlib's backend for that controller, on a free loopback port. Both
// are ended when the test is done with them. The test binary is given the
// simulator's path as HELIOTROPE_SIM_PATH.

#include "RotctldProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <csignal>

class SerialRotator {
public:
    SerialRotator() = default;
    SerialRotator(const SerialRotator&) = delete;
    SerialRotator& operator=(const SerialRotator&) = delete;
    ~SerialRotator() { stop(); }

    // rotctld's model for each of the simulator's protocols.
    static int hamlibModel(const QString& protocol)
    {
        if (protocol == QLatin1String("gs232a"))
            return 601;
        if (protocol == QLatin1String("gs232b"))
            return 603;
        if (protocol == QLatin1String("easycomm2"))
            return 202;
        return 901;  // rot2prog
    }

    // Hamlib's pause after each command it writes to the controller, ms: a
    // wait for the real device's sake, not a deadline (its timeouts are).
    static int postWriteDelayMs(const QString& protocol)
    {
        if (protocol == QLatin1String("easycomm2"))
            return 0;
        return protocol == QLatin1String("rot2prog") ? 300 : 50;
    }

    // Starts the simulator (`options` after --serial PROTOCOL, e.g. rates),
    // reads its device line, then rotctld on it. False when either fails
    // within five seconds. With the programs' time running `timeScale` times
    // faster (TestTimeScale), rotctld's pause after each command is cut by as
    // much, so that an exchange takes the time it would with the device; its
    // timeouts and retries stay Hamlib's.
    // `rotctldConf`: more of rotctld's -C, e.g. "retry=0".
    bool start(const QString& protocol, const QStringList& options = {}, double timeScale = 1.0, const QString& rotctldConf = {})
    {
        // The simulator's lines go to a file, not a pipe: a long test that
        // never reads them cannot stall it on a full pipe.
        m_sim.setStandardOutputFile(m_dir.filePath(QStringLiteral("sim.out")));
        m_sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_sim.start(QStringLiteral(HELIOTROPE_SIM_PATH), QStringList{QStringLiteral("--serial"), protocol} + options);
        QElapsedTimer waited;
        waited.start();
        while (m_device.isEmpty() && waited.elapsed() < 5000 && m_sim.state() != QProcess::NotRunning) {
            QTest::qWait(20);
            for (const QString& line : output()) {
                const qsizetype at = line.indexOf(QLatin1String("serial device: "));
                if (at >= 0)
                    m_device = line.mid(at + 15).trimmed();
            }
        }
        QStringList conf;
        if (timeScale > 1.0)
            conf << QStringLiteral("post_write_delay=%1").arg(static_cast<int>(std::lround(postWriteDelayMs(protocol) / timeScale)));
        if (!rotctldConf.isEmpty())
            conf << rotctldConf;
        return !m_device.isEmpty() && m_rotctld.startOnDevice(RotctldProcess::freePort(), hamlibModel(protocol), m_device, conf.join(QLatin1Char(',')));
    }

    // Every line the simulator has printed so far.
    QStringList output() const
    {
        QFile file(m_dir.filePath(QStringLiteral("sim.out")));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    quint16 port() const { return m_rotctld.port(); }
    QString device() const { return m_device; }

    // SIGUSR1: the simulator's line goes silent, or speaks again.
    void toggleSilence() { ::kill(static_cast<pid_t>(m_sim.processId()), SIGUSR1); }

    // Ends both (the simulator by SIGTERM, so that it says its closing
    // lines) and returns every line the simulator printed.
    QStringList stop()
    {
        m_rotctld.kill();
        if (m_sim.state() != QProcess::NotRunning) {
            m_sim.terminate();
            if (!m_sim.waitForFinished(3000))
                m_sim.kill();
        }
        return output();
    }

private:
    QTemporaryDir m_dir;
    QProcess m_sim;
    RotctldProcess m_rotctld;
    QString m_device;
};

// One rotctld command and its whole answer: for "p" two lines of degrees or
// an "RPRT n" line, for anything else the "RPRT n" line. Empty when rotctld
// says nothing within waitMs. The client's socket stays open between calls.
class RotctldSession {
public:
    bool connectTo(quint16 port)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        return m_socket.waitForConnected(3000);
    }

    QByteArray ask(const QByteArray& command, int waitMs = 10000)
    {
        m_socket.write(command + '\n');
        QByteArray answer;
        QElapsedTimer waited;
        waited.start();
        const bool position = command == "p";
        while (waited.elapsed() < waitMs) {
            if (m_socket.bytesAvailable() == 0)
                m_socket.waitForReadyRead(50);
            answer += m_socket.readAll();
            if (answer.contains("RPRT") && answer.endsWith('\n'))
                return answer;
            if (position && answer.count('\n') >= 2)
                return answer;
        }
        return answer;
    }

private:
    QTcpSocket m_socket;
};
