#include "core/VolumeFigures.h"

#include "core/Platform.h"

#include <limits>

namespace headroom {

namespace {

// Callers read volume figures as signed 64-bit; a figure beyond that range
// (only a bogus file system could report one) reads as the largest value.
std::int64_t clampToSigned(std::uint64_t value)
{
    constexpr auto max = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    return static_cast<std::int64_t>(value > max ? max : value);
}

} // namespace

std::optional<std::int64_t> getDiskTotalSize()
{
    const auto stats = platform::queryRootVolume();
    if (!stats)
        return std::nullopt;
    return clampToSigned(stats->size);
}

std::optional<std::int64_t> getDiskAvailableSize()
{
    const auto stats = platform::queryRootVolume();
    if (!stats)
        return std::nullopt;
    return clampToSigned(stats->available);
}

} // namespace headroom
