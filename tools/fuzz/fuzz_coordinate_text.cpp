// The latitude and longitude boxes' text to a number. The input is the box's
// UTF-8 text, any bytes at all. A second reading, written independently here
// from the promises of the header, decides what must be accepted and to which
// value: a strict UTF-8 decoding, the input method's full-width characters
// folded to ASCII, blanks trimmed, the decimal grammar, then strtod. Whatever
// is accepted must be finite and equal to that value; whatever is refused
// must be refused by that reading too. A number that overflows a double, or
// underflows it to zero, is refused.

#include "FuzzCheck.h"
#include "solar/CoordinateText.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

using fuzzcheck::require;

namespace {

// Strict UTF-8 (RFC 3629): no overlong forms, no surrogates, nothing past
// U+10FFFF, no truncated sequence. Returns false for anything else.
bool decodeStrict(std::string_view s, std::u32string& out)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        int extra = 0;
        char32_t cp = 0;
        char32_t minimum = 0;
        if (b0 < 0x80) {
            cp = b0;
        } else if (b0 >= 0xC2 && b0 <= 0xDF) {
            cp = b0 & 0x1Fu;
            extra = 1;
            minimum = 0x80;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            cp = b0 & 0x0Fu;
            extra = 2;
            minimum = 0x800;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            cp = b0 & 0x07u;
            extra = 3;
            minimum = 0x10000;
        } else {
            return false;
        }
        if (s.size() - i <= static_cast<std::size_t>(extra))
            return false;
        for (int k = 1; k <= extra; ++k) {
            const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if ((b & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (b & 0x3Fu);
        }
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        out.push_back(cp);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return true;
}

// What a character typed with the Japanese input method stands for in a
// number; 0 when it stands for nothing a number may hold.
char folded(char32_t cp)
{
    if (cp >= U'0' && cp <= U'9')
        return static_cast<char>(cp);
    if (cp >= 0xFF10 && cp <= 0xFF19)
        return static_cast<char>('0' + (cp - 0xFF10));
    switch (cp) {
    case U' ':
    case U'\t':
    case U'\n':
    case U'\r':
    case U'\v':
    case U'\f':
    case 0x3000:
        return ' ';
    case U'.':
    case 0xFF0E:
        return '.';
    case U'+':
    case 0xFF0B:
        return '+';
    case U'-':
    case 0xFF0D:
    case 0x2212:
    case 0x30FC:
        return '-';
    case U'e':
    case U'E':
    case 0xFF45:
    case 0xFF25:
        return 'e';
    default:
        return 0;
    }
}

// sign? (digits ('.' digits?)? | '.' digits) ('e' sign? digits)?
bool isDecimal(const std::string& t)
{
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t from = i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9')
            ++i;
        return i - from;
    };
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        ++i;
    std::size_t mantissa = digits();
    if (i < t.size() && t[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return false;
    if (i < t.size() && t[i] == 'e') {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == t.size();
}

std::optional<double> expectedReading(std::string_view utf8)
{
    std::u32string codePoints;
    if (!decodeStrict(utf8, codePoints))
        return std::nullopt;
    std::string ascii;
    for (const char32_t cp : codePoints) {
        const char c = folded(cp);
        if (c == 0)
            return std::nullopt;
        ascii.push_back(c);
    }
    const std::size_t first = ascii.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::nullopt;
    const std::string number = ascii.substr(first, ascii.find_last_not_of(' ') - first + 1);
    if (!isDecimal(number))
        return std::nullopt;
    const double v = std::strtod(number.c_str(), nullptr);  // the "C" locale: a point is the separator
    if (!std::isfinite(v))
        return std::nullopt;
    // A number too small for a double ("1e-400") does not fit either: it is
    // refused rather than read as 0.
    const std::string mantissa = number.substr(0, number.find('e'));
    if (v == 0 && mantissa.find_first_of("123456789") != std::string::npos)
        return std::nullopt;
    return v;
}

std::string shown(const std::optional<double>& v)
{
    if (!v)
        return "refused";
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.17g", *v);
    return buf;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(bytes), size);
    const std::optional<double> got = solar::parseCoordinateText(text);
    if (got)
        require(std::isfinite(*got), "an accepted coordinate is finite", fuzzcheck::escaped(text));
    const std::optional<double> expected = expectedReading(text);
    const bool same = got.has_value() == expected.has_value() && (!got || *got == *expected);
    require(same, "the coordinate text reads as the header promises",
            "'" + fuzzcheck::escaped(text) + "' gave " + shown(got) + ", expected " + shown(expected));
    return 0;
}
