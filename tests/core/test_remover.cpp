// The remover against links, mounts, cancels and several threads, and the
// walker against the same links and mounts. (Folders that cannot be read
// are the fault tests'.)
// Every removal is pointed into a TempTree beside a canary that must come
// through intact.

#include "core/Location.h"
#include "core/TreeRemover.h"
#include "core/TreeWalker.h"
#include "core/UniqueFd.h"
#include "tests/support/ChildExpect.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace headroom;
using namespace headroom::test;

// A folder held open for the length of a test.
UniqueFd folder(const std::string& path)
{
    return UniqueFd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

std::size_t entriesBelow(const std::string& path)
{
    return exists(path) ? inventory(path).size() : 0;
}

TEST(TreeRemover, LinksAreMeasuredAndRemovedThemselvesAndNeverFollowed)
{
    const TempTree tree;
    const Canary canary(tree);
    writeFile(tree / "home/loc/sub/f", "x");
    for (const auto& [name, target] : {std::pair{"Downloads", canary.dir},
                                       {".cache", canary.dir + "/"},
                                       {"Trash", canary.file},
                                       {"loc/dir", canary.dir},
                                       {"loc/sub/file", canary.file},
                                       {"loc/sub/up", ".."},
                                       {"loc/dangling", "/nonexistent"},
                                       {"loc/sub/slash", "../../../canary/"}})
        tree.makeSymlink("home/" + std::string(name), target);
    tree.makeHardLink("canary.txt", "home/loc/hard");
    const auto loc = duBelow(tree / "home/loc");
    ASSERT_TRUE(loc);
    // A link as the location measures 0 and goes itself, whatever the
    // slashes; links and hard links inside count their own size and go
    // themselves. (A link above the location refuses it: that is the
    // Location tests'.)
    const struct {
        std::string base;
        const char* relative;
        std::uint64_t removed;
        bool gone;
    } cases[] = {{tree / "home/", "Downloads/", 1, true},
                 {tree / "home//", ".cache/", 1, true},
                 {tree / "home", "Trash", 1, true},
                 {tree / "home/", "loc/", 9, true}};
    for (const auto& c : cases) {
        EXPECT_EQ(measureTree(c.base + "/" + c.relative).bytes, c.removed == 1 ? 0 : *loc) << c.relative;
        const RemoveResult r = removeLocation(c.base, c.relative);
        EXPECT_EQ(r.removed, c.removed) << c.relative;
        EXPECT_EQ(r.locationGone, c.gone) << c.relative;
        EXPECT_EQ(canary.damage(), "") << c.relative;
    }
    EXPECT_EQ(inventory(tree / "home").size(), 0u);
}

// In one open folder, names that address anything but one of its entries
// remove nothing; a name that is not there is gone already. (Entries of any
// name and kind, removed whole, are the tree fuzzer's.)
TEST(TreeRemover, OnlyTheNameOfAnEntryRemovesAnything)
{
    const TempTree tree;
    writeFile(tree / "home/loc/nested/f", "data");
    const Inventory before = inventory(tree / "home");
    const UniqueFd home = folder(tree / "home");
    for (const char* bad : {"", ".", "..", "loc/nested", "/"}) {
        const RemoveResult r = removeTreeAt(home.get(), bad);
        EXPECT_TRUE(r.removed == 0 && r.failed == 1 && !r.locationGone) << "'" << bad << "'";
    }
    for (const RemoveResult& r : {removeTreeAt(home.get(), "absent"), removeLocation(tree / "home", "not/there")})
        EXPECT_TRUE(r.removed + r.failed == 0 && r.locationGone);
    EXPECT_EQ(inventory(tree / "home"), before);
}

// Other mounts, each kind in a private mount namespace: bind mounts of the
// canary folder (twice) or of the canary file and a tmpfs inside the
// location, and the location itself a mount point (a tmpfs, or a bind mount
// of a folder elsewhere on the same file system) with a tmpfs below it. The
// walk, on any number of threads, neither enters nor counts another mount,
// not even its mount point's entry, as a clean could not remove that
// either; the removal leaves every other mount alone and empties a mounted
// location inside.
enum MountKind { BindInside, FileBindInside, TmpfsInside, TmpfsLocation, BindLocation };

class OtherMounts : public ::testing::TestWithParam<MountKind> {};

TEST_P(OtherMounts, AreNeitherMeasuredNorRemovedAndAMountedLocationIsEmptiedInside)
{
    const MountKind kind = GetParam();
    const TempTree tree;
    const Canary canary(tree);
    tree.makeDir("loc");
    writeFile(tree / "elsewhere/keep", "x");
    const std::string loc = tree / "loc";
    const bool tmpfsBelow = kind == TmpfsInside || kind == TmpfsLocation || kind == BindLocation;
    expectChildPassed(runInPrivateMounts([&]() -> ChildOutcome {
        const auto mount = [](const std::string& what, const std::string& where) {
            return what == "tmpfs" ? ::mount("headroom-test", where.c_str(), "tmpfs", 0, "size=1m") == 0
                                   : ::mount(what.c_str(), where.c_str(), nullptr, MS_BIND, nullptr) == 0;
        };
        if ((kind == TmpfsLocation && !mount("tmpfs", loc))
            || (kind == BindLocation && !mount(tree / "elsewhere", loc)))
            return ChildOutcome::refuse("mount on the location refused");
        writeFile(loc + "/own", "x");
        writeFile(loc + "/dir/f", "x");
        writeFile(loc + "/deep/mnt/f", "x");
        writeFile(loc + "/file", "x");
        tree.makeDir("loc/mnt");
        std::vector<std::string> points{"/mnt"};
        if (kind == BindInside)
            points.emplace_back("/deep/mnt");
        else if (kind == FileBindInside)
            points = {"/file"};
        for (const std::string& point : points)
            if (!mount(tmpfsBelow ? "tmpfs" : kind == FileBindInside ? canary.file : canary.dir, loc + point))
                return ChildOutcome::refuse("mount below the location refused");
        if (tmpfsBelow)
            writeFile(loc + "/mnt/inside", "on tmpfs");
        // du enters the mounts: what it finds through each mount point is
        // what the walk must leave out.
        std::optional<std::uint64_t> want = duBelow(loc);
        for (const std::string& point : points) {
            const auto mounted = duApparentBytes(loc + point);
            want = want && mounted ? std::optional(*want - *mounted) : std::nullopt;
        }
        std::string problems;
        for (const unsigned threads : {1u, 2u, 4u}) {
            WalkOptions options;
            options.threads = threads;
            const WalkResult w = measureTree(loc, options);
            if (!want || w.bytes != *want || w.errors != 0)
                problems += "measured " + std::to_string(w.bytes) + " on " + std::to_string(threads) + " threads; ";
        }
        RemoveResult r = removeLocation(tree.path(), "loc");
        problems += canary.damage();
        if (tmpfsBelow && readFile(loc + "/mnt/inside") != "on tmpfs")
            problems += "the mount below was entered; ";
        if (exists(loc + "/own") || exists(loc + "/dir") || (kind != BindInside && exists(loc + "/deep")))
            problems += "the location's own content stayed; ";
        if (exists(tree / "elsewhere/keep") != (kind != BindLocation))
            problems += "the folder elsewhere is not as pinned; ";
        if (r.locationGone || r.failed != (kind == BindInside ? 4u : 2u)) // each mount point and its ancestors
            problems += "failed " + std::to_string(r.failed) + "; ";
        if (kind == TmpfsLocation || kind == BindLocation) {
            // With nothing mounted below, the mount's content goes and its
            // mount point stays: the one entry counted as failed.
            ::umount2((loc + "/mnt").c_str(), MNT_DETACH);
            r = removeLocation(tree.path(), "loc");
            if (r.removed != 1 || r.failed != 1 || r.locationGone || !exists(loc) || entriesBelow(loc) != 0)
                problems +=
                    "second removal: removed " + std::to_string(r.removed) + ", failed " + std::to_string(r.failed);
        }
        return problems.empty() ? ChildOutcome::pass() : ChildOutcome::fail(problems);
    }));
    EXPECT_EQ(canary.damage(), "");
}

constexpr const char* kMountKinds[]{"BindInside", "FileBindInside", "TmpfsInside", "TmpfsLocation", "BindLocation"};

INSTANTIATE_TEST_SUITE_P(Kinds, OtherMounts,
                         ::testing::Values(BindInside, FileBindInside, TmpfsInside, TmpfsLocation, BindLocation),
                         [](const auto& info) { return std::string(kMountKinds[info.param]); });

// loc/ shaped like a folder of many subfolders, or like a trash (nearly
// everything below files/); links and hard links to the canary in each.
struct Location {
    const TempTree tree;
    const Canary canary{tree};
    const UniqueFd parent = folder(tree.path());
    std::size_t entries = 0;

    explicit Location(bool trash)
    {
        const std::string top = trash ? "loc/files/t" : "loc/s";
        for (int i = 0; i < (trash ? 20 : 37); ++i) {
            const std::string sub = top + std::to_string(i);
            for (int j = 0; j < 5; ++j)
                writeFile(tree / (sub + "/f" + std::to_string(j)), "x");
            writeFile(tree / (sub + "/nested/deeper/g"), "x");
            tree.makeSymlink(sub + "/to-canary", canary.dir);
            tree.makeHardLink("canary.txt", sub + "/nested/hard");
        }
        writeFile(tree / "loc/info/t0.trashinfo", "x");
        entries = inventory(tree / "loc").size();
    }
};

// Removals on one to eight threads, and some cancelled: before the start,
// as the second subfolder is opened, or midway while several threads share
// the subfolders. Every entry is counted once, removed or left, and on one
// thread nothing at all is removed after the request. Where the subfolders
// are to be shared out (more than one thread, and in a trash fewer
// subfolders than threads), the first waits until a second thread has
// taken one.
struct Share {
    std::string name;
    bool trash;
    unsigned threads;
    int cancelAt; // the subfolder whose opening cancels; 0 before the start, -1 never
};

class Parallel : public ::testing::TestWithParam<Share> {};

TEST_P(Parallel, OrCancelledRemovalCountsEveryEntryOnce)
{
    // Variables, not bindings: the lambda below captures them.
    const bool trash = GetParam().trash;
    const unsigned threads = GetParam().threads;
    const int cancelAt = GetParam().cancelAt;
    const Location l(trash);
    std::atomic<bool> cancel{cancelAt == 0};
    std::atomic<int> opened{0};
    std::size_t atCancel = 0;
    std::mutex mutex;
    std::condition_variable shared;
    std::set<std::thread::id> workers;
    bool gaveUp = false;
    const bool sharing = threads != 1 && !(trash && threads == 2) && cancelAt != 0;
    const int before = openDescriptors();
    WorkProgress progress;
    std::atomic<std::uint64_t> shownMidway{0}; // by a later subfolder's opening
    const RemoveResult r = removeTreeAt(
        l.parent.get(), "loc",
        [&](int, const char* entry) {
            shownMidway = std::max(shownMidway.load(), progress.entries.load());
            const bool subfolder = entry[0] == 's' || entry[0] == 't';
            if (subfolder && opened.fetch_add(1) + 1 == cancelAt) {
                atCancel = threads == 1 ? entriesBelow(l.tree / "loc") : 0;
                cancel = true;
            }
            std::unique_lock lock(mutex);
            workers.insert(std::this_thread::get_id());
            shared.notify_all();
            if (sharing && !gaveUp && subfolder)
                gaveUp = !shared.wait_for(lock, std::chrono::seconds(10), [&] { return workers.size() > 1; });
        },
        &cancel, threads, &progress);
    EXPECT_EQ(openDescriptors(), before);
    EXPECT_EQ(progress.entries, r.removed); // what it showed as it went
    EXPECT_TRUE(cancelAt == 0 || shownMidway > 0);
    EXPECT_EQ(r.cancelled, cancelAt >= 0);
    EXPECT_EQ(r.locationGone, cancelAt < 0);
    EXPECT_EQ(r.failed, 0u);
    EXPECT_EQ(r.removed + entriesBelow(l.tree / "loc"), l.entries + (r.locationGone ? 1 : 0));
    EXPECT_EQ(r.removed == 0, cancelAt == 0);
    EXPECT_TRUE(threads != 1 || cancelAt < 0 || entriesBelow(l.tree / "loc") == atCancel);
    EXPECT_TRUE(workers.size() > 1 || !sharing);
    EXPECT_EQ(l.canary.damage(), "");
    EXPECT_TRUE(!trash || cancelAt < 0 || exists(l.tree / "loc/files"));
}

std::vector<Share> shares()
{
    std::vector<Share> all{{"WideCancelledAtTheStart", false, 4, 0},
                           {"WideOnOneThreadCancelledAtTheSecond", false, 1, 2},
                           {"WideCancelledMidway", false, 4, 20},
                           {"TrashCancelledMidway", true, 4, 12}};
    for (const bool trash : {false, true})
        for (const unsigned threads : {1u, 2u, 3u, 8u, 0u})
            all.push_back({(trash ? "TrashOn" : "WideOn") + std::to_string(threads) + "Threads", trash, threads, -1});
    return all;
}

INSTANTIATE_TEST_SUITE_P(Shapes, Parallel, ::testing::ValuesIn(shares()),
                         [](const auto& info) { return info.param.name; });

} // namespace
