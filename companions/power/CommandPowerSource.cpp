#include "companions/power/CommandPowerSource.h"

#include <QProcess>

#include <cmath>

namespace heliotrope::power {

namespace {

// More output than this is not one number; it is cut before it is shown.
constexpr qsizetype kShownBytes = 80;
// Output beyond this ends the reading at once.
constexpr qint64 kLongestOutput = 4096;

QString shown(const QByteArray& bytes)
{
    QString text;
    for (const char c : bytes.left(kShownBytes)) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\n')
            text += QStringLiteral("\\n");
        else
            text += (u >= 0x20 && u < 0x7f) ? QString(QChar(c)) : QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
    }
    return bytes.size() > kShownBytes ? text + QStringLiteral("...") : text;
}

}  // namespace

std::optional<double> readCommandOutput(const QByteArray& output)
{
    const QByteArray text = output.trimmed();
    if (text.isEmpty() || text.size() > 64)
        return std::nullopt;
    for (const char c : text) {
        // One number only: digits, one sign, one point, an exponent. No words,
        // no second number on another line.
        if (!((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E'))
            return std::nullopt;
    }
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

CommandPowerSource::CommandPowerSource(const QString& commandLine, int deadlineMs, QObject* parent)
    : PowerSource(parent)
    , m_commandLine(commandLine)
    , m_words(QProcess::splitCommand(commandLine))
    , m_deadlineMs(deadlineMs)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        finish(std::nullopt, QStringLiteral("コマンド「%1」が %2 秒以内に終わりません。\nThe command \"%1\" did not end within %2 s.").arg(m_commandLine).arg(m_deadlineMs / 1000.0));
    });
}

CommandPowerSource::~CommandPowerSource()
{
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(1000);
    }
}

bool CommandPowerSource::isUsable(QString* problem) const
{
    if (!m_words.isEmpty())
        return true;
    if (problem)
        *problem = QStringLiteral("電力を読むコマンドが空です。\nThe power command is empty.");
    return false;
}

QString CommandPowerSource::description() const
{
    return QStringLiteral("command: %1").arg(m_commandLine);
}

void CommandPowerSource::requestReading()
{
    if (m_process)
        return;
    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    connect(m_process, &QProcess::finished, this,
            [this](int exitCode, QProcess::ExitStatus status) { onFinished(exitCode, static_cast<int>(status)); });
    connect(m_process, &QProcess::errorOccurred, this,
            [this](QProcess::ProcessError error) { onErrorOccurred(static_cast<int>(error)); });
    connect(m_process, &QProcess::readyReadStandardOutput, this, [this] {
        // One number is a few bytes: a command that floods is not a power meter,
        // and its output must not fill the bridge's memory until the deadline.
        if (m_process && m_process->bytesAvailable() > kLongestOutput) {
            finish(std::nullopt, QStringLiteral("コマンド「%1」の出力が多すぎます（%2 バイト超）。\nThe command \"%1\" printed more than %2 bytes.").arg(m_commandLine).arg(kLongestOutput));
        }
    });
    m_deadline.start(m_deadlineMs);
    if (m_words.isEmpty()) {
        // Said from the event loop, as every outcome is.
        QTimer::singleShot(0, this, [this] {
            QString problem;
            isUsable(&problem);
            finish(std::nullopt, problem);
        });
        return;
    }
    m_process->start(m_words.constFirst(), m_words.mid(1));
}

void CommandPowerSource::onFinished(int exitCode, int exitStatus)
{
    if (!m_process)
        return;
    const QByteArray output = m_process->readAllStandardOutput();
    const QByteArray errors = m_process->readAllStandardError().trimmed();
    const QString errorText = errors.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(shown(errors));
    if (exitStatus != QProcess::NormalExit) {
        finish(std::nullopt, QStringLiteral("コマンド「%1」が異常終了しました%2。\nThe command \"%1\" crashed%2.").arg(m_commandLine, errorText));
        return;
    }
    if (exitCode != 0) {
        finish(std::nullopt, QStringLiteral("コマンド「%1」が終了コード %2 で終わりました%3。\nThe command \"%1\" exited with status %2%3.").arg(m_commandLine).arg(exitCode).arg(errorText));
        return;
    }
    const std::optional<double> value = readCommandOutput(output);
    if (!value) {
        finish(std::nullopt, QStringLiteral("コマンド「%1」の出力「%2」は dB の数値 1 つではありません。\n"
                                            "The command \"%1\" printed \"%2\", not one number in dB.")
                                 .arg(m_commandLine, shown(output)));
        return;
    }
    finish(value, {});
}

void CommandPowerSource::onErrorOccurred(int error)
{
    if (!m_process || error != QProcess::FailedToStart)
        return;  // a crash or a kill is said by finished
    finish(std::nullopt, QStringLiteral("コマンド「%1」を起動できません: %2。コマンドの名前とパス、実行権限を確かめてください。\n"
                                        "The command \"%1\" cannot be started: %2. Check its name, its path and that it may be run.")
                             .arg(m_commandLine, m_process->errorString()));
}

void CommandPowerSource::finish(std::optional<double> decibels, const QString& reason)
{
    if (!m_process)
        return;
    m_deadline.stop();
    QProcess* process = m_process;
    m_process = nullptr;
    process->disconnect(this);
    if (process->state() != QProcess::NotRunning) {
        process->kill();
        // Reaped before it is deleted, so no zombie is left per late reading.
        connect(process, &QProcess::finished, process, &QObject::deleteLater);
    } else {
        process->deleteLater();
    }
    if (decibels)
        emit readingArrived(*decibels);
    else
        emit failed(reason);
}

}  // namespace heliotrope::power
