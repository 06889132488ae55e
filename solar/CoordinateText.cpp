#include "solar/CoordinateText.h"

#include "solar/TypedNumber.h"

#include <charconv>
#include <cmath>
#include <string>

namespace solar {

std::optional<double> parseCoordinateText(std::string_view utf8)
{
    const std::optional<std::string> typed = typedNumberText(utf8);
    if (!typed)
        return std::nullopt;
    std::string_view number = *typed;
    // from_chars takes no leading '+', and reads with the "C" locale's point
    // whatever the operator's regional settings are.
    if (number.front() == '+')
        number.remove_prefix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec != std::errc() || end != number.data() + number.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

}  // namespace solar
