#pragma once

// The received power from a command run once per reading (a wrapper around
// rtl_power, a script reading a power meter): it prints one number, the power
// in dB, decimals allowed, and exits with status 0. Anything else (another
// exit status, no number, a second number or other words, no end within the
// deadline) is a failed reading, said with what the command printed.
//
// The command is run directly, not through a shell: its words are split as a
// shell would split them (double quotes keep a word together; single quotes
// are not quotes), nothing is expanded.

#include "companions/power/PowerSource.h"

#include <QByteArray>
#include <QStringList>
#include <QTimer>

#include <optional>

class QProcess;

namespace heliotrope::power {

// One reading from what the command printed on its standard output: a single
// finite decimal number with blanks and one line end around it.
std::optional<double> readCommandOutput(const QByteArray& output);

class CommandPowerSource : public PowerSource {
    Q_OBJECT

public:
    // commandLine: the program and its arguments, as one line.
    CommandPowerSource(const QString& commandLine, int deadlineMs = 5000, QObject* parent = nullptr);
    ~CommandPowerSource() override;

    // False with the reason when the line holds no program.
    bool isUsable(QString* problem) const;

    void requestReading() override;
    bool readingPending() const override { return m_process != nullptr; }
    QString description() const override;
    double resolution() const override { return 0.0; }

private:
    void onFinished(int exitCode, int exitStatus);
    void onErrorOccurred(int error);
    void finish(std::optional<double> decibels, const QString& reason);

    QString m_commandLine;
    QStringList m_words;
    int m_deadlineMs;
    QProcess* m_process = nullptr;
    QTimer m_deadline;
};

}  // namespace heliotrope::power
