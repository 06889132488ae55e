// The set-point patterns and the general form over arbitrary doubles. For any
// finite value each text must match its pattern and stand for the value to
// within half a unit of its last digit; a non-finite value must be refused.
// Nothing else about the input is assumed, so NaN payloads, infinities,
// subnormals and the largest doubles all come through.

#include "FuzzCheck.h"
#include "solar/NumberFormat.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

using fuzzcheck::require;

namespace {

std::string describe(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g (%a)", v, v);
    return buf;
}

bool allDigits(const std::string& s)
{
    for (const char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

bool allZeros(const std::string& s)
{
    return s.find_first_not_of("0.") == std::string::npos;
}

// One of the three set-point patterns.
struct Pattern {
    const char* name;
    std::optional<std::string> (*format)(double);
    const char* lead;  // text the pattern puts before the whole digits
    std::size_t minWholeDigits;
    int decimals;
};

const Pattern kPatterns[] = {
    {"000.00", solar::formatAzimuth, "", 3, 2},
    {" ##.00", solar::formatDayElevation, " ", 0, 2},
    {"##.000", solar::formatNightElevation, "", 0, 3},
};

void checkPattern(const Pattern& p, double value)
{
    const std::optional<std::string> text = p.format(value);
    const std::string what = std::string(p.name) + " of " + describe(value);
    if (!std::isfinite(value)) {
        require(!text, "a non-finite value is refused", what + " gave '" + text.value_or("") + "'");
        return;
    }
    require(text.has_value(), "a finite value is formatted", what);
    std::string rest = *text;

    // [-] lead whole '.' fraction
    const bool minus = !rest.empty() && rest.front() == '-';
    if (minus)
        rest.erase(0, 1);
    const std::size_t leadLength = std::strlen(p.lead);
    require(rest.compare(0, leadLength, p.lead) == 0, "the pattern's lead is there", what + " -> '" + *text + "'");
    rest.erase(0, leadLength);
    const std::size_t point = rest.find('.');
    require(point != std::string::npos, "a decimal point", what + " -> '" + *text + "'");
    const std::string whole = rest.substr(0, point);
    const std::string fraction = rest.substr(point + 1);
    require(allDigits(whole) && allDigits(fraction), "only digits around the point", what + " -> '" + *text + "'");
    require(fraction.size() == static_cast<std::size_t>(p.decimals), "the pattern's number of decimals",
            what + " -> '" + *text + "'");
    require(whole.size() >= p.minWholeDigits, "the pattern's minimum whole digits", what + " -> '" + *text + "'");
    if (whole.size() > p.minWholeDigits)
        require(whole.front() != '0', "no leading zero beyond the pattern's", what + " -> '" + *text + "'");

    const bool shownAsZero = allZeros(whole + fraction);
    require(minus == (value < 0 && !shownAsZero), "a minus sign exactly for a negative value not shown as 0",
            what + " -> '" + *text + "'");

    // The digits stand for |value| rounded to the pattern's decimals, after the
    // display's own first step of 15 significant digits. Read back in long
    // double: the largest doubles round up past the double range.
    const long double shown = std::strtold((whole + "." + fraction).c_str(), nullptr);
    const long double halfUnit = 0.5L * std::pow(10.0L, -p.decimals);
    const long double error = std::fabs(shown - std::fabs(static_cast<long double>(value)));
    require(error <= halfUnit * (1 + 1e-9L) + std::fabs(value) * 1e-14L, "the digits stand for the value",
            what + " -> '" + *text + "', off by " + describe(static_cast<double>(error)));
}

void checkGeneral(double value)
{
    const std::optional<std::string> text = solar::formatGeneral(value);
    const std::string what = "general form of " + describe(value);
    if (!std::isfinite(value)) {
        require(!text, "a non-finite value is refused", what + " gave '" + text.value_or("") + "'");
        return;
    }
    require(text.has_value(), "a finite value is formatted", what);
    if (value == 0) {
        require(*text == "0", "zero is written 0", what + " -> '" + *text + "'");
        return;
    }
    std::string rest = *text;
    const bool minus = !rest.empty() && rest.front() == '-';
    require(minus == (value < 0), "a minus sign exactly for a negative value", what + " -> '" + *text + "'");
    if (minus)
        rest.erase(0, 1);
    const std::size_t point = rest.find('.');
    const std::string whole = rest.substr(0, point);
    const std::string fraction = point == std::string::npos ? std::string() : rest.substr(point + 1);
    require(allDigits(whole) && allDigits(fraction), "only digits and at most one point", what + " -> '" + *text + "'");
    require(whole.empty() || whole.front() != '0', "no leading zero", what + " -> '" + *text + "'");
    if (point != std::string::npos)
        require(!fraction.empty() && fraction.back() != '0', "no trailing zero or bare point",
                what + " -> '" + *text + "'");
    const std::string digits = whole + fraction;
    const std::size_t first = digits.find_first_not_of('0');
    const std::size_t last = digits.find_last_not_of('0');
    require(first != std::string::npos && last - first + 1 <= 15, "at most 15 significant digits",
            what + " -> '" + *text + "'");

    const long double shown = std::strtold(rest.c_str(), nullptr);
    require(std::fabs(shown - std::fabs(static_cast<long double>(value))) <= std::fabs(value) * 6e-15L,
            "the text stands for the value",
            what + " -> '" + *text + "'");
    // The chart writes hours and minutes this way: a whole number must come out
    // as exactly its digits.
    if (std::fabs(value) < 1e15 && value == std::trunc(value)) {
        char exact[32];
        std::snprintf(exact, sizeof exact, "%.0f", std::fabs(value));
        require(rest == exact, "a whole number is written as its digits", what + " -> '" + *text + "'");
    }
}

double valueFrom(FuzzedDataProvider& data)
{
    switch (data.ConsumeIntegralInRange<int>(0, 2)) {
    case 0: {
        // Any bit pattern at all.
        const auto bits = data.ConsumeIntegral<std::uint64_t>();
        double v = 0;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    case 1: {
        // Decimal text, which reaches the rounding boundaries (9.995, 359.995)
        // far more often than random bits do.
        const std::string text = data.ConsumeRandomLengthString(40);
        return std::strtod(text.c_str(), nullptr);
    }
    default: {
        // A few hundredths or thousandths from a boundary, a few ulps either side.
        const auto units = data.ConsumeIntegral<std::int64_t>();
        const int scale = data.ConsumeIntegralInRange<int>(0, 6);
        double v = static_cast<double>(units) / std::pow(10.0, scale) + 0.5 * std::pow(10.0, -scale);
        const int ulps = data.ConsumeIntegralInRange<int>(-3, 3);
        for (int i = 0; i < std::abs(ulps); ++i)
            v = std::nextafter(v, ulps < 0 ? -INFINITY : INFINITY);
        return v;
    }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const double value = valueFrom(data);
    for (const Pattern& p : kPatterns)
        checkPattern(p, value);
    checkGeneral(value);
    return 0;
}
