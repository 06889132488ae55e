#include "app/Clock.h"

#include <QDateTime>
#include <QTimeZone>

namespace heliotrope::app {

solar::ClockReading Clock::jstNow() const
{
    const auto seconds = std::chrono::floor<std::chrono::seconds>(now().time_since_epoch()).count();
    return solar::jstFromUnixSeconds(static_cast<std::int64_t>(seconds));
}

std::chrono::system_clock::time_point SystemClock::now() const
{
    return std::chrono::system_clock::now();
}

FixedClock::FixedClock(int year, int month, int day, int hour, int minute, int second)
{
    setJst(year, month, day, hour, minute, second);
}

void FixedClock::setJst(int year, int month, int day, int hour, int minute, int second)
{
    const QDateTime jst(QDate(year, month, day), QTime(hour, minute, second), QTimeZone(9 * 3600));
    m_now = std::chrono::system_clock::time_point(std::chrono::seconds(jst.toSecsSinceEpoch()));
}

QString generalDateTimeText(const solar::ClockReading& t)
{
    const QString date = QStringLiteral("%1/%2/%3")
                             .arg(t.year, 4, 10, QLatin1Char('0'))
                             .arg(t.month, 2, 10, QLatin1Char('0'))
                             .arg(t.day, 2, 10, QLatin1Char('0'));
    if (t.hour == 0 && t.minute == 0 && t.second == 0)
        return date;
    return QStringLiteral("%1 %2:%3:%4")
        .arg(date)
        .arg(t.hour)
        .arg(t.minute, 2, 10, QLatin1Char('0'))
        .arg(t.second, 2, 10, QLatin1Char('0'));
}

}  // namespace heliotrope::app
