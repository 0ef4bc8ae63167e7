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

DiskFigures measureVolume()
{
    const std::optional<std::int64_t> free = getDiskAvailableSize();
    return {getDiskTotalSize().value_or(0), free.value_or(0), free.has_value()};
}

} // namespace headroom
