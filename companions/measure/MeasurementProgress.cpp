#include "companions/measure/MeasurementProgress.h"

#include <algorithm>
#include <cmath>

namespace heliotrope::measure {

namespace {

QString durationJapanese(double seconds)
{
    if (seconds < 90)
        return QStringLiteral("約 %1 秒").arg(std::max(0L, std::lround(seconds)));
    return QStringLiteral("約 %1 分").arg(std::lround(seconds / 60.0));
}

QString durationEnglish(double seconds)
{
    if (seconds < 90)
        return QStringLiteral("about %1 s").arg(std::max(0L, std::lround(seconds)));
    return QStringLiteral("about %1 min").arg(std::lround(seconds / 60.0));
}

}  // namespace

QString progressText(const ProgressStep& step)
{
    const QString whatJapanese = step.whatJapanese.isEmpty() ? QString() : QStringLiteral(": ") + step.whatJapanese;
    const QString whatEnglish = step.whatEnglish.isEmpty() ? QString() : QStringLiteral(": ") + step.whatEnglish;
    return QStringLiteral("%1 %2/%3 %4%5、残り%6 / %7 %8 %2 of %3%9, %10 left")
        .arg(step.runJapanese)
        .arg(step.done)
        .arg(step.total)
        .arg(step.unitJapanese, whatJapanese, durationJapanese(step.secondsLeft), step.runEnglish, step.unitEnglish,
             whatEnglish, durationEnglish(step.secondsLeft));
}

double secondsLeft(int stepsDone, int stepsTotal, double secondsSpent, double firstGuessPerStep)
{
    const double perStep = stepsDone > 0 ? secondsSpent / stepsDone : firstGuessPerStep;
    return perStep * std::max(0, stepsTotal - stepsDone);
}

}  // namespace heliotrope::measure
