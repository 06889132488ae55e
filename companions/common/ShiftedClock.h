#pragma once

// The time the companions run on. Normally the system's clock, as it is.
//
// A test that would otherwise sit out rotators turning, dwells and settling
// runs every program of it faster, all by one rule:
//     the companions' time = sky + rate × (system time − origin)
// given in the environment as HELIOTROPE_TIME_SCALE=RATE@ORIGIN[@SKY] (ORIGIN
// and SKY in seconds since 1970 UTC; SKY, the time the companions' clock
// reads at ORIGIN, is ORIGIN unless given), the same in every program of the
// test, so that the
// bridge and the simulated radiometer agree on where the sun is, and the
// simulated rotator turns its degrees a second of that time. What is not ours
// (rotctld's own delays and serial timeouts, a process starting) still takes
// its real time. A test seam: an operator has no use for a faster sun.
//
// A test that needs the sun high whatever the hour gives SKY: to the
// station it is then simply the time, and what it measures is its own. The
// operator's way to the sun of another hour is --clock-offset, and a run so
// shifted is kept as a rehearsal.

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>

#include <algorithm>
#include <cmath>
#include <functional>

namespace heliotrope::companions {

// Seconds since 1970-01-01 00:00 UTC, without leap seconds, with fractions.
using UtcClock = std::function<double()>;

struct TimeScale {
    double rate = 1.0;     // seconds of the companions' time per second of the system's
    double originUtc = 0;  // the moment the scale starts, seconds since 1970 UTC
    double skyUtc = 0;     // the companions' time at that moment
    double at(double systemUtc) const { return skyUtc + rate * (systemUtc - originUtc); }
};

inline TimeScale& processTimeScale()
{
    static TimeScale scale;
    return scale;
}

// The environment's name for it.
inline constexpr char kTimeScaleVariable[] = "HELIOTROPE_TIME_SCALE";
// Faster than this, rotctld's own delays would be most of what a test sees.
inline constexpr double kFastestTimeScale = 100.0;

// Takes HELIOTROPE_TIME_SCALE when it is set. False, with the reason in
// Japanese and English, when it is not RATE@ORIGIN[@SKY] with RATE from 1 to 100.
inline bool takeTimeScaleFromEnvironment(QString* problem)
{
    const QByteArray text = qgetenv(kTimeScaleVariable).trimmed();
    if (text.isEmpty())
        return true;
    const QList<QByteArray> parts = text.split('@');
    bool rateOk = false;
    bool originOk = false;
    bool skyOk = parts.size() == 2;
    const bool formed = parts.size() == 2 || parts.size() == 3;
    const double rate = formed ? parts[0].toDouble(&rateOk) : 0;
    const double origin = formed ? parts[1].toDouble(&originOk) : 0;
    const double sky = parts.size() == 3 ? parts[2].toDouble(&skyOk) : origin;
    if (!rateOk || !originOk || !skyOk || !(rate >= 1.0 && rate <= kFastestTimeScale) || !std::isfinite(origin) || !std::isfinite(sky)) {
        *problem = QStringLiteral("環境変数 %1=%2 は「倍率@起点[@空の時刻]」（倍率 1〜%3、起点と時刻は 1970 年からの UTC 秒）ではありません。試験用の変数です: 消してください。\n"
                                  "%1=%2 is not RATE@ORIGIN[@SKY] (RATE from 1 to %3, ORIGIN and SKY in seconds since 1970 UTC). It is for tests: unset it.")
                       .arg(QString::fromLatin1(kTimeScaleVariable), QString::fromUtf8(text))
                       .arg(kFastestTimeScale);
        return false;
    }
    processTimeScale() = TimeScale{rate, origin, sky};
    return true;
}

inline double systemUtcSeconds()
{
    return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

// Now, in the companions' time.
inline double companionUtc()
{
    return processTimeScale().at(systemUtcSeconds());
}

inline qint64 companionUtcMs()
{
    return static_cast<qint64>(std::llround(companionUtc() * 1000.0));
}

inline UtcClock shiftedUtcClock(double offsetSeconds)
{
    return [offsetSeconds] { return companionUtc() + offsetSeconds; };
}

// A timer's interval, real milliseconds, for `milliseconds` of the
// companions' time: never below one, so that a timer never spins.
inline int realIntervalMs(double milliseconds)
{
    return std::max(1, static_cast<int>(std::lround(milliseconds / processTimeScale().rate)));
}

// QElapsedTimer in the companions' time: monotonic, so that a step of the
// system's clock never moves a rotator.
class CompanionElapsedTimer {
public:
    void start() { m_timer.start(); }
    qint64 restart()
    {
        const qint64 was = elapsed();
        m_timer.restart();
        return was;
    }
    qint64 elapsed() const
    {
        return static_cast<qint64>(std::llround(static_cast<double>(m_timer.nsecsElapsed()) * processTimeScale().rate / 1e6));
    }

private:
    QElapsedTimer m_timer;
};

}  // namespace heliotrope::companions
