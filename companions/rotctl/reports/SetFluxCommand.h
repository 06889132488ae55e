#pragma once

// --set-flux DATE,SFU: the day's solar flux at the station's frequency, typed
// in from the day's published values once they are out, kept in the station's
// record; every sun-noise run of that day has its G/T worked out again with
// it, and a run later that day takes it at once. Needs neither rotctld nor a
// running bridge; the record is written in one transaction, beside a bridge
// that writes its own.

#include <QDate>
#include <QDateTime>
#include <QString>

#include <optional>

namespace heliotrope::companions {
class CompanionCommandLine;
}

namespace heliotrope::rotctl {

struct SetFluxOptions {
    QDate utcDay;  // the day as --history shows it, UTC
    double fluxSfu = 0;
};

// The option, added to the command line and read back after parse():
// nothing without --set-flux.
void addSetFluxOptions(companions::CompanionCommandLine& commandLine);
std::optional<SetFluxOptions> readSetFluxOptions(companions::CompanionCommandLine& commandLine);

struct SetFluxReport {
    QString text;      // for standard output: what was kept, and each run worked out again
    QString problem;   // for standard error
    int exitCode = 0;  // 1: the record could not be opened or written; nothing was changed
};

// A day still to come (after nowUtc's) is refused: no flux is published for it.
SetFluxReport setFluxReport(const SetFluxOptions& options, const QString& recordPath, const QDateTime& nowUtc);

}  // namespace heliotrope::rotctl
