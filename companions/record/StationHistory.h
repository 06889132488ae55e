#pragma once

// The station's history for the operator: a line a run, oldest first, with
// its figures (heliotrope-rotctl --history [--since DATE]), and a picture of Y,
// G/T and the offsets against the date (--history --plot FILE.png).

#include "companions/record/StationRuns.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <vector>

namespace heliotrope::record {

// One line a run, in the order given. Words in Japanese and English on the
// line itself (the figures are shared), e.g.
//   2026-12-08 03:00 UTC  較正 calibration (cross): Δaz +0.120 ± 0.010°  Δel -0.050 ± 0.008°  ...
QStringList historyLines(const std::vector<StationRun>& runs);
// The first line of a history: what the columns are; and the line for none.
QString historyHeading();
QString noHistoryLine();

// "2026-12-08", "2026-12-08T03:00", "2026-12-08T03:00:00Z": a --since date,
// UTC; an invalid QDateTime for anything else.
QDateTime sinceFromText(const QString& text);

// Three panels sharing the date axis: Y (a series a frequency), G/T, and the
// azimuth and elevation offsets with their error bars. Runs without a result
// are marked on the date axis.
QImage historyPicture(const std::vector<StationRun>& runs, QSize size = QSize(1400, 1000));
// Draws it and saves it as PNG whole or not at all (written aside, renamed).
// False, with `problem` in Japanese and English, when it cannot be saved.
bool saveHistoryPicture(const std::vector<StationRun>& runs, const QString& path, QString* problem);

}  // namespace heliotrope::record
