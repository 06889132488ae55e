#pragma once

// A day's flux as a picture: the light curve (SFU against JST), the clean
// readings in colour and the flagged ones in grey by their reason, the
// references and the bursts marked, and the daily and fixed-time values with
// their error bars. And the days' values over months (--since), with their
// error bars and the days without a value marked, where the sun's 27-day
// rotation shows. Labels in Japanese and English.

#include "companions/rotctl/reports/FluxFiles.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <vector>

namespace heliotrope::rotctl {

QImage fluxDayPicture(const WorkedFluxDay& worked, QSize size = QSize(1400, 800));
QImage fluxDaysPicture(const std::vector<ShownFluxDay>& days, QSize size = QSize(1400, 700));
// Saved as PNG whole or not at all; false, with `problem` in Japanese and English.
bool saveFluxDayPicture(const WorkedFluxDay& worked, const QString& path, QString* problem);
bool saveFluxDaysPicture(const std::vector<ShownFluxDay>& days, const QString& path, QString* problem);

}  // namespace heliotrope::rotctl
