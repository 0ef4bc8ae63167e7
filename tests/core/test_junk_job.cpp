// The junk job as both front ends use it: which rows it measures and
// removes, in which order it asks about them, what it reports, and where a
// cancel leaves it.

#include "core/JunkJob.h"

#include "core/Platform.h"

#include "tests/support/Seams.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace headroom {
namespace {

using test::TempTree;

// A granted folder with every junk row filled (row r holds r + 1 files of
// 100 bytes) and a file beside them that no row names. The volume's free
// space counts the rows that are gone, so a test sees when the job sampled
// it.
struct Home {
    Home()
    {
        tree.makeDir(".local");
        tree.makeDir(".local/share");
        for (std::size_t row = 0; row < kJunkRowCount; ++row) {
            const std::string dir(junkTable()[row].relativePath);
            tree.makeDir(dir);
            for (std::size_t i = 0; i <= row; ++i)
                tree.makeFile(dir + "/f" + std::to_string(i), 100);
        }
        tree.makeFile("keep", 7);
        platform::setVolumeQueryForTesting([this] {
            std::uint64_t gone = 0;
            for (std::size_t row = 0; row < kJunkRowCount; ++row)
                gone += rowExists(row) ? 0 : 1;
            return platform::VolumeStats{1000, 10 + gone};
        });
    }

    JunkJob job(std::vector<bool> chosen = {}) const
    {
        JunkJob job;
        job.folders = defaultJunkFolders(tree.path());
        if (!chosen.empty())
            job.chosen = [chosen = std::move(chosen)](std::size_t row) { return bool(chosen[row]); };
        return job;
    }

    bool rowExists(std::size_t row) const { return test::exists(tree / junkTable()[row].relativePath); }

