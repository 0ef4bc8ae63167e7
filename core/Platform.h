#pragma once

// The narrow seam between Headroom and the system figures it reads, so that
// tests can make each of them fail. Overrides are process-wide; set them
// before any worker starts.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace headroom::platform {

struct VolumeStats {
    std::uint64_t size = 0;      // f_blocks * f_frsize
    std::uint64_t available = 0; // f_bavail * f_frsize
};

// Asked with the folder whose volume is wanted: "/" for the start-up
// volume, or a granted folder as the user chose it.
using VolumeQuery = std::function<std::optional<VolumeStats>(const std::string& folder)>;

// The figures of the file system that holds `folder`, opened as the junk
// job opens the granted folder (links followed, at any length), unless a
// test installed its own query; absent on failure.
std::optional<VolumeStats> queryVolume(const std::string& folder);
void setVolumeQueryForTesting(VolumeQuery query); // empty: back to the real one

// The page-counter source ("/proc/vmstat" by default).
std::string vmstatPath();
void setVmstatPathForTesting(std::string path); // empty: back to the default

// The kernel's page size in bytes, the unit of every page count in
// /proc/vmstat: sysconf(_SC_PAGESIZE), asked once; 4096 should that fail.
std::uint64_t pageSize();
// 0, or a size that is not a whole number of KiB: back to the system's.
void setPageSizeForTesting(std::uint64_t bytes);

// The purge tool that memory release runs. Defaults to the installed
// helper; HEADROOM_PURGE_TOOL is not read (nothing is configured), but a
// build-tree run finds the helper beside the running executable.
std::string purgeToolPath();
void setPurgeToolPathForTesting(std::string path); // empty: back to the default

} // namespace headroom::platform
