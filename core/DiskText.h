#pragma once

// Pure composition of the disk figures: no widgets, no Qt. The application
// and headroom-cli both build their texts here, so they always agree.

#include "core/KeyLookup.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace headroom {

struct DiskPercentages {
    int used = 0; // (total - free) * 100 / total, truncated; 0..100
    int free = 0; // 100 - used; 0 too when the total is unknown
};

// A total of 0 or less (the volume could not be read) is never divided by:
// both percentages are then 0.
DiskPercentages diskPercentages(std::int64_t total, std::int64_t free);

// The gauge box title: the used percentage followed by "%", e.g. "49%".
std::string diskGaugeTitle(int usedPercent);

// "Total:465.76 GB  FreeDisk:233.57 GB (51%)" with the keys' texts.
std::string diskStatusLine(const KeyLookup& tr, std::int64_t total, std::int64_t free);

// The line under it for the granted folder's volume, where that is another
// than "/"'s: the "Folder Disk" text followed by the same line for that
// volume, "Home folder's disk: Total:931.51 GB  Free:100.00 GB (10%)".
std::string folderDiskStatusLine(const KeyLookup& tr, std::int64_t total, std::int64_t free);

// Check-box title after a scan: the label's text, followed directly by the
// size text when the location holds more than 0 bytes.
std::string junkCheckBoxTitle(const KeyLookup& tr, std::string_view labelKey, std::uint64_t bytes);

// What screen readers hear for the disk gauge: "Disk 49 % used".
std::string diskGaugeAccessibleName(const KeyLookup& tr, int usedPercent);

// What a clean did to the volume: its free space sampled before the first
// removal and by the refresh after the clean, and what the removed
// locations measured (apparent sizes, as the scan counts them).
struct CleanSpace {
    std::optional<std::int64_t> freeBefore; // nothing when the volume could not be read
    std::optional<std::int64_t> freeAfter;
    std::uint64_t removedBytes = 0;
};

// Bytes the volume gained; 0 when it gained nothing or could not be read.
std::uint64_t spaceGained(const CleanSpace& space);

// Whether the volume got back so much less than was removed that the report
// says why: under half of it, and short by more than 1 MiB (other programs
// write to the disk meanwhile, and small files take whole blocks).
bool spaceStillHeld(std::uint64_t gained, std::uint64_t removed);

// The report after a clean: what the volume gained and, when space is still
// held, what was removed and that open files or hard links keep the rest in
// use; lines joined by "\n".
std::string cleanReport(const KeyLookup& tr, const CleanSpace& space);

// Why a clean did not remove a row whole.
enum class RowLeft { Link, OtherMount, MountInside, ReadOnly, Permission, InUse, Failed };

// The reason the first errno of a removal gives: ELOOP, EXDEV (another
// mount inside), EROFS, EACCES and EPERM, EBUSY and ETXTBSY; any other is
// Failed.
RowLeft rowLeftFor(int error);

// A row's line in the report: its label, ": " and the reason, followed by
// the link's target for a link, e.g. "Caches: left in place, a link to
// /big/cache".
std::string cleanRowLine(const KeyLookup& tr, std::string_view labelKey, RowLeft why, std::string_view linkTarget);

} // namespace headroom
