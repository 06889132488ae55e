// The controller port box's text to a number and to a UDP port. The input is
// the box's text as UTF-16, either taken two bytes a unit (any unit at all,
// lone surrogates included) or decoded from UTF-8 (so that the input method's
// full-width characters are easy to reach). The result is checked against a
// reading written here from the header's promises: the same grammar, and for
// numbers of up to 18 significant digits the value rounded half to even in
// long double arithmetic, which holds such a number exactly enough to tell a
// half from its neighbours.

#include "FuzzCheck.h"
#include "link/PortText.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

using fuzzcheck::require;
using namespace heliotrope::link;

namespace {

std::u16string utf16FromUtf8(const std::string& s)
{
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        const int extra = b0 < 0x80 ? 0 : b0 >= 0xF0 ? 3
            : b0 >= 0xE0                             ? 2
            : b0 >= 0xC0                             ? 1
                                                     : -1;
        char32_t cp = 0xFFFD;
        if (extra >= 0 && s.size() - i > static_cast<std::size_t>(extra)) {
            cp = extra == 0 ? b0 : (b0 & (0x3Fu >> extra));
            for (int k = 1; k <= extra; ++k)
                cp = (cp << 6) | (static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]) & 0x3Fu);
            i += static_cast<std::size_t>(extra) + 1;
        } else {
            ++i;
        }
        if (cp > 0x10FFFF)
            cp = 0xFFFD;
        if (cp >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string printable(const std::u16string& text)
{
    std::string out;
    for (const char16_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out.push_back(static_cast<char>(c));
        } else {
            char buf[12];
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
            out += buf;
        }
    }
    return out;
}

struct Reading {
    bool number = false;  // the text is a number at all
    bool exact = false;   // `value` below is trustworthy
    bool negative = false;
    std::string significand;  // digits without leading zeros
    std::int64_t scale = 0;   // value = significand x 10^scale
};

Reading read(const std::u16string& text)
{
    std::string ascii;
    for (char16_t c : text) {
        if (c >= u'\uFF01' && c <= u'\uFF5E')
            c = static_cast<char16_t>(c - (u'\uFF01' - u'!'));
        else if (c == u'\u3000')
            c = u' ';
        else if (c == u'\u2212' || c == u'\u30FC')
            c = u'-';
        if (c == 0 || c > 0x7F)
            return {};
        ascii.push_back(static_cast<char>(c));
    }
    const char* blanks = " \t\n\r\v\f";
    const std::size_t first = ascii.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    const std::string t = ascii.substr(first, ascii.find_last_not_of(blanks) - first + 1);

    Reading r;
    std::size_t i = 0;
    const auto isDigit = [&] { return i < t.size() && t[i] >= '0' && t[i] <= '9'; };
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        r.negative = t[i++] == '-';
    std::size_t mantissaDigits = 0;
    std::int64_t fractionDigits = 0;
    for (; isDigit(); ++i, ++mantissaDigits)
        if (!r.significand.empty() || t[i] != '0')
            r.significand.push_back(t[i]);
    if (i < t.size() && t[i] == '.')
        for (++i; isDigit(); ++i, ++mantissaDigits, ++fractionDigits)
            if (!r.significand.empty() || t[i] != '0')
                r.significand.push_back(t[i]);
    if (mantissaDigits == 0)
        return {};
    std::int64_t exponent = 0;
    bool exponentHuge = false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        bool exponentNegative = false;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            exponentNegative = t[i++] == '-';
        if (!isDigit())
            return {};
        for (; isDigit(); ++i) {
            exponent = exponent * 10 + (t[i] - '0');
            if (exponent > 1'000'000'000) {
                exponentHuge = true;
                exponent = 1'000'000'000;
            }
        }
        if (exponentNegative)
            exponent = -exponent;
    }
    if (i != t.size())
        return {};
    r.number = true;
    // Trailing zeros of the significand only move the scale.
    while (!r.significand.empty() && r.significand.back() == '0') {
        r.significand.pop_back();
        ++r.scale;
    }
    r.scale += exponent - fractionDigits;
    r.exact = !exponentHuge && r.significand.size() <= 18;
    return r;
}

void check(const std::u16string& text)
{
    const Int32FromText got = textToInt32(text);
    const UdpPortFromText port = udpPortFromText(text);
    const std::string what = "'" + printable(text) + "'";
    const Reading r = read(text);

    require((got.status != NumberTextStatus::NotANumber) == r.number, "a number exactly when the grammar says so",
            what + " status " + std::to_string(static_cast<int>(got.status)));
    if (got.status != NumberTextStatus::Ok)
        require(got.value == 0, "no value beside a failure", what);

    // The port is the number checked for 0..65535, nothing else.
    switch (got.status) {
    case NumberTextStatus::NotANumber:
        require(port.status == PortTextStatus::NotANumber, "a port that is not a number", what);
        break;
    case NumberTextStatus::Overflow:
        require(port.status == PortTextStatus::OutOfRange, "an overflowing port is out of range", what);
        break;
    case NumberTextStatus::Ok:
        if (got.value >= 0 && got.value <= 65535)
            require(port.status == PortTextStatus::Ok && port.port == got.value, "a port in range is taken", what);
        else
            require(port.status == PortTextStatus::OutOfRange, "a port out of range is refused",
                    what + " value " + std::to_string(got.value));
        break;
    }

    if (!r.number)
        return;
    if (r.significand.empty()) {
        require(got.status == NumberTextStatus::Ok && got.value == 0, "zero in any spelling is 0", what);
        return;
    }
    const std::int64_t wholeDigits = static_cast<std::int64_t>(r.significand.size()) + r.scale;
    if (wholeDigits > 11) {
        require(got.status == NumberTextStatus::Overflow, "a number of more than 11 whole digits overflows", what);
        return;
    }
    if (wholeDigits < -1) {
        require(got.status == NumberTextStatus::Ok && got.value == 0, "a number below 0.01 rounds to 0", what);
        return;
    }
    const std::string decimal = r.significand + "e" + std::to_string(r.scale);
    long double magnitude = std::strtold(decimal.c_str(), nullptr);
    std::fesetround(FE_TONEAREST);
    const long double rounded = std::nearbyintl(r.negative ? -magnitude : magnitude);
    const bool fits = rounded >= std::numeric_limits<std::int32_t>::min()
        && rounded <= std::numeric_limits<std::int32_t>::max();
    if (r.exact) {
        if (!fits) {
            require(got.status == NumberTextStatus::Overflow, "out of 32 bits once rounded overflows", what);
        } else {
            require(got.status == NumberTextStatus::Ok && got.value == static_cast<std::int64_t>(rounded),
                    "the number rounded half to even",
                    what + " gave " + std::to_string(got.value) + ", expected "
                        + std::to_string(static_cast<std::int64_t>(rounded)));
        }
    } else if (got.status == NumberTextStatus::Ok) {
        // Too many digits to decide a half here; the value is still within one.
        require(std::fabs(static_cast<long double>(got.value) - rounded) <= 1, "the number rounded", what);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    std::u16string text;
    if (data.ConsumeBool()) {
        while (data.remaining_bytes() >= 2)
            text.push_back(static_cast<char16_t>(data.ConsumeIntegral<std::uint16_t>()));
    } else {
        text = utf16FromUtf8(data.ConsumeRemainingBytesAsString());
    }
    check(text);
    return 0;
}
