#include "core/MemoryText.h"

#include "core/Platform.h"
#include "core/PurgeStatus.h"
#include "core/Saturating.h"
#include "core/SizeText.h"

namespace headroom {

namespace {
__extension__ typedef unsigned __int128 UInt128;
} // namespace

MemoryFigures memoryFigures(const VMStatSchema& sample)
{
    MemoryFigures figures;
    figures.totalPages = sample.getTotalMemory();
    const std::array<std::pair<const char*, std::uint64_t>, 4> split{{
        {"Free", sample.pagesFree},
        {"Wired", sample.pagesWiredDown},
        {"Active", sample.pagesActive},
        {"Inactive", sample.pagesInactive},
    }};
    const std::uint64_t pageSize = platform::pageSize();
    // The percentages divide by the sum taken in 128 bits: the 64-bit total
    // wraps when a broken source reports counters near 2^64, and a wrapped
    // total would give percentages far above 100.
    UInt128 total = 0;
    for (const auto& category : split)
        total += category.second;
    for (std::size_t i = 0; i < split.size(); ++i) {
        MemoryCategory& c = figures.categories[i];
        c.key = split[i].first;
        c.pages = split[i].second;
        // 2^52 pages of 4 KiB, or 2^48 of 64 KiB, already pass 2^64 bytes.
        c.bytes = saturatingMultiply(c.pages, pageSize);
        // 100 * p / T in integers, fraction dropped. A total of 0 only comes
        // from a failed sample and is never divided by. 128-bit so that
        // counters near 2^64 cannot wrap.
        c.percent = total == 0 ? 0 : static_cast<int>(static_cast<UInt128>(c.pages) * 100 / total);
    }
    return figures;
}

std::string memoryBoxTitle(const KeyLookup& tr, const MemoryCategory& category)
{
    return tr(category.key) + convertBytes(category.bytes);
}

std::string memoryStatusLine1(const KeyLookup& tr, const MemoryFigures& figures)
{
    return memoryBoxTitle(tr, figures.categories[0]) + "  " + memoryBoxTitle(tr, figures.categories[1]);
}

std::string memoryStatusLine2(const KeyLookup& tr, const MemoryFigures& figures)
{
    return memoryBoxTitle(tr, figures.categories[2]) + "  " + memoryBoxTitle(tr, figures.categories[3]);
}

std::uint64_t memoryGivenBack(const MemoryFigures& before, const MemoryFigures& after)
{
    const std::uint64_t was = before.categories[0].bytes;
    const std::uint64_t now = after.categories[0].bytes;
    return now > was ? now - was : 0;
}

std::string releaseReport(const KeyLookup& tr, int toolStatus, const MemoryFigures& before, const MemoryFigures& after)
{
    switch (toolStatus) {
    case 0: break;
    case purge::kNotStarted: return tr("Release No Helper");
    case purge::kNoPkexec: return tr("Release No Pkexec");
    case purge::kDismissed: return tr("Release Cancelled");
    case purge::kNotAuthorized: return tr("Release Refused");
    default: return tr("Release Failed");
    }
    if (before.totalPages == 0 || after.totalPages == 0)
        return tr("Release Unmeasured");
    const std::uint64_t bytes = memoryGivenBack(before, after);
    if (bytes == 0)
        return tr("Release Nothing");
    return tr("Release Freed") + convertBytes(bytes);
}

} // namespace headroom
