#include "core/DiskText.h"
#include "core/MemoryText.h"
#include "core/Platform.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <string>
#include <tuple>

using namespace headroom;

namespace {

constexpr std::int64_t kGB = 1073741824;
constexpr std::int64_t kMiB = 1048576;
constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

// Every key reads as itself, as with an empty string table.
const KeyLookup kIdentity = [](std::string_view key) { return std::string(key); };

// Texts that differ from their keys and end in a blank, to show where each
// one goes and that nothing is inserted or trimmed but the gauge name's blank.
const KeyLookup kMarked = [](std::string_view key) { return "<" + std::string(key) + "> "; };

// The figures of pages of `pageSize` bytes (through the platform's seam,
// put back afterwards).
MemoryFigures figures(std::uint64_t free, std::uint64_t wired, std::uint64_t active, std::uint64_t inactive,
                      std::uint64_t pageSize = 65536)
{
    const VMStatSchema s{.pagesFree = free, .pagesActive = active, .pagesInactive = inactive, .pagesWiredDown = wired};
    platform::setPageSizeForTesting(pageSize);
    const MemoryFigures f = memoryFigures(s);
    platform::setPageSizeForTesting(0);
    return f;
}

} // namespace

TEST(DiskText, PercentagesGaugeAndStatusLine)
{
    // Used is truncated, so free is rounded up; a total of 0 or less is
    // never divided by; free outside 0..total is clamped; no overflow.
    const std::tuple<std::int64_t, std::int64_t, int, int, const char*> rows[] = {
        {500107862016, 250790436864, 49, 51, "Total:465.76 GB  FreeDisk:233.57 GB (51%)"},
        {1000 * kGB, 333 * kGB, 66, 34, "Total:1000.00 GB  FreeDisk:333.00 GB (34%)"},
        {499963174912, 4999631749, 99, 1, "Total:465.63 GB  FreeDisk:4.66 GB (1%)"},
        {0, 0, 0, 0, "Total:0 Bytes  FreeDisk:0 Bytes (0%)"},
        {-1, -1, 0, 0, "Total:0 Bytes  FreeDisk:0 Bytes (0%)"},
        {100, 200, 0, 100, "Total:100 Bytes  FreeDisk:200 Bytes (100%)"},
        {100, -5, 100, 0, "Total:100 Bytes  FreeDisk:0 Bytes (0%)"},
        {kInt64Max, 0, 100, 0, "Total:8589934592.00 GB  FreeDisk:0 Bytes (0%)"},
        {kInt64Max, kInt64Max / 2, 50, 50, "Total:8589934592.00 GB  FreeDisk:4294967296.00 GB (50%)"},
    };
    for (const auto& [total, free, used, freePercent, line] : rows) {
        const DiskPercentages p = diskPercentages(total, free);
        EXPECT_EQ(p.used, used) << line;
        EXPECT_EQ(p.free, freePercent) << line;
        EXPECT_EQ(diskGaugeTitle(p.used), std::to_string(used) + "%");
        EXPECT_EQ(diskStatusLine(kIdentity, total, free), line);
    }
    EXPECT_EQ(diskStatusLine(kMarked, 1000, 10), "<Total> :1000 Bytes  <FreeDisk> :10 Bytes (1%)");
}

TEST(DiskText, CheckBoxTitleAndGaugeName)
{
    EXPECT_EQ(junkCheckBoxTitle(kIdentity, "Caches", 0), "Caches");
    EXPECT_EQ(junkCheckBoxTitle(kIdentity, "Caches", 1), "Caches1 Bytes");
    EXPECT_EQ(junkCheckBoxTitle(kMarked, "Caches", 1536), "<Caches> 1.5 KB");
    EXPECT_EQ(diskGaugeAccessibleName(kIdentity, 66), "Disk 66 Percent Used");
    EXPECT_EQ(diskGaugeAccessibleName(kMarked, 0), "<Disk> 0 <Percent Used> ");
}

TEST(DiskText, CleanReportTellsTheGainAndWhenSpaceIsHeld)
{
    // Free space before and after, bytes removed, the report. Held: under
    // half came back and short by more than 1 MiB.
    using Free = std::optional<std::int64_t>;
    const std::tuple<Free, Free, std::uint64_t, const char*> rows[] = {
        {100 * kGB, 101 * kGB, kGB, "Clean Freed1.00 GB"},
        {100 * kGB, 100 * kGB + 3 * kMiB, 2 * kMiB, "Clean Freed3.0 MB"},
        {100 * kGB, 100 * kGB + 300 * kMiB, kGB, "Clean Freed300.0 MB\nClean Removed1.00 GB\nClean Held"},
        {100 * kGB, 99 * kGB, 2 * kGB, "Clean Freed0 Bytes\nClean Removed2.00 GB\nClean Held"},
        {0, 0, kMiB, "Clean Freed0 Bytes"},
        {0, 0, kMiB + 1, "Clean Freed0 Bytes\nClean Removed1.0 MB\nClean Held"},
        {0, 50 * kMiB, 100 * kMiB, "Clean Freed50.0 MB"},
        {0, 50 * kMiB - 1, 100 * kMiB, "Clean Freed50.0 MB\nClean Removed100.0 MB\nClean Held"},
        {std::numeric_limits<std::int64_t>::min(), kInt64Max, kMax, "Clean Freed17179869184.00 GB"},
        {std::nullopt, 5 * kGB, kGB, "Clean Unmeasured"},
        {5 * kGB, std::nullopt, kGB, "Clean Unmeasured"},
    };
    for (const auto& [before, after, removed, text] : rows)
        EXPECT_EQ(cleanReport(kIdentity, {before, after, removed}), text);
    EXPECT_EQ(cleanReport(kMarked, {0, 0, kGB}), "<Clean Freed> 0 Bytes\n<Clean Removed> 1.00 GB\n<Clean Held> ");
}

