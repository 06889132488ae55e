#include "link/PortText.h"

#include "solar/TypedNumber.h"

#include <cstddef>
#include <limits>
#include <string>

namespace heliotrope::link {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// More whole digits than this cannot fit in 32 bits (2147483648 has ten).
constexpr std::int64_t kMaxWholeDigits = 10;
// An exponent's magnitude is saturated here; far beyond any text's length, so
// saturation never changes the outcome.
constexpr std::int64_t kExponentCeiling = std::int64_t{1} << 48;

}  // namespace

Int32FromText textToInt32(std::u16string_view text)
{
    const std::optional<std::string> typed = solar::typedNumberText(text);
    if (!typed)
        return {NumberTextStatus::NotANumber, 0};
    // The grammar is already checked; what is left is the exact value.
    const std::string& ascii = *typed;
    std::size_t at = 0;
    const std::size_t end = ascii.size();

    bool negative = false;
    if (at < end && (ascii[at] == '+' || ascii[at] == '-')) {
        negative = ascii[at] == '-';
        ++at;
    }

    // The significant digits, leading zeros dropped, and how many of the digits
    // read stood after the point.
    std::string digits;
    std::int64_t fractionDigits = 0;
    bool anyDigit = false;
    for (; at < end && isDigit(ascii[at]); ++at) {
        anyDigit = true;
        if (!digits.empty() || ascii[at] != '0')
            digits.push_back(ascii[at]);
    }
    if (at < end && ascii[at] == '.') {
        for (++at; at < end && isDigit(ascii[at]); ++at) {
            anyDigit = true;
            ++fractionDigits;
            if (!digits.empty() || ascii[at] != '0')
                digits.push_back(ascii[at]);
        }
    }
    if (!anyDigit)
        return {NumberTextStatus::NotANumber, 0};  // unreachable after typedNumberText

    std::int64_t exponent = 0;
    if (at < end && (ascii[at] == 'e' || ascii[at] == 'E')) {
        ++at;
        bool exponentNegative = false;
        if (at < end && (ascii[at] == '+' || ascii[at] == '-')) {
            exponentNegative = ascii[at] == '-';
            ++at;
        }
        if (at == end || !isDigit(ascii[at]))
            return {NumberTextStatus::NotANumber, 0};  // unreachable after typedNumberText
        for (; at < end && isDigit(ascii[at]); ++at) {
            if (exponent < kExponentCeiling)
                exponent = exponent * 10 + (ascii[at] - '0');
        }
        if (exponentNegative)
            exponent = -exponent;
    }
    if (at != end)
        return {NumberTextStatus::NotANumber, 0};  // unreachable after typedNumberText

    if (digits.empty())
        return {NumberTextStatus::Ok, 0};

    // The value is digits × 10^(exponent - fractionDigits), digits without
    // leading zeros; wholeDigits of them stand before the point.
    const auto significant = static_cast<std::int64_t>(digits.size());
    const std::int64_t wholeDigits = significant + exponent - fractionDigits;
    if (wholeDigits > kMaxWholeDigits)
        return {NumberTextStatus::Overflow, 0};

    std::int64_t whole = 0;
    for (std::int64_t i = 0; i < wholeDigits; ++i)
        whole = whole * 10 + (i < significant ? digits[static_cast<std::size_t>(i)] - '0' : 0);

    // Round on the dropped digits: above or below one half decides; exactly one
    // half goes to the even neighbour.
    if (wholeDigits >= 0 && wholeDigits < significant) {
        const auto firstDropped = static_cast<std::size_t>(wholeDigits);
        const char d = digits[firstDropped];
        bool up = d > '5';
        if (d == '5') {
            const bool moreThanHalf = digits.find_first_not_of('0', firstDropped + 1) != std::string::npos;
            up = moreThanHalf || (whole % 2 != 0);
        }
        if (up)
            ++whole;
    }
    // wholeDigits < 0: the value is below 0.1, so it rounds to zero.

    if (negative)
        whole = -whole;
    if (whole < std::numeric_limits<std::int32_t>::min() || whole > std::numeric_limits<std::int32_t>::max())
        return {NumberTextStatus::Overflow, 0};
    return {NumberTextStatus::Ok, static_cast<std::int32_t>(whole)};
}

UdpPortFromText udpPortFromText(std::u16string_view text)
{
    const Int32FromText number = textToInt32(text);
    switch (number.status) {
    case NumberTextStatus::Ok:
        if (!isUdpPort(number.value))
            return {PortTextStatus::OutOfRange, 0};
        return {PortTextStatus::Ok, static_cast<std::uint16_t>(number.value)};
    case NumberTextStatus::Overflow:
        return {PortTextStatus::OutOfRange, 0};
    case NumberTextStatus::NotANumber:
        break;
    }
    return {PortTextStatus::NotANumber, 0};
}

}  // namespace heliotrope::link
