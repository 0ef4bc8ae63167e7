#include "core/Platform.h"

#include "core/Location.h"
#include "core/Process.h"
#include "core/Saturating.h"

#include <mutex>
#include <utility>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#ifndef HEADROOM_PURGE_TOOL_DEFAULT
#define HEADROOM_PURGE_TOOL_DEFAULT "/usr/libexec/headroom/headroom-purge"
#endif

namespace headroom::platform {

namespace {

// The overrides are process-wide and may be read from any worker thread.
struct Overrides {
    std::mutex mutex;
    VolumeQuery volumeQuery;
    std::string vmstatPath;
    std::string purgeToolPath;
    std::uint64_t pageSize = 0;
};

Overrides& overrides()
{
    static Overrides instance;
    return instance;
}

// Page sizes are powers of two from 4 KiB up; the page counters' KiB
// conversions need at least a whole number of KiB.
bool isPageSize(std::uint64_t bytes)
{
    return bytes != 0 && bytes % 1024 == 0;
}

std::optional<VolumeStats> statVolume(const std::string& folder)
{
    const UniqueFd fd = openChosenFolder(folder);
    struct statvfs info {};
    if (!fd || ::fstatvfs(fd.get(), &info) != 0)
        return std::nullopt;
    // f_frsize is the unit of f_blocks and f_bavail; a file system that
    // leaves it 0 means f_bsize.
    const std::uint64_t unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
    VolumeStats stats;
    stats.size = saturatingMultiply(info.f_blocks, unit);
    stats.available = saturatingMultiply(info.f_bavail, unit);
    return stats;
}

// The folder of the running executable, empty when it cannot be read.
std::string executableDir()
{
    const std::string path = process::executablePath();
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool isExecutableFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

} // namespace

std::optional<VolumeStats> queryVolume(const std::string& folder)
{
    VolumeQuery query;
    {
        const std::lock_guard lock(overrides().mutex);
        query = overrides().volumeQuery;
    }
    // Called outside the lock, so a test's query may itself use the seams.
    return query ? query(folder) : statVolume(folder);
}

void setVolumeQueryForTesting(VolumeQuery query)
{
    const std::lock_guard lock(overrides().mutex);
    overrides().volumeQuery = std::move(query);
}

std::string vmstatPath()
{
    const std::lock_guard lock(overrides().mutex);
    return overrides().vmstatPath.empty() ? std::string("/proc/vmstat") : overrides().vmstatPath;
}

void setVmstatPathForTesting(std::string path)
{
    const std::lock_guard lock(overrides().mutex);
    overrides().vmstatPath = std::move(path);
}

std::uint64_t pageSize()
{
    {
        const std::lock_guard lock(overrides().mutex);
        if (overrides().pageSize != 0)
            return overrides().pageSize;
    }
    static const std::uint64_t system = [] {
        const long bytes = ::sysconf(_SC_PAGESIZE);
        return bytes > 0 && isPageSize(static_cast<std::uint64_t>(bytes)) ? static_cast<std::uint64_t>(bytes)
                                                                          : std::uint64_t{4096};
    }();
    return system;
}

void setPageSizeForTesting(std::uint64_t bytes)
{
    const std::lock_guard lock(overrides().mutex);
    overrides().pageSize = isPageSize(bytes) ? bytes : 0;
}

std::string purgeToolPath()
{
    {
        const std::lock_guard lock(overrides().mutex);
        if (!overrides().purgeToolPath.empty())
            return overrides().purgeToolPath;
    }
    // A build-tree or relocated install keeps the helper beside the program.
    const std::string dir = executableDir();
    if (!dir.empty()) {
        std::string beside = dir == "/" ? "/headroom-purge" : dir + "/headroom-purge";
        if (isExecutableFile(beside))
            return beside;
    }
    return HEADROOM_PURGE_TOOL_DEFAULT;
}

void setPurgeToolPathForTesting(std::string path)
{
    const std::lock_guard lock(overrides().mutex);
    overrides().purgeToolPath = std::move(path);
}

} // namespace headroom::platform
