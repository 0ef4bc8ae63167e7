#include "core/DiskText.h"

#include "core/SizeText.h"

#include <array>
#include <cerrno>

namespace headroom {

namespace {
__extension__ typedef __int128 Int128;
} // namespace

DiskPercentages diskPercentages(std::int64_t total, std::int64_t free)
{
    if (total <= 0)
        return {};
    // A free figure outside 0..total cannot come from a sane volume; clamp it
    // so the gauge stays within 0..100. 128-bit keeps (total - free) * 100
    // exact for any 64-bit total.
    if (free < 0)
        free = 0;
    if (free > total)
        free = total;
    const auto used = static_cast<int>(static_cast<Int128>(total - free) * 100 / total);
    return {used, 100 - used};
}

std::string diskGaugeTitle(int usedPercent)
{
    return std::to_string(usedPercent) + "%";
}

std::string diskStatusLine(const KeyLookup& tr, std::int64_t total, std::int64_t free)
{
    const DiskPercentages percent = diskPercentages(total, free);
    const auto asBytes = [](std::int64_t v) { return v < 0 ? std::uint64_t{0} : static_cast<std::uint64_t>(v); };
    std::string line = tr("Total");
    line += ":";
    line += convertBytes(asBytes(total));
    line += "  ";
    line += tr("FreeDisk");
    line += ":";
    line += convertBytes(asBytes(free));
    line += " (";
    line += std::to_string(percent.free);
    line += "%)";
    return line;
}

std::string folderDiskStatusLine(const KeyLookup& tr, std::int64_t total, std::int64_t free)
{
    return tr("Folder Disk") + diskStatusLine(tr, total, free);
}

std::string junkCheckBoxTitle(const KeyLookup& tr, std::string_view labelKey, std::uint64_t bytes)
{
    std::string title = tr(labelKey);
    if (bytes > 0)
        title += convertBytes(bytes);
    return title;
}

std::string diskGaugeAccessibleName(const KeyLookup& tr, int usedPercent)
{
    std::string label = tr("Disk");
    while (!label.empty() && label.back() == ' ')
        label.pop_back();
    return label + " " + std::to_string(usedPercent) + " " + tr("Percent Used");
}

std::uint64_t spaceGained(const CleanSpace& space)
{
    if (!space.freeBefore || !space.freeAfter)
        return 0;
    const Int128 gained = Int128{*space.freeAfter} - *space.freeBefore;
    return gained <= 0 ? 0 : static_cast<std::uint64_t>(gained);
}

bool spaceStillHeld(std::uint64_t gained, std::uint64_t removed)
{
    constexpr std::uint64_t kFloor = std::uint64_t{1} << 20;
    return gained < removed / 2 && removed - gained > kFloor;
}

std::string cleanReport(const KeyLookup& tr, const CleanSpace& space)
{
    if (!space.freeBefore || !space.freeAfter)
        return tr("Clean Unmeasured");
    const std::uint64_t gained = spaceGained(space);
    std::string text = tr("Clean Freed") + convertBytes(gained);
    if (spaceStillHeld(gained, space.removedBytes))
        text.append("\n")
            .append(tr("Clean Removed"))
            .append(convertBytes(space.removedBytes))
            .append("\n")
            .append(tr("Clean Held"));
    return text;
}

RowLeft rowLeftFor(int error)
{
    switch (error) {
    case ELOOP: return RowLeft::Link;
    case EXDEV: return RowLeft::MountInside;
    case EROFS: return RowLeft::ReadOnly;
    case EACCES:
    case EPERM: return RowLeft::Permission;
    case EBUSY:
    case ETXTBSY: return RowLeft::InUse;
    default: return RowLeft::Failed;
    }
}

std::string cleanRowLine(const KeyLookup& tr, std::string_view labelKey, RowLeft why, std::string_view linkTarget)
{
    static constexpr std::array<std::string_view, 7> kReasons{"Left Link",      "Left Mount",      "Left Mount Inside",
                                                              "Left Read Only", "Left Permission", "Left In Use",
                                                              "Left Failed"};
    std::string line = tr(labelKey);
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    line += ": ";
    line += tr(kReasons[static_cast<std::size_t>(why)]);
    if (why == RowLeft::Link)
        line += linkTarget;
    return line;
}

} // namespace headroom
