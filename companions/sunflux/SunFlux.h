#pragma once

// The sun's true flux density at one radio frequency over time, as the
// simulations take it for the truth: a quiet level that the sun's rotation
// modulates every 27 days and that drifts slowly over the cycle, and bursts
// on top of it.
//
//   S(t) = Sq(t) + Σ bursts Sb(t)                       solar flux units (SFU, 10⁻²² W m⁻² Hz⁻¹)
//   Sq(t) = L + trend · (t − epoch) / year + A · cos(2π (t − phase) / P),  never below 0
//   Sb(t) = Speak · sin²(π/2 · (t − start) / rise)       while rising (start ≤ t < start + rise)
//         = Speak · exp(−(t − start − rise) / decay)     after the peak, until 12 decay times later
//
// The burst's shape is the one a radio observer at a few GHz sees of an
// impulsive burst: a fast rise, smooth at its foot and at its top, and an
// exponential decay, slower than the rise. Twelve decay times after its peak
// a burst is below 10⁻⁵ of its peak flux and counts as over.
//
// Times are Unix UTC seconds (seconds since 1970-01-01 00:00 UTC, without
// leap seconds), as doubles, as the companions' clock gives them. Plain C++,
// no Qt.

#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace heliotrope::sunflux {

inline constexpr double kSecondsPerDay = 86400.0;
inline constexpr double kSecondsPerYear = 365.25 * kSecondsPerDay;
// The sun's rotation as seen from the earth, the period of the active
// regions' return in F10.7 and at every centimetre wavelength.
inline constexpr double kRotationDays = 27.0;
// After its peak a burst is counted over after this many decay times.
inline constexpr double kBurstDecayTimes = 12.0;

// The limits a model keeps (read from a file, given by an operator).
inline constexpr double kLargestFluxSfu = 1e6;         // the greatest bursts at a few GHz reach 10⁵ SFU
inline constexpr double kLongestRiseSeconds = 3600;    // a gradual burst's rise
inline constexpr double kLongestDecaySeconds = 21600;  // a long-duration event's decay, six hours

struct QuietSun {
    double levelSfu = 100;                      // mean quiet flux at the epoch, SFU, above 0
    double rotationAmplitudeSfu = 0;            // half the rotation's peak-to-peak, SFU, 0 to levelSfu
    double rotationPeriodDays = kRotationDays;  // days, 1 to 100
    double rotationPhaseUtc = 0;                // a moment when the rotation's maximum faces the earth, Unix UTC s
    double trendSfuPerYear = 0;                 // the level's slow change over the cycle, SFU a year, ±levelSfu
    double epochUtc = 0;                        // when the level is levelSfu, Unix UTC s
};

struct Burst {
    double startUtc = 0;        // the first rise above the quiet level, Unix UTC s
    double riseSeconds = 60;    // start to peak, seconds, above 0 to kLongestRiseSeconds
    double peakSfu = 10;        // the flux above the quiet level at the peak, SFU, above 0 to kLargestFluxSfu
    double decaySeconds = 300;  // e-folding time after the peak, seconds, above 0 to kLongestDecaySeconds
};

// The whole truth: the quiet sun and the bursts, sorted by start (every
// function here that makes a history gives them so; sortBursts puts them so).
struct FluxHistory {
    QuietSun quiet;
    std::vector<Burst> bursts;
};

// Whether every figure is within the limits given beside it (and finite).
bool isValid(const QuietSun& quiet);
bool isValid(const Burst& burst);

// The quiet sun at t, SFU, at least 0.
double quietFluxSfu(const QuietSun& quiet, double utc);

// The burst's peak and its end (kBurstDecayTimes decay times after the peak), Unix UTC s.
double burstPeakUtc(const Burst& burst);
double burstEndUtc(const Burst& burst);
// The burst's flux above the quiet level at t, SFU: 0 before its start and after its end.
double burstFluxSfu(const Burst& burst, double utc);

// Quiet sun and every burst at t, SFU. Looks at the bursts that started
// within the longest burst's span before t, so a year of bursts costs a
// binary search and a few of them.
double totalFluxSfu(const FluxHistory& history, double utc);

// The bursts under way at any moment of [fromUtc, toUtc], in order of start.
std::vector<Burst> burstsBetween(const FluxHistory& history, double fromUtc, double toUtc);

void sortBursts(FluxHistory& history);

// Bursts as a Poisson process: starts at burstsPerDay on average; peaks
// from a power law, the number of bursts above S going as S^−peakIndex from
// smallestPeakSfu (cut at largestPeakSfu), as burst statistics are given;
// rise and decay each spread evenly in their logarithm between their limits.
struct BurstGenerator {
    double burstsPerDay = 2;       // mean rate, 0 to 1000
    double smallestPeakSfu = 5;    // SFU, above 0
    double largestPeakSfu = 2000;  // SFU, at least smallestPeakSfu, to kLargestFluxSfu
    double peakIndex = 1.0;        // index of the cumulative power law, above 0 (about 0.8 to 1.5 observed)
    double shortestRiseSeconds = 10;
    double longestRiseSeconds = 300;  // the rise between these, seconds, within (0, kLongestRiseSeconds]
    double shortestDecaySeconds = 60;
    double longestDecaySeconds = 1800;  // the decay between these, seconds, within (0, kLongestDecaySeconds]
};

bool isValid(const BurstGenerator& generator);

// The bursts that start in [fromUtc, toUtc), sorted, the same for the same
// seed on every machine (the generator draws from the 64-bit Mersenne
// Twister's own sequence, which the language fixes, not from the library's
// distributions, which it does not).
std::vector<Burst> generateBursts(const BurstGenerator& generator, double fromUtc, double toUtc, std::uint64_t seed);

// A history of `days` days from fromUtc: the quiet sun given and bursts from
// the generator, e.g. a year's truth for a simulated station.
FluxHistory generateHistory(const QuietSun& quiet, const BurstGenerator& generator, double fromUtc, double days,
                            std::uint64_t seed);

// The history as a text file, one item a line, fields apart by spaces or
// tabs, numbers in the C locale; '#' begins a comment, blank lines are skipped:
//
//   heliotrope-sunflux 1
//   quiet LEVEL_SFU AMPLITUDE_SFU PERIOD_DAYS PHASE_UTC TREND_SFU_PER_YEAR EPOCH_UTC
//   burst START_UTC RISE_S PEAK_SFU DECAY_S
//   burst ...
//
// The first line names the format and its version; one quiet line; any
// number of bursts, in any order (they are sorted when read). Every figure
// within the limits given above. writeFluxHistory writes this form, with
// comments saying the fields, at full precision (read back, it is the same
// history to the last bit).
void writeFluxHistory(std::ostream& out, const FluxHistory& history);

enum class FileProblem {
    None,
    NotTheFormat,     // the first line is not "heliotrope-sunflux 1"
    UnknownLine,      // a line neither quiet nor burst
    WrongFieldCount,  // a quiet or burst line without its number of fields
    BadNumber,        // a field that is not a finite number
    OutOfRange,       // figures outside their limits
    NoQuiet,          // no quiet line
    TwoQuiet,         // a second quiet line
};

struct ReadProblem {
    FileProblem problem = FileProblem::None;
    int line = 0;  // 1-based, 0 when the problem is the file as a whole
};

// The history from the text; nothing and the problem with its line when it
// is not one.
std::optional<FluxHistory> readFluxHistory(std::istream& in, ReadProblem* problem);

}  // namespace heliotrope::sunflux
