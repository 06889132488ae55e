#include "companions/station/SystemClock.h"

#include <sys/timex.h>

namespace heliotrope::station {

ClockState clockStateFrom(int adjtimexResult)
{
    if (adjtimexResult == -1)
        return ClockState::Unknown;
    return adjtimexResult == TIME_ERROR ? ClockState::Unsynchronised : ClockState::Synchronised;
}

ClockState systemClockState(const AdjtimexQuery& query)
{
    struct timex reading { };
    reading.modes = 0;  // read only
    const int result = query ? query(&reading) : ::adjtimex(&reading);
    return clockStateFrom(result);
}

QString clockStateText(ClockState state, bool savedAnyway)
{
    if (state != ClockState::Synchronised && savedAnyway)
        return QStringLiteral("システムの時計が同期していません（または同期しているか読めません）が、--clock-unsynchronised-ok のとおり"
                              "較正の結果は保存して使います。時計が 1 分ずれると太陽の位置が最大 0.25° ずれます。\n"
                              "The system clock is not synchronised (or whether it is cannot be read); as --clock-unsynchronised-ok "
                              "asks, a calibration's result is saved and applied all the same. A clock a minute off moves the "
                              "computed sun by up to 0.25°.");
    switch (state) {
    case ClockState::Synchronised:
        return {};
    case ClockState::Unsynchronised:
        return QStringLiteral("システムの時計が NTP で同期していません（timedatectl で確かめてください）。"
                              "時計が 1 分ずれると太陽の位置が最大 0.25° ずれ、それが較正のずれとして保存されてしまうため、"
                              "較正の結果は表示するだけで保存も適用もしません（--clock-unsynchronised-ok で保存します）。\n"
                              "The system clock is not synchronised by NTP (see timedatectl). A clock a minute off "
                              "moves the computed sun by up to 0.25°, which would be saved as a pointing offset: a "
                              "calibration's result is shown, not saved and not applied (--clock-unsynchronised-ok "
                              "saves it).");
    case ClockState::Unknown:
        return QStringLiteral("システムの時計が同期しているか読めません（adjtimex が使えません）。較正の結果は保存しません"
                              "（--clock-unsynchronised-ok で保存します）。\n"
                              "Whether the system clock is synchronised cannot be read (adjtimex refused): a "
                              "calibration's result is not saved (--clock-unsynchronised-ok saves it).");
    }
    return {};
}

}  // namespace heliotrope::station
