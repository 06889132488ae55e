#include "tools/bench/PictureSettle.h"

namespace bench {

std::optional<std::size_t> settledFrom(std::span<const PictureSample> samples, double stillMs, double atLeastMs)
{
    if (samples.empty())
        return std::nullopt;
    const PictureSample& last = samples.back();
    std::size_t first = samples.size() - 1;
    while (first > 0 && samples[first - 1].hash == last.hash)
        --first;
    if (last.askedMs - samples[first].askedMs < stillMs || last.askedMs < atLeastMs)
        return std::nullopt;
    return first;
}

}  // namespace bench
