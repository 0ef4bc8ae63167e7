#include "core/DiskText.h"
#include "core/JunkLocations.h"
#include "core/MemoryText.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <set>
#include <string>

using namespace headroom;

namespace {

// Every key reads as itself, as with an empty string table.
const KeyLookup kIdentity = [](std::string_view key) { return std::string(key); };

// A table whose texts differ from their keys, to show where each text goes.
const KeyLookup kGerman = [](std::string_view key) {
    static const std::map<std::string, std::string, std::less<>> texts{
        {"Total", "Gesamt"}, {"FreeDisk", "Frei"}, {"Free", "Frei "}, {"Wired", "Fest belegt "},
        {"Active", "Aktiv "}, {"Inactive", "Inaktiv "}, {"Caches", "Caches "},
    };
    const auto it = texts.find(key);
    return it == texts.end() ? std::string(key) : it->second;
};

constexpr std::int64_t kGB = 1073741824;

VMStatSchema sample(std::uint64_t free, std::uint64_t wired, std::uint64_t active, std::uint64_t inactive)
{
    VMStatSchema s;
    s.setPagesFree(free);
    s.setPagesWiredDown(wired);
    s.setPagesActive(active);
    s.setPagesInactive(inactive);
    return s;
}

std::array<int, 4> percents(const MemoryFigures& f)
{
    return {f.categories[0].percent, f.categories[1].percent, f.categories[2].percent, f.categories[3].percent};
}

} // namespace

// --- Disk -----------------------------------------------------------------

TEST(DiskText, StatusLineAndGaugeOfAHalfFullVolume)
{
    const std::int64_t total = 500107862016;
    const std::int64_t free = 250790436864;
    EXPECT_EQ(diskStatusLine(kIdentity, total, free), "Total:465.76 GB  FreeDisk:233.57 GB (51%)");
    const DiskPercentages p = diskPercentages(total, free);
    EXPECT_EQ(p.used, 49); // 49.85 % truncated
    EXPECT_EQ(p.free, 51);
    EXPECT_EQ(diskGaugeTitle(p.used), "49%");
}

TEST(DiskText, FreeShareIsRoundedUpBecauseUsedIsTruncated)
{
    const std::int64_t total = 1000 * kGB;
    const std::int64_t free = 333 * kGB;
    const DiskPercentages p = diskPercentages(total, free);
    EXPECT_EQ(p.used, 66);
    EXPECT_EQ(p.free, 34);
    EXPECT_EQ(diskGaugeTitle(p.used), "66%");
    EXPECT_EQ(diskStatusLine(kIdentity, total, free), "Total:1000.00 GB  FreeDisk:333.00 GB (34%)");
}

TEST(DiskText, EmptyFullAndNearlyFullVolumes)
{
    EXPECT_EQ(diskPercentages(1000 * kGB, 1000 * kGB).used, 0);
    EXPECT_EQ(diskStatusLine(kIdentity, 1000 * kGB, 1000 * kGB), "Total:1000.00 GB  FreeDisk:1000.00 GB (100%)");
    EXPECT_EQ(diskGaugeTitle(diskPercentages(1000 * kGB, 0).used), "100%");
    EXPECT_EQ(diskStatusLine(kIdentity, 1000 * kGB, 0), "Total:1000.00 GB  FreeDisk:0 Bytes (0%)");
    const DiskPercentages nearlyFull = diskPercentages(499963174912, 4999631749);
    EXPECT_EQ(nearlyFull.used, 99);
    EXPECT_EQ(nearlyFull.free, 1);
    EXPECT_EQ(diskStatusLine(kIdentity, 499963174912, 4999631749), "Total:465.63 GB  FreeDisk:4.66 GB (1%)");
}

TEST(DiskText, UnreadableVolumeIsNeverDividedBy)
{
    // An absent figure reads as 0; nothing may divide by it.
    const DiskPercentages p = diskPercentages(0, 0);
    EXPECT_EQ(p.used, 0);
    EXPECT_EQ(p.free, 0);
    EXPECT_EQ(diskGaugeTitle(p.used), "0%");
    EXPECT_EQ(diskStatusLine(kIdentity, 0, 0), "Total:0 Bytes  FreeDisk:0 Bytes (0%)");
    EXPECT_EQ(diskPercentages(0, 5).used, 0);
    EXPECT_EQ(diskPercentages(-1, 5).used, 0);
    EXPECT_EQ(diskStatusLine(kIdentity, -1, -1), "Total:0 Bytes  FreeDisk:0 Bytes (0%)");
}

