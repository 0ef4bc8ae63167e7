// The disk and memory texts composed from known figures: percentages that
// truncate and never divide by zero or wrap, the reports, and where each
// translated text goes.

#include "core/DiskText.h"
#include "core/JunkJob.h"
#include "core/MemoryText.h"
#include "core/Platform.h"
#include "tests/support/Seams.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <limits>
#include <optional>
#include <string>
#include <utility>

namespace headroom {
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

// The figures of a sample with these free, wired, active and inactive pages
// of `pageSize` bytes.
MemoryFigures figures(const std::array<std::uint64_t, 4>& pages, std::uint64_t pageSize = 65536)
{
    const test::SeamReset seams;
    platform::setPageSizeForTesting(pageSize);
    return memoryFigures(
        {.pagesFree = pages[0], .pagesActive = pages[2], .pagesInactive = pages[3], .pagesWiredDown = pages[1]});
}

// Used is truncated, so free is rounded up; a total of 0 or less is never
// divided by; free outside 0..total is clamped; nothing overflows.
TEST(DiskText, StatusLineAndItsPercentage)
{
    const auto line = [](std::int64_t total, std::int64_t free) { return diskStatusLine(kIdentity, total, free); };
    EXPECT_EQ(line(500107862016, 250790436864), "Total:465.76 GB  FreeDisk:233.57 GB (51%)");
    EXPECT_EQ(line(499963174912, 4999631749), "Total:465.63 GB  FreeDisk:4.66 GB (1%)");
    EXPECT_EQ(line(0, 0), "Total:0 Bytes  FreeDisk:0 Bytes (0%)");
    EXPECT_EQ(line(-1, -1), "Total:0 Bytes  FreeDisk:0 Bytes (0%)");
    EXPECT_EQ(line(100, 200), "Total:100 Bytes  FreeDisk:200 Bytes (100%)");
    EXPECT_EQ(line(100, -5), "Total:100 Bytes  FreeDisk:0 Bytes (0%)");
    EXPECT_EQ(line(kInt64Max, 0), "Total:8589934592.00 GB  FreeDisk:0 Bytes (0%)");
    EXPECT_EQ(line(kInt64Max, kInt64Max / 2), "Total:8589934592.00 GB  FreeDisk:4294967296.00 GB (50%)");
    EXPECT_EQ(diskPercentages(500107862016, 250790436864).used, 49);
    EXPECT_EQ(diskPercentages(100, -5).used, 100);
}

TEST(DiskText, WhereEachTranslatedTextGoes)
{
    EXPECT_EQ(diskStatusLine(kMarked, 1000, 10), "<Total> :1000 Bytes  <FreeDisk> :10 Bytes (1%)");
    EXPECT_EQ(folderDiskStatusLine(kMarked, 1000, 10), "<Folder Disk> <Total> :1000 Bytes  <FreeDisk> :10 Bytes (1%)");
    EXPECT_EQ(diskGaugeTitle(49), "49%");
    EXPECT_EQ(junkCheckBoxTitle(kIdentity, "Caches", 0), "Caches");
    EXPECT_EQ(junkCheckBoxTitle(kMarked, "Caches", 1536), "<Caches> 1.5 KB");
    EXPECT_EQ(diskGaugeAccessibleName(kIdentity, 66), "Disk 66 Percent Used");
    EXPECT_EQ(diskGaugeAccessibleName(kMarked, 0), "<Disk> 0 <Percent Used> ");
    EXPECT_EQ(cleanReport(kMarked, {0, 0, kGB}), "<Clean Freed> 0 Bytes\n<Clean Removed> 1.00 GB\n<Clean Held> ");
}

// Free space before and after, what went. Space is held when under half of
// what went came back, and that is short by more than 1 MiB.
TEST(DiskText, CleanReport)
{
    const auto report = [](std::optional<std::int64_t> before, std::optional<std::int64_t> after,
                           std::uint64_t removed) {
        return cleanReport(kIdentity, {before, after, removed});
    };
    const std::string held = "\nClean Held";
    EXPECT_EQ(report(100 * kGB, 101 * kGB, kGB), "Clean Freed1.00 GB");
    EXPECT_EQ(report(100 * kGB, 100 * kGB + 300 * kMiB, kGB), "Clean Freed300.0 MB\nClean Removed1.00 GB" + held);
    EXPECT_EQ(report(100 * kGB, 99 * kGB, 2 * kGB), "Clean Freed0 Bytes\nClean Removed2.00 GB" + held);
    EXPECT_EQ(report(0, 0, kMiB), "Clean Freed0 Bytes");
    EXPECT_EQ(report(0, 0, kMiB + 1), "Clean Freed0 Bytes\nClean Removed1.0 MB" + held);
    EXPECT_EQ(report(0, 50 * kMiB, 100 * kMiB), "Clean Freed50.0 MB");
    EXPECT_EQ(report(0, 50 * kMiB - 1, 100 * kMiB), "Clean Freed50.0 MB\nClean Removed100.0 MB" + held);
    EXPECT_EQ(report(std::numeric_limits<std::int64_t>::min(), kInt64Max, kMax), "Clean Freed17179869184.00 GB");
    EXPECT_EQ(report(std::nullopt, 5 * kGB, kGB), "Clean Unmeasured");
    EXPECT_EQ(report(5 * kGB, std::nullopt, kGB), "Clean Unmeasured");
}

// The rows a clean did not remove whole, in table order, each with the
// reason its place or its first errno gives; the label's blank trimmed. A
// row removed whole or not asked for says nothing.
TEST(DiskText, CleanRowsReport)
{
    CleanOutcome outcome;
    outcome.rows = {RowClean{true, Place::Link, "/big/cache", 0, 0}, RowClean{true, Place::Own, "", 3, EROFS},
                    RowClean{false, Place::OtherMount, "", 0, 0}, RowClean{true, Place::OtherMount, "", 0, 0},
                    RowClean{true, Place::Own, "", 0, 0}};
    EXPECT_EQ(cleanRowsReport(kMarked, outcome),
              "<Caches>: <Left Link> /big/cache\n<Logs>: <Left Read Only> \n<Mail Download>: <Left Mount> ");
    for (const auto& [error, reason] : {std::pair(EACCES, "Permission"),
                                        {EPERM, "Permission"},
                                        {EBUSY, "In Use"},
                                        {ETXTBSY, "In Use"},
                                        {EXDEV, "Mount Inside"},
                                        {ELOOP, "Link/x"},
                                        {EIO, "Failed"}})
        EXPECT_EQ(cleanRowLine(kIdentity, "Trash", rowLeftFor(error), "/x"), "Trash: Left " + std::string(reason));
}

// The free bytes and the four percentages of a sample's figures.
std::string split(const std::array<std::uint64_t, 4>& pages, std::uint64_t pageSize)
{
    const MemoryFigures f = figures(pages, pageSize);
    std::string text = std::to_string(f.categories[0].bytes) + " bytes free,";
    for (const MemoryCategory& category : f.categories)
        text += " " + std::to_string(category.percent);
    return text;
}

// Bytes saturate at 2^64 - 1 (2^52 pages of 4 KiB and 2^48 of 64 KiB are past
// it); percentages truncate, and never wrap or divide by zero.
TEST(MemoryText, BytesAndPercentages)
{
    const std::uint64_t half = std::uint64_t{1} << 63;
    EXPECT_EQ(split({1, 2, 3, 4}, 4096), "4096 bytes free, 10 20 30 40");
    EXPECT_EQ(split({1, 2, 2, 2}, 16384), "16384 bytes free, 14 28 28 28");
    EXPECT_EQ(split({0, 0, 0, 0}, 65536), "0 bytes free, 0 0 0 0");
    EXPECT_EQ(split({kMax / 4, kMax / 4, kMax / 4, kMax / 4}, 4096), "18446744073709551615 bytes free, 25 25 25 25");
    EXPECT_EQ(split({kMax / 65536, 1, 0, 0}, 65536), "18446744073709486080 bytes free, 99 0 0 0");
    EXPECT_EQ(split({kMax / 65536 + 1, 1, 0, 0}, 65536), "18446744073709551615 bytes free, 99 0 0 0");
    EXPECT_EQ(split({half, half, 3, 0}, 16384), "18446744073709551615 bytes free, 49 49 0 0");
}

TEST(MemoryText, WhereEachTranslatedTextGoes)
{
    // 4 GiB in 64 KiB pages.
    const MemoryFigures f = figures({16384, 8192, 24576, 16384});
    EXPECT_EQ(memoryStatusLine1(kMarked, f), "<Free> 1.00 GB  <Wired> 512.0 MB");
    EXPECT_EQ(memoryStatusLine2(kMarked, f), "<Active> 1.50 GB  <Inactive> 1.00 GB");
}

TEST(MemoryText, ReleaseReport)
{
    // Only the total (0: the sample failed) and the free bytes matter.
    const auto sample = [](std::uint64_t totalPages, std::uint64_t freeBytes) {
        MemoryFigures f;
        f.totalPages = totalPages;
        f.categories[0].bytes = freeBytes;
        return f;
    };
    const MemoryFigures one = sample(9, kGB), three = sample(9, 3 * kGB), failed = sample(0, 0);
    EXPECT_EQ(releaseReport(kIdentity, 0, one, three), "Release Freed2.00 GB");
    EXPECT_EQ(releaseReport(kIdentity, 0, three, one), "Release Nothing");
    EXPECT_EQ(releaseReport(kIdentity, 0, one, one), "Release Nothing");
    // No memory released whatever the counters did, and why: the helper's
    // status, or pkexec's passed on by it.
    for (const auto& [status, why] : {std::pair{-1, "Release No Helper"},
                                      {125, "Release No Pkexec"},
                                      {126, "Release Cancelled"},
                                      {127, "Release Refused"},
                                      {1, "Release Failed"},
                                      {128 + 9, "Release Failed"}})
        EXPECT_EQ(releaseReport(kIdentity, status, one, three), why) << status;
    EXPECT_EQ(releaseReport(kIdentity, 0, failed, three), "Release Unmeasured");
    EXPECT_EQ(releaseReport(kIdentity, 0, one, failed), "Release Unmeasured");
}

} // namespace
} // namespace headroom
