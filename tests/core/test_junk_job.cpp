// The junk job as both front ends use it: which rows it measures and
// removes, in which order it asks about them, what it reports, and where a
// cancel leaves it.

#include "core/JunkJob.h"

#include "core/Platform.h"
#include "core/Process.h"

#include "tests/support/ChildExpect.h"
#include "tests/support/Seams.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <sys/mount.h>
#include <unistd.h>

namespace headroom {
namespace {

using test::ChildOutcome;
using test::expectChildPassed;
using test::runInPrivateMounts;
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

TEST(JunkJob, CleanRemovesOnlyTheChosenRowsAndReportsTheSpace)
{
    // The second way is how headroom-cli cleans: every row rescanned and
    // nothing measured before its removal, so no space is reported removed.
    for (const auto& [rescan, measured] :
         {std::pair(JunkJob::Rescan::Chosen, true), std::pair(JunkJob::Rescan::Every, false)}) {
        Home home;
        JunkJob clean = home.job({false, true, false, true, false});
        clean.measureRemoved = measured;
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
    }
}

// The job asks about each row as it reaches it, after the rows before were
// reported (a front end's box unticked meanwhile is honoured), and a cancel
// stops it before the next row, leaving the rest in place.
TEST(JunkJob, AsksAtEachRowAndACancelStopsBeforeTheNext)
{
    for (const std::string_view stage : {"scan", "clean"}) {
        Home home;
        std::atomic<bool> cancel{false};
        JunkJob work = home.job();
        work.cancel = &cancel;
        Reports reports;
        std::vector<std::size_t> reportedWhenAsked;
        // Row 1 is not chosen; cancelled as the job reaches row 3 (of the
        // removal, in a clean).
        work.chosen = [&](std::size_t row) {
            reportedWhenAsked.push_back(reports.size());
            cancel = cancel || row == 3;
            return row != 1;
        };
        const auto done = [&](std::size_t row, const RowSize& size) { reports.emplace_back(row, size.bytes); };
        if (stage == "scan") {
            EXPECT_FALSE(work.scan(done));
            EXPECT_EQ(reports, (Reports{{0, rowBytes(0)}, {2, rowBytes(2)}}));
            EXPECT_EQ(reportedWhenAsked, (std::vector<std::size_t>{0, 1, 1, 2}));
        } else {
            EXPECT_FALSE(work.clean(done).has_value());
            EXPECT_TRUE(reports.empty());
            for (std::size_t row = 0; row < kJunkRowCount; ++row)
                EXPECT_EQ(home.rowExists(row), row == 1 || row >= 3) << row;
        }
    }
}

// A row that is a link or another mount, or lies below one, each made in
// a private mount namespace on a home that is a tmpfs of its own, beside
// `out`, another tmpfs: the scan says which (and where a link points) and
// measures no link; a clean of every row leaves that row
// as it stands, link and all, says so, and changes nothing outside the
// home's own mount (the folder `Documents` of the home included). The
// folders are resolved before the row is changed, as when it changes after
// the grant.
enum class Made { Link, Bind, Tmpfs, Overlay, Bindfs };
struct PlaceCase {
    const char* name;
    std::size_t row;
    Made made;
    std::string at, from; // below the home; what is linked or mounted there ("<out>", "<home>")
    Place place;
    std::string target = {}; // a link's
};

const PlaceCase kPlaces[] = {
    {"LinkToAFolderOfTheHome", 0, Made::Link, ".cache", "Documents", Place::Link, "Documents"},
    {"LinkToAnotherFileSystem", 2, Made::Link, "Downloads", "<out>", Place::Link, "<out>"},
    {"DanglingLink", 1, Made::Link, "Logs", "/nonexistent", Place::Link, "/nonexistent"},
    {"LinkOnTheWay", 4, Made::Link, ".local", "<out>", Place::Link, "<out>/share/Trash"},
    {"BindMountOfAFolderOutside", 1, Made::Bind, "Logs", "<out>", Place::OtherMount},
    {"BindMountOnTheWay", 4, Made::Bind, ".local", "<out>", Place::OtherMount},
    {"TheHomeBoundOntoItsCaches", 0, Made::Bind, ".cache", "<home>", Place::OtherMount},
    {"Tmpfs", 3, Made::Tmpfs, "Mail Downloads", "", Place::OtherMount},
    {"OverlayWithItsUpperFolderOutside", 1, Made::Overlay, "Logs", "<out>", Place::OtherMount},
    {"Bindfs", 2, Made::Bindfs, "Downloads", "<out>", Place::OtherMount},
    // The row's folder is not there: it lies below another mount all the same.
    {"BindfsOnTheWayToNothing", 4, Made::Bindfs, ".local", "<out>/upper", Place::OtherMount},
};

// Makes `at` what the case is about; false when the system refuses.
bool make(Made made, const std::string& at, const std::string& from)
{
    switch (made) {
    case Made::Link: return std::filesystem::remove_all(at) > 0 && ::symlink(from.c_str(), at.c_str()) == 0;
    case Made::Bind: return ::mount(from.c_str(), at.c_str(), nullptr, MS_BIND, nullptr) == 0;
    case Made::Tmpfs: return ::mount("headroom-test", at.c_str(), "tmpfs", 0, "size=4m") == 0;
    case Made::Overlay:
        return ::mount("overlay", at.c_str(), "overlay", 0,
                       ("lowerdir=" + from + "/share,upperdir=" + from + "/upper,workdir=" + from + "/work").c_str())
               == 0;
    case Made::Bindfs: return process::runCapturing({"bindfs", "-o", "nonempty", from, at}) == 0;
    }
    return false;
}

class RowPlaces : public testing::TestWithParam<PlaceCase> {};

TEST_P(RowPlaces, ALinkOrAnotherMountIsSaidAndLeftAsItStands)
{
    const PlaceCase& c = GetParam();
    const TempTree tree;
    const std::string home = tree / "home", out = tree / "out";
    tree.makeDir("home");
    tree.makeDir("out");
    expectChildPassed(runInPrivateMounts([&]() -> ChildOutcome {
        if (!make(Made::Tmpfs, home, "") || !make(Made::Tmpfs, out, ""))
            return ChildOutcome::refuse("tmpfs refused");
        for (std::size_t row = 0; row < kJunkRowCount; ++row)
            test::writeFile(home + "/" + std::string(junkTable()[row].relativePath) + "/f", std::string(100, 'h'));
        test::writeFile(home + "/Documents/keep", "mine");
        for (const char* file : {"/share/Trash/f", "/f", "/upper/u"})
            test::writeFile(out + file, std::string(10, 'o'));
        tree.makeDir("out/work");
        JunkJob job;
        job.folders = resolveJunkFolders(home, {});
        const auto named = [&](const std::string& text) {
            return text.starts_with("<out>") ? out + text.substr(5) : text == "<home>" ? home : text;
        };
        if (!make(c.made, home + "/" + c.at, named(c.from)))
            return ChildOutcome::refuse(std::string(c.name) + " could not be made");
        const test::Inventory outside = test::inventory(out), documents = test::inventory(home + "/Documents");
        const std::string target = named(c.target);

        std::string problems;
        std::array<RowSize, kJunkRowCount> scanned;
        job.scan([&](std::size_t r, const RowSize& size) { scanned[r] = size; });
        const CleanOutcome cleaned = job.clean([](std::size_t, const RowSize&) {}).value();
        for (std::size_t r = 0; r < kJunkRowCount; ++r) {
            const bool ours = r == c.row;
            const RowClean& clean = cleaned.rows[r];
            const Place place = ours ? c.place : Place::Own;
            const std::string link = ours ? target : "";
            if (scanned[r].place != place || scanned[r].linkTarget != link || clean.place != place
                || clean.linkTarget != link || clean.leftOver() != ours
                || (place != Place::OtherMount && (scanned[r].bytes == 0) != (place == Place::Link))
                || (!ours && test::exists(job.folders.path(r))))
                problems += "row " + std::to_string(r) + " is not as pinned; ";
        }
        const LocationPlace after = locationPlace(home, job.folders.relativePaths[c.row]);
        if (test::inventory(out) != outside || test::inventory(home + "/Documents") != documents
            || after.kind != c.place || after.linkTarget != target)
            problems += "something of another mount, the home's documents or the row went; ";
        for (const char* point : {"/Downloads", "/.local"})
            ::umount2((home + point).c_str(), MNT_DETACH); // a FUSE daemon ends with its mount
        return problems.empty() ? ChildOutcome::pass() : ChildOutcome::fail(problems);
    }));
}

INSTANTIATE_TEST_SUITE_P(JunkJob, RowPlaces, testing::ValuesIn(kPlaces),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace headroom
