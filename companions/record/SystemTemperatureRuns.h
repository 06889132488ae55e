#pragma once

// A system temperature measured on cold sky, as the station's record keeps
// it: the receiver's power with the dish on cold sky, then with an ambient
// absorber over the feed (hot/cold) or a noise source of known excess noise
// switched on, then on cold sky again to see that nothing drifted meanwhile.
// Beside it the dish's aperture the operator gave, so that the flux scale
// worked out from it later is the one the run was made for.

#include "companions/record/StationRuns.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace heliotrope::record {

enum class SystemTemperatureKind { HotCold,
                                   NoiseSource };

// A stretch of readings as the record keeps it: linear power in the
// detector's own units (the ratios are what count), a reading's scatter and
// how many there were.
struct RecordedPower {
    double mean = 0;
    double scatter = 0;
    int count = 0;
};

struct RecordedSystemTemperature {
    qint64 id = 0;
    QDateTime utc;  // when it ended
    RecordedSite site;
    SystemTemperatureKind kind = SystemTemperatureKind::HotCold;
    bool found = false;
    QString reason;  // why there is no result: Japanese, newline, English
    double frequencyMegahertz = 0;
    double dishDiameterMetres = 0;
    double efficiency = 0;  // η and its standard deviation, absolute
    double efficiencyError = 0;
    double coldAzimuth = 0;  // where the cold sky was, degrees
    double coldElevation = 0;
    // The three dwells: cold sky, the absorber or the source on, cold sky again.
    std::optional<RecordedPower> coldBefore;
    std::optional<RecordedPower> raised;
    std::optional<RecordedPower> coldAfter;
    // Hot/cold: the absorber's temperature and the cold sky's own antenna
    // temperature, with their standard deviations, kelvin.
    std::optional<Measured> ambientKelvin;
    std::optional<Measured> coldSkyKelvin;
    // Noise source: its excess noise as it enters the receiver, dB.
    std::optional<Measured> enrDecibels;
    std::optional<double> yFactor;
    std::optional<Measured> systemKelvin;  // on cold sky at the cold elevation
    // The cold sky's change from the first dwell to the last, relative.
    std::optional<double> coldDrift;
    QString programVersion;
    double clockOffsetSeconds = 0;  // a rehearsal, as for the other runs
    bool rehearsal() const { return clockOffsetSeconds != 0; }
};

}  // namespace heliotrope::record
