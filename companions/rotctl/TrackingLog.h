#pragma once

// --log FILE: one CSV row per reading of the rotator, so that the tracking
// error (how far the antenna is from the sun), which neither the window nor
// rotctld shows as a number, can be plotted afterwards.
//
//   jst,set_az,set_el,az,el,error_az,error_el
//   2006-06-21 12:00:01.250,196.06,77.36,196.04,77.36,-0.02,0.00
//
// Angles in the sky's terms (the rotator's offsets taken off); the azimuth
// error is taken the short way round, -180 to 180; set-point and error cells
// are empty before the first pointing message. Rows are appended, so that a
// restart keeps the earlier night's rows; the header is written to a new or
// empty file only. Each row is flushed as it is written.

#include "companions/common/PointingRead.h"
#include "companions/rotctl/RotctldReply.h"

#include <QFile>
#include <QString>

#include <optional>

class TrackingLog
{
public:
    // Opens (creates) the file for appending; false with the reason in Japanese.
    bool open(const QString& path, QString* problem);
    bool isOpen() const { return m_file.isOpen(); }

    // Returns false when the row could not be written (disk full, file gone);
    // the caller says so once.
    bool write(qint64 unixMilliseconds, const std::optional<SetPoint>& setPoint, const RotatorPosition& position);

private:
    QFile m_file;
};

// The azimuth difference b - a taken the short way round, in -180 to 180.
double azimuthDifference(double a, double b);
