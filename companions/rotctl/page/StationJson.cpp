#include "companions/rotctl/page/StationJson.h"

#include "companions/common/JstText.h"
#include "companions/common/ShiftedClock.h"
#include "companions/record/StationHealth.h"
#include "companions/record/StationRecord.h"
#include "companions/rotctl/bridge/Bridge.h"
#include "companions/rotctl/bridge/DeskMessages.h"
#include "companions/rotctl/bridge/FluxWatch.h"
#include "companions/rotctl/bridge/StationDesk.h"
#include "companions/rotctl/bridge/TrackingPower.h"
#include "companions/rotctl/bridge/TrackingPowerMessages.h"
#include "companions/rotctl/page/SkyToday.h"
#include "companions/rotctl/page/StationWatch.h"

#include <QFileInfo>
#include <QJsonArray>

#include <cmath>

namespace heliotrope::rotctl {

namespace {

using State = StationDesk::State;

const char* stateName(State state)
{
    switch (state) {
    case State::Measuring:
        return "measuring";
    case State::StowWaiting:
        return "stowWaiting";
    case State::StowAwaited:
        return "stowAsked";
    case State::StowRefused:
        return "stowRefused";
    case State::StowUnanswered:
        return "stowUnanswered";
    case State::MovingToStow:
        return "movingToStow";
    case State::Stowed:
        return "stowed";
    case State::Stopped:
        return "stopped";
    case State::StopRefused:
        return "stopRefused";
    case State::OnReference:
        return "reference";
    case State::TrackingBySelf:
        return "trackingBySelf";
    case State::Night:
        return "night";
    case State::TrackingWindow:
        return "trackingWindow";
    case State::NoSetPoint:
        break;
    }
    return "noSetPoint";
}

// Whether the state is one the operator must act on.
bool stateWrong(State state)
{
    return state == State::StowRefused || state == State::StowUnanswered || state == State::StopRefused;
}

// Every text the bridge says is Japanese, newline, English; a list of them
// is read back as pairs of lines.
QJsonArray pairs(const QStringList& items)
{
    QStringList lines;
    for (const QString& item : items)
        lines << item.split(QLatin1Char('\n'));
    QJsonArray result;
    for (qsizetype i = 0; i < lines.size(); i += 2) {
        const QString& japanese = lines[i];
        const QString& english = i + 1 < lines.size() ? lines[i + 1] : lines[i];
        result.append(QJsonObject{{QStringLiteral("ja"), japanese}, {QStringLiteral("en"), english}});
    }
    return result;
}

// One text of one or more pairs (a message with its reason): each language's
// lines run on.
QJsonObject words(const QString& bilingualText)
{
    QStringList japanese;
    QStringList english;
    for (const QJsonValue& pair : pairs({bilingualText.trimmed()})) {
        japanese << pair.toObject().value(QStringLiteral("ja")).toString();
        english << pair.toObject().value(QStringLiteral("en")).toString();
    }
    // A line without its full stop ends a sentence all the same.
    const auto sentences = [](const QStringList& lines, const QString& stop, const QString& space) {
        QString text;
        for (const QString& line : lines) {
            if (!text.isEmpty() && !text.endsWith(stop.trimmed()) && !text.endsWith(QStringLiteral("）")))
                text += stop;
            else if (!text.isEmpty())
                text += space;
            text += line;
        }
        return text;
    };
    return QJsonObject{{QStringLiteral("ja"), sentences(japanese, QStringLiteral("。"), QString())},
                       {QStringLiteral("en"), sentences(english, QStringLiteral(". "), QStringLiteral(" "))}};
}

QJsonValue position(const std::optional<rotator::RotatorPosition>& at)
{
    if (!at)
        return QJsonValue::Null;
    return QJsonObject{{QStringLiteral("az"), at->azimuth}, {QStringLiteral("el"), at->elevation}};
}

QJsonValue timeOrNull(const std::optional<qint64>& utcMs)
{
    return utcMs ? QJsonValue(static_cast<double>(*utcMs)) : QJsonValue::Null;
}

QJsonValue secondsAsMs(const std::optional<double>& utcSeconds)
{
    return utcSeconds ? QJsonValue(std::round(*utcSeconds * 1000.0)) : QJsonValue::Null;
}

// `kind` names what is wrong for a reader that acts on it: rotctld,
// notFollowing, controller (rotctld answers, the rotator's position it
// cannot give), clock, receiver, hold, health.
QJsonObject condition(const char* kind, std::optional<qint64> sinceUtcMs, const QJsonObject& text)
{
    return QJsonObject{{QStringLiteral("kind"), QLatin1String(kind)}, {QStringLiteral("sinceUtcMs"), timeOrNull(sinceUtcMs)}, {QStringLiteral("text"), text}};
}

const char* clockName(station::ClockState state)
{
    switch (state) {
    case station::ClockState::Synchronised:
        return "synchronised";
    case station::ClockState::Unsynchronised:
        return "unsynchronised";
    case station::ClockState::Unknown:
        break;
    }
    return "unknown";
}

QJsonObject skyJson(const StationView& view)
{
    Bridge& bridge = view.bridge;
    const rotator::RotatorFrame& frame = bridge.frame();
    const double now = bridge.sunUtcSeconds();
    QJsonObject sky;
    const std::optional<heliotrope::sky::Site>& site = view.options.trueSun.site;
    sky[QStringLiteral("site")] = site ? QJsonValue(QJsonObject{{QStringLiteral("latitude"), site->latitude},
                                                                {QStringLiteral("longitude"), site->longitude},
                                                                {QStringLiteral("height"), site->height}})
                                       : QJsonValue::Null;
    const std::optional<SkyPoint> sun = view.sky.sunAt(now);
    sky[QStringLiteral("sun")] = sun ? position(rotator::RotatorPosition{sun->azimuth, sun->elevation}) : QJsonValue::Null;
    QJsonArray path;
    for (const SkyPoint& point : view.sky.path(now))
        path.append(QJsonArray{std::round(point.azimuth * 100) / 100, std::round(point.elevation * 100) / 100});
    sky[QStringLiteral("path")] = path;
    sky[QStringLiteral("sunriseUtcMs")] = secondsAsMs(view.sky.nextSunrise(now));
    sky[QStringLiteral("sunsetUtcMs")] = secondsAsMs(view.sky.nextSunset(now));
    // On the sky, as the chart draws them: what was last sent to the rotator
    // and what it reads, both through the frame's offsets.
    const std::optional<rotator::RotatorPosition>& commanded = bridge.motionWatch().lastCommanded();
    sky[QStringLiteral("commanded")] = commanded ? position(rotator::skyPosition(frame, *commanded)) : QJsonValue::Null;
    const std::optional<rotator::RotatorPosition>& present = bridge.present();
    sky[QStringLiteral("rotator")] = present ? position(rotator::skyPosition(frame, *present)) : QJsonValue::Null;
    sky[QStringLiteral("rotatorReading")] = position(present);
    const std::optional<companions::SetPoint>& setPoint = bridge.setPoint();
    sky[QStringLiteral("setPoint")] = setPoint ? position(rotator::RotatorPosition{setPoint->azimuth, setPoint->elevation}) : QJsonValue::Null;
    const std::optional<rotator::RotatorPosition>& stow = view.options.stowPosition;
    sky[QStringLiteral("stow")] = stow ? position(rotator::skyPosition(frame, *stow)) : QJsonValue::Null;
    return sky;
}

const char* pointingSourceName(PointingInForce::Source source)
{
    switch (source) {
    case PointingInForce::Source::CommandLine:
        return "commandLine";
    case PointingInForce::Source::SavedCalibration:
        return "savedCalibration";
    case PointingInForce::Source::SavedModel:
        return "savedModel";
    case PointingInForce::Source::None:
        break;
    }
    return "none";
}

// What the commands are corrected with, from the bridge's own frame: the
// model it applies or the offsets, and where they came from.
QJsonObject pointingJson(const Bridge& bridge)
{
    const PointingInForce& inForce = bridge.pointingInForce();
    const rotator::RotatorFrame& frame = bridge.frame();
    QJsonObject json{{QStringLiteral("source"), QLatin1String(pointingSourceName(inForce.source))},
                     {QStringLiteral("azimuthOffset"), frame.azimuthOffset},
                     {QStringLiteral("elevationOffset"), frame.elevationOffset},
                     {QStringLiteral("madeUtcMs"), inForce.madeUtc.isValid() ? QJsonValue(static_cast<double>(inForce.madeUtc.toMSecsSinceEpoch())) : QJsonValue::Null},
                     {QStringLiteral("model"), QJsonValue::Null},
                     {QStringLiteral("text"), words(said::statusPointing(inForce, frame.model))}};
    if (frame.model && inForce.source == PointingInForce::Source::SavedModel) {
        QJsonObject terms;
        for (pointing::Term term : pointing::kAllTerms)
            if ((*frame.model)[term] != 0)
                terms[QLatin1String(pointing::termName(term))] = (*frame.model)[term];
        json[QStringLiteral("model")] = QJsonObject{{QStringLiteral("terms"), terms},
                                                    {QStringLiteral("rmsDegrees"), inForce.rmsDegrees},
                                                    {QStringLiteral("rmsWithoutDegrees"), inForce.rmsWithoutDegrees},
                                                    {QStringLiteral("scans"), inForce.scans}};
    }
    return json;
}

QJsonObject warningsJson(const StationView& view, station::ClockState clock, const QJsonArray& health)
{
    Bridge& bridge = view.bridge;
    QJsonArray now;
    if (!bridge.rotctldReady())
        now.append(condition("rotctld", view.watch.rotctldLostSinceMs(), words(said::statusNotConnected(bridge.rotctld().endpointText()))));
    if (const rotator::MotionWatch& motion = bridge.motionWatch(); motion.notFollowing())
        now.append(condition("notFollowing", motion.toldSinceMs(),
                             words(said::statusNotFollowing(*motion.lastCommanded(), *motion.lastReading(), companions::jstText(motion.toldSinceMs())))));
    if (const std::optional<qint64> since = bridge.positionUnreadSinceUtcMs())
        now.append(condition("controller", since,
                             words(said::statusPositionRefused(bridge.positionRefusedCode().value_or(0), companions::jstText(*since)))));
    if (const QString text = station::clockStateText(clock, view.options.measurement.clockUnsynchronisedOk); !text.isEmpty())
        now.append(condition("clock", view.watch.clockSinceMs(), words(text)));
    if (view.trackingPower && view.trackingPower->failingSinceUtc()) {
        const double since = *view.trackingPower->failingSinceUtc();
        now.append(condition("receiver", std::llround(since * 1000.0),
                             words(said::statusWatchFailing(view.trackingPower->failure(), companions::jstText(std::llround(since * 1000.0))))));
    }
    if (stateWrong(view.desk.state()))
        now.append(condition("hold", std::nullopt, words(view.desk.stateLine())));
    // The record's health warnings (a Y drop, offsets that moved) say since when in their words.
    for (const QJsonValue& line : health)
        if (line.toObject().value(QStringLiteral("en")).toString().startsWith(QLatin1String("Warning: ")))
            now.append(condition("health", std::nullopt, line.toObject()));
    QJsonArray said;
    for (const SaidWarning& warning : view.watch.warnings())
        said.append(QJsonObject{{QStringLiteral("utcMs"), static_cast<double>(warning.utcMs)}, {QStringLiteral("text"), words(warning.text)}});
    return QJsonObject{{QStringLiteral("now"), now}, {QStringLiteral("said"), said}};
}

}  // namespace

QJsonObject bilingualJson(const QString& text)
{
    return words(text);
}

QJsonObject stationJson(const StationView& view)
{
    Bridge& bridge = view.bridge;
    const StationDesk& desk = view.desk;
    QJsonObject json;
    json[QStringLiteral("generatedUtcMs")] = static_cast<double>(companions::companionUtcMs());
    json[QStringLiteral("startedUtcMs")] = static_cast<double>(view.watch.startedMs());
    json[QStringLiteral("status")] = QJsonArray::fromStringList(desk.statusText().split(QLatin1Char('\n')));
    const State state = desk.state();
    QJsonObject stateJson{{QStringLiteral("kind"), QLatin1String(stateName(state))},
                          {QStringLiteral("text"), words(desk.stateLine())},
                          {QStringLiteral("wrong"), stateWrong(state)}};
    if (state == State::Stowed)
        stateJson[QStringLiteral("sinceUtcMs")] = timeOrNull(desk.stowReachedUtcMs());
    json[QStringLiteral("state")] = stateJson;
    json[QStringLiteral("rotctld")] = QJsonObject{{QStringLiteral("connected"), bridge.rotctldReady()},
                                                  {QStringLiteral("endpoint"), bridge.rotctld().endpointText()},
                                                  {QStringLiteral("lostSinceUtcMs"), timeOrNull(view.watch.rotctldLostSinceMs())}};
    json[QStringLiteral("power")] = QJsonObject{{QStringLiteral("watching"), view.trackingPower != nullptr},
                                                {QStringLiteral("lines"), view.trackingPower ? pairs(view.trackingPower->statusLines()) : QJsonArray{}}};
    json[QStringLiteral("flux")] = view.fluxWatch ? pairs(view.fluxWatch->statusLines()) : QJsonArray{};
    const station::ClockState clock = view.watch.clock();
    const QString clockText = station::clockStateText(clock, view.options.measurement.clockUnsynchronisedOk);
    json[QStringLiteral("clock")] = QJsonObject{{QStringLiteral("state"), QLatin1String(clockName(clock))},
                                                {QStringLiteral("sinceUtcMs"), static_cast<double>(view.watch.clockSinceMs())},
                                                {QStringLiteral("text"), clockText.isEmpty() ? QJsonValue::Null : QJsonValue(words(clockText))}};
    json[QStringLiteral("sky")] = skyJson(view);
    json[QStringLiteral("pointing")] = pointingJson(bridge);
    json[QStringLiteral("calibration")] = desk.calibrationInUse().isEmpty() ? QJsonArray{} : pairs({desk.calibrationInUse()});
    QJsonArray health;
    if (const QString path = heliotrope::record::StationRecord::defaultPath(); QFileInfo::exists(path)) {
        heliotrope::record::StationRecord record(path);
        heliotrope::record::HealthThresholds thresholds;
        thresholds.yDropDecibels = view.options.measurement.healthDropDecibels;
        if (record.open())
            health = pairs(heliotrope::record::healthLines(record, thresholds));
    }
    json[QStringLiteral("health")] = health;
    json[QStringLiteral("warnings")] = warningsJson(view, clock, health);
    json[QStringLiteral("lastReadingUtcMs")] = timeOrNull(view.watch.lastReadingMs());
    return json;
}

}  // namespace heliotrope::rotctl
