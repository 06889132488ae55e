#pragma once

// A program of the station started by a test, its output (both channels)
// gathered as it comes, killed if still running when the test is done.

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>

// The UDP port a bridge said it listens on; 0 when it has not said so.
inline quint16 bridgePortFrom(const QString& output)
{
    static const QRegularExpression listening(QStringLiteral("127\\.0\\.0\\.1:(\\d+) で指向データを待ち"));
    return static_cast<quint16>(listening.match(output).captured(1).toUInt());
}

struct Program {
    QProcess process;
    QString output;

    explicit Program(const QStringList& arguments, const QString& program = QStringLiteral(HELIOTROPE_ROTCTL_PATH))
    {
        process.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&process, &QProcess::readyRead, &process, [this] { output += QString::fromUtf8(process.readAll()); });
        process.start(program, arguments);
    }
    ~Program()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(3000);
        }
    }
    bool waitFor(const QString& text, int timeoutMs = 15000)
    {
        QElapsedTimer waited;
        waited.start();
        while (!output.contains(text) && waited.elapsed() < timeoutMs && process.state() != QProcess::NotRunning)
            QTest::qWait(20);
        QTest::qWait(20);
        return output.contains(text);
    }
    // The exit status once it ends, -1 when it does not within timeoutMs.
    int exitWithin(int timeoutMs)
    {
        QElapsedTimer waited;
        waited.start();
        while (process.state() != QProcess::NotRunning && waited.elapsed() < timeoutMs)
            QTest::qWait(20);
        QTest::qWait(20);
        return process.state() == QProcess::NotRunning ? process.exitCode() : -1;
    }
};

