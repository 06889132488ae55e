#include "companions/sim/Simulator.h"

#include "companions/common/ConsoleText.h"
#include "companions/common/JstText.h"
#include "companions/common/PositionReport.h"

#include <cmath>

using heliotrope::companions::degreesText;
using heliotrope::companions::endpointText;
using heliotrope::companions::jstText;
using heliotrope::companions::PointingReceiver;
using heliotrope::companions::positionReport;
using heliotrope::companions::SetPoint;

namespace heliotrope::sim {

namespace {

// Where the simulated antenna stands at start-up: north on the horizon, as
// Hamlib's dummy rotator does.
constexpr AntennaAngles kParked{0.0, 0.0};
// The window's controller stops on its set-point: no dead band.
constexpr double kNoDeadBand = 0.0;

// The window's set-point texts have two decimals; a change smaller than half
// of the last one is the same set-point written again.
constexpr double kSameSetPoint = 0.005;

bool sameSetPoint(const SetPoint& a, const SetPoint& b)
{
    return std::abs(a.azimuth - b.azimuth) < kSameSetPoint && std::abs(a.elevation - b.elevation) < kSameSetPoint;
}

companions::CompanionElapsedTimer startedClock()
{
    companions::CompanionElapsedTimer clock;
    clock.start();
    return clock;
}

}  // namespace

Simulator::Simulator(const SimulatorOptions& options, QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_clock(startedClock())
    , m_antenna(options.azimuthRate, options.elevationRate, kNoDeadBand, kParked, 0)
{
    connect(&m_receiver, &PointingReceiver::setPointArrived, this, &Simulator::onSetPoint);
    connect(&m_receiver, &PointingReceiver::messageRejected, this, &Simulator::problem);
    connect(&m_receiver, &PointingReceiver::senderRefused, this, &Simulator::problem);
    m_receiver.setAllowList(options.allowedSenders);
    connect(&m_receiver, &PointingReceiver::reportAddressChanged, this, [this](const QHostAddress& address, quint16 port) {
        emit progress(QStringLiteral("報告先: %1\nReporting to: %1").arg(endpointText(address, port)));
    });
    m_reportTimer.setInterval(companions::realIntervalMs(options.reportIntervalMs));
    m_reportTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_reportTimer, &QTimer::timeout, this, &Simulator::sendReport);
}

bool Simulator::start(QString* problem)
{
    if (!m_receiver.listen(m_options.listenAddress, m_options.port, problem))
        return false;
    m_reportTimer.start();
    emit progress(QStringLiteral("模擬アンテナコントローラ: %1 で指向データを待っています（旋回速度 方位角 %2°/秒・仰角 %3°/秒、報告 %4 ミリ秒ごと）。\n"
                                 "Simulated antenna controller: waiting for pointing messages on %1 (slew rates az %2°/s, "
                                 "el %3°/s; a report every %4 ms).")
                      .arg(endpointText(m_options.listenAddress, localPort()))
                      .arg(m_options.azimuthRate)
                      .arg(m_options.elevationRate)
                      .arg(m_options.reportIntervalMs));
    if (!m_options.allowedSenders.isLoopbackOnly()) {
        emit progress(QStringLiteral("受け付ける送信元: %1\nPointing messages taken only from: %1")
                          .arg(m_options.allowedSenders.text()));
    }
    return true;
}

AntennaAngles Simulator::position()
{
    return m_antenna.position(nowMs());
}

void Simulator::onSetPoint(const SetPoint& setPoint)
{
    const bool changed = !m_setPoint || !sameSetPoint(*m_setPoint, setPoint);
    m_setPoint = setPoint;
    m_antenna.setTarget({setPoint.azimuth, setPoint.elevation}, nowMs());
    if (!changed)
        return;
    const AntennaAngles now = position();
    emit progress(QStringLiteral("%1 JST  設定点 方位角 %2 仰角 %3  模擬アンテナ 方位角 %4 仰角 %5\n"
                                 "%1 JST  set-point az %2, el %3  simulated antenna az %4, el %5")
                      .arg(jstText(companions::companionUtcMs()), degreesText(setPoint.azimuth),
                           degreesText(setPoint.elevation), degreesText(now.azimuth), degreesText(now.elevation)));
}

void Simulator::sendReport()
{
    if (!m_receiver.hasReportAddress())
        return;
    const AntennaAngles now = position();
    m_receiver.sendReport(positionReport(now.azimuth, now.elevation));
}

}  // namespace heliotrope::sim
