#pragma once

// The one shape of a measurement's progress line, for both runs:
//   "較正 3/14 点: 測定中、残り約 12 秒 / calibration point 3 of 14: reading, about 12 s left"
// and the time left, from the time the points done so far took.

#include <QString>

namespace heliotrope::measure {

struct ProgressStep {
    QString runJapanese;   // "較正", "太陽雑音"
    QString runEnglish;    // "calibration", "sun noise"
    QString unitJapanese;  // "点", "回目"
    QString unitEnglish;   // "point", "repeat"
    int done = 0;          // 1-based: the step under way
    int total = 0;
    QString whatJapanese;  // "太陽へ移動中"; may be empty
    QString whatEnglish;
    double secondsLeft = 0;
};

QString progressText(const ProgressStep& step);

// Seconds left when `stepsDone` of `stepsTotal` took `secondsSpent`; before
// any is done, `firstGuessPerStep` each.
double secondsLeft(int stepsDone, int stepsTotal, double secondsSpent, double firstGuessPerStep);

}  // namespace heliotrope::measure
