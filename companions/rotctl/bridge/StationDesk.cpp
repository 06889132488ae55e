#include "companions/rotctl/bridge/StationDesk.h"

#include "companions/common/ConsoleText.h"
#include "companions/common/JstText.h"
#include "companions/common/ShiftedClock.h"
#include "companions/measure/SavedCalibration.h"
#include "companions/record/StationHealth.h"
#include "companions/record/StationRecord.h"
#include "companions/rotctl/bridge/Bridge.h"
#include "companions/rotctl/bridge/BridgeMessages.h"
#include "companions/rotctl/bridge/DeskMessages.h"
#include "companions/rotctl/bridge/FluxWatch.h"
#include "companions/rotctl/bridge/KeptHold.h"
#include "companions/rotctl/bridge/MeasurementRequestLine.h"
#include "companions/rotctl/bridge/PointingChoice.h"
#include "companions/rotctl/bridge/TrackingPower.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

using heliotrope::station::RequestKind;
using heliotrope::station::StationCode;
using heliotrope::station::StationReply;
using heliotrope::station::StationRequest;

namespace heliotrope::rotctl {

namespace {

// rotctld takes a P, S or K at once; one not answered by then is not coming.
constexpr int kHoldAnswerMs = 15000;

QString siteText(const heliotrope::sky::Site& site)
{
    return QStringLiteral("%1,%2,%3").arg(site.latitude, 0, 'g', 10).arg(site.longitude, 0, 'g', 10).arg(site.height, 0, 'g', 8);
}

// After a park the rotator is at rest once its readings have stayed alike
// this long (companions' seconds), and at least as long as it takes to turn
// a step: a rotator is not at rest in the moment before it starts.
constexpr double kParkRestSeconds = 3.0;

}  // namespace

std::optional<RunOptions> askedMeasurement(const StationRequest& request, const BridgeOptions& bridge,
                                           QString* problem, QStringList* notes)
{
    const std::optional<heliotrope::sky::Site>& site = bridge.trueSun.site;
    const std::optional<MeasurementAsked> read = readMeasurementRequest(request, site, problem);
    if (!read)
        return std::nullopt;
    const auto given = [&read](const QString& name) { return read->given.contains(name); };
    RunOptions asked = read->run;
    const auto differs = [&](const QString& name, const QString& running, const QString& theirs) {
        if (given(name) && running != theirs)
            *notes << said::askersOptionSetAside(name, theirs, running);
    };
    if (site && read->siteGiven)
        differs(QStringLiteral("site"), siteText(*site), siteText(*read->siteGiven));
    // The running bridge's clock holds for what is asked of it, unless the
    // asker gives its own (a rehearsal asked as such), which is said.
    const auto seconds = [](double value) { return QString::number(value, 'f', 3); };
    if (!given(QStringLiteral("clock-offset"))) {
        asked.measurement.clockOffsetSeconds = bridge.measurement.clockOffsetSeconds;
        asked.sky.clockOffsetSeconds = bridge.measurement.clockOffsetSeconds;
    } else if (bridge.measurement.clockOffsetSeconds != 0 && asked.measurement.clockOffsetSeconds != bridge.measurement.clockOffsetSeconds) {
        *notes << said::askersClockOffsetCounts(seconds(asked.measurement.clockOffsetSeconds), seconds(bridge.measurement.clockOffsetSeconds));
    }
    asked.measurement.clockUnsynchronisedOk = asked.measurement.clockUnsynchronisedOk || bridge.measurement.clockUnsynchronisedOk;
    if (bridge.trueSun.enabled) {
        // Offsets measured in another sky than the one tracked would not apply to it.
        asked.sky.refraction = bridge.trueSun.refraction;
        asked.sky.atmosphere = bridge.trueSun.atmosphere;
    }
    if (asked.calibration) {
        asked.calibration->site = *asked.sky.site;
        asked.calibration->refraction = asked.sky.refraction;
        asked.calibration->atmosphere = asked.sky.atmosphere;
    }
    return asked;
}

StationDesk::StationDesk(Bridge& bridge, const BridgeOptions& options, QObject* parent)
    : QObject(parent)
    , m_bridge(bridge)
    , m_options(options)
{
    connect(&bridge, &Bridge::holdAnswered, this, &StationDesk::holdAnswered);
    connect(&bridge.rotctld(), &hamlib::RotctldClient::lost, this, &StationDesk::holdLost);
    m_holdTimer.setSingleShot(true);
    connect(&m_holdTimer, &QTimer::timeout, this, &StationDesk::holdLost);
    connect(&bridge.rotctld(), &hamlib::RotctldClient::positionRead, this,
            [this](const rotator::RotatorPosition& reading, bool) { onReading(reading); });
}

StationDesk::~StationDesk() = default;

void StationDesk::handleRequest(StationReply* reply)
{
    const StationRequest& request = reply->request();
    switch (request.kind) {
    case RequestKind::Calibrate:
    case RequestKind::SunNoise:
    case RequestKind::NoiseSource:
        measure(reply);
        return;
    case RequestKind::Stow:
    case RequestKind::Stop: {
        std::optional<rotator::RotatorPosition> target = m_options.stowPosition;
        if (request.azimuth && request.elevation)
            target = rotator::RotatorPosition{*request.azimuth, *request.elevation};
        QPointer<StationReply> asker(reply);
        holdRotator(request.kind == RequestKind::Stop, target, true, [asker](StationCode code, const QString& text) {
            if (asker)
                asker->finish(code, text);
        });
        return;
    }
    case RequestKind::Resume:
        reply->finish(StationCode::Ok, askResume());
        return;
    case RequestKind::Status:
        reply->finish(StationCode::Ok, statusText());
        return;
    case RequestKind::Cancel:
        if (!m_measurement) {
            reply->finish(StationCode::Ok, said::noMeasurementRuns());
            return;
        }
        cancelMeasurement();
        reply->finish(StationCode::Ok, said::measurementEnded());
        return;
    }
}

void StationDesk::askHold(bool stop, HoldAsked done)
{
    holdRotator(stop, m_options.stowPosition, true,
                [done = std::move(done)](StationCode code, const QString& text) { done(code == StationCode::Ok, text); });
}

QString StationDesk::askResume()
{
    if (m_bridge.hold() == Bridge::Hold::None)
        return said::alreadyFollowing(m_bridge.tracksBySelf());
    m_bridge.resume();
    emit notice(said::resumedAsAsked(m_bridge.tracksBySelf()));
    if (!forgetHold())
        emit warning(said::holdNotForgotten(keptHoldPath()));
    return said::trackingAgain();
}

void StationDesk::measure(StationReply* reply)
{
    if (m_measurement) {
        reply->finish(StationCode::Refused, said::measurementAlreadyRuns());
        return;
    }
    if (m_bridge.hold() != Bridge::Hold::None) {
        reply->finish(StationCode::Held, said::heldForRequest(m_bridge.hold() == Bridge::Hold::Stowed) + QLatin1Char('\n') + station::codeText(StationCode::Held));
        return;
    }
    QString problem;
    QStringList notes;
    const std::optional<RunOptions> asked = askedMeasurement(reply->request(), m_options, &problem, &notes);
    if (!asked) {
        reply->finish(StationCode::InvalidArgument, problem);
        return;
    }
    std::optional<measure::MeasurementRequest> request = checkedMeasurement(*asked, &problem);
    if (!request) {
        reply->finish(StationCode::InvalidArgument, problem);
        return;
    }
    // Not into the bridge's working folder (a service's is the home folder):
    // beside the station's record, unless the asker named its files.
    request->outputFolder = QFileInfo(heliotrope::record::StationRecord::defaultPath()).path() + QStringLiteral("/calibrations");
    for (const QString& note : std::as_const(notes))
        reply->say(note);
    begin(*request, reply);
}

void StationDesk::measureOwn(const measure::MeasurementRequest& request)
{
    // A bridge restarted under a kept stow holds it for its own command line too.
    if (m_bridge.hold() != Bridge::Hold::None) {
        emit notice(said::ownMeasurementSkipped(m_bridge.hold() == Bridge::Hold::Stowed));
        return;
    }
    // The window's model is what the bridge tracks; what it measures is the real sun.
    if (!(m_options.trueSun.enabled && m_options.trueSun.site))
        emit notice(said::measurementsOnRealSun(m_options.trueSun));
    begin(request, nullptr);
}

void StationDesk::takeUpKeptHold()
{
    bool unreadable = false;
    const std::optional<KeptHold> kept = loadKeptHold(&unreadable);
    if (unreadable) {
        emit warning(said::keptHoldSetAside(keptHoldPath()));
        beginHold(true, std::nullopt, m_bridge.stopRotator(), true);
        return;
    }
    if (!kept)
        return;
    const bool sent = kept->stop ? m_bridge.stopRotator() : m_bridge.stow(kept->at);
    m_holdAnswer = sent ? HoldAnswer::Awaited : HoldAnswer::NotSent;
    emit notice(said::holdTakenUpAgain(kept->stop, kept->at, companions::jstText(kept->askedUtc.toMSecsSinceEpoch())));
}

void StationDesk::begin(const measure::MeasurementRequest& request, StationReply* reply)
{
    if (m_trackingPower)
        m_trackingPower->yieldRotator();
    m_measurement = startMeasurement(request, m_bridge);
    m_measurementReply = reply;
    m_measuringCalibration = std::holds_alternative<measure::CalibrationOptions>(request.run);
    m_progress.clear();
    connect(m_measurement.get(), &DeskMeasurement::notice, this, [this](const QString& line) {
        emit notice(line);
        if (m_measurementReply)
            m_measurementReply->say(line);
    });
    connect(m_measurement.get(), &DeskMeasurement::warning, this, [this](const QString& line) {
        emit warning(line);
        if (m_measurementReply)
            m_measurementReply->say(line);
    });
    connect(m_measurement.get(), &DeskMeasurement::progress, this, [this](const QString& line) {
        m_progress = line;
        emit progress(line);
        if (m_measurementReply)
            m_measurementReply->progress(line);
    });
    connect(m_measurement.get(), &DeskMeasurement::resultKept, this, &StationDesk::takeUpCalibration);
    // Queued: a run that cannot begin ends within its start.
    connect(m_measurement.get(), &DeskMeasurement::finished, this, &StationDesk::measurementFinished, Qt::QueuedConnection);
    // The asker went away (Ctrl+C): the measurement ends and tracking goes on.
    if (reply)
        connect(reply, &StationReply::abandoned, this, &StationDesk::cancelMeasurement);
}

void StationDesk::cancelMeasurement()
{
    if (m_measurement)
        m_measurement->cancel();
}

void StationDesk::takeUpCalibration()
{
    if (!m_measuringCalibration)
        return;
    if (const QString inUse = takeUpSavedCalibration(m_bridge, m_options); !inUse.isEmpty()) {
        m_calibrationInUse = inUse;
        emit notice(m_calibrationInUse);
        if (m_measurementReply)
            m_measurementReply->say(m_calibrationInUse);
    }
}

void StationDesk::measurementFinished(StationCode code)
{
    // A skip is said as one to the asker (a timer's journal), not left to its exit status.
    if (m_measurementReply)
        m_measurementReply->finish(code, code == StationCode::SunTooLow ? station::codeText(code) : QString());
    m_measurementReply = nullptr;
    m_progress.clear();
    // Later: the signal that brought this is the measurement's own.
    if (m_measurement)
        m_measurement.release()->deleteLater();
    if (std::function<void()> after = std::exchange(m_afterMeasurement, {}))
        after();
}

void StationDesk::holdRotator(bool stop, std::optional<rotator::RotatorPosition> target, bool keep, HoldDone done)
{
    if (m_trackingPower)
        m_trackingPower->yieldRotator();
    if (m_measurement && !stop) {
        // The stow goes once the measurement has given the rotator back.
        m_afterMeasurement = [this, target, keep, done] { holdRotator(false, target, keep, done); };
        cancelMeasurement();
        return;
    }
    if (m_measurement)
        cancelMeasurement();  // the stop goes at once, the run's rotator or not
    const bool sent = stop ? m_bridge.stopRotator() : m_bridge.stow(target);
    beginHold(stop, target, sent, keep);
    const QString what = said::holdAsked(stop, target);
    if (!sent) {
        done(StationCode::Failed, what + QLatin1Char('\n') + said::holdNotConnected(stop));
        return;
    }
    m_holdWaiting.push_back([what, done](StationCode code, const QString& text) { done(code, what + QLatin1Char('\n') + text); });
    m_holdTimer.start(kHoldAnswerMs);
}

void StationDesk::beginHold(bool stop, const std::optional<rotator::RotatorPosition>& target, bool sent, bool keep)
{
    m_holdAnswer = sent ? HoldAnswer::Awaited : HoldAnswer::NotSent;
    m_stowReachedUtcMs.reset();
    m_stillAt.reset();
    emit notice(said::holdAsked(stop, target));
    if (keep && !keepHold(KeptHold{stop, target, QDateTime::fromMSecsSinceEpoch(companions::companionUtcMs(), Qt::UTC)}))
        emit warning(said::holdNotKept(keptHoldPath()));
}

void StationDesk::holdAnswered(int returnCode)
{
    m_holdTimer.stop();
    const bool stop = m_bridge.hold() == Bridge::Hold::Stopped;
    m_holdAnswer = returnCode == 0 ? HoldAnswer::Taken : HoldAnswer::Refused;
    m_holdRefusal = returnCode;
    const StationCode code = returnCode == 0 ? StationCode::Ok : StationCode::Failed;
    const QString text = returnCode == 0 ? said::holdTaken(stop) : said::holdRefused(stop, returnCode);
    // A refusal is the operator's to know from the log too, asked by whoever.
    if (returnCode != 0)
        emit warning(text);
    for (const HoldDone& done : std::exchange(m_holdWaiting, {}))
        done(code, text);
}

void StationDesk::holdLost()
{
    if (m_holdWaiting.empty())
        return;
    m_holdTimer.stop();
    m_holdAnswer = HoldAnswer::Unanswered;
    const QString text = said::holdUnanswered();
    emit warning(text);
    for (const HoldDone& done : std::exchange(m_holdWaiting, {}))
        done(StationCode::Failed, text);
}

void StationDesk::onReading(const rotator::RotatorPosition& reading)
{
    if (m_bridge.hold() != Bridge::Hold::Stowed || m_holdAnswer != HoldAnswer::Taken)
        return;
    const qint64 now = companions::companionUtcMs();
    const std::optional<rotator::RotatorPosition>& target = m_bridge.stowTarget();
    bool there = false;
    if (target) {
        there = m_bridge.rotatorProfile().within(reading, *target);
    } else {
        // The park's position is the controller's own: at rest is all that can be seen.
        if (!m_stillAt || std::abs(m_stillAt->azimuth - reading.azimuth) > 1e-6 || std::abs(m_stillAt->elevation - reading.elevation) > 1e-6) {
            m_stillAt = reading;
            m_stillSinceUtcMs = now;
        }
        const double restSeconds = std::max(kParkRestSeconds, m_bridge.rotatorProfile().stillSpan());
        there = static_cast<double>(now - m_stillSinceUtcMs) >= restSeconds * 1000.0;
    }
    if (!there) {
        m_stowReachedUtcMs.reset();  // on its way, or moved off it since
        return;
    }
    if (m_stowReachedUtcMs)
        return;
    m_stowReachedUtcMs = target ? now : m_stillSinceUtcMs;
    emit notice(said::stowReached(target, reading));
}

void StationDesk::stowBeforeExit(std::function<void()> done)
{
    if (m_bridge.hold() == Bridge::Hold::Stowed || !m_bridge.rotctldReady()) {
        done();
        return;
    }
    holdRotator(false, m_options.stowPosition, false, [done](StationCode, const QString&) { done(); });
}

StationDesk::State StationDesk::state() const
{
    if (m_measurement)
        return State::Measuring;
    if (m_bridge.hold() == Bridge::Hold::Stopped)
        return m_holdAnswer == HoldAnswer::Refused ? State::StopRefused : State::Stopped;
    if (m_bridge.hold() == Bridge::Hold::Stowed) {
        switch (m_holdAnswer) {
        case HoldAnswer::NotSent:
            return State::StowWaiting;
        case HoldAnswer::Awaited:
            return State::StowAwaited;
        case HoldAnswer::Refused:
            return State::StowRefused;
        case HoldAnswer::Unanswered:
            return State::StowUnanswered;
        case HoldAnswer::Taken:
            break;
        }
        return m_stowReachedUtcMs ? State::Stowed : State::MovingToStow;
    }
    if (m_trackingPower && m_trackingPower->referenceStatus())
        return State::OnReference;
    if (m_bridge.tracksBySelf()) {
        const std::optional<SelfTrackingTarget>& target = m_bridge.selfTarget();
        if (!target)
            return State::NoSetPoint;
        return target->night ? State::Night : State::TrackingBySelf;
    }
    return m_bridge.setPoint() ? State::TrackingWindow : State::NoSetPoint;
}

QString StationDesk::stateText(State state) const
{
    const std::optional<rotator::RotatorPosition>& target = m_bridge.stowTarget();
    switch (state) {
    case State::Measuring:
        return said::statusMeasuring(m_progress);
    case State::StopRefused:
        return said::statusStopRefused(m_holdRefusal);
    case State::Stopped:
        return said::statusStopped();
    case State::StowWaiting:
        return said::statusStowNotSent(target);
    case State::StowAwaited:
        return said::statusStowAwaited(target);
    case State::StowRefused:
        return said::statusStowRefused(target, m_holdRefusal);
    case State::StowUnanswered:
        return said::statusStowUnanswered(target);
    case State::MovingToStow:
        return said::statusMovingToStow(target);
    case State::Stowed:
        return said::statusStowed(target, companions::jstText(*m_stowReachedUtcMs));
    case State::OnReference:
        return *m_trackingPower->referenceStatus();
    case State::TrackingBySelf:
    case State::Night:
        return selfTrackingStatus();
    case State::TrackingWindow:
        return said::statusTracking();
    case State::NoSetPoint:
        break;
    }
    return said::statusNoSetPointYet();
}

QString StationDesk::selfTrackingStatus() const
{
    const std::optional<SelfTrackingTarget>& target = m_bridge.selfTarget();
    if (!target)
        return said::statusNoSetPointYet();
    if (!target->night)
        return said::statusSelfTracking(target->sun.azimuth, target->sun.elevation);
    const QString sunrise = target->sunrise ? companions::jstText(std::llround(target->sunrise->utcSeconds * 1000.0)) : QString();
    return said::statusSelfNight(target->target.azimuth, target->target.elevation, sunrise, m_options.trueSun.nightStow);
}

QString StationDesk::statusText() const
{
    QStringList lines;
    lines << stateText(state());
    if (!m_bridge.rotctldReady())
        lines << said::statusNotConnected(m_bridge.rotctld().endpointText());
    if (m_trackingPower)
        lines << m_trackingPower->statusLines();
    if (m_fluxWatch)
        lines << m_fluxWatch->statusLines();
    if (const rotator::MotionWatch& watch = m_bridge.motionWatch(); watch.notFollowing())
        lines << said::statusNotFollowing(*watch.lastCommanded(), *watch.lastReading(), companions::jstText(watch.toldSinceMs()));
    if (const std::optional<qint64> since = m_bridge.positionUnreadSinceUtcMs())
        lines << said::statusPositionRefused(m_bridge.positionRefusedCode().value_or(0), companions::jstText(*since));
    if (const std::optional<rotator::RotatorPosition>& at = m_bridge.present())
        lines << said::statusPosition(*at, rotator::skyPosition(m_bridge.frame(), *at));
    else
        lines << said::statusPositionUnread();
    if (const std::optional<companions::SetPoint>& point = m_bridge.setPoint())
        lines << said::statusLastSetPoint(*point);
    else
        lines << said::statusLastSetPointNone();
    const rotator::RotatorProfile& step = m_bridge.rotatorProfile();
    lines << said::statusStepAndDeadBand(step.step(), step.deadBand(), step.unseenDeadBand());
    const rotator::RotatorFrame& frame = m_bridge.frame();
    lines << said::statusOffsets(frame.azimuthOffset, frame.elevationOffset);
    lines << said::statusPointing(m_bridge.pointingInForce(), frame.model);
    if (!m_calibrationInUse.isEmpty())
        lines << m_calibrationInUse.split(QLatin1Char('\n'));
    // The health figures, from the record the measurements keep; never made by asking.
    if (const QString path = heliotrope::record::StationRecord::defaultPath(); QFileInfo::exists(path)) {
        heliotrope::record::StationRecord record(path);
        heliotrope::record::HealthThresholds thresholds;
        thresholds.yDropDecibels = m_options.measurement.healthDropDecibels;
        if (record.open())
            lines << heliotrope::record::healthLines(record, thresholds);
    }
    return lines.join(QLatin1Char('\n'));
}

}  // namespace heliotrope::rotctl
