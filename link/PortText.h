#pragma once

// The text of the controller port box to a number. Pure C++ (no Qt), so that it
// can be exercised on its own with arbitrary input.

#include <cstdint>
#include <string_view>

namespace heliotrope::link {

enum class NumberTextStatus {
    Ok,
    NotANumber,  // empty, letters, "nan", "inf", a lone sign or point, ...
    Overflow,    // a number, but outside the 32-bit signed range once rounded
};

struct Int32FromText {
    NumberTextStatus status = NumberTextStatus::NotANumber;
    std::int32_t value = 0;  // meaningful only when status is Ok
};

// Text to a 32-bit signed integer, read by the rule every number box follows
// (solar::typedNumberText: blanks around, full-width forms and the kana-mode
// minus read as ASCII, an optional sign, fraction and exponent; anything it
// refuses is NotANumber). A fraction then rounds to the nearest whole number,
// halves to the even one ("10006.5" gives 10006, "10007.5" gives 10008),
// decided on the decimal digits themselves, not on a binary double.
// Accepts any input without undefined behaviour; runs in time linear in its size.
Int32FromText textToInt32(std::u16string_view text);

enum class PortTextStatus {
    Ok,
    NotANumber,
    OutOfRange,  // a number outside 0 to 65535 (the 32-bit overflow included)
};

struct UdpPortFromText {
    PortTextStatus status = PortTextStatus::NotANumber;
    std::uint16_t port = 0;  // meaningful only when status is Ok
};

inline constexpr std::int64_t kMaxUdpPort = 65535;

constexpr bool isUdpPort(std::int64_t value)
{
    return value >= 0 && value <= kMaxUdpPort;
}

// textToInt32 followed by the check that the number is a UDP port (0 to 65535).
UdpPortFromText udpPortFromText(std::u16string_view text);

}  // namespace heliotrope::link
