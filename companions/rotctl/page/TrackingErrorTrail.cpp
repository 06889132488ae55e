#include "companions/rotctl/page/TrackingErrorTrail.h"

#include "companions/rotctl/bridge/Bridge.h"
#include "companions/rotctl/bridge/StationDesk.h"
#include "companions/sky/TrueSun.h"

#include <QJsonArray>

#include <cmath>

namespace heliotrope::rotctl {

std::optional<double> TrackingErrorTrail::errorNow(const Bridge& bridge, const StationDesk& desk)
{
    const StationDesk::State state = desk.state();
    const std::optional<rotator::RotatorPosition>& present = bridge.present();
    if (!present || bridge.positionUnreadSinceUtcMs())
        return std::nullopt;
    std::optional<companions::SetPoint> tracked;
    if (state == StationDesk::State::TrackingBySelf && bridge.selfTarget())
        tracked = bridge.selfTarget()->target;
    else if (state == StationDesk::State::TrackingWindow)
        tracked = bridge.setPoint();
    if (!tracked)
        return std::nullopt;
    const rotator::RotatorPosition reads = rotator::skyPosition(bridge.frame(), *present);
    return heliotrope::sky::skySeparation(tracked->azimuth, tracked->elevation, reads.azimuth, reads.elevation);
}

void TrackingErrorTrail::sample(qint64 utcMs, std::optional<double> errorDegrees)
{
    while (!m_points.empty() && utcMs - m_points.front().utcMs > kSpanMs)
        m_points.pop_front();
    if (!errorDegrees || !std::isfinite(*errorDegrees)) {
        m_settling = true;
        m_settlingDegrees.reset();
        return;
    }
    if (utcMs - m_lastMs < kEveryMs / 2)
        return;
    m_lastMs = utcMs;
    if (m_settling) {
        if (!m_settlingDegrees)
            m_settlingSinceMs = utcMs;
        const bool stillFalling = !m_settlingDegrees || *errorDegrees < 0.9 * *m_settlingDegrees;
        m_settlingDegrees = *errorDegrees;
        if (stillFalling && utcMs - m_settlingSinceMs < kLongestSlewMs)
            return;
        m_settling = false;
        m_settlingDegrees.reset();
    }
    m_points.push_back(Point{utcMs, *errorDegrees});
}

QJsonObject TrackingErrorTrail::json(std::optional<double> beamwidthDegrees) const
{
    QJsonArray points;
    for (const Point& point : m_points)
        points.append(QJsonArray{static_cast<double>(point.utcMs), std::round(point.degrees * 1000) / 1000});
    return QJsonObject{{QStringLiteral("beamwidthDegrees"), beamwidthDegrees ? QJsonValue(*beamwidthDegrees) : QJsonValue::Null},
                       {QStringLiteral("points"), points}};
}

}  // namespace heliotrope::rotctl
