#pragma once

// The calibration's progress for the operator: on a terminal one line,
// rewritten in place; otherwise (a log, a pipe) one line per step, so that
// the log stays readable. Other lines printed meanwhile go through here so
// they never land in the middle of the progress line.

#include <QString>

#include <cstdio>

namespace heliotrope::rotctl {

class ProgressLine {
public:
    explicit ProgressLine(std::FILE* stream);

    void show(const QString& text);
    // A whole line, after the progress line if one is showing.
    void print(const QString& line);

private:
    std::FILE* m_stream;
    bool m_terminal;
    bool m_showing = false;
};

// A warning as the journal takes it: each line prefixed with <4>, the
// warning priority, when `stream` is the journal's own (systemd names it in
// JOURNAL_STREAM); as it is otherwise, on a terminal or in a file.
QString warningLine(const QString& line, std::FILE* stream = stdout);

}  // namespace heliotrope::rotctl
