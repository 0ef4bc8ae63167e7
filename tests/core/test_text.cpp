#include "core/DiskText.h"
#include "core/MemoryText.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <map>
#include <string>

using namespace headroom;

namespace {

constexpr std::int64_t kGB = 1073741824;
constexpr std::int64_t kMiB = 1048576;
constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

// Every key reads as itself, as with an empty string table.
const KeyLookup kIdentity = [](std::string_view key) { return std::string(key); };

// Texts that differ from their keys, to show where each one goes.
const KeyLookup kGerman = [](std::string_view key) {
    static const std::map<std::string, std::string, std::less<>> texts{
        {"Total", "Gesamt"}, {"FreeDisk", "Frei"}, {"Free", "Frei "}, {"Wired", "Fest belegt "},
        {"Active", "Aktiv "}, {"Inactive", "Inaktiv "}, {"Caches", "Caches "}, {"Disk", "Festplatte  "},
        {"Percent Used", "% belegt"}, {"Clean Freed", "Frei geworden: "}, {"Clean Removed", "Entfernt: "},
        {"Clean Held", "Offen."}};
    const auto it = texts.find(key);
    return it == texts.end() ? std::string(key) : it->second;
};

MemoryFigures figures(std::uint64_t free, std::uint64_t wired, std::uint64_t active, std::uint64_t inactive)
{
    VMStatSchema s;
    s.setPagesFree(free);
    s.setPagesWiredDown(wired);
    s.setPagesActive(active);
    s.setPagesInactive(inactive);
    s.setPagesSpeculative(50); // never part of the total
    return memoryFigures(s);
}

} // namespace

TEST(DiskText, PercentagesGaugeAndStatusLine)
{
    struct Row {
        std::int64_t total, free;
        int used, freePercent;
        const char* line;
    };
    // Used is truncated, so free is rounded up; a total of 0 or less is
    // never divided by; free outside 0..total is clamped; no overflow.
    const Row rows[] = {
        {500107862016, 250790436864, 49, 51, "Total:465.76 GB  FreeDisk:233.57 GB (51%)"},
        {1000 * kGB, 333 * kGB, 66, 34, "Total:1000.00 GB  FreeDisk:333.00 GB (34%)"},
        {1000 * kGB, 1000 * kGB, 0, 100, "Total:1000.00 GB  FreeDisk:1000.00 GB (100%)"},
        {1000 * kGB, 0, 100, 0, "Total:1000.00 GB  FreeDisk:0 Bytes (0%)"},
        {499963174912, 4999631749, 99, 1, "Total:465.63 GB  FreeDisk:4.66 GB (1%)"},
        {0, 0, 0, 0, "Total:0 Bytes  FreeDisk:0 Bytes (0%)"},
        {-1, -1, 0, 0, "Total:0 Bytes  FreeDisk:0 Bytes (0%)"},
        {100, 200, 0, 100, "Total:100 Bytes  FreeDisk:200 Bytes (100%)"},
        {100, -5, 100, 0, "Total:100 Bytes  FreeDisk:0 Bytes (0%)"},
        {kInt64Max, 0, 100, 0, "Total:8589934592.00 GB  FreeDisk:0 Bytes (0%)"},
        {kInt64Max, kInt64Max / 2, 50, 50, "Total:8589934592.00 GB  FreeDisk:4294967296.00 GB (50%)"},
    };
    for (const Row& r : rows) {
        const DiskPercentages p = diskPercentages(r.total, r.free);
        EXPECT_EQ(p.used, r.used) << r.line;
        EXPECT_EQ(p.free, r.freePercent) << r.line;
        EXPECT_EQ(diskGaugeTitle(p.used), std::to_string(r.used) + "%");
        EXPECT_EQ(diskStatusLine(kIdentity, r.total, r.free), r.line);
    }
    EXPECT_EQ(diskStatusLine(kGerman, 500107862016, 250790436864), "Gesamt:465.76 GB  Frei:233.57 GB (51%)");
}

