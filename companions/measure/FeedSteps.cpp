#include "companions/measure/FeedSteps.h"

#include <QProcess>
#include <QSocketNotifier>
#include <QTimer>

#include <termios.h>
#include <unistd.h>

namespace heliotrope::measure {

namespace {

// A switching command that has not ended by then is taken as failed: the
// source's state is then not known.
constexpr int kCommandTimeoutMs = 60000;

// The absorber by the operator's hands: a prompt, then a line on the
// terminal. The end of the input (no one at the terminal) ends the run
// rather than measure what was never put in place.
class TerminalSteps : public FeedSteps {
public:
    explicit TerminalSteps(QObject* parent = nullptr)
        : FeedSteps(parent)
    {
    }

    void take(Step step) override
    {
        if (step == Step::Raise)
            emit notice(QStringLiteral("▶ 常温の吸収体を給電部にすき間なくかぶせ、手を離してから Enter を押してください。\n"
                                       "▶ Put the ambient absorber over the feed, leaving no gap, stand clear, then press Enter."));
        else
            emit notice(QStringLiteral("▶ 吸収体を給電部から外し、手を離してから Enter を押してください。\n"
                                       "▶ Take the absorber off the feed, stand clear, then press Enter."));
        // An Enter typed ahead (twice for the last step) is not this step's answer.
        ::tcflush(STDIN_FILENO, TCIFLUSH);
        m_line.clear();
        m_notifier = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { readTerminal(); });
    }

    void abandon(bool raised) override
    {
        m_notifier.reset();
        if (raised)
            emit notice(QStringLiteral("吸収体が給電部にかぶさっていれば外してください。\n"
                                       "If the absorber is over the feed, take it off."));
    }

private:
    void readTerminal()
    {
        char byte = 0;
        for (;;) {
            const ssize_t got = ::read(STDIN_FILENO, &byte, 1);
            if (got <= 0) {
                m_notifier.reset();
                emit failed(QStringLiteral("端末から答えがありません（入力が閉じています）。吸収体の置き外しを確かめられません。"),
                            QStringLiteral("no answer from the terminal (its input is closed): the absorber's steps cannot be confirmed."));
                return;
            }
            if (byte == '\n')
                break;
            m_line += byte;
        }
        m_notifier.reset();
        emit taken();
    }

    std::unique_ptr<QSocketNotifier> m_notifier;
    QByteArray m_line;
};

// The noise source by the operator's commands, each through the shell.
class CommandSteps : public FeedSteps {
public:
    CommandSteps(QString on, QString off, QObject* parent = nullptr)
        : FeedSteps(parent)
        , m_on(std::move(on))
        , m_off(std::move(off))
    {
        m_timeout.setSingleShot(true);
        connect(&m_timeout, &QTimer::timeout, this, [this] {
            if (m_process)
                m_process->kill();
        });
    }

    ~CommandSteps() override
    {
        if (m_process) {
            m_process->disconnect(this);
            m_process->kill();
            m_process->waitForFinished(1000);
        }
    }

    void take(Step step) override
    {
        const QString& command = step == Step::Raise ? m_on : m_off;
        emit notice(step == Step::Raise ? QStringLiteral("雑音源を入れます: %1\nSwitching the noise source on: %1").arg(command)
                                        : QStringLiteral("雑音源を切ります: %1\nSwitching the noise source off: %1").arg(command));
        run(command);
    }

    void abandon(bool raised) override
    {
        if (m_process) {
            m_process->disconnect(this);
            m_process->kill();
            m_process->waitForFinished(1000);
            m_process.reset();
        }
        if (!raised)
            return;
        // Left on, the source would raise every reading after the run.
        QProcess off;
        off.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), m_off});
        const bool ended = off.waitForFinished(kCommandTimeoutMs);
        if (ended && off.exitStatus() == QProcess::NormalExit && off.exitCode() == 0)
            emit notice(QStringLiteral("雑音源を切りました。\nThe noise source is switched off."));
        else
            emit notice(QStringLiteral("雑音源を切れませんでした（%1）。手で切ってください。\n"
                                       "The noise source could not be switched off (%1): switch it off by hand.")
                            .arg(m_off));
    }

private:
    void run(const QString& command)
    {
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        connect(m_process.get(), &QProcess::finished, this, [this, command](int exitCode, QProcess::ExitStatus status) {
            m_timeout.stop();
            const QString output = QString::fromLocal8Bit(m_process->readAll()).trimmed();
            m_process.release()->deleteLater();
            if (status == QProcess::NormalExit && exitCode == 0) {
                emit taken();
                return;
            }
            const QString why = status == QProcess::NormalExit ? QStringLiteral("exit %1").arg(exitCode) : QStringLiteral("killed");
            emit failed(QStringLiteral("雑音源のコマンド「%1」が失敗しました（%2）%3").arg(command, why, output.isEmpty() ? QString() : QStringLiteral(": ") + output),
                        QStringLiteral("the noise source's command \"%1\" failed (%2)%3").arg(command, why, output.isEmpty() ? QString() : QStringLiteral(": ") + output));
        });
        connect(m_process.get(), &QProcess::errorOccurred, this, [this, command](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart)
                return;
            m_timeout.stop();
            m_process.release()->deleteLater();
            emit failed(QStringLiteral("雑音源のコマンド「%1」を始められません").arg(command),
                        QStringLiteral("the noise source's command \"%1\" cannot be started").arg(command));
        });
        m_timeout.start(kCommandTimeoutMs);
        m_process->start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    }

    QString m_on;
    QString m_off;
    std::unique_ptr<QProcess> m_process;
    QTimer m_timeout;
};

}  // namespace

std::unique_ptr<FeedSteps> makeFeedSteps(const SystemTemperatureOptions& options)
{
    if (options.method == SystemTemperatureMethod::HotCold)
        return std::make_unique<TerminalSteps>();
    return std::make_unique<CommandSteps>(options.sourceOnCommand, options.sourceOffCommand);
}

}  // namespace heliotrope::measure
