#include "companions/rotctl/bridge/Bridge.h"

#include "companions/common/ConsoleText.h"
#include "companions/common/JstText.h"
#include "companions/common/PositionReport.h"
#include "companions/rotctl/bridge/BridgeMessages.h"

#include <algorithm>
#include <cmath>

using heliotrope::companions::degreesText;
using heliotrope::companions::endpointText;
using heliotrope::companions::PointingReceiver;
using heliotrope::companions::positionReport;
using heliotrope::companions::realIntervalMs;
using heliotrope::companions::SetPoint;

namespace heliotrope::rotctl {

namespace {

constexpr int kLongestPollMs = 30000;
// How often the sun is computed and commanded when the bridge tracks by
// itself: the window's own cycle.
constexpr double kSelfTrackingMs = 750;
constexpr qint64 kNotFollowingRetryMs = 600000;

}  // namespace

Bridge::Bridge(const BridgeOptions& options, QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_client(options.rotctldHost, options.rotctldPort)
    , m_policy(options.threshold, static_cast<long long>(options.minIntervalSeconds * 1000.0))
    , m_profile(options.resolution, options.deadBand)
{
    m_clock.start();
    if (options.trueSun.enabled && options.trueSun.site)
        m_trueSun.emplace(*options.trueSun.site, options.trueSun.refraction, options.trueSun.atmosphere);
    m_frame.range = options.azimuthRange;
    m_frame.azimuthOffset = options.azimuthOffset;
    m_frame.elevationOffset = options.elevationOffset;
    m_frame.model = options.pointingModel;
    m_pointingInForce = options.inForce;
    if (options.trueSun.bySelf && options.trueSun.site) {
        m_selfTracking.emplace(*options.trueSun.site, options.trueSun.refraction, options.trueSun.atmosphere);
        m_selfTimer.setTimerType(Qt::PreciseTimer);
        m_selfTimer.setInterval(realIntervalMs(kSelfTrackingMs));
        connect(&m_selfTimer, &QTimer::timeout, this, &Bridge::trackBySelf);
    }

    connect(&m_receiver, &PointingReceiver::setPointArrived, this, &Bridge::onSetPoint);
    connect(&m_receiver, &PointingReceiver::messageRejected, this, &Bridge::notice);
    connect(&m_receiver, &PointingReceiver::senderRefused, this, &Bridge::notice);
    m_receiver.setAllowList(options.allowedSenders);
    connect(&m_receiver, &PointingReceiver::reportAddressChanged, this, [this](const QHostAddress& address, quint16 port) {
        emit notice(said::reportAddress(address, port));
    });
    connect(&m_client, &hamlib::RotctldClient::ready, this, &Bridge::onReady);
    connect(&m_client, &hamlib::RotctldClient::capsRead, this, [this](std::optional<bool> canPark) {
        // A stow with no position is Hamlib's park: said now, not first
        // found out when the storm comes and the stow is refused.
        if (canPark == false)
            emit warning(said::noParkToStowAt());
    });
    connect(&m_client, &hamlib::RotctldClient::lost, this, [this](hamlib::RotctldClient::Problem, const QString& line) { onLost(line); });
    connect(&m_client, &hamlib::RotctldClient::positionRead, this, &Bridge::onPosition);
    connect(&m_client, &hamlib::RotctldClient::positionRefused, this, &Bridge::onPositionRefused);
    connect(&m_client, &hamlib::RotctldClient::pointingAnswered, this, &Bridge::onPointingAnswered);
    connect(&m_client, &hamlib::RotctldClient::haltAnswered, this, [this](hamlib::RotctldCommand, int returnCode) {
        // Stopped short of its last P, or bound for the controller's park:
        // where it comes to rest tells nothing of its dead band.
        m_profile.commanded(std::nullopt);
        m_watch.halted();
        if (m_hold != Hold::None)
            emit holdAnswered(returnCode);
    });
    // Precise: a coarse timer may fire a little early, and p is promised no
    // more often than the poll interval.
    m_pollTimer.setTimerType(Qt::PreciseTimer);
    m_pollTimer.setInterval(realIntervalMs(options.pollIntervalMs));
    connect(&m_pollTimer, &QTimer::timeout, this, &Bridge::poll);
}

bool Bridge::start(QString* problem)
{
    if (!m_options.logPath.isEmpty() && !m_log.open(m_options.logPath, problem))
        return false;
    if (!m_receiver.listen(m_options.listenAddress, m_options.port, problem))
        return false;
    emit notice(said::listening(endpointText(m_options.listenAddress, localPort()), m_client.endpointText()));
    if (!m_options.allowedSenders.isLoopbackOnly())
        emit notice(said::allowedSenders(m_options.allowedSenders.text()));
    if (m_options.azimuthRange == rotator::AzimuthRange::FromMinus180To180)
        emit notice(said::halfTurnRange());
    if (m_selfTracking)
        emit notice(said::selfTrackingMode(m_options.trueSun, m_options.trueSun.nightStow ? m_options.stowPosition : std::nullopt));
    else if (m_trueSun)
        emit notice(said::trueSunMode(m_options.trueSun));
    m_client.start();
    if (m_selfTracking) {
        trackBySelf();
        m_selfTimer.start();
    }
    return true;
}

void Bridge::trackBySelf()
{
    const qint64 sunUtc = utcNowMs() + static_cast<qint64>(std::llround(m_options.trueSun.clockOffsetSeconds * 1000.0));
    SelfTrackingTarget target = m_selfTracking->at(sunUtc, m_frame.limits.minElevation);
    const bool stowByNight = target.night && m_options.trueSun.nightStow && m_options.stowPosition;
    if (stowByNight) {
        const rotator::RotatorPosition sky = rotator::skyPosition(m_frame, *m_options.stowPosition);
        target.target = SetPoint{sky.azimuth, sky.elevation};
    }
    if (m_nightSaid != target.night) {
        m_nightSaid = target.night;
        if (target.night) {
            const std::optional<qint64> sunrise = target.sunrise ? std::optional(static_cast<qint64>(std::llround(target.sunrise->utcSeconds * 1000.0)))
                                                                 : std::nullopt;
            emit notice(said::selfTrackingNight(target.target.azimuth, target.target.elevation, sunrise, stowByNight));
        } else {
            emit notice(said::selfTrackingDay(target.sun.azimuth, target.sun.elevation));
        }
    }
    m_target = target.target;
    m_selfTarget = std::move(target);
    considerCommand();
}

void Bridge::compareWindow(const SetPoint& setPoint)
{
    if (!m_selfTarget)
        return;
    const SetPoint& tracked = m_selfTarget->target;
    const double apart = heliotrope::sky::skySeparation(setPoint.azimuth, setPoint.elevation, tracked.azimuth, tracked.elevation);
    if (!m_windowApartSaid && apart > TrueSunPointing::kGuardTripDegrees) {
        m_windowApartSaid = true;
        emit notice(said::windowApart(setPoint, tracked, apart));
    } else if (m_windowApartSaid && apart < TrueSunPointing::kGuardClearDegrees) {
        m_windowApartSaid = false;
        emit notice(said::windowAgrees());
    }
}

double Bridge::sunUtcSeconds() const
{
    return static_cast<double>(utcNowMs()) / 1000.0 + m_options.trueSun.clockOffsetSeconds;
}

qint64 Bridge::utcNowMs() const
{
    return m_utcClock ? m_utcClock() : heliotrope::companions::companionUtcMs();
}

void Bridge::takeSetPoint(const SetPoint& setPoint)
{
    m_setPoint = setPoint;
    m_target = setPoint;
    m_trueSunDecision.reset();
    if (!m_trueSun)
        return;
    // --clock-offset moves the sun commanded; the window's set-point is of its
    // own clock and is judged against the sun at that clock.
    const qint64 windowUtc = utcNowMs();
    const qint64 sunUtc = windowUtc + static_cast<qint64>(std::llround(m_options.trueSun.clockOffsetSeconds * 1000.0));
    TrueSunDecision decision = m_trueSun->decide(setPoint, sunUtc, windowUtc);
    m_target = decision.target;
    for (const QString& line : std::as_const(decision.notices))
        emit notice(line);
    m_trueSunDecision = std::move(decision);
}

void Bridge::onSetPoint(const SetPoint& setPoint)
{
    if (m_selfTracking) {
        // The window is answered with reports and judged, never followed.
        m_setPoint = setPoint;
        compareWindow(setPoint);
        return;
    }
    takeSetPoint(setPoint);
    considerCommand();
}

TrackingColumns Bridge::trackingColumns(const rotator::RotatorPosition& reading) const
{
    TrackingColumns columns;
    if (m_trueSunDecision && m_trueSunDecision->trueSun) {
        columns.trueSun = SetPoint{m_trueSunDecision->trueSun->azimuth, m_trueSunDecision->trueSun->elevation};
        columns.windowMinusTrue = m_trueSunDecision->windowMinusTrue;
    } else if (m_selfTarget && !m_selfTarget->night) {
        columns.trueSun = SetPoint{m_selfTarget->sun.azimuth, m_selfTarget->sun.elevation};
    }
    if (m_target && rotator::azimuthReachable(m_frame)) {
        // Where the bridge points the rotator, after the limits, back in the sky's terms.
        const rotator::RotatorCommand command = rotator::rotatorCommand(m_frame, *m_target, reading);
        columns.commanded = rotator::skyPosition(m_frame, rotator::RotatorPosition{command.azimuth, command.elevation});
    }
    return columns;
}

void Bridge::onReady(const std::optional<rotator::RotatorLimits>& reported)
{
    // Without a report, the whole of the range and the horizon to the zenith.
    const rotator::RotatorLimits extent = rotator::rangeExtent(m_options.azimuthRange);
    rotator::RotatorLimits limits = reported.value_or(rotator::RotatorLimits{extent.minAzimuth, extent.maxAzimuth, 0, 90});
    limits.minAzimuth = m_options.minAzimuth.value_or(limits.minAzimuth);
    limits.maxAzimuth = m_options.maxAzimuth.value_or(limits.maxAzimuth);
    limits.minElevation = m_options.minElevation.value_or(limits.minElevation);
    limits.maxElevation = m_options.maxElevation.value_or(limits.maxElevation);
    if (limits.minElevation > limits.maxElevation) {
        // A limit given on the command line against one rotctld reported: the
        // command line is the operator's word, the other bound gives way.
        if (m_options.minElevation)
            limits.maxElevation = limits.minElevation;
        else
            limits.minElevation = limits.maxElevation;
    }
    m_frame.limits = limits;
    m_present.reset();
    m_watch.reset();
    m_policy.reset();
    m_clampSaid = false;

    // Said once the rotator has answered on this connection: a peer that takes
    // the connection and then hangs has not connected anything.
    m_connectedPending = !m_connectedSaid;
    m_limitsReported = reported.has_value();
    // Asked once in the bridge's life: a peer that does not answer it costs
    // one connection, not every one.
    if (!m_options.stowPosition && !m_parkAsked) {
        m_parkAsked = true;
        m_client.requestCaps();
    }
    if (!rotator::azimuthReachable(m_frame)) {
        if (!m_unreachableSaid)
            emit notice(said::limitsUnreachable());
        m_unreachableSaid = true;
    } else {
        m_unreachableSaid = false;
    }
    poll();
    m_pollTimer.start(realIntervalMs(m_options.pollIntervalMs));
    if (m_hold == Hold::Stowed && !m_commandsHeld)
        sendHold();
    emit rotatorReady();
}

void Bridge::onLost(const QString& line)
{
    m_pollTimer.stop();
    m_present.reset();
    m_connectedPending = false;
    // Commands on their way are dropped with the connection: no answer comes.
    m_holdAnswerPending = false;
    m_trackingAnswerFirst = false;
    if (!line.isEmpty()) {
        emit notice(line);
        m_connectedSaid = false;  // the next connection that answers is news
    }
}

void Bridge::learnFrom(const rotator::RotatorPosition& reading, bool afterPointing)
{
    m_profile.reading(reading, static_cast<double>(nowMs()) / 1000.0, afterPointing);
    if (m_profile.step() && m_profile.step() != m_stepSaid) {
        m_stepSaid = m_profile.step();
        emit notice(said::rotatorStep(*m_profile.step(), m_options.resolution.has_value()));
    }
    // Said in hundredths: a rise that does not show in them is no news.
    const double threshold = std::round(m_policy.thresholdFor(m_profile) * 100.0) / 100.0;
    if (threshold > std::round(std::max(m_options.threshold, m_thresholdSaid) * 100.0) / 100.0 + 1e-9) {
        m_thresholdSaid = threshold;
        emit notice(said::thresholdRaised(m_profile.stepOrFinest(), m_profile.deadBand(), threshold));
    }
}

void Bridge::sayConnected()
{
    if (!m_connectedPending)
        return;
    const int given = int(m_options.minAzimuth.has_value()) + int(m_options.maxAzimuth.has_value()) + int(m_options.minElevation.has_value())
        + int(m_options.maxElevation.has_value());
    emit notice(said::connected(m_client.endpointText(), m_frame.limits, m_limitsReported, given));
    m_connectedPending = false;
    m_connectedSaid = true;
}

void Bridge::poll()
{
    m_client.requestPosition();
}

void Bridge::onPosition(const rotator::RotatorPosition& reading, bool afterPointing)
{
    sayConnected();
    if (m_positionRefusedSaid) {
        m_positionRefusedSaid.reset();
        m_positionUnreadSinceUtcMs.reset();
        m_pollTimer.setInterval(realIntervalMs(m_options.pollIntervalMs));
        // What was sent while the line was silent may never have reached the
        // controller: the latest set-point goes out afresh.
        m_policy.reset();
        emit notice(said::positionReadAgain());
    }
    m_present = reading;
    if (afterPointing)
        m_policy.positionRead(reading, nowMs());
    learnFrom(reading, afterPointing);
    switch (m_watch.reading(reading, utcNowMs(), m_profile)) {
    case rotator::MotionWatch::Change::NotFollowing:
        // Told once already: the next try is a while off.
        m_notFollowingRetryMs = nowMs();
        emit warning(said::rotatorNotFollowing(*m_watch.lastCommanded(), reading, heliotrope::companions::jstText(m_watch.toldSinceMs())));
        break;
    case rotator::MotionWatch::Change::FollowingAgain:
        emit notice(said::rotatorFollowsAgain(reading));
        m_policy.reset();
        break;
    case rotator::MotionWatch::Change::None:
        break;
    }

    const rotator::RotatorPosition sky = rotator::skyPosition(m_frame, reading);
    m_receiver.sendReport(positionReport(sky.azimuth, sky.elevation));
    if (m_log.isOpen() && !m_log.write(utcNowMs(), m_setPoint, sky, trackingColumns(reading)) && !m_logFailureSaid) {
        m_logFailureSaid = true;
        emit notice(said::logUnwritable(m_options.logPath));
    }
    considerCommand();
}

void Bridge::onPositionRefused(int returnCode)
{
    sayConnected();
    // A dish whose position cannot be read may be anywhere: the operator
    // must not miss it, and the page and --status show it until it ends.
    if (m_positionRefusedSaid != returnCode)
        emit warning(said::positionRefused(returnCode));
    if (!m_positionUnreadSinceUtcMs)
        m_positionUnreadSinceUtcMs = utcNowMs();
    m_positionRefusedSaid = returnCode;
    m_pollTimer.setInterval(std::min(m_pollTimer.interval() * 2, realIntervalMs(std::max(kLongestPollMs, m_options.pollIntervalMs))));
}

void Bridge::onPointingAnswered(int returnCode, const rotator::RotatorPosition& sent)
{
    m_profile.commanded(returnCode == 0 ? std::optional(sent) : std::nullopt);
    if (returnCode == 0)
        m_watch.commanded(sent, utcNowMs());
    if (m_commandsHeld)
        return;  // the answer to a measurement's P, not the bridge's
    if (m_hold != Hold::None) {
        if (m_trackingAnswerFirst) {
            m_trackingAnswerFirst = false;
            return;
        }
        if (m_holdAnswerPending) {
            m_holdAnswerPending = false;
            emit holdAnswered(returnCode);
        }
        return;
    }
    m_policy.answered(returnCode == 0, nowMs());
    if (returnCode == 0) {
        if (m_pointingRefusedSaid) {
            m_pointingRefusedSaid.reset();
            emit notice(said::pointingTakenAgain());
        }
        return;
    }
    if (m_pointingRefusedSaid != returnCode)
        emit notice(said::pointingRefused(returnCode));
    m_pointingRefusedSaid = returnCode;
}

void Bridge::holdCommands(bool held)
{
    m_commandsHeld = held;
    if (!held) {
        // The calibration's last P is not the bridge's: start afresh.
        m_policy.reset();
        considerCommand();
    }
}

bool Bridge::stow(const std::optional<rotator::RotatorPosition>& rotatorTarget)
{
    m_hold = Hold::Stowed;
    m_stowTarget = rotatorTarget;
    return sendHold();
}

bool Bridge::stopRotator()
{
    m_hold = Hold::Stopped;
    m_stowTarget.reset();
    return sendHold();
}

bool Bridge::sendHold()
{
    if (!m_client.isReady() || m_hold == Hold::None)
        return false;
    if (m_hold == Hold::Stopped) {
        m_client.requestHalt(hamlib::RotctldCommand::Stop);
    } else if (m_stowTarget) {
        m_trackingAnswerFirst = m_client.pointingInFlight() && !m_holdAnswerPending;
        m_holdAnswerPending = true;
        m_client.requestPointing(*m_stowTarget);
    } else {
        m_client.requestHalt(hamlib::RotctldCommand::Park);
    }
    return true;
}

void Bridge::applyOffsets(double azimuthOffset, double elevationOffset, const PointingInForce& source)
{
    m_frame.azimuthOffset = azimuthOffset;
    m_frame.elevationOffset = elevationOffset;
    m_pointingInForce = source;
    m_policy.reset();
    considerCommand();
}

void Bridge::resume()
{
    m_hold = Hold::None;
    m_stowTarget.reset();
    m_holdAnswerPending = false;
    m_trackingAnswerFirst = false;
    // Where the rotator was held is no command of tracking's: start afresh.
    m_policy.reset();
    considerCommand();
}

void Bridge::considerCommand()
{
    if (!obeying() || !m_target || !m_client.isReady() || !rotator::azimuthReachable(m_frame) || m_client.pointingPending())
        return;
    const rotator::RotatorCommand command = rotator::rotatorCommand(m_frame, *m_target, m_present);
    if (command.clamped && !m_clampSaid)
        emit notice(said::setPointClamped(*m_target, m_frame.limits, command.azimuth, command.elevation));
    m_clampSaid = command.clamped;

    const rotator::RotatorPosition target{command.azimuth, command.elevation};
    if (!m_policy.shouldCommand(target, m_present, nowMs(), m_profile))
        return;
    // A command that does nothing is not repeated: once in a while only,
    // in case the rotator was mended and waits to be told.
    if (m_watch.notFollowing()) {
        if (nowMs() - m_notFollowingRetryMs < kNotFollowingRetryMs)
            return;
        m_notFollowingRetryMs = nowMs();
    }
    m_policy.commanded(target, nowMs());
    m_client.requestPointing(target);
}

}  // namespace heliotrope::rotctl
