#pragma once

// --history: the station's record for the operator, read without rotctld or a
// running bridge: a line a run, oldest first, with its figures, and with
// --plot a picture of Y, G/T and the offsets against the date. A record that
// is not there yet, or has nothing since the date asked, is said as such; one
// written by a newer heliotrope-rotctl is read all the same.

#include <QDateTime>
#include <QString>

#include <optional>

namespace heliotrope::companions {
class CompanionCommandLine;
}

namespace heliotrope::rotctl {

struct HistoryOptions {
    QDateTime since;   // UTC; invalid: from the first run
    QString plotPath;  // empty: the lines only
};

// The options, added to the command line and read back after parse(): nothing
// without --history; --since and --plot without it are problems.
void addHistoryOptions(companions::CompanionCommandLine& commandLine);
std::optional<HistoryOptions> readHistoryOptions(companions::CompanionCommandLine& commandLine);

struct HistoryReport {
    QString text;      // for standard output: the note on the record, the lines, the picture saved
    QString problem;   // for standard error: why the record or the picture could not be had
    int exitCode = 0;  // 1: the record could not be read, or the picture asked for not saved
};

// Reads the record at `recordPath` (StationRecord::defaultPath() for the
// program) and never creates it.
HistoryReport historyReport(const HistoryOptions& options, const QString& recordPath);

}  // namespace heliotrope::rotctl
