#pragma once

// What heliotrope-rotctl's calibration on the sun is asked to do: the
// pattern, its size, how long each point is measured, and where the power is
// read. Parsed with the bridge's other options, from its command line.

#include "companions/sky/TrueSun.h"

#include <QString>
#include <QStringList>

#include <optional>

class QCommandLineParser;

namespace heliotrope::rotctl {

enum class CalibrationPattern {
    Cross,      // a cut in cross-elevation and one in elevation through the sun, each fitted
    FivePoint,  // on the sun, ±step in each axis and the baseline off the sun; closed form
};

struct PowerSourceChoice {
    enum class Kind { Rigctld,
                      Command } kind
        = Kind::Rigctld;
    QString host = QStringLiteral("127.0.0.1");
    quint16 port = 4532;
    QString command;
};

struct CalibrationOptions {
    CalibrationPattern pattern = CalibrationPattern::Cross;
    double beamwidth = 0;           // degrees, full width at half maximum, the dish's nominal
    std::optional<double> span;     // degrees either side of the sun; default 1.5 beamwidths
    std::optional<double> step;     // degrees; default half a beamwidth
    double dwellSeconds = 2;        // power read this long at each point
    double settleTolerance = 0.05;  // degrees on the sky: the rotator has arrived
    double settleTimeoutSeconds = 60;
    PowerSourceChoice power;
    heliotrope::sky::Site site;
    QString outputBase;             // picture and CSV: outputBase + ".png" / ".csv"; empty: named after the time
    double clockOffsetSeconds = 0;  // added to the system's UTC for the sun (a testing aid)

    double spanDegrees() const { return span.value_or(1.5 * beamwidth); }
    double stepDegrees() const { return step.value_or(0.5 * beamwidth); }
};

// The calibration's options, added to the bridge's parser.
void addCalibrationOptions(QCommandLineParser& parser);
// Nothing when --calibrate is not given; otherwise the options, each problem
// (in Japanese and English) appended to `problems`.
std::optional<CalibrationOptions> readCalibrationOptions(const QCommandLineParser& parser, QStringList& problems);
// "rigctld", "rigctld:HOST", "rigctld:HOST:PORT" or "command:CMD ARGS...".
std::optional<PowerSourceChoice> powerSourceChoice(const QString& text);

}  // namespace heliotrope::rotctl
