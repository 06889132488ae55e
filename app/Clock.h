#pragma once

#include "solar/JstTime.h"

#include <QString>
#include <chrono>

namespace heliotrope::app {

// The one place that reads the time. The window takes a Clock in its
// constructor, so a test can stand at 21 June 12:00 JST without waiting.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::chrono::system_clock::time_point now() const = 0;

    // Japan Standard Time from the system's UTC clock plus 9 hours: a machine
    // set to another zone (a server, a laptop on UTC) still points the antenna
    // at the sun over Japan.
    solar::ClockReading jstNow() const;
};

class SystemClock final : public Clock {
public:
    std::chrono::system_clock::time_point now() const override;
};

// A clock that stands still at a JST instant: for tests, and for pictures of
// the window that must come out the same every time.
class FixedClock final : public Clock {
public:
    FixedClock(int year, int month, int day, int hour, int minute, int second);
    void setJst(int year, int month, int day, int hour, int minute, int second);
    std::chrono::system_clock::time_point now() const override { return m_now; }

private:
    std::chrono::system_clock::time_point m_now;
};

// The clock label's text in the Japanese regional general form: the short
// date "yyyy/MM/dd", a blank and the long time "H:mm:ss"; at exactly 0:00:00
// the date alone, as the general form leaves a zero time out.
QString generalDateTimeText(const solar::ClockReading& jst);

}  // namespace heliotrope::app
