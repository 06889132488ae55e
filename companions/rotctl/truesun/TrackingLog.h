#pragma once

// --log FILE: one CSV row per reading of the rotator, so that the tracking
// error (how far the antenna is from the sun), which neither the window nor
// rotctld shows as a number, can be plotted afterwards.
//
//   jst,set_az,set_el,az,el,error_az,error_el,true_az,true_el,set_minus_true,commanded_minus_reported
//   2026-09-21 12:00:01.250,180.20,53.80,181.54,55.18,1.34,1.38,181.55,55.19,1.61,0.01
//
// Angles in the sky's terms (the rotator's offsets taken off); the azimuth
// error is taken the short way round, -180 to 180; set-point and error cells
// are empty before the first pointing message. The last four columns came
// later and stand after the first seven, so that readers of the first seven
// still work: the real sun for the site (true-sun mode, by day; empty
// otherwise), the window's set-point minus the real sun and the commanded
// minus the reported position, both as angles on the sky, 0 to 180. Rows are
// appended, so that a restart keeps the earlier night's rows; the header is
// written to a new or empty file only, and a file begun with the first seven
// columns only goes on with seven. Each row is flushed as it is written.

#include "companions/common/PointingRead.h"
#include "companions/hamlib/RotctldReply.h"

#include <QFile>
#include <QString>

#include <optional>

namespace heliotrope::rotctl {

// The later columns of a row; each one empty when not known.
struct TrackingColumns {
    std::optional<companions::SetPoint> trueSun;        // the real sun for the site
    std::optional<double> windowMinusTrue;              // degrees on the sky
    std::optional<rotator::RotatorPosition> commanded;  // where the rotator is sent, in the sky's terms
};

class TrackingLog {
public:
    // Opens (creates) the file for appending; false with the reason in Japanese.
    bool open(const QString& path, QString* problem);
    bool isOpen() const { return m_file.isOpen(); }

    // Returns false when the row could not be written (disk full, file gone);
    // the caller says so once.
    bool write(qint64 unixMilliseconds, const std::optional<companions::SetPoint>& setPoint, const rotator::RotatorPosition& position,
               const TrackingColumns& later = {});
    // The file was begun with the first seven columns only, and goes on so.
    bool firstColumnsOnly() const { return m_firstColumnsOnly; }

private:
    QFile m_file;
    bool m_firstColumnsOnly = false;
};

// The azimuth difference b - a taken the short way round, in -180 to 180.
double azimuthDifference(double a, double b);

}  // namespace heliotrope::rotctl
