#include "companions/controllers/SerialController.h"

#include "companions/common/ConsoleText.h"
#include "companions/common/JstText.h"
#include "companions/common/ShiftedClock.h"
#include "companions/common/SignalNotifier.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSocketNotifier>

#include <csignal>

namespace heliotrope::controllers {

namespace {

// How often the dish's true direction is written for a radiometer, ms.
constexpr int kAntennaFileMs = 100;

// Where the rotator stands at start-up: north on the horizon, as the UDP
// simulator and Hamlib's dummy rotator.
constexpr ControllerAngles kParked{0.0, 0.0};

companions::CompanionElapsedTimer startedClock()
{
    companions::CompanionElapsedTimer clock;
    clock.start();
    return clock;
}

// A timer's interval for `seconds` of the companions' time.
int milliseconds(double seconds)
{
    return companions::realIntervalMs(seconds * 1000.0);
}

}  // namespace

SerialController::SerialController(const SerialControllerOptions& options, QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_clock(startedClock())
    , m_dialogue(options.model, options.motion, kParked, 0)
{
    m_silenceStart.setSingleShot(true);
    m_silenceEnd.setSingleShot(true);
    connect(&m_silenceStart, &QTimer::timeout, this, [this] {
        setSilent(true);
        if (m_options.silenceForS >= 0)
            m_silenceEnd.start(milliseconds(m_options.silenceForS));
    });
    connect(&m_silenceEnd, &QTimer::timeout, this, [this] { setSilent(false); });
    m_failStart.setSingleShot(true);
    m_failEnd.setSingleShot(true);
    connect(&m_failStart, &QTimer::timeout, this, [this] {
        fail(m_options.fault);
        if (m_options.failForS >= 0)
            m_failEnd.start(milliseconds(m_options.failForS));
    });
    connect(&m_failEnd, &QTimer::timeout, this, [this] { fail(RotatorFault::None); });
    // SIGUSR1 toggles the silence, through the program's one signal notifier.
    connect(&companions::SignalNotifier::instance(), &companions::SignalNotifier::received, this, [this](int signalNumber) {
        if (signalNumber == SIGUSR1)
            toggleSilence();
    });
}

SerialController::~SerialController()
{
    // The link goes with the device it names; one that has since been
    // pointed elsewhere is someone else's.
    if (m_linked && QFileInfo(m_options.linkPath).symLinkTarget() == m_terminal.devicePath())
        QFile::remove(m_options.linkPath);
}

bool SerialController::start(QString* reason)
{
    if (!m_terminal.open(reason) || !m_record.open(m_options.commandLogPath, reason))
        return false;
    if (!m_options.linkPath.isEmpty()) {
        const QFileInfo existing(m_options.linkPath);
        if (existing.isSymLink())
            QFile::remove(m_options.linkPath);
        else if (existing.exists()) {
            *reason = QStringLiteral("%1 はすでにあり、リンクではありません。\n%1 exists and is not a link: not replaced.").arg(m_options.linkPath);
            return false;
        }
        if (!QFile::link(m_terminal.devicePath(), m_options.linkPath)) {
            *reason = QStringLiteral("リンク %1 を作れません。\nCannot make the link %1.").arg(m_options.linkPath);
            return false;
        }
        m_linked = true;
    }
    m_readable = new QSocketNotifier(m_terminal.masterDescriptor(), QSocketNotifier::Read, this);
    connect(m_readable, &QSocketNotifier::activated, this, &SerialController::onReadable);
    if (!companions::SignalNotifier::instance().install({SIGUSR1}))
        emit problem(QStringLiteral("SIGUSR1 を受けられません: 回線の沈黙は予定でのみ。\nSIGUSR1 cannot be taken: the line goes silent only on schedule."));
    if (m_options.silenceAfterS >= 0)
        m_silenceStart.start(milliseconds(m_options.silenceAfterS));
    if (m_options.fault != RotatorFault::None && m_options.failAfterS >= 0)
        m_failStart.start(milliseconds(m_options.failAfterS));

    const ControllerModel& model = m_options.model;
    emit progress(QStringLiteral("シリアル端末: %1\nListening on the serial device: %1").arg(m_terminal.devicePath()));
    if (m_linked)
        emit progress(QStringLiteral("リンク: %1\nSymbolic link: %1").arg(m_options.linkPath));
    emit progress(QStringLiteral("模擬 %1（rotctld -m %2）: 分解能 %3°・不感帯 %4°・旋回速度 方位角 %5°/秒・仰角 %6°/秒・範囲 方位角 %7〜%8°・仰角 %9〜%10°\n"
                                 "Simulated %1 (rotctld -m %2): resolution %3°, dead band %4°, rates %5°/s azimuth and %6°/s elevation, "
                                 "azimuth %7 to %8°, elevation %9 to %10°")
                      .arg(QString::fromLatin1(controllerFacts(model.protocol).title))
                      .arg(hamlibModel(model.protocol))
                      .arg(model.resolution)
                      .arg(m_options.motion.deadBand)
                      .arg(m_options.motion.azimuthRate)
                      .arg(m_options.motion.elevationRate)
                      .arg(model.azimuth.minimum)
                      .arg(model.azimuth.maximum)
                      .arg(model.elevation.minimum)
                      .arg(model.elevation.maximum));
    if (!m_options.antennaFilePath.isEmpty()) {
        connect(&m_antennaTimer, &QTimer::timeout, this, &SerialController::writeAntennaFile);
        m_antennaTimer.start(companions::realIntervalMs(kAntennaFileMs));
        writeAntennaFile();
    }
    return true;
}

void SerialController::writeAntennaFile()
{
    // Where the dish really is, between the controller's steps: a radiometer
    // sees the sun from there, not from the rounded reading. Written whole
    // and renamed, so that a reader never sees half a line.
    // A dish standing still is not written again.
    const ControllerAngles standing = m_dialogue.position(nowMs());
    const QByteArray line = QByteArray::number(standing.azimuth, 'f', 4) + ' ' + QByteArray::number(standing.elevation, 'f', 4) + '\n';
    if (line == m_antennaLine)
        return;
    QSaveFile file(m_options.antennaFilePath);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(line);
    if (file.commit())
        m_antennaLine = line;
}

void SerialController::toggleSilence()
{
    m_silenceEnd.stop();
    setSilent(!m_silent);
}

void SerialController::fail(RotatorFault fault)
{
    if (fault == m_dialogue.fault())
        return;
    m_dialogue.fail(fault, nowMs());
    const QString now = companions::jstText(companions::companionUtcMs()) + QStringLiteral(" JST  ");
    switch (fault) {
    case RotatorFault::Stuck:
        emit progress(now + QStringLiteral("ローテーターが動かなくなりました: コマンドは受けますが、モーターは回りません。\n"
                                           "The rotator is stuck: commands are taken, the motors do not turn."));
        break;
    case RotatorFault::Frozen:
        emit progress(now + QStringLiteral("コントローラーの読みが止まりました: ローテーターは回りますが、読みは変わりません。\n"
                                           "The controller's reading is frozen: the rotator turns, its reading does not change."));
        break;
    case RotatorFault::None:
        emit progress(now + QStringLiteral("ローテーターが直りました。\nThe rotator works again."));
        break;
    }
}

void SerialController::setSilent(bool silent)
{
    if (silent == m_silent)
        return;
    m_silent = silent;
    // With the time, to be set beside the bridge's log of the same minutes.
    const QString now = companions::jstText(companions::companionUtcMs()) + QStringLiteral(" JST  ");
    if (silent) {
        emit progress(now + QStringLiteral("回線が沈黙しました: 受けたバイトは捨て、何も答えません（ローテーターは最後の目標へ回り続けます）。\n"
                                           "The line is silent: every byte received is dropped and nothing is answered (the rotator keeps turning to its last target)."));
    } else {
        m_dialogue.forgetPartMessage();
        emit progress(now + QStringLiteral("回線が戻りました。\nThe line speaks again."));
    }
}

void SerialController::onReadable()
{
    const QByteArray bytes = m_terminal.readAvailable();
    if (bytes.isEmpty() || m_silent)
        return;
    const long long now = nowMs();
    const qint64 utcMs = companions::companionUtcMs();
    for (const Exchange& exchange : m_dialogue.receive(bytes, now)) {
        m_record.note(exchange, utcMs);
        if (m_options.verbose)
            emit dialogue(QStringLiteral("受信 / in:  %1").arg(companions::printableBytes(exchange.request.message)));
        if (!exchange.answer.isEmpty()) {
            if (m_options.verbose)
                emit dialogue(QStringLiteral("送信 / out: %1").arg(companions::printableBytes(exchange.answer)));
            if (!m_terminal.write(exchange.answer))
                emit problem(QStringLiteral("回線に書けません: %1\nCannot write to the line: %1").arg(companions::printableBytes(exchange.answer)));
        }
        if (exchange.request.kind == ControllerRequest::Kind::SetPoint)
            reportTarget(exchange);
    }
    // Written on every exchange too, not only on the timer: a reading the
    // driver has just been given is never ahead of the file, however late
    // the timer comes on a busy machine.
    if (!m_options.antennaFilePath.isEmpty())
        writeAntennaFile();
}

void SerialController::reportTarget(const Exchange& exchange)
{
    if (!exchange.withinLimits) {
        emit problem(QStringLiteral("範囲外の設定点 %1 %2: %3\nSet-point outside the limits %1 %2: %4")
                         .arg(companions::degreesText(exchange.commanded.azimuth), companions::degreesText(exchange.commanded.elevation),
                              exchange.refused ? QStringLiteral("拒否") : QStringLiteral("限界まで"),
                              exchange.refused ? QStringLiteral("refused") : QStringLiteral("driven to the limit")));
    }
    if (exchange.refused)
        return;
    const bool changed = !m_lastTarget || m_lastTarget->azimuth != exchange.target.azimuth || m_lastTarget->elevation != exchange.target.elevation;
    m_lastTarget = exchange.target;
    if (m_options.quiet || !changed)
        return;
    const ControllerAngles standing = m_dialogue.position(nowMs());
    emit progress(QStringLiteral("%1 JST  目標 %2 %3  位置 %4 %5\n%1 JST  target %2 %3  at %4 %5")
                      .arg(companions::jstText(companions::companionUtcMs()), companions::degreesText(exchange.target.azimuth), companions::degreesText(exchange.target.elevation),
                           companions::degreesText(standing.azimuth), companions::degreesText(standing.elevation)));
}

}  // namespace heliotrope::controllers
