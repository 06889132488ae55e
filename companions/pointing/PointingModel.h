#pragma once

// An az-el mount's pointing model: where the beam really points for a
// rotator's reading, as telescopes keep it (TPOINT's terms for an
// altazimuth mount, plus the tube's sag and the scale of each axis's
// readings).
//
// Every term adds to Δ = reading − beam, the rotator's reading minus the
// direction the beam really points, each axis in the mount's own angles
// (a, e): the rotator's azimuth and elevation, the elevation running past 90°
// on a mount that goes over the top. That is the bridge's offset convention
// (a rotator that reads 0.4° more than the dish points has an azimuth offset
// of +0.4°), and the geometric terms keep TPOINT's published forms and signs,
// so that a pointing engineer reads the numbers as usual:
//
//   IA    azimuth zero point:   ΔA = −IA                      (the beam's azimuth exceeds the reading by IA;
//                                                             a constant azimuth offset is −IA)
//   IE    elevation zero point: ΔE = +IE                      (the reading exceeds the beam's elevation by IE)
//   CA    collimation:          ΔA = −CA / cos e              (the beam sits CA on the sky off the plane square
//                                                             to the elevation axis, towards greater azimuth)
//   NPAE  axes not square:      ΔA = −NPAE tan e              (the elevation axis leans by NPAE from square
//                                                             to the azimuth axis)
//   AN    azimuth axis tilted   ΔA = −AN sin a tan e,         (positive: the axis leans towards the north,
//         north–south           ΔE = −AN cos a                 which lifts the northern sky)
//   AW    azimuth axis tilted   ΔA = −AW cos a tan e,         (positive: the axis leans towards the west,
//         east–west             ΔE = +AW sin a                 which lifts the western sky)
//   TF    the tube's sag:       ΔE = +TF cos e                (positive: the beam droops below the reading,
//                                                             most at the horizon, not at all at the zenith)
//   AS    azimuth scale:        ΔA = AS × (a − centre)        (a ratio: 0.01 reads 1 % more angle than turned,
//                                                             reckoned from the middle of the rotator's range)
//   ES    elevation scale:      ΔE = ES × e                   (a ratio, reckoned from the horizon's reading)
//
// Over the top (e > 90°) cos e and tan e change sign: collimation,
// non-perpendicularity and sag then act the other way on the sky while the
// zero points and the tilt do not, which is how a flipped scan tells them
// apart. Within a degree of the zenith the azimuth terms are held at their
// value one degree from it: there they would swing the azimuth by tens of
// degrees for a few tenths on the sky, which no rotator follows.
//
// The terms are small (tenths of a degree), so the first-order forms are the
// mount's exact model here: the simulators use them as the truth, and the fit
// (PointingFit.h) is linear in them. Plain C++, no Qt.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace heliotrope::pointing {

enum class Term { IA,
                  IE,
                  CA,
                  NPAE,
                  AN,
                  AW,
                  TF,
                  AS,
                  ES };
inline constexpr int kTermCount = 9;
inline constexpr std::array<Term, kTermCount> kAllTerms{Term::IA, Term::IE, Term::CA, Term::NPAE, Term::AN,
                                                        Term::AW, Term::TF, Term::AS, Term::ES};

// "IA" … "ES"; the name back to the term, in any case.
const char* termName(Term term);
std::optional<Term> termNamed(std::string_view name);
// AS and ES are ratios; the others are degrees.
bool isScaleTerm(Term term);
inline int termIndex(Term term) { return static_cast<int>(term); }

struct MountModel {
    std::array<double, kTermCount> values{};  // degrees, AS and ES as ratios
    // The rotator's azimuth readings lie in [start, start + 360): 0 for a
    // 0–360° rotator, −180 for one that turns from the south through north to
    // the south. The azimuth scale is reckoned from its middle.
    double azimuthRangeStart = 0;

    double operator[](Term term) const { return values[static_cast<std::size_t>(termIndex(term))]; }
    double& operator[](Term term) { return values[static_cast<std::size_t>(termIndex(term))]; }
    bool isZero() const;
};

// A direction in the mount's own angles (elevation up to 180° over the top)
// or on the sky (azimuth 0–360, elevation −90–90).
struct Direction {
    double azimuth = 0;
    double elevation = 0;
};

// Δ = reading − beam for a reading, degrees along each axis.
Direction modelOffset(const MountModel& model, Direction reading);

// The term's own contribution to Δ per unit of its value, at a reading: the
// columns of the fit's design.
Direction termShape(const MountModel& model, Term term, Direction reading);

// Where the beam points on the sky when the rotator reads `reading`: what a
// simulator shows the sun through.
Direction beamOnSky(const MountModel& model, Direction reading);

// The sky direction in the mount's angles, straight (e ≤ 90) or over the top
// (azimuth + 180°, elevation 180° − e).
Direction mountAngles(Direction sky, bool overTheTop);

struct Command {
    Direction reading;  // what to command, azimuth within the rotator's range
    bool converged = false;
    bool nearZenith = false;  // within a degree of the zenith, where the azimuth terms are held
};

// Where the rotator must be commanded so that the beam points at `sky`: the
// inverse of beamOnSky, by Newton's iteration (a few steps for tenths of a
// degree). overTheTop: command it flipped, azimuth + 180°, elevation 180° − e.
Command commandFor(const MountModel& model, Direction sky, bool overTheTop = false);

// The angle on the sky between two sky directions, degrees.
double separationOnSky(Direction a, Direction b);
// An angle into [−180, 180).
double wrapSigned(double degrees);

// "IA=0.3,IE=-0.2,ES=0.01": terms named, each once, degrees (AS, ES ratios).
// Nothing and the offending part in `bad` for any other text.
std::optional<MountModel> parseMount(std::string_view text, std::string* bad);
// The same shape back, non-zero terms only ("none" when all are zero).
std::string mountText(const MountModel& model);

// "IA,IE,CA" or "all": the terms to fit, in the order given.
std::optional<std::vector<Term>> parseTerms(std::string_view text, std::string* bad);

}  // namespace heliotrope::pointing
