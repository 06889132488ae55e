#pragma once

namespace solar {

// The series and the solver were fitted with these literal values, not with
// the full double-precision pi. Using std::numbers::pi would move results on
// the rounding boundaries of the displayed texts, so every angle conversion
// in solar/ goes through these two.
inline constexpr double kPi = 3.14159265358979;
inline constexpr double kTwoPi = 6.28318530717958;

// Japan Standard Time is UT + 9 h all year; there is no daylight saving.
inline constexpr int kJstOffsetHours = 9;

}  // namespace solar
