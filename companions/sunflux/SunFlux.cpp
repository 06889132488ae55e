#include "companions/sunflux/SunFlux.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iomanip>
#include <limits>
#include <locale>
#include <random>
#include <sstream>

namespace heliotrope::sunflux {

namespace {

// π as the rest of the program writes it.
constexpr double kPi = 3.14159265358979;
// No burst within the limits lasts longer than this from its start to its end.
constexpr double kLongestBurstSeconds = kLongestRiseSeconds + kBurstDecayTimes * kLongestDecaySeconds;
constexpr char kFormatLine[] = "heliotrope-sunflux 1";

bool finite(double value)
{
    return std::isfinite(value);
}

bool within(double value, double low, double high)
{
    return finite(value) && value >= low && value <= high;
}

// Evenly in [0, 1) from the generator's 53 upper bits: the Mersenne Twister's
// sequence is the language's, so this is the same number everywhere.
double uniform(std::mt19937_64& random)
{
    return static_cast<double>(random() >> 11) * 0x1.0p-53;
}

double logUniform(std::mt19937_64& random, double low, double high)
{
    return std::exp(std::log(low) + uniform(random) * (std::log(high) - std::log(low)));
}

// Above smallest with N(>S) ∝ S^−index, cut at largest: the inverse of the
// truncated power law's distribution.
double powerLaw(std::mt19937_64& random, double smallest, double largest, double index)
{
    const double cut = std::pow(smallest / largest, index);
    return smallest * std::pow(1.0 - uniform(random) * (1.0 - cut), -1.0 / index);
}

bool startsEarlier(const Burst& a, const Burst& b)
{
    return a.startUtc < b.startUtc;
}

// The first burst that may still be under way at t.
std::vector<Burst>::const_iterator firstPossiblyUnderWay(const std::vector<Burst>& bursts, double utc)
{
    Burst probe;
    probe.startUtc = utc - kLongestBurstSeconds;
    return std::lower_bound(bursts.begin(), bursts.end(), probe, startsEarlier);
}

std::vector<std::string> fields(const std::string& line)
{
    std::vector<std::string> out;
    const std::string text = line.substr(0, line.find('#'));
    std::size_t at = 0;
    while (true) {
        at = text.find_first_not_of(" \t\r", at);
        if (at == std::string::npos)
            return out;
        const std::size_t end = std::min(text.find_first_of(" \t\r", at), text.size());
        out.push_back(text.substr(at, end - at));
        at = end;
    }
}

bool number(const std::string& text, double& value)
{
    const char* end = text.data() + text.size();
    const std::from_chars_result result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc{} && result.ptr == end && finite(value);
}

std::optional<FluxHistory> refuse(ReadProblem* problem, FileProblem what, int line)
{
    if (problem)
        *problem = ReadProblem{what, line};
    return std::nullopt;
}

}  // namespace

bool isValid(const QuietSun& quiet)
{
    return within(quiet.levelSfu, std::numeric_limits<double>::min(), kLargestFluxSfu)
        && within(quiet.rotationAmplitudeSfu, 0, quiet.levelSfu)
        && within(quiet.rotationPeriodDays, 1, 100)
        && finite(quiet.rotationPhaseUtc)
        && within(quiet.trendSfuPerYear, -quiet.levelSfu, quiet.levelSfu)
        && finite(quiet.epochUtc);
}

bool isValid(const Burst& burst)
{
    return finite(burst.startUtc)
        && burst.riseSeconds > 0 && burst.riseSeconds <= kLongestRiseSeconds
        && burst.peakSfu > 0 && burst.peakSfu <= kLargestFluxSfu
        && burst.decaySeconds > 0 && burst.decaySeconds <= kLongestDecaySeconds;
}

bool isValid(const BurstGenerator& g)
{
    return within(g.burstsPerDay, 0, 1000)
        && g.smallestPeakSfu > 0 && within(g.largestPeakSfu, g.smallestPeakSfu, kLargestFluxSfu)
        && g.peakIndex > 0 && finite(g.peakIndex)
        && g.shortestRiseSeconds > 0 && within(g.longestRiseSeconds, g.shortestRiseSeconds, kLongestRiseSeconds)
        && g.shortestDecaySeconds > 0 && within(g.longestDecaySeconds, g.shortestDecaySeconds, kLongestDecaySeconds);
}

double quietFluxSfu(const QuietSun& quiet, double utc)
{
    const double trend = quiet.trendSfuPerYear * (utc - quiet.epochUtc) / kSecondsPerYear;
    const double turn = 2.0 * kPi * (utc - quiet.rotationPhaseUtc) / (quiet.rotationPeriodDays * kSecondsPerDay);
    return std::max(0.0, quiet.levelSfu + trend + quiet.rotationAmplitudeSfu * std::cos(turn));
}

double burstPeakUtc(const Burst& burst)
{
    return burst.startUtc + burst.riseSeconds;
}

double burstEndUtc(const Burst& burst)
{
    return burstPeakUtc(burst) + kBurstDecayTimes * burst.decaySeconds;
}

double burstFluxSfu(const Burst& burst, double utc)
{
    if (utc < burst.startUtc || utc > burstEndUtc(burst))
        return 0;
    const double sinceStart = utc - burst.startUtc;
    if (sinceStart < burst.riseSeconds) {
        const double s = std::sin(0.5 * kPi * sinceStart / burst.riseSeconds);
        return burst.peakSfu * s * s;
    }
    return burst.peakSfu * std::exp(-(sinceStart - burst.riseSeconds) / burst.decaySeconds);
}

double totalFluxSfu(const FluxHistory& history, double utc)
{
    double flux = quietFluxSfu(history.quiet, utc);
    for (auto it = firstPossiblyUnderWay(history.bursts, utc); it != history.bursts.end() && it->startUtc <= utc; ++it)
        flux += burstFluxSfu(*it, utc);
    return flux;
}

std::vector<Burst> burstsBetween(const FluxHistory& history, double fromUtc, double toUtc)
{
    std::vector<Burst> out;
    for (auto it = firstPossiblyUnderWay(history.bursts, fromUtc); it != history.bursts.end() && it->startUtc <= toUtc; ++it)
        if (burstEndUtc(*it) >= fromUtc)
            out.push_back(*it);
    return out;
}

void sortBursts(FluxHistory& history)
{
    std::stable_sort(history.bursts.begin(), history.bursts.end(), startsEarlier);
}

std::vector<Burst> generateBursts(const BurstGenerator& generator, double fromUtc, double toUtc, std::uint64_t seed)
{
    std::vector<Burst> bursts;
    if (!(generator.burstsPerDay > 0))
        return bursts;
    std::mt19937_64 random(seed);
    const double meanGap = kSecondsPerDay / generator.burstsPerDay;
    double t = fromUtc;
    while (true) {
        t += -std::log(1.0 - uniform(random)) * meanGap;
        if (!(t < toUtc))
            return bursts;
        Burst burst;
        burst.startUtc = t;
        burst.peakSfu = powerLaw(random, generator.smallestPeakSfu, generator.largestPeakSfu, generator.peakIndex);
        burst.riseSeconds = logUniform(random, generator.shortestRiseSeconds, generator.longestRiseSeconds);
        burst.decaySeconds = logUniform(random, generator.shortestDecaySeconds, generator.longestDecaySeconds);
        bursts.push_back(burst);
    }
}

FluxHistory generateHistory(const QuietSun& quiet, const BurstGenerator& generator, double fromUtc, double days,
                            std::uint64_t seed)
{
    return FluxHistory{quiet, generateBursts(generator, fromUtc, fromUtc + days * kSecondsPerDay, seed)};
}

void writeFluxHistory(std::ostream& out, const FluxHistory& history)
{
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << std::setprecision(17);
    const QuietSun& q = history.quiet;
    text << kFormatLine << '\n'
         << "# The sun's flux density at one frequency, solar flux units; times in Unix UTC seconds.\n"
         << "# quiet LEVEL_SFU AMPLITUDE_SFU PERIOD_DAYS PHASE_UTC TREND_SFU_PER_YEAR EPOCH_UTC\n"
         << "quiet " << q.levelSfu << ' ' << q.rotationAmplitudeSfu << ' ' << q.rotationPeriodDays << ' '
         << q.rotationPhaseUtc << ' ' << q.trendSfuPerYear << ' ' << q.epochUtc << '\n'
         << "# burst START_UTC RISE_S PEAK_SFU DECAY_S\n";
    for (const Burst& b : history.bursts)
        text << "burst " << b.startUtc << ' ' << b.riseSeconds << ' ' << b.peakSfu << ' ' << b.decaySeconds << '\n';
    out << text.str();
}

std::optional<FluxHistory> readFluxHistory(std::istream& in, ReadProblem* problem)
{
    FluxHistory history;
    bool formatSeen = false;
    bool quietSeen = false;
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        const std::vector<std::string> f = fields(line);
        if (f.empty())
            continue;
        if (!formatSeen) {
            if (f.size() != 2 || f[0] + ' ' + f[1] != kFormatLine)
                return refuse(problem, FileProblem::NotTheFormat, lineNumber);
            formatSeen = true;
            continue;
        }
        const bool quiet = f[0] == "quiet";
        if (!quiet && f[0] != "burst")
            return refuse(problem, FileProblem::UnknownLine, lineNumber);
        if (f.size() != (quiet ? 7u : 5u))
            return refuse(problem, FileProblem::WrongFieldCount, lineNumber);
        double v[6] = {};
        for (std::size_t i = 1; i < f.size(); ++i)
            if (!number(f[i], v[i - 1]))
                return refuse(problem, FileProblem::BadNumber, lineNumber);
        if (quiet) {
            if (quietSeen)
                return refuse(problem, FileProblem::TwoQuiet, lineNumber);
            quietSeen = true;
            history.quiet = QuietSun{v[0], v[1], v[2], v[3], v[4], v[5]};
            if (!isValid(history.quiet))
                return refuse(problem, FileProblem::OutOfRange, lineNumber);
        } else {
            const Burst burst{v[0], v[1], v[2], v[3]};
            if (!isValid(burst))
                return refuse(problem, FileProblem::OutOfRange, lineNumber);
            history.bursts.push_back(burst);
        }
    }
    if (!formatSeen)
        return refuse(problem, FileProblem::NotTheFormat, 0);
    if (!quietSeen)
        return refuse(problem, FileProblem::NoQuiet, 0);
    sortBursts(history);
    if (problem)
        *problem = ReadProblem{};
    return history;
}

}  // namespace heliotrope::sunflux
