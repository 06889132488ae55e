#pragma once

// --flux: the sun's flux as the station's record keeps it, read without
// rotctld or a running bridge. A day (--day, JST; today by default) or every
// day from --since on: each day's daily value and values at fixed times with
// their errors, clean readings and scale, or why there is none, and its
// bursts. A day with readings but not kept yet (today's, until the bridge
// keeps it at the day's end) is worked out here on the station's scale
// (--beamwidth, --frequency) and marked provisional. --plot, --csv and --fits
// write the day's readings (a day) or the days' values (--since).

#include "companions/flux/FluxDay.h"

#include <QDate>
#include <QDateTime>
#include <QString>

#include <optional>

namespace heliotrope::companions {
class CompanionCommandLine;
}

namespace heliotrope::rotctl {

struct FluxReportOptions {
    QDate day;    // JST; invalid: today's, unless `since`
    QDate since;  // JST; valid: every day from it on
    std::optional<double> beamwidthDegrees;
    std::optional<double> frequencyMegahertz;
    QString plotPath;
    QString csvPath;
    QString fitsPath;
    flux::FluxOptions flux;  // the burst rule the bridge finds bursts by
};

// The options, added to the command line and read back after parse():
// nothing without --flux alone (--flux SFU is the sun-noise run's).
void addFluxReportOptions(companions::CompanionCommandLine& commandLine);
std::optional<FluxReportOptions> readFluxReportOptions(companions::CompanionCommandLine& commandLine);

struct FluxReport {
    QString text;      // for standard output
    QString problem;   // for standard error
    int exitCode = 0;  // 1: the record could not be read, or a file asked for not written
};

// Reads the record at `recordPath` and never creates it; `nowUtc` says which
// day is today and which runs are already made.
FluxReport fluxReport(const FluxReportOptions& options, const QString& recordPath, const QDateTime& nowUtc);

}  // namespace heliotrope::rotctl
