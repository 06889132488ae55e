#include "companions/rotctl/bridge/FluxWatch.h"

#include "companions/common/ShiftedClock.h"
#include "companions/rotctl/bridge/TrackingPowerMessages.h"
#include "companions/sky/SunTransit.h"

#include <algorithm>
#include <cmath>

namespace heliotrope::rotctl {

namespace {

constexpr double kJst = 9 * 3600.0;
constexpr double kDay = 86400.0;
// A burst found again on a later look has grown or been redrawn by more
// readings; it is the same burst while it overlaps the one said, give or
// take a minute.
constexpr double kSameBurstSeconds = 60;

double jstDayStart(qint64 jstDay)
{
    return static_cast<double>(jstDay) * kDay - kJst;
}

// The same burst: they overlap, give or take kSameBurstSeconds.
bool sameBurst(const flux::FluxBurst& a, const flux::FluxBurst& b)
{
    return a.startUtc <= b.endUtc + kSameBurstSeconds && a.endUtc >= b.startUtc - kSameBurstSeconds;
}

QDate jstDate(qint64 jstDay)
{
    return QDate(1970, 1, 1).addDays(jstDay);
}

}  // namespace

FluxWatch::FluxWatch(TrackingPower& watch, const TrueSunOptions& sky, Chooser chooser, DayKeeper keeper,
                     const flux::FluxOptions& options, QObject* parent)
    : QObject(parent)
    , m_watch(watch)
    , m_sky(sky)
    , m_chooser(std::move(chooser))
    , m_keeper(std::move(keeper))
    , m_options(options)
{
    m_lookTimer.setInterval(companions::realIntervalMs(kLookEverySeconds * 1000));
    connect(&m_lookTimer, &QTimer::timeout, this, &FluxWatch::look);
    connect(&m_watch, &TrackingPower::dayEnded, this, &FluxWatch::closeDay);
}

void FluxWatch::start()
{
    emit notice(said::lookingForBursts(kLookEverySeconds / 60.0, m_options.burstSigma, m_options.burstSeconds));
    m_lookTimer.start();
}

std::optional<flux::FluxDay> FluxWatch::workOut(qint64 jstDay, const std::vector<flux::Reading>& readings,
                                                const std::vector<flux::Reference>& references, Choice* choice)
{
    if (readings.empty())
        return std::nullopt;
    const double dayStart = jstDayStart(jstDay);
    // The scale as it stands at the day's end: a run made that day serves the whole of it.
    *choice = m_chooser ? m_chooser(dayStart + kDay) : Choice{};
    if (!choice->station) {
        // Said once a day, and again when the reason changes.
        if (choice->refusal != m_refusalSaid)
            emit warning(said::noFluxScale(choice->refusal));
        m_refusalSaid = choice->refusal;
        return std::nullopt;
    }
    m_refusalSaid.clear();
    const double transit = heliotrope::sky::sunTransitUtc(dayStart, dayStart + kDay, *m_sky.site);
    return flux::workOutDay(readings, references, *choice->station, transit, m_options);
}

bool FluxWatch::alreadySaid(const flux::FluxBurst& burst) const
{
    return std::any_of(m_bursts.begin(), m_bursts.end(), [&](const flux::FluxBurst& said) { return sameBurst(burst, said); });
}

void FluxWatch::look()
{
    const qint64 day = m_watch.todaysJstDay();
    if (day != m_jstDay) {
        m_jstDay = day;
        m_bursts.clear();
        m_latestDaily.reset();
        m_latestDay.reset();
    }
    Choice choice;
    std::optional<flux::FluxDay> worked = workOut(day, m_watch.todaysReadings(), m_watch.todaysReferences(), &choice);
    // A run just marked may have been the scale the day was worked out on.
    if (worked && markRunsDuring(*worked))
        worked = workOut(day, m_watch.todaysReadings(), m_watch.todaysReferences(), &choice);
    if (!worked)
        return;
    m_latestDaily = worked->daily;
    m_latestDay = *worked;
    m_latestSource = choice.source;
    std::vector<flux::FluxBurst> seen;
    for (const flux::FluxBurst& burst : worked->bursts) {
        if (alreadySaid(burst)) {
            seen.push_back(burst);
            continue;
        }
        emit warning(said::burstFound(burst));
        seen.push_back(burst);
    }
    // A burst said stays said though a later look, with more readings
    // around it, no longer finds it: it was said, and the day's close keeps
    // what the whole day shows.
    for (const flux::FluxBurst& said : m_bursts) {
        if (std::none_of(seen.begin(), seen.end(), [&](const flux::FluxBurst& burst) { return sameBurst(burst, said); }))
            seen.push_back(said);
    }
    std::sort(seen.begin(), seen.end(), [](const flux::FluxBurst& a, const flux::FluxBurst& b) { return a.startUtc < b.startUtc; });
    m_bursts = std::move(seen);
}

bool FluxWatch::markRunsDuring(const flux::FluxDay& day)
{
    bool any = false;
    if (!m_marker)
        return any;
    for (const flux::FluxBurst& burst : day.bursts) {
        const flux::BurstReach reach = flux::burstReach(day, burst);
        QString problem;
        const std::optional<std::vector<record::StationRun>> marked = m_marker(reach.fromUtc, reach.toUtc, &problem);
        if (!marked) {
            if (problem != m_markProblemSaid)
                emit warning(said::runsDuringBurstNotMarked(problem));
            m_markProblemSaid = problem;
            return any;
        }
        m_markProblemSaid.clear();
        for (const record::StationRun& run : *marked)
            emit warning(said::runDuringBurst(run));
        any = any || !marked->empty();
    }
    return any;
}

void FluxWatch::closeDay(qint64 jstDay, const std::vector<flux::Reading>& readings, const std::vector<flux::Reference>& references)
{
    Choice choice;
    std::optional<flux::FluxDay> worked = workOut(jstDay, readings, references, &choice);
    // Marked before the day is kept, so that it is not kept on a run's
    // scale that the whole day shows was taken during a burst.
    if (worked && markRunsDuring(*worked))
        worked = workOut(jstDay, readings, references, &choice);
    if (!worked)
        return;
    for (const flux::FluxBurst& burst : worked->bursts) {
        if (jstDay != m_jstDay || !alreadySaid(burst)) {
            emit warning(said::burstFound(burst));
        }
    }
    QString problem;
    if (m_keeper && !m_keeper(jstDate(jstDay), *worked, choice.source, &problem)) {
        emit warning(said::fluxDayNotKept(jstDate(jstDay), problem));
        return;
    }
    emit notice(said::fluxDayKept(jstDate(jstDay), worked->daily, static_cast<int>(worked->bursts.size()), choice.source, *worked));
}

void FluxWatch::finish()
{
    closeDay(m_watch.todaysJstDay(), m_watch.todaysReadings(), m_watch.todaysReferences());
}

QStringList FluxWatch::statusLines() const
{
    if (!m_latestDaily || !m_latestDay)
        return {};
    return said::statusFlux(*m_latestDaily, static_cast<int>(m_bursts.size()), m_latestSource, *m_latestDay).split(QLatin1Char('\n'));
}

}  // namespace heliotrope::rotctl
