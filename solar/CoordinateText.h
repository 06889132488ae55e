#pragma once

#include <optional>
#include <string_view>

namespace solar {

// Reads a latitude or longitude box by the rule every number box follows
// (typedNumberText: blanks around, full-width forms and the kana-mode minus
// read as ASCII, a point as the decimal separator, an exponent accepted). The
// number must also fit a finite double: "1e999", and "1e-400" which would
// underflow to zero, are refused (nullopt), as is everything typedNumberText
// refuses, so nothing but a number can reach the sun's arithmetic.
std::optional<double> parseCoordinateText(std::string_view utf8);

}  // namespace solar
