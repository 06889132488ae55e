#pragma once

// A day's flux as files: its readings as CSV (a row a reading) and as FITS
// (a binary table, the file solar radio observers read), and the days'
// values as CSV (a row a day). Each is written aside and renamed into place,
// so that a full disk or a cut mid-write never leaves half a file under the
// name the operator was told; an existing file of that name is replaced, as
// the pictures are.

#include "companions/flux/FluxDay.h"
#include "companions/record/FluxRecord.h"
#include "companions/record/StationRuns.h"

#include <QDate>
#include <QString>

#include <optional>
#include <vector>

namespace heliotrope::rotctl {

// A day's readings worked out, with what they were worked out on.
struct WorkedFluxDay {
    QDate jstDay;
    bool provisional = false;  // not kept by the bridge yet
    flux::FluxStation station;
    QString scaleSource;  // Japanese, newline, English
    std::optional<record::RecordedSite> site;
    std::vector<flux::Reading> readings;  // as kept, in time order
    std::vector<flux::Reference> references;
    flux::FluxDay day;  // its readings one for one with `readings`
};

// A day's values as shown: kept, or worked out now (provisional).
struct ShownFluxDay {
    record::KeptFluxDay values;
    bool provisional = false;
};

// The kept form of a day worked out now.
record::KeptFluxDay keptFormOf(const WorkedFluxDay& worked);

// The flags of a reading as words joined by '+' ("moved+off-sun"); empty for a clean one.
QString flagWords(unsigned flags);

// False, with `problem` in Japanese and English, when the file cannot be written.
bool saveReadingsCsv(const WorkedFluxDay& worked, const QString& path, QString* problem);
bool saveDaysCsv(const std::vector<ShownFluxDay>& days, const QString& path, QString* problem);
bool saveFluxFits(const WorkedFluxDay& worked, const QString& path, QString* problem);

}  // namespace heliotrope::rotctl
