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
#include <cstdio>

#include <filesystem>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <tuple>
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
// 100 bytes) and a file beside them that no row names. The granted
// folder's volume counts the rows that are gone in its free space, so a
// test sees when the job sampled it; "/" is another volume, which a clean
// does not change.
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
        platform::setVolumeQueryForTesting([this](const std::string& folder) {
            std::uint64_t gone = 0;
            for (std::size_t row = 0; row < kJunkRowCount; ++row)
                gone += rowExists(row) ? 0 : 1;
            return folder == tree.path() ? platform::VolumeStats{1000, 10 + gone} : platform::VolumeStats{5000, 50};
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
        // The granted folder's free space sampled before the first removal
        // and after the last; the overview's figures are "/"'s.
        EXPECT_EQ(outcome->space.freeBefore, std::optional<std::int64_t>(10));
        EXPECT_EQ(outcome->space.freeAfter, std::optional<std::int64_t>(12));
        EXPECT_EQ(outcome->volumeAfter.free, 50);
        EXPECT_EQ(outcome->space.removedBytes, measured ? rowBytes(1) + rowBytes(3) : 0u);
        ASSERT_GT(shown.size(), 2u);
        EXPECT_EQ(shown[2], std::make_tuple(1, int(WorkProgress::Removing), std::uint64_t{3}));
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
        WorkProgress progress;
        work.progress = &progress;
        Reports reports, shown;
        std::vector<std::size_t> reportedWhenAsked;
        // Row 1 is not chosen; cancelled as the job reaches row 3 (of the
        // removal, in a clean).
        work.chosen = [&](std::size_t row) {
            reportedWhenAsked.push_back(reports.size());
            cancel = cancel || row == 3;
            return row != 1;
        };
        const auto done = [&](std::size_t row, const RowSize& size) {
            reports.emplace_back(row, size.bytes);
            // The progress has the row at hand, being measured: its files.
            if (progress.row == int(row) && progress.phase == WorkProgress::Measuring && progress.entries == row + 1)
                shown.emplace_back(row, progress.bytes);
        };
        if (stage == "scan") {
            EXPECT_FALSE(work.scan(done));
            EXPECT_EQ(reports, (Reports{{0, rowBytes(0)}, {2, rowBytes(2)}}));
            EXPECT_EQ(shown, reports);
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
// A Caches row with a folder and files in it, and a Trash with two trashed
// items (one with its info file, percent-encoded), as the item tests use.
struct HomeWithItems : Home {
    HomeWithItems()
    {
        tree.makeDir(".cache/app");
        tree.makeFile(".cache/app/state", 3000);
        tree.makeDir(".cache/app/sub");
        tree.makeFile(".cache/app/sub/more", 500);
        const std::string trash(junkTable()[4].relativePath);
        tree.makeDir(trash + "/files");
        tree.makeFile(trash + "/files/My Doc.txt", 40);
        tree.makeDir(trash + "/files/dir");
        tree.makeFile(trash + "/files/dir/x", 60);
        test::writeFile(tree / (trash + "/info/My Doc.txt.trashinfo"),
                        "[Trash Info]\nPath=/home/u/My%20Doc%zz.txt\nDeletionDate=2026-01-02T03:04:05\n");
        test::writeFile(tree / (trash + "/info/dir.trashinfo"), "[Other]\nPath=/nowhere\n");
    }

    std::string trash(const std::string& relative) const
    {
        return tree / (std::string(junkTable()[4].relativePath) + relative);
    }
};

std::vector<std::pair<std::string, std::uint64_t>> namesAndBytes(const RowSize& size)
{
    std::vector<std::pair<std::string, std::uint64_t>> out;
    for (const WalkItem& item : size.items.list)
        out.emplace_back(size.items.name(item), item.bytes);
    return out;
}

// Items come with the scan only when asked; a row's items are its own
// entries largest first (adding up to the row), the Trash's those of its
// files/ with what info/ says of each.
TEST(JunkJob, ScanWithItemsListsEachRowsEntriesAndTheTrashAsTrashed)
{
    HomeWithItems home;
    std::vector<RowSize> rows(kJunkRowCount);
    JunkJob scan = home.job();
    ASSERT_TRUE(scan.scan([&](std::size_t row, const RowSize& size) { rows[row] = size; }));
    EXPECT_TRUE(rows[0].items.list.empty());
    scan.items = true;
    ASSERT_TRUE(scan.scan([&](std::size_t row, const RowSize& size) { rows[row] = size; }));

    const std::uint64_t folder = test::entrySize(home.tree / ".cache/app");
    const std::uint64_t sub = test::entrySize(home.tree / ".cache/app/sub");
    using Items = std::vector<std::pair<std::string, std::uint64_t>>;
    EXPECT_EQ(namesAndBytes(rows[0]), (Items{{"app", folder + 3000 + sub + 500}, {"f0", 100}}));
    EXPECT_EQ(rows[0].allocated, rows[0].items.list[0].allocated + rows[0].items.list[1].allocated);
    EXPECT_GT(rows[0].allocated, 0u);

    const RowSize& trash = rows[4];
    const std::uint64_t dir = test::entrySize(home.trash("/files/dir"));
    EXPECT_EQ(namesAndBytes(trash), (Items{{"dir", dir + 60}, {"My Doc.txt", 40}}));
    ASSERT_EQ(trash.trashInfo.size(), 2u);
    EXPECT_EQ(trash.trashInfo[1].originalPath, "/home/u/My Doc%zz.txt");
    EXPECT_EQ(trash.trashInfo[1].deletionDate, "2026-01-02T03:04:05");
    EXPECT_EQ(trash.trashInfo[0].originalPath, ""); // outside the [Trash Info] group
    struct stat st {};
    ASSERT_EQ(::lstat(home.trash("/files/My Doc.txt").c_str(), &st), 0);
    EXPECT_TRUE(trash.items.list[1].ino == st.st_ino && trash.items.list[1].dev == st.st_dev);
}

// Kept items stay exactly as they were, in rows that otherwise go; rows
// without kept items go whole. In the Trash an item's two halves stay or go
// together. The report counts what went, not what stayed.
TEST(JunkJob, CleanLeavesKeptItemsAndRemovesTheRest)
{
    HomeWithItems home;
    home.tree.makeFile(".cache/f1", 100);
    JunkJob clean = home.job();
    clean.keep[0] = {*clean.findItem(0, "app")};
    clean.keep[4] = {*clean.findItem(4, "My Doc.txt")};
    EXPECT_FALSE(clean.findItem(0, "nothing").has_value());
    EXPECT_FALSE(clean.findItem(4, "info").has_value()) << "not an item of the Trash";
    const test::Inventory app = test::inventory(home.tree / ".cache/app");
    const std::string info = test::readFile(home.trash("/info/My Doc.txt.trashinfo"));
    std::uint64_t before = 0, after = 0;
    ASSERT_TRUE(clean.scan([&](std::size_t, const RowSize& size) { before += size.bytes; }));
    const auto outcome = clean.clean([&](std::size_t, const RowSize& size) { after += size.bytes; });
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->space.removedBytes, before - after);
    EXPECT_EQ(test::inventory(home.tree / ".cache/app"), app);
    EXPECT_FALSE(test::exists(home.tree / ".cache/f0") || test::exists(home.tree / ".cache/f1"));
    EXPECT_EQ(test::readFile(home.trash("/files/My Doc.txt")).size(), 40u);
    EXPECT_EQ(test::readFile(home.trash("/info/My Doc.txt.trashinfo")), info);
    EXPECT_FALSE(test::exists(home.trash("/files/dir")) || test::exists(home.trash("/info/dir.trashinfo"))
                 || test::exists(home.trash("/f0")));
    for (std::size_t row = 1; row < 4; ++row)
        EXPECT_FALSE(home.rowExists(row)) << row;
}

// Races against a clean that keeps "app" and "f0" of Caches, played after
// the scan that found them and before the clean, or during the clean just
// before it removes another entry: neither a kept item nor anything outside
// the granted folder is lost.
enum class Race { KeptFolderSwappedForALink, KeptFileRenamedOntoARemovedName, KeptFileRenamedToANewName };
struct RaceCase {
    Race race;
    bool duringTheClean;
};

std::string raceName(const RaceCase& c)
{
    const std::array<const char*, 3> names{"KeptFolderSwappedForALink", "KeptFileRenamedOntoARemovedName",
                                           "KeptFileRenamedToANewName"};
    return std::string(names[static_cast<std::size_t>(c.race)]) + (c.duringTheClean ? "During" : "Before") + "TheClean";
}

class KeptItemRaces : public ::testing::TestWithParam<RaceCase> {};

TEST_P(KeptItemRaces, LoseNeitherAKeptItemNorAnythingOutside)
{
    HomeWithItems home;
    const test::Canary canary(home.tree);
    for (int i = 1; i < 6; ++i)
        home.tree.makeFile(".cache/f" + std::to_string(i), 100);
    const std::string cache = home.tree / ".cache";
    const test::Inventory app = test::inventory(cache + "/app");
    JunkJob clean = home.job({true, false, false, false, false});
    clean.keep[0] = {*clean.findItem(0, "app"), *clean.findItem(0, "f0")};
    test::writeFile(cache + "/f0", "kept");
    const Race race = GetParam().race;
    const auto play = [&](const std::string& removedName) {
        switch (race) {
        case Race::KeptFolderSwappedForALink:
            ASSERT_EQ(::rename((cache + "/app").c_str(), (home.tree / "moved").c_str()), 0);
            home.tree.makeSymlink(".cache/app", canary.dir);
            break;
        case Race::KeptFileRenamedOntoARemovedName:
            ASSERT_EQ(::rename((cache + "/f0").c_str(), (cache + "/" + removedName).c_str()), 0);
            break;
        case Race::KeptFileRenamedToANewName:
            ASSERT_EQ(::rename((cache + "/f0").c_str(), (cache + "/g-renamed").c_str()), 0);
            break;
        }
    };
    bool played = false;
    if (!GetParam().duringTheClean) {
        play("f3");
        played = true;
    }
    clean.removeProbe = [&](int, const char* name) {
        if (!played && name[0] == 'f') {
            played = true;
            play(name);
        }
    };
    ASSERT_TRUE(clean.clean([](std::size_t, const RowSize&) {}).has_value());
    ASSERT_TRUE(played);
    EXPECT_EQ(canary.damage(), "");
    std::size_t entries = 0, keptFiles = 0;
    for (const auto& entry : std::filesystem::directory_iterator(cache)) {
        ++entries;
        keptFiles += entry.is_regular_file() && test::readFile(entry.path().string()) == "kept" ? 1 : 0;
    }
    if (race == Race::KeptFolderSwappedForALink) {
        EXPECT_EQ(test::inventory(home.tree / "moved"), app);
        EXPECT_TRUE(test::exists(cache + "/app")) << "the name kept stays, whatever it now is";
    } else {
        EXPECT_EQ(test::inventory(cache + "/app"), app);
    }
    EXPECT_EQ(keptFiles, 1u) << "the kept file, under whichever name";
    EXPECT_EQ(entries, 2u) << "the two kept items, and nothing else";
}

INSTANTIATE_TEST_SUITE_P(AroundTheClean, KeptItemRaces,
                         ::testing::Values(RaceCase{Race::KeptFolderSwappedForALink, false},
                                           RaceCase{Race::KeptFolderSwappedForALink, true},
                                           RaceCase{Race::KeptFileRenamedOntoARemovedName, false},
                                           RaceCase{Race::KeptFileRenamedOntoARemovedName, true},
                                           RaceCase{Race::KeptFileRenamedToANewName, false},
                                           RaceCase{Race::KeptFileRenamedToANewName, true}),
                         [](const auto& info) { return raceName(info.param); });

} // namespace
} // namespace headroom
