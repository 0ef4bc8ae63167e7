#include "core/VolumeFigures.h"

#include "core/Location.h"
#include "core/MountIdentity.h"
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

// The file system that holds `folder`; nothing when it cannot be opened.
std::optional<MountIdentity> fileSystemOf(const std::string& folder)
{
    const UniqueFd fd = openChosenFolder(folder);
    MountIdentity id;
    if (!fd || !identifyOpen(fd.get(), id))
        return std::nullopt;
    return id;
}

} // namespace

std::optional<std::int64_t> getDiskTotalSize()
{
    const auto stats = platform::queryVolume("/");
    if (!stats)
        return std::nullopt;
    return clampToSigned(stats->size);
}

std::optional<std::int64_t> getDiskAvailableSize()
{
    const auto stats = platform::queryVolume("/");
    if (!stats)
        return std::nullopt;
    return clampToSigned(stats->available);
}

DiskFigures measureVolume(const std::string& folder)
{
    // Asked twice, as getDiskTotalSize and getDiskAvailableSize each ask.
    const auto total = platform::queryVolume(folder);
    const auto free = platform::queryVolume(folder);
    return {total ? clampToSigned(total->size) : 0, free ? clampToSigned(free->available) : 0, free.has_value()};
}

std::optional<DiskFigures> otherVolumeFigures(const std::string& folder)
{
    const std::optional<MountIdentity> root = fileSystemOf("/");
    const std::optional<MountIdentity> granted = fileSystemOf(folder);
    if (!root || !granted || granted->sameFileSystem(*root))
        return std::nullopt;
    return measureVolume(folder);
}

} // namespace headroom