TEST(MemoryText, BytesSaturateAndPercentagesTruncateNeverWrapOrDivideByZero)
{
    // Page size; pages free, wired, active, inactive; bytes free (2^64 - 1
    // at most: 2^52 = kMax / 4096 + 1 pages of 4 KiB and 2^48 of 64 KiB are
    // past it); the percentages.
    const std::tuple<std::uint64_t, std::array<std::uint64_t, 4>, std::uint64_t, std::array<int, 4>> rows[] = {
        {4096, {1, 2, 3, 4}, 4096, {10, 20, 30, 40}},
        {16384, {1, 2, 2, 2}, 16384, {14, 28, 28, 28}},
        {65536, {0, 0, 0, 5000}, 0, {0, 0, 0, 100}},
        {65536, {0, 0, 0, 0}, 0, {0, 0, 0, 0}},
        {4096, {kMax / 4, kMax / 4, kMax / 4, kMax / 4}, kMax, {25, 25, 25, 25}},
        {65536, {kMax, 0, 0, 0}, kMax, {100, 0, 0, 0}},
        {4096, {kMax / 4096 + 1, 1, 0, 0}, kMax, {99, 0, 0, 0}},
        {65536, {kMax / 65536, 1, 0, 0}, kMax - 65535, {99, 0, 0, 0}},
        {65536, {kMax / 65536 + 1, 1, 0, 0}, kMax, {99, 0, 0, 0}},
        {16384, {kMax, kMax, 1, 0}, kMax, {49, 49, 0, 0}},
        {16384, {std::uint64_t{1} << 63, std::uint64_t{1} << 63, 3, 0}, kMax, {49, 49, 0, 0}},
    };
    for (const auto& [pageSize, pages, freeBytes, percent] : rows) {
        const MemoryFigures f = figures(pages[0], pages[1], pages[2], pages[3], pageSize);
        EXPECT_EQ(f.categories[0].bytes, freeBytes) << pages[0] << " pages of " << pageSize;
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_EQ(f.categories[i].percent, percent[i]) << pages[0] << " " << pages[1] << " slot " << i;
    }
    EXPECT_EQ(figures(1, 2, 3, 4).totalPages, 10u);
}

TEST(MemoryText, TitlesAndStatusLines)
{
    // 4 GiB in 64 KiB pages.
    const MemoryFigures f = figures(16384, 8192, 24576, 16384);
    EXPECT_EQ(memoryStatusLine1(kIdentity, f), "Free1.00 GB  Wired512.0 MB");
    EXPECT_EQ(memoryStatusLine2(kIdentity, f), "Active1.50 GB  Inactive1.00 GB");
    EXPECT_EQ(memoryStatusLine1(kMarked, f), "<Free> 1.00 GB  <Wired> 512.0 MB");
    EXPECT_EQ(memoryStatusLine2(kMarked, f), "<Active> 1.50 GB  <Inactive> 1.00 GB");
    EXPECT_EQ(memoryStatusLine2(kIdentity, memoryFigures(VMStatSchema{})), "Active0 Bytes  Inactive0 Bytes");
}

TEST(MemoryText, ReleaseReport)
{
    const MemoryFigures before = figures(100000, 5000, 500000, 300000);
    const MemoryFigures after = figures(600000, 5000, 150000, 150000);
    const MemoryFigures failed = memoryFigures(VMStatSchema{});
    const std::tuple<int, const MemoryFigures&, const MemoryFigures&, const char*> rows[] = {
        {0, before, after, "Release Freed30.52 GB"}, {0, after, before, "Release Nothing"},
        {0, before, before, "Release Nothing"},     {1, before, after, "Release Failed"},
        {127, before, after, "Release Failed"},     {-1, before, after, "Release Failed"},
        {0, failed, after, "Release Unmeasured"},   {0, before, failed, "Release Unmeasured"},
    };
    for (const auto& [status, was, now, text] : rows)
        EXPECT_EQ(releaseReport(kIdentity, status, was, now), text) << status;
}
