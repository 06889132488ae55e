#include "solar/TypedNumber.h"

namespace solar {
namespace {

// Decodes one UTF-8 code point at `i`; returns false on malformed input.
bool nextCodePoint(std::string_view s, std::size_t& i, char32_t& cp)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    int extra = 0;
    if (b0 < 0x80) {
        cp = b0;
    } else if ((b0 & 0xE0) == 0xC0) {
        cp = b0 & 0x1F;
        extra = 1;
    } else if ((b0 & 0xF0) == 0xE0) {
        cp = b0 & 0x0F;
        extra = 2;
    } else if ((b0 & 0xF8) == 0xF0) {
        cp = b0 & 0x07;
        extra = 3;
    } else {
        return false;
    }
    if (i + static_cast<std::size_t>(extra) >= s.size())
        return false;
    for (int k = 1; k <= extra; ++k) {
        const unsigned char b = byte(i + static_cast<std::size_t>(k));
        if ((b & 0xC0) != 0x80)
            return false;
        cp = (cp << 6) | (b & 0x3F);
    }
    // An overlong form ("\xC0\xAE" for '.') or a surrogate is not text a
    // keyboard or an input method produces; reading it as the character it
    // disguises would let bytes no one typed pass as a number.
    static constexpr char32_t kShortestFrom[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kShortestFrom[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return false;
    i += static_cast<std::size_t>(extra) + 1;
    return true;
}

// Full-width forms of the printable ASCII characters sit at a fixed distance
// above their originals.
constexpr char32_t kFullWidthFirst = 0xFF01;  // ！
constexpr char32_t kFullWidthLast = 0xFF5E;   // ～
constexpr char32_t kFullWidthOffset = kFullWidthFirst - U'!';

// The ASCII character a code point stands for in a typed number, or 0.
char asciiEquivalent(char32_t cp)
{
    if (cp >= kFullWidthFirst && cp <= kFullWidthLast)
        cp -= kFullWidthOffset;
    switch (cp) {
    case 0x3000:
        return ' ';  // ideographic space
    case 0x2212:     // minus sign
    case 0x30FC:     // prolonged sound mark: the minus key in kana mode
        return '-';
    default:
        break;
    }
    if (cp == 0 || cp >= 0x80)
        return 0;
    return static_cast<char>(cp);
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// sign? (digits ('.' digits?)? | '.' digits) ([eE] sign? digits)?
bool isPlainDecimal(std::string_view t)
{
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        ++i;
    std::size_t mantissaDigits = 0;
    for (; i < t.size() && isDigit(t[i]); ++i)
        ++mantissaDigits;
    if (i < t.size() && t[i] == '.') {
        for (++i; i < t.size() && isDigit(t[i]); ++i)
            ++mantissaDigits;
    }
    if (mantissaDigits == 0)
        return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            ++i;
        std::size_t exponentDigits = 0;
        for (; i < t.size() && isDigit(t[i]); ++i)
            ++exponentDigits;
        if (exponentDigits == 0)
            return false;
    }
    return i == t.size();
}

// The mapped characters, blanks around dropped, checked against the grammar.
std::optional<std::string> plainNumber(std::string ascii)
{
    std::size_t first = 0;
    std::size_t last = ascii.size();
    while (first < last && isBlank(ascii[first]))
        ++first;
    while (last > first && isBlank(ascii[last - 1]))
        --last;
    ascii.erase(last);
    ascii.erase(0, first);
    if (!isPlainDecimal(ascii))
        return std::nullopt;
    return ascii;
}

}  // namespace

std::optional<std::string> typedNumberText(std::string_view utf8)
{
    std::string ascii;
    ascii.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = 0;
        if (!nextCodePoint(utf8, i, cp))
            return std::nullopt;
        const char c = asciiEquivalent(cp);
        if (c == 0)
            return std::nullopt;
        ascii.push_back(c);
    }
    return plainNumber(std::move(ascii));
}

std::optional<std::string> typedNumberText(std::u16string_view utf16)
{
    std::string ascii;
    ascii.reserve(utf16.size());
    for (const char16_t unit : utf16) {
        // A surrogate, paired or not, is never part of a number: no character
        // beyond U+FFFF stands for one.
        const char c = unit >= 0xD800 && unit <= 0xDFFF ? 0 : asciiEquivalent(unit);
        if (c == 0)
            return std::nullopt;
        ascii.push_back(c);
    }
    return plainNumber(std::move(ascii));
}

}  // namespace solar
