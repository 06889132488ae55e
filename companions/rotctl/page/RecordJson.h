#pragma once

// The station's record as JSON for the page and for other tools: the runs
// on the sun (calibrations and sun-noise runs, each with its marks) and the
// days of solar flux as kept, each value with its errors and the scale it
// stands on. Read from the record file as it is on disk; a record that
// cannot be opened gives an empty list and the reason.

#include <QDate>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

namespace heliotrope::rotctl {

// Every run from `since` on, oldest first: {"runs": [...]} or, when the
// record cannot be read, {"runs": [], "problem": {"ja", "en"}}.
QJsonObject historyJson(const QString& recordPath, const QDateTime& since);

// The days kept from `since` (a JST date) on: {"days": [...]} likewise.
QJsonObject fluxJson(const QString& recordPath, const QDate& since);

}  // namespace heliotrope::rotctl
