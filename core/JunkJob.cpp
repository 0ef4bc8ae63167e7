#include "core/JunkJob.h"

#include "core/Location.h"
#include "core/TreeRemover.h"
#include "core/TreeWalker.h"
#include "core/VolumeFigures.h"

#include <unistd.h>

namespace headroom {

DiskFigures measureVolume()
{
    const std::optional<std::int64_t> free = getDiskAvailableSize();
    return {getDiskTotalSize().value_or(0), free.value_or(0), free.has_value()};
}

bool JunkJob::takes(std::size_t row) const
{
    return !cancelled() && (!chosen || chosen(row));
}

// The same object that the clean removes: base/relative reached without
// following a link below the base. A location that cannot be reached
// measures 0, and so does a walk stopped by a cancel.
std::uint64_t JunkJob::measure(std::string_view relative) const
{
    const OpenedLocation location = openLocationParent(folders.base, relative);
    if (location.parentFd < 0)
        return 0;
    WalkOptions options;
    options.cancel = cancel;
    const WalkResult result = measureTreeAt(location.parentFd, location.leaf, options);
    ::close(location.parentFd);
    return result.cancelled ? 0 : result.bytes;
}

// Removes base/relative and returns what went: its size just before, less
// whatever a removal that failed in part left behind. The walk before the
// removal also brings the folders into the cache that the removal reads.
std::uint64_t JunkJob::removeMeasured(std::string_view relative) const
{
    const std::uint64_t before = measureRemoved ? measure(relative) : 0;
    const RemoveResult result = removeLocation(folders.base, std::string(relative), cancel);
    if (!measureRemoved || result.locationGone || result.cancelled)
        return before;
    const std::uint64_t left = measure(relative);
    return before > left ? before - left : 0;
}

bool JunkJob::scan(const RowDone& done) const
{
    return scanRows(done, false);
}

bool JunkJob::scanRows(const RowDone& done, bool everyRow) const
{
    for (std::size_t row = 0; row < kJunkRowCount; ++row) {
        if (!takes(row) && !(everyRow && !cancelled())) {
            if (cancelled())
                return false;
            continue;
        }
        const std::uint64_t bytes = measure(folders.rows[row].relativePath);
        if (cancelled())
            return false; // the walk was cut short: its figure is not reported
        done(row, bytes);
    }
    return !cancelled();
}

std::optional<CleanOutcome> JunkJob::clean(const RowDone& done, Rescan rescan) const
{
    // For the report: the volume's free space before anything goes.
    const DiskFigures before = measureVolume();
    std::uint64_t removedBytes = 0;
    for (std::size_t row = 0; row < kJunkRowCount; ++row) {
        if (!takes(row)) {
            if (cancelled())
                return std::nullopt;
            continue;
        }
        // Whether it went or not, the scan below shows what is left.
        removedBytes += removeMeasured(folders.rows[row].relativePath);
    }
    if (cancelled() || !scanRows(done, rescan == Rescan::Every))
        return std::nullopt;
    CleanOutcome outcome;
    outcome.volumeAfter = measureVolume();
    if (before.freeRead)
        outcome.space.freeBefore = before.free;
    if (outcome.volumeAfter.freeRead)
        outcome.space.freeAfter = outcome.volumeAfter.free;
    outcome.space.removedBytes = removedBytes;
    return outcome;
}

} // namespace headroom
