#pragma once

// The sun-noise run's CSV: one row per repeat with the sun's and the cold
// sky's power, so that a site can plot them, check the spread and redo the
// arithmetic in its own spreadsheet.
//
// Columns: repeat, UTC (ISO 8601), then for the sun and for the cold sky the
// direction read from the rotator (sky terms, degrees), the mean power (dB on
// the source's scale), its standard deviation (dB) and the number of readings;
// last Y = sun − cold (dB).

#include "companions/measure/Dwell.h"

#include <QFile>
#include <QString>

namespace heliotrope::measure {

// One point of the run: the engine's dwell, and where the dish stood in the
// sky's terms (the dwell's position with the frame's offsets taken off).
struct PointReading {
    double azimuth = 0;  // degrees
    double elevation = 0;
    Dwell dwell;
};

class SunNoiseCsv {
public:
    // Creates (or empties) the file and writes the header; false with the
    // reason in Japanese and English.
    bool open(const QString& path, QString* problem);
    bool isOpen() const { return m_file.isOpen(); }
    bool write(int repeat, double utcSeconds, const PointReading& sun, const PointReading& cold);

private:
    QFile m_file;
};

}  // namespace heliotrope::measure