TEST(DiskText, PercentagesStayInRangeForAnyFigures)
{
    constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(diskPercentages(max, 0).used, 100);     // (total - free) * 100 must not overflow
    EXPECT_EQ(diskPercentages(max, max / 2).used, 50);
    EXPECT_EQ(diskPercentages(100, 200).used, 0);     // free above total
    EXPECT_EQ(diskPercentages(100, -5).used, 100);    // negative free
    for (const std::int64_t total : {std::int64_t{1}, std::int64_t{3}, std::int64_t{7}, 999 * kGB, max}) {
        for (const std::int64_t free : {std::int64_t{0}, std::int64_t{1}, total / 3, total / 2, total - 1, total}) {
            const DiskPercentages p = diskPercentages(total, free);
            EXPECT_GE(p.used, 0);
            EXPECT_LE(p.used, 100);
            EXPECT_EQ(p.used + p.free, 100) << total << " " << free;
        }
    }
}

TEST(DiskText, LabelsComeFromTheTableAndNothingIsInserted)
{
    EXPECT_EQ(diskStatusLine(kGerman, 500107862016, 250790436864), "Gesamt:465.76 GB  Frei:233.57 GB (51%)");
}

TEST(DiskText, CheckBoxTitleShowsASizeOnlyAboveZero)
{
    EXPECT_EQ(junkCheckBoxTitle(kIdentity, "Caches", 0), "Caches");
    EXPECT_EQ(junkCheckBoxTitle(kIdentity, "Caches", 1), "Caches1 Bytes");
    EXPECT_EQ(junkCheckBoxTitle(kGerman, "Caches", 1536), "Caches 1.5 KB");
    EXPECT_EQ(junkCheckBoxTitle(kGerman, "Logs", 1073741824), "Logs1.00 GB");
}

// --- Memory ---------------------------------------------------------------

TEST(MemoryText, PercentagesTruncate)
{
    const MemoryFigures three = memoryFigures(sample(1, 2, 0, 0));
    EXPECT_EQ(three.totalPages, 3u);
    EXPECT_EQ(percents(three), (std::array<int, 4>{33, 66, 0, 0}));

    const MemoryFigures seven = memoryFigures(sample(1, 2, 2, 2));
    EXPECT_EQ(seven.totalPages, 7u);
    EXPECT_EQ(percents(seven), (std::array<int, 4>{14, 28, 28, 28}));
}

TEST(MemoryText, PagesAreFourKiBAndTitlesJoinWithoutSeparator)
{
    // 4 GiB in pages, a quarter of it free.
    const MemoryFigures f = memoryFigures(sample(262144, 131072, 393216, 262144));
    EXPECT_EQ(f.totalPages, 1048576u);
    EXPECT_EQ(f.categories[0].bytes, 1073741824u);
    EXPECT_EQ(f.categories[0].percent, 25);
    EXPECT_EQ(memoryBoxTitle(kIdentity, f.categories[0]), "Free1.00 GB");
    EXPECT_EQ(memoryBoxTitle(kIdentity, f.categories[1]), "Wired512.0 MB");
    EXPECT_EQ(memoryStatusLine1(kIdentity, f), "Free1.00 GB  Wired512.0 MB");
    EXPECT_EQ(memoryStatusLine2(kIdentity, f), "Active1.50 GB  Inactive1.00 GB");
    EXPECT_EQ(memoryStatusLine1(kGerman, f), "Frei 1.00 GB  Fest belegt 512.0 MB");
    EXPECT_EQ(memoryStatusLine2(kGerman, f), "Aktiv 1.50 GB  Inaktiv 1.00 GB");
}