    test::SeamReset seams;
    TempTree tree;
};

// The size each row measures before anything is removed.
std::uint64_t rowBytes(std::size_t row)
{
    return 100 * (row + 1);
}

using Reports = std::vector<std::pair<std::size_t, std::uint64_t>>;

// The job asks about each row as it reaches it, after the rows before were
// reported: a front end's box unticked meanwhile is honoured.
TEST(JunkJob, ScanMeasuresTheChosenRowsInTableOrderAskingAtEachRow)
{
    Home home;
    JunkJob scan = home.job();
    WorkProgress progress;
    scan.progress = &progress;
    Reports reports, shown;
    std::vector<std::size_t> reportedWhenAsked;
    scan.chosen = [&](std::size_t row) {
        reportedWhenAsked.push_back(reports.size());
        return row % 2 == 0;
    };
    EXPECT_TRUE(scan.scan([&](std::size_t row, const RowSize& size) {
        reports.emplace_back(row, size.bytes);
        // The progress has the row at hand, being measured: its files.
        if (progress.row == int(row) && progress.phase == WorkProgress::Measuring && progress.entries == row + 1)
            shown.emplace_back(row, progress.bytes);
    }));
    EXPECT_EQ(reports, (Reports{{0, rowBytes(0)}, {2, rowBytes(2)}, {4, rowBytes(4)}}));
    EXPECT_EQ(shown, reports);
    EXPECT_EQ(reportedWhenAsked, (std::vector<std::size_t>{0, 1, 1, 2, 2}));
}

TEST(JunkJob, CleanRemovesOnlyTheChosenRowsAndReportsTheSpace)
{
    // The second way is how headroom-cli cleans: every row rescanned and
    // nothing measured before its removal, so no space is reported removed.
    for (const auto& [rescan, measured] :
         {std::pair(JunkJob::Rescan::Chosen, true), std::pair(JunkJob::Rescan::Every, false)}) {
        Home home;
        JunkJob clean = home.job({false, true, false, true, false});
        clean.measureRemoved = measured;
        // As the clean comes to the row after Logs, the progress still shows
        // Logs being removed: its two files and the folder.
        WorkProgress progress;
        clean.progress = &progress;
        std::vector<std::tuple<int, int, std::uint64_t>> shown;
        clean.chosen = [&, chosen = clean.chosen](std::size_t row) {
            shown.emplace_back(progress.row.load(), progress.phase.load(), progress.entries.load());
            return chosen(row);
        };
        Reports reports;
        const auto outcome =
            clean.clean([&](std::size_t row, const RowSize& size) { reports.emplace_back(row, size.bytes); }, rescan);
        ASSERT_TRUE(outcome.has_value());
        for (std::size_t row = 0; row < kJunkRowCount; ++row)
            EXPECT_EQ(home.rowExists(row), row != 1 && row != 3) << row;
        EXPECT_EQ(test::readFile(home.tree / "keep").size(), 7u);
        // The rescan: removed rows measure 0, the others what they hold.
        const Reports chosenOnly{{1, 0}, {3, 0}};
        const Reports every{{0, rowBytes(0)}, {1, 0}, {2, rowBytes(2)}, {3, 0}, {4, rowBytes(4)}};
        EXPECT_EQ(reports, rescan == JunkJob::Rescan::Every ? every : chosenOnly);
        // Free space sampled before the first removal and after the last.
        EXPECT_EQ(outcome->space.freeBefore, std::optional<std::int64_t>(10));
        EXPECT_EQ(outcome->space.freeAfter, std::optional<std::int64_t>(12));
        EXPECT_EQ(outcome->volumeAfter.free, 12);
        EXPECT_EQ(outcome->space.removedBytes, measured ? rowBytes(1) + rowBytes(3) : 0u);
        ASSERT_GT(shown.size(), 2u);
        EXPECT_EQ(shown[2], std::make_tuple(1, int(WorkProgress::Removing), std::uint64_t{3}));
    }
}

TEST(JunkJob, CancelStopsBeforeTheNextRowAndLeavesTheRestInPlace)
{
    for (const std::string_view stage : {"scan", "clean"}) {
        Home home;
        std::atomic<bool> cancel{false};
        JunkJob work = home.job();
        work.cancel = &cancel;
        // Cancelled as the job reaches row 2 (of the removal, in a clean).
        work.chosen = [&](std::size_t row) {
            if (row == 2)
                cancel = true;
            return true;
        };
        Reports reports;
        const auto done = [&](std::size_t row, const RowSize& size) { reports.emplace_back(row, size.bytes); };
        if (stage == "scan") {
            EXPECT_FALSE(work.scan(done));
            EXPECT_EQ(reports, (Reports{{0, rowBytes(0)}, {1, rowBytes(1)}}));
        } else {
            EXPECT_FALSE(work.clean(done).has_value());
            EXPECT_TRUE(reports.empty());
            for (std::size_t row = 0; row < kJunkRowCount; ++row)
                EXPECT_EQ(home.rowExists(row), row >= 2) << row;
        }
    }
}

// Downloads resolved below the granted folder, then a link to the outside
// swapped into its place or onto its way before the clean: the job opens
// each folder again without following links, so a clean of every row
// changes nothing outside, and the link in Downloads' place goes itself.
// (Which values resolve and which fall back to the table is the
// JunkLocations tests'.)
TEST(JunkJob, CleanNeverLeavesTheGrantedFolderThroughALinkMadeAfterTheResolution)
{
    for (const std::string leaf : {"", "/canary"}) {
        SCOPED_TRACE("Downloads at in" + leaf);
        const TempTree tree;
        const test::Canary canary(tree);
        const std::string home = tree / "home";
        test::writeFile(home + "/.config/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"$HOME/in" + leaf + "\"\n");
        test::writeFile(home + "/in/canary/f", "x");
        JunkJob job;
        job.folders = resolveJunkFolders(home, {});
        ASSERT_EQ(job.folders.relativePaths[2], "in" + leaf);
        std::filesystem::remove_all(home + "/in");
        tree.makeSymlink("home/in", leaf.empty() ? canary.dir : tree.path());
        ASSERT_TRUE(job.clean([](std::size_t, const RowSize&) {}).has_value());
        EXPECT_EQ(canary.damage(), "");
        EXPECT_EQ(test::exists(home + "/in"), !leaf.empty()) << "the link goes only where it is Downloads itself";
    }
}

} // namespace
} // namespace headroom
