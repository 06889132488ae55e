#include "companions/rotctl/bridge/TrackingPower.h"

#include "companions/common/JstText.h"
#include "companions/common/ShiftedClock.h"
#include "companions/flux/FluxDay.h"
#include "companions/flux/FluxScale.h"
#include "companions/measure/BesideTheSun.h"
#include "companions/rotctl/bridge/Bridge.h"
#include "companions/rotctl/bridge/TrackingPowerMessages.h"

#include <algorithm>
#include <cmath>

namespace heliotrope::rotctl {

using companions::SetPoint;
using heliotrope::rotator::RotatorPosition;

namespace {

constexpr double kJst = 9 * 3600.0;
constexpr double kDay = 86400.0;
// The rotator is asked where it is this often while it turns to cold sky
// and back: arrival is seen within a quarter second of the companions' time.
constexpr double kReferencePollMs = 250;
// Two readings this close are one position: the rotator has not moved.
constexpr double kSameReadingDegrees = 1e-6;
// The step the day's arithmetic flags its readings for is the step warned of.
const double kGainStepDecibels = flux::FluxOptions{}.gainStepDecibels;
constexpr double kLowestGainJudgedDegrees = 15;

qint64 jstDayOf(double utc)
{
    return static_cast<qint64>(std::floor((utc + kJst) / kDay));
}

double decibels(double linear)
{
    return 10.0 * std::log10(linear);
}

bool same(const RotatorPosition& a, const RotatorPosition& b)
{
    return std::abs(a.azimuth - b.azimuth) < kSameReadingDegrees && std::abs(a.elevation - b.elevation) < kSameReadingDegrees;
}

// A rotator that moved this share of the beam between two readings has
// slewed; a fine rotator's tracking step of a few hundredths of a degree
// moves the sun's power by less than its noise, and the beam's loss at the
// new angle is worked out from the angles anyway.
constexpr double kMovedBeamwidths = 0.01;
// Readings farther from the sun than this share of the beam are flagged off
// the sun by the flux's arithmetic.
const double kOffSunBeamwidths = flux::FluxOptions{}.offSunBeamwidths;

}  // namespace

TrackingPower::TrackingPower(Bridge& bridge, const TrackingPowerOptions& options, const TrueSunOptions& sky,
                             std::unique_ptr<power::PowerSource> source, Keeper keeper, QObject* parent)
    : QObject(parent)
    , m_bridge(bridge)
    , m_options(options)
    , m_sky(sky)
    , m_source(std::move(source))
    , m_keeper(std::move(keeper))
{
    m_readTimer.setTimerType(Qt::PreciseTimer);
    m_readTimer.setInterval(companions::realIntervalMs(1000));
    connect(&m_readTimer, &QTimer::timeout, this, &TrackingPower::tick);
    m_batchTimer.setInterval(companions::realIntervalMs(TrackingPowerOptions::kBatchSeconds * 1000));
    connect(&m_batchTimer, &QTimer::timeout, this, &TrackingPower::keepBatch);
    m_referencePoll.setInterval(companions::realIntervalMs(kReferencePollMs));
    connect(&m_referencePoll, &QTimer::timeout, this, [this] {
        if (m_bridge.rotctldReady())
            m_bridge.rotctld().requestPosition();
    });
    connect(m_source.get(), &power::PowerSource::readingArrived, this, &TrackingPower::onReading);
    connect(m_source.get(), &power::PowerSource::failed, this, &TrackingPower::onFailed);
    connect(&m_bridge.rotctld(), &hamlib::RotctldClient::positionRead, this,
            [this](const RotatorPosition& reading, bool) { onPosition(reading); });
}

TrackingPower::~TrackingPower()
{
    flush();
}

double TrackingPower::nowUtc() const
{
    return m_bridge.sunUtcSeconds();
}

void TrackingPower::start()
{
    emit notice(said::watchingPower(m_source->description(), m_options.referenceEveryMinutes, m_options.referenceDwellSeconds,
                                    m_options.referenceOffsetBeamwidths * m_options.beamwidthDegrees));
    if (m_source->resolution() > 0)
        emit warning(said::powerInSteps(m_source->resolution()));
    m_readTimer.start();
    m_batchTimer.start();
    tick();
}

void TrackingPower::flush()
{
    keepBatch();
}

bool TrackingPower::sunUp(const heliotrope::sky::TrueSunPosition& sun) const
{
    return sun.elevation > std::max(0.0, m_bridge.frame().limits.minElevation);
}

void TrackingPower::tick()
{
    const double now = nowUtc();
    startNewDayIfDue(now);
    if (m_reference) {
        const bool lost = !m_bridge.rotctldReady();
        if (lost || (m_reference->dwellFromUtc && now - *m_reference->dwellFromUtc >= m_options.referenceDwellSeconds)) {
            endReference(!lost);
        } else if (!m_reference->dwellFromUtc && now - m_reference->startedUtc > TrackingPowerOptions::kReferenceReachSeconds) {
            emit warning(said::referenceGivenUp(TrackingPowerOptions::kReferenceReachSeconds));
            endReference(false);
        }
    }
    const heliotrope::sky::TrueSunPosition sun = m_sunTracker.at(now, *m_sky.site, m_sky.refraction, m_sky.atmosphere);
    if (!sunUp(sun) || !m_bridge.present()) {
        if (m_reference)
            endReference(false);
        return;
    }
    considerReference(sun);
    if (m_source->readingPending())
        return;
    m_requestedUtc = now;
    m_source->requestReading();
}

flux::StationState TrackingPower::stateNow() const
{
    if (m_reference)
        return flux::StationState::Reference;
    if (m_bridge.hold() != Bridge::Hold::None)
        return flux::StationState::Stow;
    if ((m_measuring && m_measuring()) || m_bridge.commandsHeld())
        return flux::StationState::Measurement;
    return flux::StationState::Tracking;
}

void TrackingPower::onReading(double reading)
{
    const double now = nowUtc();
    if (m_failingSinceUtc) {
        emit notice(said::powerReadAgain(m_missed));
        m_failingSinceUtc.reset();
        m_missed = 0;
    }
    const std::optional<RotatorPosition>& present = m_bridge.present();
    if (!present)
        return;
    flux::Reading r;
    r.utc = (m_requestedUtc + now) / 2;
    r.power = std::pow(10.0, reading / 10.0);
    const RotatorPosition beam = rotator::skyPosition(m_bridge.frame(), *present);
    r.antennaAzimuth = beam.azimuth;
    r.antennaElevation = beam.elevation;
    const heliotrope::sky::TrueSunPosition sun = m_sunTracker.at(r.utc, *m_sky.site, m_sky.refraction, m_sky.atmosphere);
    r.sunAzimuth = sun.azimuth;
    r.sunElevation = sun.elevation;
    r.moved = m_previousReading
        && heliotrope::sky::skySeparation(m_previousReading->azimuth, m_previousReading->elevation, present->azimuth,
                                          present->elevation)
            > kMovedBeamwidths * m_options.beamwidthDegrees;
    // Said once: a rotator whose step and dead band keep it farther from the
    // sun than a tenth of the beam gives readings the flux cannot use.
    if (const rotator::RotatorProfile& profile = m_bridge.rotatorProfile(); !m_coarseSaid && profile.step()) {
        m_coarseSaid = true;
        const double reach = profile.reach() + *profile.step() / 2;
        if (reach > kOffSunBeamwidths * m_options.beamwidthDegrees)
            emit warning(said::rotatorTooCoarseForFlux(reach, kOffSunBeamwidths * m_options.beamwidthDegrees));
    }
    r.state = stateNow();
    m_previousReading = present;
    if (m_reference && m_reference->dwellFromUtc && m_requestedUtc >= *m_reference->dwellFromUtc)
        m_reference->powers.push_back(r.power);
    m_latestDecibels = reading;
    m_latestUtc = now;
    ++m_readings;
    m_held.push_back(r);
    m_today.push_back(r);
}

void TrackingPower::onFailed(const QString& reason)
{
    ++m_missed;
    if (m_failingSinceUtc)
        return;
    m_failingSinceUtc = nowUtc();
    m_failure = reason;
    emit warning(said::powerUnreadable(reason));
}

void TrackingPower::considerReference(const heliotrope::sky::TrueSunPosition& sun)
{
    if (m_reference || (m_nextReferenceUtc && nowUtc() < *m_nextReferenceUtc))
        return;
    // The rotator is free: not the operator's, not a measurement's.
    if (!m_bridge.rotctldReady() || m_bridge.hold() != Bridge::Hold::None || m_bridge.commandsHeld() || (m_measuring && m_measuring()))
        return;
    beginReference(sun);
}

void TrackingPower::beginReference(const heliotrope::sky::TrueSunPosition& sun)
{
    const double offset = m_options.referenceOffsetBeamwidths * m_options.beamwidthDegrees;
    const std::optional<RotatorPosition>& present = m_bridge.present();
    // Beside the sun on the side the rotator can reach: east first, then west.
    for (const double side : {offset, -offset}) {
        const SetPoint coldSky = measure::besideTheSun(sun.azimuth, sun.elevation, side, 0);
        const rotator::RotatorCommand command = rotator::rotatorCommand(m_bridge.frame(), coldSky, present);
        if (command.clamped)
            continue;
        m_unreachableSaid = false;
        m_bridge.lendRotator();
        m_bridge.rotctld().requestPointing(RotatorPosition{command.azimuth, command.elevation});
        m_reference = Underway{coldSky, nowUtc(), std::nullopt, {}, std::nullopt};
        m_referencePoll.start();
        return;
    }
    if (!m_unreachableSaid)
        emit warning(said::referenceUnreachable(SetPoint{sun.azimuth, sun.elevation}));
    m_unreachableSaid = true;
    m_nextReferenceUtc = nowUtc() + m_options.referenceEveryMinutes * 60;
}

void TrackingPower::onPosition(const RotatorPosition& reading)
{
    if (!m_reference || m_reference->dwellFromUtc)
        return;
    const RotatorPosition sky = rotator::skyPosition(m_bridge.frame(), reading);
    const rotator::RotatorProfile& profile = m_bridge.rotatorProfile();
    // As near as this rotator gets, and never nearer than a tenth of the beam,
    // which is cold sky enough five beams out.
    const double band = std::max(0.1 * m_options.beamwidthDegrees, profile.step().value_or(0.0) + profile.deadBand());
    const bool there = heliotrope::sky::skySeparation(sky.azimuth, sky.elevation, m_reference->coldSky.azimuth, m_reference->coldSky.elevation) <= band;
    const bool still = m_reference->lastReading && same(*m_reference->lastReading, reading);
    m_reference->lastReading = reading;
    if (there && still)
        m_reference->dwellFromUtc = nowUtc();
}

void TrackingPower::endReference(bool measured)
{
    if (!m_reference)
        return;
    const Underway done = std::move(*m_reference);
    m_reference.reset();
    m_referencePoll.stop();
    m_bridge.takeRotatorBack();
    const double now = nowUtc();
    m_nextReferenceUtc = now + m_options.referenceEveryMinutes * 60;
    if (!measured || !done.dwellFromUtc)
        return;
    flux::Reference reference;
    reference.startUtc = *done.dwellFromUtc;
    reference.endUtc = now;
    reference.power = flux::dwellMean(done.powers);
    if (reference.power.count == 0) {
        emit warning(said::referenceGivenUp(now - done.startedUtc));
        return;
    }
    ++m_references;
    // The cold sky's power moves smoothly through the day: the gain drifts
    // with the air's temperature by a dB or so over hours, and the sky and
    // the ground the feed sees warm the system as the sun is lower. A step
    // of half a dB against that trend, carried on from the references
    // before, is the receiver itself (an LNA failing, a cable, water in the
    // feed). Not judged with the sun low, where the ground's share changes
    // by a dB in ten minutes and faster each minute; and after a step, not
    // until a new trend is drawn from the references after it.
    const bool high = done.coldSky.elevation >= kLowestGainJudgedDegrees;
    if (!m_todayReferences.empty() && high && m_previousReferenceHigh) {
        const flux::Reference& last = m_todayReferences.back();
        const double minutes = (reference.startUtc - last.startUtc) / 60.0;
        const double change = decibels(reference.power.mean) - decibels(last.power.mean);
        // Two references in whole dB differ by up to a step from their rounding alone.
        if (m_referenceTrend && std::abs(change - *m_referenceTrend * minutes) >= kGainStepDecibels + m_source->resolution()) {
            emit warning(said::gainStepped(change - *m_referenceTrend * minutes, minutes));
            m_referenceTrend.reset();
        } else if (minutes > 0) {
            m_referenceTrend = change / minutes;
        }
    } else {
        m_referenceTrend.reset();
    }
    m_previousReferenceHigh = high;
    m_heldReferences.push_back(reference);
    m_todayReferences.push_back(reference);
    // A dwell in whole dB on a steady receiver is one number read over and
    // over: its scatter 0, its rounding all there is of its error. A
    // command may print whole dB too.
    const double step = m_source->resolution() > 0                                   ? m_source->resolution()
        : std::all_of(done.powers.begin(), done.powers.end(), flux::inWholeDecibels) ? 1.0
                                                                                     : 0.0;
    if (step > 0)
        emit notice(said::referenceTakenInSteps(decibels(reference.power.mean), 100.0 * std::hypot(flux::relativeError(reference.power), flux::stepRelativeError(step)),
                                                reference.power.count, step));
    else
        emit notice(said::referenceTaken(decibels(reference.power.mean), 100.0 * reference.power.scatter / reference.power.mean, reference.power.count));
}

void TrackingPower::yieldRotator()
{
    // Unmeasured: a dwell cut short is not the cold sky of its interval.
    // Tried again one interval on, as after a reference measured.
    endReference(false);
}

void TrackingPower::keepBatch()
{
    if (m_held.empty() && m_heldReferences.empty())
        return;
    QString problem;
    if (m_keeper && m_keeper(m_held, m_heldReferences, &problem)) {
        if (m_keeperFailing)
            emit notice(said::readingsKeptAgain(static_cast<int>(m_held.size())));
        m_keeperFailing = false;
        emit kept(static_cast<int>(m_held.size()), static_cast<int>(m_heldReferences.size()));
        m_held.clear();
        m_heldReferences.clear();
        return;
    }
    if (!m_keeperFailing)
        emit warning(said::readingsNotKept(problem, static_cast<int>(m_held.size())));
    m_keeperFailing = true;
    if (m_held.size() > kMostHeld) {
        const std::size_t dropped = m_held.size() - kMostHeld;
        m_held.erase(m_held.begin(), m_held.begin() + static_cast<std::ptrdiff_t>(dropped));
        emit warning(said::readingsDropped(static_cast<int>(dropped)));
    }
}

void TrackingPower::startNewDayIfDue(double utc)
{
    const qint64 day = jstDayOf(utc);
    if (day == m_todayJstDay)
        return;
    if (!m_today.empty() || !m_todayReferences.empty()) {
        keepBatch();
        emit dayEnded(m_todayJstDay, m_today, m_todayReferences);
    }
    m_todayJstDay = day;
    m_today.clear();
    m_todayReferences.clear();
    m_referenceTrend.reset();
}

void TrackingPower::recallToday(std::vector<flux::Reading> readings, std::vector<flux::Reference> references)
{
    startNewDayIfDue(nowUtc());
    const auto today = [this](double utc) { return jstDayOf(utc) == m_todayJstDay; };
    std::erase_if(readings, [&](const flux::Reading& r) { return !today(r.utc); });
    std::erase_if(references, [&](const flux::Reference& r) { return !today(r.startUtc); });
    m_today.insert(m_today.begin(), readings.begin(), readings.end());
    m_todayReferences.insert(m_todayReferences.begin(), references.begin(), references.end());
}

std::optional<QString> TrackingPower::referenceStatus() const
{
    if (!m_reference)
        return std::nullopt;
    // Before arrival: the whole dwell is still to come, and the slew besides.
    const double left = m_reference->dwellFromUtc ? m_options.referenceDwellSeconds - (nowUtc() - *m_reference->dwellFromUtc)
                                                  : m_options.referenceDwellSeconds;
    return said::statusOnReference(m_reference->coldSky, left);
}

QStringList TrackingPower::statusLines() const
{
    QStringList lines;
    const double now = nowUtc();
    const QString source = m_source->description();
    if (m_failingSinceUtc) {
        lines << said::statusWatchFailing(m_failure, companions::jstText(std::llround(*m_failingSinceUtc * 1000.0))).split(QLatin1Char('\n'));
        return lines;
    }
    heliotrope::sky::TrueSunTracker tracker;
    if (!sunUp(tracker.at(now, *m_sky.site, m_sky.refraction, m_sky.atmosphere))) {
        lines << said::statusWatchIdle(source, said::WatchIdle::SunDown).split(QLatin1Char('\n'));
        return lines;
    }
    if (!m_bridge.present()) {
        lines << said::statusWatchIdle(source, said::WatchIdle::NoRotatorReading).split(QLatin1Char('\n'));
        return lines;
    }
    const std::optional<double> age = m_latestDecibels ? std::optional(now - m_latestUtc) : std::nullopt;
    const QString next = m_nextReferenceUtc && !m_reference ? companions::jstText(std::llround(*m_nextReferenceUtc * 1000.0)) : QString();
    lines << said::statusWatching(source, m_latestDecibels, age, next, m_readings, m_references).split(QLatin1Char('\n'));
    return lines;
}

}  // namespace heliotrope::rotctl
