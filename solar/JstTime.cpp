#include "solar/JstTime.h"

#include "solar/SolarConstants.h"

namespace solar {

ClockReading jstFromUnixSeconds(std::int64_t unixSeconds)
{
    constexpr std::int64_t secondsPerDay = 86400;
    const std::int64_t local = unixSeconds + std::int64_t{kJstOffsetHours} * 3600;
    std::int64_t days = local / secondsPerDay;
    std::int64_t secondOfDay = local % secondsPerDay;
    if (secondOfDay < 0) {
        secondOfDay += secondsPerDay;
        --days;
    }
    // Civil date from a day count (proleptic Gregorian, March-based years).
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    ClockReading r;
    r.day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    r.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    r.year = static_cast<int>(yearOfEra + era * 400 + (r.month <= 2 ? 1 : 0));
    r.hour = static_cast<int>(secondOfDay / 3600);
    r.minute = static_cast<int>(secondOfDay / 60 % 60);
    r.second = static_cast<int>(secondOfDay % 60);
    return r;
}

}  // namespace solar