TEST(DiskText, CheckBoxTitleAndGaugeName)
{
    EXPECT_EQ(junkCheckBoxTitle(kIdentity, "Caches", 0), "Caches");
    EXPECT_EQ(junkCheckBoxTitle(kIdentity, "Caches", 1), "Caches1 Bytes");
    EXPECT_EQ(junkCheckBoxTitle(kGerman, "Caches", 1536), "Caches 1.5 KB");
    EXPECT_EQ(diskGaugeAccessibleName(kIdentity, 66), "Disk 66 Percent Used");
    EXPECT_EQ(diskGaugeAccessibleName(kGerman, 0), "Festplatte 0 % belegt");
}

TEST(DiskText, CleanReportTellsTheGainAndWhenSpaceIsHeld)
{
    struct Row {
        std::optional<std::int64_t> before, after;
        std::uint64_t removed;
        const char* text;
    };
    // Held: under half came back and short by more than 1 MiB.
    const Row rows[] = {
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
    for (const Row& r : rows)
        EXPECT_EQ(cleanReport(kIdentity, {r.before, r.after, r.removed}), r.text);
    EXPECT_EQ(cleanReport(kGerman, {0, 0, kGB}), "Frei geworden: 0 Bytes\nEntfernt: 1.00 GB\nOffen.");
}

TEST(MemoryText, PercentagesTruncateAndNeverWrapOrDivideByZero)
{
    struct Row {
        std::array<std::uint64_t, 4> pages; // free, wired, active, inactive
        std::array<int, 4> percent;
    };
    const Row rows[] = {
        {{1, 2, 3, 4}, {10, 20, 30, 40}},
        {{1, 2, 2, 2}, {14, 28, 28, 28}},
        {{0, 0, 0, 5000}, {0, 0, 0, 100}},
        {{0, 0, 0, 0}, {0, 0, 0, 0}},
        {{kMax / 4, kMax / 4, kMax / 4, kMax / 4}, {25, 25, 25, 25}},
        {{kMax, 0, 0, 0}, {100, 0, 0, 0}},
        {{kMax, kMax, 1, 0}, {49, 49, 0, 0}},
        {{std::uint64_t{1} << 63, std::uint64_t{1} << 63, 3, 0}, {49, 49, 0, 0}},
    };
    for (const Row& r : rows) {
        const MemoryFigures f = figures(r.pages[0], r.pages[1], r.pages[2], r.pages[3]);
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_EQ(f.categories[i].percent, r.percent[i]) << r.pages[0] << " " << r.pages[1] << " slot " << i;
    }
    EXPECT_EQ(figures(1, 2, 3, 4).totalPages, 10u);
}

TEST(MemoryText, TitlesAndStatusLines)
{
    // 4 GiB in 4 KiB pages.
    const MemoryFigures f = figures(262144, 131072, 393216, 262144);
    EXPECT_EQ(memoryBoxTitle(kIdentity, f.categories[0]), "Free1.00 GB");
    EXPECT_EQ(memoryStatusLine1(kIdentity, f), "Free1.00 GB  Wired512.0 MB");
    EXPECT_EQ(memoryStatusLine2(kIdentity, f), "Active1.50 GB  Inactive1.00 GB");
    EXPECT_EQ(memoryStatusLine1(kGerman, f), "Frei 1.00 GB  Fest belegt 512.0 MB");
    EXPECT_EQ(memoryStatusLine2(kGerman, f), "Aktiv 1.50 GB  Inaktiv 1.00 GB");
    EXPECT_EQ(memoryStatusLine2(kIdentity, memoryFigures(VMStatSchema{})), "Active0 Bytes  Inactive0 Bytes");
}

TEST(MemoryText, ReleaseReport)
{
    const MemoryFigures before = figures(100000, 5000, 500000, 300000);
    const MemoryFigures after = figures(600000, 5000, 150000, 150000);
    const MemoryFigures failed = memoryFigures(VMStatSchema{});
    struct Row {
        int status;
        const MemoryFigures &before, &after;
        const char* text;
    };
    const Row rows[] = {
        {0, before, after, "Release Freed1.91 GB"}, {0, after, before, "Release Nothing"},
        {0, before, before, "Release Nothing"},     {1, before, after, "Release Failed"},
        {127, before, after, "Release Failed"},     {-1, before, after, "Release Failed"},
        {0, failed, after, "Release Unmeasured"},   {0, before, failed, "Release Unmeasured"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(releaseReport(kIdentity, r.status, r.before, r.after), r.text) << r.status;
}
