#pragma once

#include <optional>
#include <string_view>

namespace solar {

// Reads a latitude or longitude box the way a person types it: blanks around
// the number (ASCII, tab or the full-width U+3000) are allowed, a point is the
// decimal separator, an exponent is accepted, and the full-width digits,
// point, signs and exponent letter of the Japanese input method ("３５．６４",
// "－７０", and the prolonged-sound mark "ー" that the minus key gives in kana
// mode) count as their ASCII counterparts. Anything else — empty text, letters,
// "nan", "inf", a comma, a value that does not fit a finite double such as
// "1e999", text that is not valid UTF-8 — is refused (nullopt), so it can
// never reach the sun's arithmetic.
std::optional<double> parseCoordinateText(std::string_view utf8);

}  // namespace solar
