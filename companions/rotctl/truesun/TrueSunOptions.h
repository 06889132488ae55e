#pragma once

// heliotrope-rotctl's options for pointing at the real sun instead of the
// window's model: the mode, the site, the refraction and the air, and the
// one-shot look at the site. Kept apart from the bridge's other options so
// that the parser only adds them and reads them back.

#include "companions/sky/TrueSun.h"

#include <QStringList>

#include <optional>
#include <span>

namespace heliotrope::companions {
class CompanionCommandLine;
struct OptionRow;
}  // namespace heliotrope::companions

namespace heliotrope::rotctl {

struct TrueSunOptions {
    bool enabled = false;  // --true-sun: by day, command the real sun
    // --track-sun: track the real sun with no window (enabled too); by night
    // wait at the next sunrise's azimuth, or at the stow position with
    // --night stow.
    bool bySelf = false;
    bool nightStow = false;
    bool lookOnly = false;  // --sun-now: print the sun for the site now, then exit
    std::optional<heliotrope::sky::Site> site;
    // One sky for tracking, calibration and sun noise: a dish sees the sun
    // the air has lifted, so radio unless told otherwise.
    heliotrope::sky::Refraction refraction = heliotrope::sky::Refraction::Radio;
    heliotrope::sky::Atmosphere atmosphere;
    // --clock-offset: the sun of another hour, added to the UTC the sun is
    // computed for (the window's set-points are still judged at its own clock).
    double clockOffsetSeconds = 0;
};

// Standard pressure at sea level, hPa, and how the pressure at the site is
// taken when not given: ERFA's suggested estimate from the height,
// p = 1013.25 exp(−h / (29.3 × 288.15 K)), h in metres. About 795 hPa at 2000 m.
inline constexpr double kSeaLevelPressureHpa = 1013.25;
double estimatedPressureHpa(double heightMetres);

// The refraction chosen, with the air it is computed for, for the operator:
// "大気差なし（幾何学的な方向）", "refraction for radio, 1013.3 hPa, 15.0 °C, 50 %".
QString refractionTextJapanese(const TrueSunOptions& options);
QString refractionTextEnglish(const TrueSunOptions& options);

// The options, added to a program's command line and read back from it after
// parse(); each value that cannot be used adds a problem that names the option.
void addTrueSunOptions(companions::CompanionCommandLine& commandLine);
TrueSunOptions readTrueSunOptions(companions::CompanionCommandLine& commandLine);

// The sky alone (--site, --refraction and the air), as a measurement asked
// of a running bridge carries it: added, read into `options`, and the table.
void addSkyOptions(companions::CompanionCommandLine& commandLine);
void readSkyOptions(companions::CompanionCommandLine& commandLine, TrueSunOptions& options);
std::span<const companions::OptionRow> skyOptionRows();

}  // namespace heliotrope::rotctl
