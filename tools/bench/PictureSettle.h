#pragma once

// When a screen area first showed the picture it finally settled on, from a
// series of samples of its pixels: the rule the start-up measure applies.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace bench {

struct PictureSample {
    double askedMs = 0;      // when the pixels were asked for, from the program's start
    double answeredMs = 0;   // when they arrived
    std::uint64_t hash = 0;  // of the pixels
};

// The index of the first sample of the last picture, once that picture has
// stood unchanged for at least `stillMs` (from its first sample to the last
// one) and the samples reach at least `atLeastMs`; nullopt until then. A
// picture that shows, goes and comes back counts from its return: only an
// unbroken run of it at the end counts.
std::optional<std::size_t> settledFrom(std::span<const PictureSample> samples, double stillMs, double atLeastMs);

}  // namespace bench
