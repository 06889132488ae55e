#pragma once

// The system temperature measured on cold sky, as heliotrope-rotctl's command
// line asks for it: hot/cold (--hot-cold: an ambient absorber put over the
// feed and taken off by the operator, asked step by step) or a noise source
// switched by the operator's commands (--noise-source-on, --noise-source-off,
// --enr). The cold sky is placed as the sun-noise run places it (--cold, or
// --cold-offset beamwidths beside the sun) and the dish is told as there
// (--frequency, --dish-diameter, --efficiency), so those options are the
// sun-noise run's own, read here too.

#include "companions/common/CompanionCommandLine.h"

#include <QString>

#include <optional>
#include <span>

namespace heliotrope::measure {

enum class SystemTemperatureMethod { HotCold,
                                     NoiseSource };

struct SystemTemperatureOptions {
    SystemTemperatureMethod method = SystemTemperatureMethod::HotCold;
    // Cold sky: a fixed direction, or this many beamwidths beside the sun in
    // cross-elevation at the sun's elevation when the run begins; the dish
    // stays there for all three dwells, so that they see the same sky.
    std::optional<double> coldAzimuth;
    std::optional<double> coldElevation;
    double coldOffsetBeamwidths = 5;
    double frequencyMegahertz = 0;
    double dishDiameterMetres = 0;
    // The aperture efficiency the flux scale's effective area stands on, and
    // its standard deviation: a small dish's η is seldom known better.
    double efficiency = 0.55;
    double efficiencyError = 0.05;
    // Hot/cold: the absorber's physical temperature (the air's about it),
    // and the cold sky's own antenna temperature (sky, air and spillover;
    // none: the typical air's sky at the cold elevation and an allowance
    // for the spillover), each with its standard deviation.
    double ambientKelvin = 290;
    double ambientErrorKelvin = 2;
    std::optional<double> coldSkyKelvin;
    std::optional<double> coldSkyErrorKelvin;
    // Noise source: the commands that switch it (run by /bin/sh -c, each
    // must end within a minute and exit 0) and its excess noise as it
    // enters the receiver (the coupler's loss taken off), with its error.
    QString sourceOnCommand;
    QString sourceOffCommand;
    double enrDecibels = 0;
    double enrErrorDecibels = 0.2;
    // Power read this long at each step unless --dwell says otherwise.
    static constexpr double kDefaultDwellSeconds = 10;

    double beamwidthDegrees() const;
};

void addSystemTemperatureOptions(companions::CompanionCommandLine& commandLine);
std::span<const companions::OptionRow> systemTemperatureOptionRows();

// Whether the line asks for either run: the sun-noise run's options that the
// runs share are then not refused for want of --sun-noise.
bool systemTemperatureAsked(const companions::CompanionCommandLine& commandLine);

// The run's options, or nothing when none is asked; each unusable value adds
// one problem, in Japanese and English, naming the option.
std::optional<SystemTemperatureOptions> readSystemTemperatureOptions(companions::CompanionCommandLine& commandLine);

}  // namespace heliotrope::measure
