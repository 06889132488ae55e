#pragma once

// The sun-noise run's part of heliotrope-rotctl's command line: the sequence
// (cold-sky point, repeats, dwell), the station for the expected Y and G/T, and
// the CSV. Read with the bridge's own parser, so that one --help lists all;
// what it shares with the calibration (--power, --dwell, --settle-tolerance,
// --settle-timeout, --clock-offset) is read once, as MeasurementOptions.

#include "companions/measure/CalibrationOptions.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <optional>

namespace heliotrope::measure {

// The largest radio bursts reach 10⁵ SFU: a flux above is a typing slip.
inline constexpr double kLargestFluxSfu = 1e5;

struct SunNoiseOptions {
    // Cold sky: a fixed direction (sky terms: azimuth 0 to 360, elevation 0 to
    // 90), or, when absent, the sun's elevation and this many beamwidths off the
    // sun in cross-elevation (Δaz = Δxel / cos el).
    std::optional<double> coldAzimuth;
    std::optional<double> coldElevation;
    double coldOffsetBeamwidths = 5;
    int repeats = 5;
    // Power read this long at each point unless --dwell says otherwise.
    static constexpr double kDefaultDwellSeconds = 5;
    // The station; G/T needs flux, frequency and diameter, the expected Y the
    // system temperature as well.
    std::optional<double> fluxSfu;
    std::optional<double> frequencyMegahertz;
    std::optional<double> dishDiameterMetres;
    double efficiency = 0.55;
    std::optional<double> systemTemperatureKelvin;
    QString csvPath;  // empty: no CSV

    bool hasStation() const { return fluxSfu && frequencyMegahertz && dishDiameterMetres; }
    // The beamwidth the cold-sky offset is counted in: 70° λ / D, when the
    // frequency and the diameter are given.
    std::optional<double> beamwidthDegrees() const;
};

// A cold-sky direction as --cold gives it (AZ,EL on the sky), checked;
// nothing, with one problem added, when it is not one.
struct ColdSkyDirection {
    double azimuth = 0;
    double elevation = 0;
};
std::optional<ColdSkyDirection> readColdSkyDirection(const QString& text, QStringList& problems);

// The options, added to the bridge's command line.
void addSunNoiseOptions(companions::CompanionCommandLine& commandLine);
// The table itself: what a request to a running bridge may carry.
std::span<const companions::OptionRow> sunNoiseOptionRows();

// The sun-noise options from a parsed command line: nothing when --sun-noise is
// not given (and none of its options either). Each unusable value adds one
// problem to the command line, in Japanese and English, naming the option.
std::optional<SunNoiseOptions> readSunNoiseOptions(companions::CompanionCommandLine& commandLine);

// --flux with a value is the run's flux; alone (the command line makes it
// --flux=) it asks for the days' flux from the record, whose report then
// takes --frequency, --csv and --beamwidth as its own.
bool fluxReportAsked(const QCommandLineParser& parser);

}  // namespace heliotrope::measure
