#pragma once

// A calibration's outcome for the operator: the lines printed at its end (in
// Japanese and English), the measured points as CSV, and a picture of the two
// cuts (PNG, drawn with QPainter; needs a QGuiApplication for the fonts).

#include "companions/measure/CalibrationResult.h"

#include <QDateTime>
#include <QStringList>

namespace heliotrope::measure {

// The result, or why there is none. resolution: the power source's step in dB.
QStringList calibrationResultLines(const CalibrationOutcome& outcome, double resolution);

// The two options that apply the offsets by hand.
QString offsetOptionsText(const CalibrationOutcome& outcome);

// One row per point: role, planned and measured offsets from the sun, power
// statistics, the sun and the rotator's reading. False with the reason.
bool writeCalibrationCsv(const QString& path, const CalibrationOutcome& outcome, QString* problem);

// Both cuts side by side: points with their spread, the fitted Gaussians, the
// fitted centres, the offsets written on it. False with the reason.
bool drawCalibrationPicture(const QString& path, const CalibrationOutcome& outcome, const QDateTime& measuredUtc,
                            QString* problem);

}  // namespace heliotrope::measure
