#pragma once

// The station's record as JSON for the page and for other tools: the runs
// on the sun (calibrations and sun-noise runs, each with its marks) and the
// days of solar flux as kept, each value with its errors and the scale it
// stands on. Read from the record file as it is on disk; a record that
// cannot be opened gives an empty list and the reason.

#include "companions/flux/FluxDay.h"

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

// The day so far as a light curve: the median of each minute's clean
// readings (SFU) with whether the minute lies in a burst, and the minutes
// whose readings were all flagged as their count: {"minutes": [[utc, sfu,
// inBurst], ...], "flagged": n, "bursts": [...], "daily": {...}}.
QJsonObject lightCurveJson(const flux::FluxDay& day);

}  // namespace heliotrope::rotctl
