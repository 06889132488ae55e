#include "companions/common/JstText.h"

#include "solar/JstTime.h"

namespace heliotrope::companions {

namespace {

// Whole seconds rounded down, so that 0.999 s before a full second still
// belongs to the second before it.
qint64 floorSeconds(qint64 milliseconds)
{
    qint64 seconds = milliseconds / 1000;
    if (milliseconds % 1000 < 0)
        --seconds;
    return seconds;
}

}  // namespace

QString jstText(qint64 unixMilliseconds)
{
    const solar::ClockReading t = solar::jstFromUnixSeconds(floorSeconds(unixMilliseconds));
    return QStringLiteral("%1-%2-%3 %4:%5:%6")
        .arg(t.year, 4, 10, QLatin1Char('0'))
        .arg(t.month, 2, 10, QLatin1Char('0'))
        .arg(t.day, 2, 10, QLatin1Char('0'))
        .arg(t.hour, 2, 10, QLatin1Char('0'))
        .arg(t.minute, 2, 10, QLatin1Char('0'))
        .arg(t.second, 2, 10, QLatin1Char('0'));
}

QString jstTextWithMilliseconds(qint64 unixMilliseconds)
{
    const qint64 milliseconds = unixMilliseconds - floorSeconds(unixMilliseconds) * 1000;
    return QStringLiteral("%1.%2").arg(jstText(unixMilliseconds)).arg(milliseconds, 3, 10, QLatin1Char('0'));
}

}  // namespace heliotrope::companions
