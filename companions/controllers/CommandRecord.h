#pragma once

// What the controller received, kept from its own side of the line so that
// whatever drives it can be checked: counts for the closing line, and with
// --command-log one CSV row per set-point command.

#include "companions/controllers/ControllerDialogue.h"

#include <QFile>
#include <QString>

namespace heliotrope::controllers {

struct CommandCounts {
    int setPoints = 0;
    int queries = 0;
    int repeatedSetPoints = 0;  // the same set-point as the set-point command before it
    int outsideLimits = 0;
};

class CommandRecord {
public:
    // path: the CSV file to write (created or emptied), or empty for none.
    // False with the reason when it cannot be opened.
    bool open(const QString& path, QString* problem);

    // One exchange, received at utcMs (milliseconds since 1970 UTC).
    void note(const Exchange& exchange, qint64 utcMs);
    const CommandCounts& counts() const { return m_counts; }

private:
    CommandCounts m_counts;
    std::optional<ControllerAngles> m_lastSetPoint;
    QFile m_file;
};

// The closing line, in Japanese and English.
QString commandCountsText(const CommandCounts& counts);

}  // namespace heliotrope::controllers