TEST(MemoryText, CategoriesAreInDisplayOrder)
{
    // Distinct counts per category show which field feeds which slot.
    const MemoryFigures f = memoryFigures(sample(1, 2, 3, 4));
    EXPECT_STREQ(f.categories[0].key, "Free");
    EXPECT_STREQ(f.categories[1].key, "Wired");
    EXPECT_STREQ(f.categories[2].key, "Active");
    EXPECT_STREQ(f.categories[3].key, "Inactive");
    EXPECT_EQ(f.categories[0].pages, 1u);
    EXPECT_EQ(f.categories[1].pages, 2u);
    EXPECT_EQ(f.categories[2].pages, 3u);
    EXPECT_EQ(f.categories[3].pages, 4u);
}

TEST(MemoryText, AllPagesInOneCategory)
{
    const MemoryFigures f = memoryFigures(sample(0, 0, 0, 5000));
    EXPECT_EQ(percents(f), (std::array<int, 4>{0, 0, 0, 100}));
    EXPECT_EQ(memoryStatusLine1(kIdentity, f), "Free0 Bytes  Wired0 Bytes");
}

TEST(MemoryText, FailedSampleIsNeverDividedBy)
{
    const MemoryFigures f = memoryFigures(VMStatSchema{});
    EXPECT_EQ(f.totalPages, 0u);
    EXPECT_EQ(percents(f), (std::array<int, 4>{0, 0, 0, 0}));
    EXPECT_EQ(memoryStatusLine1(kIdentity, f), "Free0 Bytes  Wired0 Bytes");
    EXPECT_EQ(memoryStatusLine2(kIdentity, f), "Active0 Bytes  Inactive0 Bytes");
}

TEST(MemoryText, PercentagesStayInRangeForHugeCounters)
{
    // Counters a broken source could report: each percentage must still be
    // within 0..100 and the four must add up to 97..100.
    constexpr std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    const std::array<VMStatSchema, 4> samples{
        sample(max / 4, max / 4, max / 4, max / 4),
        sample(max, 0, 0, 0),
        sample(max, max, 1, 0),
        sample(std::uint64_t{1} << 63, std::uint64_t{1} << 63, 3, 0),
    };
    for (const VMStatSchema& s : samples) {
        const MemoryFigures f = memoryFigures(s);
        int sum = 0;
        for (const int p : percents(f)) {
            EXPECT_GE(p, 0);
            EXPECT_LE(p, 100);
            sum += p;
        }
        EXPECT_GE(sum, 97);
        EXPECT_LE(sum, 100);
    }
}

// --- Reports after a clean and a release ---------------------------------

TEST(DiskText, GaugeNameReadsTheLabelAndThePercentage)
{
    EXPECT_EQ(diskGaugeAccessibleName(kIdentity, 66), "Disk 66 Percent Used");
    const KeyLookup padded = [](std::string_view key) {
        return std::string(key == "Disk" ? "Festplatte  " : key == "Percent Used" ? "% belegt" : "?");
    };
    EXPECT_EQ(diskGaugeAccessibleName(padded, 0), "Festplatte 0 % belegt");
}

TEST(DiskText, CleanReportTellsTheVolumesGainNotTheSumRemoved)
{
    constexpr std::int64_t kMB = 1048576;
    // The volume gained what was removed: one line, the gain.
    EXPECT_EQ(cleanReport(kIdentity, {100 * kGB, 101 * kGB, kGB}), "Clean Freed1.00 GB");
    // It gained more than the apparent sizes (whole blocks): still one line.
    EXPECT_EQ(cleanReport(kIdentity, {100 * kGB, 100 * kGB + 3 * kMB, 2 * kMB}), "Clean Freed3.0 MB");
    // Under half came back, and by more than the floor: why, and how much went.
    EXPECT_EQ(cleanReport(kIdentity, {100 * kGB, 100 * kGB + 300 * kMB, kGB}),
              "Clean Freed300.0 MB\nClean Removed1.00 GB\nClean Held");
    // The disk filled up meanwhile: nothing gained, and the rest is held.
    EXPECT_EQ(cleanReport(kIdentity, {100 * kGB, 99 * kGB, 2 * kGB}),
              "Clean Freed0 Bytes\nClean Removed2.00 GB\nClean Held");
    // No figure for the volume on either side: no amount at all.
    EXPECT_EQ(cleanReport(kIdentity, {std::nullopt, 5 * kGB, kGB}), "Clean Unmeasured");
    EXPECT_EQ(cleanReport(kIdentity, {5 * kGB, std::nullopt, kGB}), "Clean Unmeasured");
}

