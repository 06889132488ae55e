#include "companions/rotctl/StationDesk.h"

#include "companions/common/ConsoleText.h"
#include "companions/measure/SavedCalibration.h"
#include "companions/record/StationHealth.h"
#include "companions/record/StationRecord.h"
#include "companions/rotctl/Bridge.h"
#include "companions/rotctl/BridgeMessages.h"
#include "companions/rotctl/PointingChoice.h"

#include <QCoreApplication>
#include <QFileInfo>

using heliotrope::companions::degreesText;
using heliotrope::station::RequestKind;
using heliotrope::station::StationCode;
using heliotrope::station::StationReply;
using heliotrope::station::StationRequest;

namespace heliotrope::rotctl {

namespace {

// rotctld takes a P, S or K at once; one not answered by then is not coming.
constexpr int kHoldAnswerMs = 15000;

QString positionText(double azimuth, double elevation)
{
    return QStringLiteral("%1 %2").arg(degreesText(azimuth), degreesText(elevation));
}

QString siteText(const heliotrope::sky::Site& site)
{
    return QStringLiteral("%1,%2,%3").arg(site.latitude, 0, 'g', 10).arg(site.longitude, 0, 'g', 10).arg(site.height, 0, 'g', 8);
}

bool given(const QStringList& words, const QString& name)
{
    const QString option = QStringLiteral("--") + name;
    const QString single = QStringLiteral("-") + name;
    for (const QString& word : words) {
        if (word == option || word == single || word.startsWith(option + QLatin1Char('='))
            || word.startsWith(single + QLatin1Char('=')))
            return true;
    }
    return false;
}

QString heldText(Bridge::Hold hold)
{
    return hold == Bridge::Hold::Stowed
        ? QStringLiteral("ローテーターは格納中です。--resume で追尾に戻してから依頼してください。\n"
                         "The rotator is stowed: --resume first, then ask again.")
        : QStringLiteral("ローテーターは停止中です。--resume で追尾に戻してから依頼してください。\n"
                         "The rotator is stopped: --resume first, then ask again.");
}

}  // namespace

std::optional<BridgeOptions> askedMeasurement(const StationRequest& request, const BridgeOptions& bridge,
                                              QString* problem, QStringList* notes)
{
    QStringList arguments{QCoreApplication::applicationName()};
    if (request.kind == RequestKind::Calibrate)
        arguments << QStringLiteral("--calibrate") << request.pattern;
    else
        arguments << QStringLiteral("--sun-noise");
    arguments << request.arguments;
    const std::optional<heliotrope::sky::Site>& site = bridge.trueSun.site;
    if (site && !given(request.arguments, QStringLiteral("site")))
        arguments << QStringLiteral("--site") << siteText(*site);
    const companions::CommandLine<BridgeOptions> read = parseBridgeCommandLine(arguments);
    if (!read.options) {
        *problem = read.text;
        return std::nullopt;
    }
    BridgeOptions asked = *read.options;
    const auto differs = [&](const QString& name, const QString& running, const QString& theirs) {
        if (given(request.arguments, name) && running != theirs)
            *notes << QStringLiteral("--%1 %2 ではなく、動いているブリッジの %3 を使います。\n"
                                     "--%1 %2: the running bridge's %3 is used.")
                          .arg(name, theirs, running);
    };
    differs(QStringLiteral("rotctld"), QStringLiteral("%1:%2").arg(bridge.rotctldHost).arg(bridge.rotctldPort),
            QStringLiteral("%1:%2").arg(asked.rotctldHost).arg(asked.rotctldPort));
    differs(QStringLiteral("port"), QString::number(bridge.port), QString::number(asked.port));
    if (site) {
        differs(QStringLiteral("site"), siteText(*site), asked.trueSun.site ? siteText(*asked.trueSun.site) : QString());
        asked.trueSun.site = site;
    }
    if (bridge.trueSun.enabled) {
        // Offsets measured in another sky than the one tracked would not apply to it.
        asked.trueSun.refraction = bridge.trueSun.refraction;
        asked.trueSun.atmosphere = bridge.trueSun.atmosphere;
    }
    if (asked.calibration) {
        asked.calibration->site = *asked.trueSun.site;
        asked.calibration->refraction = asked.trueSun.refraction;
        asked.calibration->atmosphere = asked.trueSun.atmosphere;
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
}

StationDesk::~StationDesk() = default;

void StationDesk::handleRequest(StationReply* reply)
{
    const StationRequest& request = reply->request();
    switch (request.kind) {
    case RequestKind::Calibrate:
    case RequestKind::SunNoise:
        measure(reply);
        return;
    case RequestKind::Stow:
    case RequestKind::Stop: {
        std::optional<rotator::RotatorPosition> target = m_options.stowPosition;
        if (request.azimuth && request.elevation)
            target = rotator::RotatorPosition{*request.azimuth, *request.elevation};
        QPointer<StationReply> asker(reply);
        holdRotator(request.kind == RequestKind::Stop, target, [asker](StationCode code, const QString& text) {
            if (asker)
                asker->finish(code, text);
        });
        return;
    }
    case RequestKind::Resume:
        if (m_bridge.hold() == Bridge::Hold::None) {
            reply->finish(StationCode::Ok, QStringLiteral("すでに設定点に従っています。\nAlready following the set-points."));
            return;
        }
        m_bridge.resume();
        emit notice(QStringLiteral("依頼により、ウィンドウの設定点の追尾に戻ります。\nBack to tracking the window's set-point, as asked."));
        reply->finish(StationCode::Ok, QStringLiteral("追尾に戻りました。\nTracking again."));
        return;
    case RequestKind::Status:
        reply->finish(StationCode::Ok, statusText());
        return;
    case RequestKind::Cancel:
        if (!m_measurement) {
            reply->finish(StationCode::Ok, QStringLiteral("測定は動いていません。\nNo measurement runs."));
            return;
        }
        cancelMeasurement();
        reply->finish(StationCode::Ok, QStringLiteral("測定を終わらせました。\nThe measurement is ended."));
        return;
    }
}

void StationDesk::measure(StationReply* reply)
{
    // The rotator lent already: a measurement of its own runs in this bridge.
    if (m_measurement || m_bridge.commandsHeld()) {
        reply->finish(StationCode::Refused, QStringLiteral("測定がすでに動いています。終わるのを待つか cancel してください。\n"
                                                           "A measurement already runs: wait for it or cancel it."));
        return;
    }
    if (m_bridge.hold() != Bridge::Hold::None) {
        reply->finish(StationCode::Refused, heldText(m_bridge.hold()));
        return;
    }
    QString problem;
    QStringList notes;
    const std::optional<BridgeOptions> asked = askedMeasurement(reply->request(), m_options, &problem, &notes);
    if (!asked) {
        reply->finish(StationCode::InvalidArgument, problem);
        return;
    }
    for (const QString& note : std::as_const(notes))
        reply->say(note);
    m_measurement = startMeasurement(*asked, m_bridge, &problem);
    if (!m_measurement) {
        reply->finish(StationCode::InvalidArgument, problem);
        return;
    }
    m_measurementReply = reply;
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
    connect(reply, &StationReply::abandoned, this, &StationDesk::cancelMeasurement);
}

void StationDesk::cancelMeasurement()
{
    if (m_measurement)
        m_measurement->cancel();
}

void StationDesk::takeUpCalibration()
{
    if (!m_measurementReply || m_measurementReply->request().kind != RequestKind::Calibrate)
        return;
    if (const QString inUse = takeUpSavedCalibration(m_bridge, m_options); !inUse.isEmpty()) {
        m_calibrationInUse = inUse;
        emit notice(m_calibrationInUse);
        m_measurementReply->say(m_calibrationInUse);
    }
}

void StationDesk::measurementFinished(StationCode code)
{
    if (m_measurementReply)
        m_measurementReply->finish(code);
    m_measurementReply = nullptr;
    m_progress.clear();
    // Later: the signal that brought this is the measurement's own.
    if (m_measurement)
        m_measurement.release()->deleteLater();
    if (std::function<void()> after = std::exchange(m_afterMeasurement, {}))
        after();
}

void StationDesk::holdRotator(bool stop, std::optional<rotator::RotatorPosition> target, HoldDone done)
{
    if (m_measurement && !stop) {
        // The stow goes once the measurement has given the rotator back.
        m_afterMeasurement = [this, target, done] { holdRotator(false, target, done); };
        cancelMeasurement();
        return;
    }
    if (m_measurement)
        cancelMeasurement();  // the stop goes at once, the run's rotator or not
    const bool sent = stop ? m_bridge.stopRotator() : m_bridge.stow(target);
    QString what;
    if (stop)
        what = QStringLiteral("ローテーターを止めて保ちます（S）。\nStopping the rotator and holding it (S).");
    else if (target)
        what = QStringLiteral("ローテーターを %1 へ格納して保ちます。\nStowing the rotator at %1 and holding it there.")
                   .arg(positionText(target->azimuth, target->elevation));
    else
        what = QStringLiteral("ローテーターをパーク位置へ格納して保ちます（K）。\nStowing the rotator at its park position (K) and holding it.");
    emit notice(what);
    if (!sent) {
        done(StationCode::Failed,
             what + QLatin1Char('\n')
                 + QStringLiteral("rotctld につながっていません。設定点には従わず、つながりしだい%1。\n"
                                  "rotctld is not connected: set-points are not followed, and %2 once it is.")
                       .arg(stop ? QStringLiteral("そのまま保ちます") : QStringLiteral("格納します"),
                            stop ? QStringLiteral("the rotator is held") : QStringLiteral("the stow goes")));
        return;
    }
    m_holdWaiting.push_back([what, done](StationCode code, const QString& text) { done(code, what + QLatin1Char('\n') + text); });
    m_holdTimer.start(kHoldAnswerMs);
}

void StationDesk::holdAnswered(int returnCode)
{
    m_holdTimer.stop();
    const StationCode code = returnCode == 0 ? StationCode::Ok : StationCode::Failed;
    const QString text = returnCode == 0
        ? QStringLiteral("rotctld が受けました。--resume まで設定点には従いません。\nrotctld took it; set-points are not followed until --resume.")
        : QStringLiteral("rotctld が RPRT %1 で断りました。設定点には従わないままです。\nrotctld refused it with RPRT %1; set-points are still not followed.")
              .arg(returnCode);
    for (const HoldDone& done : std::exchange(m_holdWaiting, {}))
        done(code, text);
}

void StationDesk::holdLost()
{
    if (m_holdWaiting.empty())
        return;
    m_holdTimer.stop();
    const QString text = QStringLiteral("rotctld から答えがありません。設定点には従わないままです。\n"
                                        "No answer from rotctld; set-points are still not followed.");
    for (const HoldDone& done : std::exchange(m_holdWaiting, {}))
        done(StationCode::Failed, text);
}

void StationDesk::stowBeforeExit(std::function<void()> done)
{
    if (m_bridge.hold() == Bridge::Hold::Stowed || !m_bridge.rotctldReady()) {
        done();
        return;
    }
    holdRotator(false, m_options.stowPosition, [done](StationCode, const QString&) { done(); });
}

QString StationDesk::statusText() const
{
    QStringList lines;
    const auto add = [&lines](const QString& japanese, const QString& english) { lines << japanese << english; };
    if (m_measurement) {
        // Progress comes as "Japanese / English" on one line, or as two lines.
        const QStringList progress = m_progress.split(m_progress.contains(QLatin1Char('\n')) ? QStringLiteral("\n") : QStringLiteral(" / "));
        add(QStringLiteral("測定中: %1").arg(progress.first()), QStringLiteral("measuring: %1").arg(progress.last()));
    } else if (m_bridge.hold() == Bridge::Hold::Stowed) {
        const std::optional<rotator::RotatorPosition>& at = m_bridge.stowTarget();
        if (at)
            add(QStringLiteral("格納中: %1").arg(positionText(at->azimuth, at->elevation)),
                QStringLiteral("stowed: %1").arg(positionText(at->azimuth, at->elevation)));
        else
            add(QStringLiteral("格納中: パーク位置（K）"), QStringLiteral("stowed: park position (K)"));
    } else if (m_bridge.hold() == Bridge::Hold::Stopped) {
        add(QStringLiteral("停止中（S）"), QStringLiteral("stopped (S)"));
    } else {
        add(QStringLiteral("追尾中"), QStringLiteral("tracking"));
    }
    if (!m_bridge.rotctldReady())
        add(QStringLiteral("rotctld（%1）につながっていません").arg(m_bridge.rotctld().endpointText()),
            QStringLiteral("rotctld (%1) is not connected").arg(m_bridge.rotctld().endpointText()));
    if (const std::optional<rotator::RotatorPosition>& at = m_bridge.present()) {
        const rotator::RotatorPosition sky = rotator::skyPosition(m_bridge.frame(), *at);
        add(QStringLiteral("ローテーターの位置: %1（空では %2）").arg(positionText(at->azimuth, at->elevation), positionText(sky.azimuth, sky.elevation)),
            QStringLiteral("rotator position: %1 (on the sky %2)").arg(positionText(at->azimuth, at->elevation), positionText(sky.azimuth, sky.elevation)));
    } else {
        add(QStringLiteral("ローテーターの位置: まだ読めていません"), QStringLiteral("rotator position: not read yet"));
    }
    if (const std::optional<companions::SetPoint>& point = m_bridge.setPoint())
        add(QStringLiteral("最後の設定点: %1").arg(positionText(point->azimuth, point->elevation)),
            QStringLiteral("last set-point: %1").arg(positionText(point->azimuth, point->elevation)));
    else
        add(QStringLiteral("最後の設定点: まだ受けていません"), QStringLiteral("last set-point: none received yet"));
    const rotator::RotatorProfile& step = m_bridge.rotatorProfile();
    const QString stepText = step.step() ? degreesText(*step.step()) : QStringLiteral("?");
    add(QStringLiteral("刻み %1、不感帯 %2").arg(stepText, degreesText(step.deadBand())),
        QStringLiteral("step %1, dead band %2").arg(stepText, degreesText(step.deadBand())));
    const rotator::RotatorFrame& frame = m_bridge.frame();
    add(QStringLiteral("使っているずれ: 方位角 %1、仰角 %2").arg(degreesText(frame.azimuthOffset), degreesText(frame.elevationOffset)),
        QStringLiteral("offsets in use: azimuth %1, elevation %2").arg(degreesText(frame.azimuthOffset), degreesText(frame.elevationOffset)));
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
