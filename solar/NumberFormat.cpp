#include "solar/NumberFormat.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace solar {
namespace {

// A non-negative decimal number as the 15 significant digits that the display
// works from: value = 0.d1 d2 ... d15 x 10^(pointPos).
struct Decimal15 {
    std::string digits;  // exactly 15 digits, the first non-zero unless the value is 0
    int pointPos = 0;    // how many of the digits stand before the decimal point
};

Decimal15 toDecimal15(double magnitude)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.14e", magnitude);  // d.dddddddddddddde+XX
    Decimal15 d;
    d.digits.push_back(buf[0]);
    d.digits.append(buf + 2, 14);
    const char* e = std::strchr(buf, 'e');
    d.pointPos = std::atoi(e + 1) + 1;
    if (magnitude == 0)
        d.pointPos = 1;
    return d;
}

// The digit at decimal position p (0 = units, -1 = tenths, 1 = tens ...).
int digitAt(const Decimal15& d, int p)
{
    const int index = d.pointPos - 1 - p;
    if (index < 0 || index >= static_cast<int>(d.digits.size()))
        return 0;
    return d.digits[static_cast<std::size_t>(index)] - '0';
}

// Rounds half away from zero to `decimals` places and returns the whole part
// and the fraction as digit strings (whole part without leading zeros, "" for 0).
void roundFixed(double magnitude, int decimals, std::string& whole, std::string& fraction)
{
    const Decimal15 d = toDecimal15(magnitude);
    const int top = d.pointPos > 1 ? d.pointPos - 1 : 0;
    // Digits from position `top` down to -decimals, most significant first.
    std::string all;
    for (int p = top; p >= -decimals; --p)
        all.push_back(static_cast<char>('0' + digitAt(d, p)));
    if (digitAt(d, -decimals - 1) >= 5) {
        int i = static_cast<int>(all.size()) - 1;
        while (i >= 0 && all[static_cast<std::size_t>(i)] == '9') {
            all[static_cast<std::size_t>(i)] = '0';
            --i;
        }
        if (i >= 0)
            ++all[static_cast<std::size_t>(i)];
        else
            all.insert(all.begin(), '1');
    }
    const std::size_t fractionStart = all.size() - static_cast<std::size_t>(decimals);
    whole = all.substr(0, fractionStart);
    fraction = all.substr(fractionStart);
    const std::size_t firstNonZero = whole.find_first_not_of('0');
    whole = firstNonZero == std::string::npos ? std::string() : whole.substr(firstNonZero);
}

std::optional<std::string> formatPattern(double value, const char* lead, int minWholeDigits, int decimals)
{
    if (!std::isfinite(value))
        return std::nullopt;
    std::string whole;
    std::string fraction;
    roundFixed(std::fabs(value), decimals, whole, fraction);
    const bool shownAsZero = whole.empty() && fraction.find_first_not_of('0') == std::string::npos;
    if (static_cast<int>(whole.size()) < minWholeDigits)
        whole.insert(0, static_cast<std::size_t>(minWholeDigits) - whole.size(), '0');
    std::string out;
    if (value < 0 && !shownAsZero)
        out.push_back('-');
    out += lead;
    out += whole;
    out.push_back('.');
    out += fraction;
    return out;
}

}  // namespace

std::optional<std::string> formatAzimuth(double degrees)
{
    return formatPattern(degrees, "", 3, 2);
}

std::optional<std::string> formatDayElevation(double degrees)
{
    return formatPattern(degrees, " ", 0, 2);
}

std::optional<std::string> formatNightElevation(double degrees)
{
    return formatPattern(degrees, "", 0, 3);
}

std::optional<std::string> formatGeneral(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    if (value == 0)
        return std::string("0");
    const Decimal15 d = toDecimal15(std::fabs(value));
    std::string digits = d.digits;
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    std::string out = value < 0 ? "-" : "";
    const int n = static_cast<int>(digits.size());
    if (d.pointPos <= 0) {
        out += '.';
        out.append(static_cast<std::size_t>(-d.pointPos), '0');
        out += digits;
    } else if (d.pointPos >= n) {
        out += digits;
        out.append(static_cast<std::size_t>(d.pointPos - n), '0');
    } else {
        out += digits.substr(0, static_cast<std::size_t>(d.pointPos));
        out += '.';
        out += digits.substr(static_cast<std::size_t>(d.pointPos));
    }
    return out;
}

}  // namespace solar