TEST(DiskText, SpaceCountsAsHeldOnlyUnderHalfAndAboveTheFloor)
{
    constexpr std::uint64_t kMiB = 1048576;
    EXPECT_FALSE(spaceStillHeld(0, 0));
    EXPECT_FALSE(spaceStillHeld(0, kMiB));          // short by exactly the floor
    EXPECT_TRUE(spaceStillHeld(0, kMiB + 1));
    EXPECT_FALSE(spaceStillHeld(50 * kMiB, 100 * kMiB)); // exactly half came back
    EXPECT_TRUE(spaceStillHeld(50 * kMiB - 1, 100 * kMiB));
    EXPECT_FALSE(spaceStillHeld(3 * kMiB, kMiB));    // more came back than went
    EXPECT_FALSE(spaceStillHeld(std::numeric_limits<std::uint64_t>::max(), std::numeric_limits<std::uint64_t>::max()));
    EXPECT_EQ(spaceGained({std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max(), 0}),
              std::numeric_limits<std::uint64_t>::max());
}

TEST(DiskText, CleanReportTextsComeFromTheTable)
{
    const KeyLookup german = [](std::string_view key) {
        static const std::map<std::string, std::string, std::less<>> texts{
            {"Clean Freed", "Frei geworden: "}, {"Clean Removed", "Entfernt: "}, {"Clean Held", "Offen."}};
        const auto it = texts.find(key);
        return it == texts.end() ? std::string(key) : it->second;
    };
    EXPECT_EQ(cleanReport(german, {0, 0, kGB}), "Frei geworden: 0 Bytes\nEntfernt: 1.00 GB\nOffen.");
}

TEST(MemoryText, ReleaseReportsTheGrowthOfFreePages)
{
    const MemoryFigures before = memoryFigures(sample(100000, 5000, 500000, 300000));
    const MemoryFigures after = memoryFigures(sample(600000, 5000, 150000, 150000));
    EXPECT_EQ(memoryGivenBack(before, after), std::uint64_t{500000} * 4096);
    EXPECT_EQ(releaseReport(kIdentity, 0, before, after), "Release Freed1.91 GB");
    // Free pages shrank or stayed: nothing given back, never a negative size.
    EXPECT_EQ(memoryGivenBack(after, before), 0u);
    EXPECT_EQ(releaseReport(kIdentity, 0, after, before), "Release Nothing");
    EXPECT_EQ(releaseReport(kIdentity, 0, before, before), "Release Nothing");
}

TEST(MemoryText, FailedToolOrSampleIsNeverReportedAsFreedMemory)
{
    const MemoryFigures before = memoryFigures(sample(100000, 5000, 500000, 300000));
    const MemoryFigures after = memoryFigures(sample(600000, 5000, 150000, 150000));
    const MemoryFigures failed = memoryFigures(VMStatSchema{});
    for (int status : {1, 126, 127, -1})
        EXPECT_EQ(releaseReport(kIdentity, status, before, after), "Release Failed") << status;
    EXPECT_EQ(releaseReport(kIdentity, 0, failed, after), "Release Unmeasured");
    EXPECT_EQ(releaseReport(kIdentity, 0, before, failed), "Release Unmeasured");
}

// --- Junk locations -------------------------------------------------------

TEST(JunkLocations, PathsStayBelowTheGrantedFolder)
{
    // A removal joins these to the granted folder: none may be absolute,
    // climb out, or name the folder itself.
    {
        std::set<std::string_view> seen;
        for (const JunkLocation& location : junkTable()) {
            const std::string_view path = location.relativePath;
            ASSERT_FALSE(path.empty());
            EXPECT_NE(path.front(), '/') << path;
            EXPECT_NE(path.back(), '/') << path;
            EXPECT_TRUE(seen.insert(path).second) << "twice: " << path;
            std::size_t start = 0;
            while (start <= path.size()) {
                const std::size_t end = std::min(path.find('/', start), path.size());
                const std::string_view part = path.substr(start, end - start);
                EXPECT_FALSE(part.empty() || part == "." || part == "..") << path;
                start = end + 1;
            }
        }
    }
}
