#include "companions/rotator/RotatorProfile.h"

#include "companions/rotator/RotatorReading.h"

#include <algorithm>
#include <cmath>

namespace heliotrope::rotator {

namespace {

constexpr double kSteps[] = {1.0, 0.5, 0.2, 0.1, 0.05, 0.01};
constexpr std::size_t kValuesToLearn = 10;
constexpr double kMillionths = 1e6;
// A stop away from the command tells a step from a few readings only when
// the step is at least this coarse.
constexpr double kCoarseStep = 0.1;
// Closer than this to a multiple of the step, a reading lies on it (readings
// come with two or six decimals).
constexpr double kOnStep = 1e-4;
// A command this near a half step, in steps, counts as on it: float and
// double disagree on which side of the half it lies.
constexpr double kHalfStepTie = 1e-4;
// Readings further apart in time than this say nothing about the rate.
constexpr double kLongestRateGap = 5.0;
// The least and the most a rotator's readings must stay alike before it
// counts as standing still, seconds.
constexpr double kShortestStill = 1.0;
constexpr double kLongestStill = 10.0;

double roundedTo(double value, double step)
{
    return std::round(value / step) * step;
}

// Cut down to the step, as SPID's controllers take a command; a value on a
// step (within its last digit) stays on it.
double cutTo(double value, double step)
{
    return std::floor(value / step + kOnStep) * step;
}

// How far a reading lies from a command as the controller may take it,
// rounded to its step or cut down to it, whichever is nearer; an azimuth the
// short way round north.
double fromTaken(double read, double sent, double step, bool circular)
{
    const auto from = [read, circular](double to) {
        return circular ? std::abs(std::remainder(read - to, 360.0)) : std::abs(read - to);
    };
    return std::min(from(roundedTo(sent, step)), from(cutTo(sent, step)));
}

bool onStep(double value, double step)
{
    return std::abs(value - roundedTo(value, step)) < kOnStep;
}

// The coarsest step, no finer than `finest`, that every value (millionths of
// a degree) lies on.
std::optional<double> coarsestStepOf(const std::set<long long>& values, double finest)
{
    for (const double step : kSteps) {
        if (step < finest)
            break;
        if (std::all_of(values.begin(), values.end(), [step](long long value) { return onStep(static_cast<double>(value) / kMillionths, step); }))
            return step;
    }
    return std::nullopt;
}

void remember(std::set<long long>& values, const RotatorPosition& position)
{
    values.insert(std::llround(position.azimuth * kMillionths));
    values.insert(std::llround(position.elevation * kMillionths));
}

}  // namespace

RotatorProfile::RotatorProfile(std::optional<double> givenStep, std::optional<double> givenDeadBand)
    : m_step(givenStep)
    , m_stepGiven(givenStep.has_value())
    , m_deadBand(givenDeadBand.value_or(0))
    , m_deadBandGiven(givenDeadBand.has_value())
{
}

void RotatorProfile::commanded(const std::optional<RotatorPosition>& sent)
{
    m_sent = sent;
    m_sinceCommand.reset();
}

void RotatorProfile::reading(const RotatorPosition& position, double seconds, bool afterCommand)
{
    learnFrom(position, seconds);
    if (!afterCommand || !m_sent)
        return;
    m_sinceCommand.reading(position, seconds);
    if (m_sinceCommand.still(stillSpan()))
        stopped(position, *m_sent);
}

double RotatorProfile::stillSpan() const
{
    std::optional<double> slower;
    for (const std::optional<double>& rate : {m_azimuthRate, m_elevationRate}) {
        if (rate && *rate > 0)
            slower = std::min(slower.value_or(*rate), *rate);
    }
    const double stepTurn = slower ? 1.5 * stepOrFinest() / *slower : 0;
    return std::clamp(stepTurn, kShortestStill, kLongestStill);
}

void RotatorProfile::learnFrom(const RotatorPosition& position, double seconds)
{
    if (m_last && seconds > m_lastSeconds && seconds - m_lastSeconds < kLongestRateGap) {
        const double span = seconds - m_lastSeconds;
        const double azimuth = std::abs(std::remainder(position.azimuth - m_last->azimuth, 360.0)) / span;
        const double elevation = std::abs(position.elevation - m_last->elevation) / span;
        if (azimuth > 0)
            m_azimuthRate = std::max(m_azimuthRate.value_or(0), azimuth);
        if (elevation > 0)
            m_elevationRate = std::max(m_elevationRate.value_or(0), elevation);
    }
    m_last = position;
    m_lastSeconds = seconds;
    if (m_stepGiven)
        return;
    remember(m_valuesSeen, position);
    learnStep();
}

void RotatorProfile::learnStep()
{
    if (m_valuesSeen.size() >= kValuesToLearn)
        m_step = coarsestStepOf(m_valuesSeen, kFinestStep).value_or(kFinestStep);
}

void RotatorProfile::stopped(const RotatorPosition& position, const RotatorPosition& commanded)
{
    // A rotator that stops away from its command, its readings all on a
    // coarse grid, has a controller that works in that grid: no need to wait
    // for ten readings on the move (one near its target may never make them).
    const bool away = std::abs(std::remainder(position.azimuth - commanded.azimuth, 360.0)) > kFinestStep
        || std::abs(position.elevation - commanded.elevation) > kFinestStep;
    if (!m_step && !m_stepGiven && away) {
        remember(m_valuesSeen, position);
        m_step = coarsestStepOf(m_valuesSeen, kCoarseStep);
    }
    const double step = stepOrFinest();
    // Where a command rounded and cut down part, the stop says which the
    // controller does.
    for (const auto& [read, sent] : {std::pair{position.azimuth, commanded.azimuth}, std::pair{position.elevation, commanded.elevation}}) {
        const double nearest = roundedTo(sent, step);
        const double cut = cutTo(sent, step);
        const bool nearNearest = std::abs(read - nearest) <= reach();
        const bool nearCut = std::abs(read - cut) <= reach();
        if (std::abs(nearest - cut) > kOnStep && nearNearest != nearCut)
            m_cuts = nearCut;
    }
    if (m_deadBandGiven)
        return;
    const double shortfall = std::max(fromTaken(position.azimuth, commanded.azimuth, step, true),
                                      fromTaken(position.elevation, commanded.elevation, step, false));
    const double beyondStep = shortfall - stepOrFinest() / 2;
    if (beyondStep > m_deadBand && beyondStep <= kLargestDeadBand)
        m_deadBand = beyondStep;
}

RotatorPosition RotatorProfile::rounded(const RotatorPosition& command) const
{
    const double step = stepOrFinest();
    return RotatorPosition{roundedTo(command.azimuth, step), roundedTo(command.elevation, step)};
}

RotatorPosition RotatorProfile::taken(const RotatorPosition& command) const
{
    return m_cuts.value_or(false) ? cutDown(command) : rounded(command);
}

RotatorPosition RotatorProfile::cutDown(const RotatorPosition& command) const
{
    const double step = stepOrFinest();
    return RotatorPosition{cutTo(command.azimuth, step), cutTo(command.elevation, step)};
}

bool RotatorProfile::within(const RotatorPosition& reading, const RotatorPosition& command) const
{
    const double step = stepOrFinest();
    const auto axis = [this, step](double read, double sent, bool circular) {
        const auto gap = [read, circular](double to) {
            return circular ? std::abs(std::remainder(read - to, 360.0)) : std::abs(read - to);
        };
        double nearest = fromTaken(read, sent, step, circular);
        // A command on a half step (23.45° to a tenths controller) may be
        // rounded either way on its road: Hamlib carries angles as floats, in
        // which 23.45 is a little above the half, and prints them with %.1f.
        const double steps = sent / step;
        if (std::abs(steps - std::floor(steps) - 0.5) < kHalfStepTie)
            nearest = std::min({nearest, gap(std::floor(steps) * step), gap(std::ceil(steps) * step)});
        return nearest <= reach() + kOnStep;
    };
    return axis(reading.azimuth, command.azimuth, true) && axis(reading.elevation, command.elevation, false);
}

bool RotatorProfile::sameCommand(const RotatorPosition& a, const RotatorPosition& b) const
{
    // Alike as the controller takes them: rounded to the nearest step, or cut
    // down to it (SPID's); until a stop has shown which, alike either way.
    const double step = stepOrFinest();
    const RotatorPosition ra = rounded(a);
    const RotatorPosition rb = rounded(b);
    const bool nearest = std::abs(ra.azimuth - rb.azimuth) < kOnStep && std::abs(ra.elevation - rb.elevation) < kOnStep;
    const bool cutDown = std::abs(cutTo(a.azimuth, step) - cutTo(b.azimuth, step)) < kOnStep && std::abs(cutTo(a.elevation, step) - cutTo(b.elevation, step)) < kOnStep;
    if (m_cuts)
        return *m_cuts ? cutDown : nearest;
    return nearest || cutDown;
}

}  // namespace heliotrope::rotator
