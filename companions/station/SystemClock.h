#pragma once

// Whether the system clock is synchronised, before a calibration's offsets
// are saved: a clock a minute off puts the computed sun up to a quarter of a
// degree from the true one, and that error would be saved as an offset.
//
// The kernel knows: adjtimex(2) with no change asked (modes 0, allowed to any
// user) returns TIME_ERROR while the clock is unsynchronised, which the NTP
// daemons (systemd-timesyncd, chrony, ntpd) clear once they have set and
// disciplined it. systemd-timedated's NTPSynchronized property is this same
// reading, so it is taken here directly, without D-Bus.

#include <QString>

#include <functional>

struct timex;

namespace heliotrope::station {

enum class ClockState {
    Synchronised,
    Unsynchronised,  // TIME_ERROR: never set by NTP, or NTP lost
    Unknown,         // adjtimex failed (a sandbox that forbids it)
};

// The reading from adjtimex's return value (-1: it failed); pure.
ClockState clockStateFrom(int adjtimexResult);

// The system's clock, through `query` (adjtimex itself unless a test gives
// another).
using AdjtimexQuery = std::function<int(struct timex*)>;
ClockState systemClockState(const AdjtimexQuery& query = {});

// For the operator: why the calibration is shown and not saved (or, at the
// bridge's start, that it would be), or, `savedAnyway`
// (--clock-unsynchronised-ok), that it is saved all the same. Japanese,
// newline, English. Empty when synchronised.
QString clockStateText(ClockState state, bool savedAnyway = false);

}  // namespace heliotrope::station
