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
    // A link as the location measures 0 and stays, whatever the slashes;
    // so does a location below a link; one that is not there is gone
    // already. Links and hard links inside count their own size and go
    // themselves; so does a link given to removeTreeAt by name. A name that
    // addresses anything but an entry of the folder removes nothing.
    // (Entries of any name and kind, removed whole, are the tree fuzzer's.)
    const UniqueFd home = folder(tree / "home");
    for (const char* bad : {"", ".", "..", "loc/sub", "/"}) {
        const RemoveResult r = removeTreeAt(home.get(), bad);
        EXPECT_TRUE(r.removed == 0 && r.failed == 1 && r.error == EINVAL && !r.locationGone) << "'" << bad << "'";
    }
    const struct {
        std::string base;
        const char* relative;
        std::uint64_t removed;
        bool gone;
    } cases[] = {{tree / "home/", "Downloads/", 0, false}, {tree / "home//", ".cache/", 0, false},
                 {tree / "home", "Trash", 0, false},       {tree / "home", "Downloads/sub", 0, false},
                 {tree / "home", "not/there", 0, true},    {tree / "home/", "loc/", 9, true}};
    for (const auto& c : cases) {
        EXPECT_EQ(measureTree(c.base + "/" + c.relative).bytes, c.removed == 0 ? 0 : *loc) << c.relative;
        EXPECT_EQ(inventory(tree / "home").size(), 12u) << "the bad names, or the cases before, removed something";
        const RemoveResult r = removeLocation(c.base, c.relative);
        EXPECT_EQ(r.removed, c.removed) << c.relative;
        EXPECT_EQ(r.locationGone, c.gone) << c.relative;
        EXPECT_EQ(r.error, c.gone ? 0 : ELOOP) << c.relative;
        EXPECT_EQ(canary.damage(), "") << c.relative;
    }
    EXPECT_EQ(inventory(tree / "home").size(), 3u);
    EXPECT_EQ(removeTreeAt(home.get(), "Trash").removed, 1u);
    EXPECT_TRUE(removeTreeAt(home.get(), "absent").locationGone);
    EXPECT_EQ(canary.damage(), "");
}

// Other mounts, each kind in a private mount namespace: bind mounts of the
// canary folder (twice) or of the canary file and a tmpfs inside the
// location; the location itself a mount point (a tmpfs, or a bind mount of
// a folder elsewhere on the same file system); or the folder above it a
// bind mount. The walk, on any number of threads, neither enters nor
// counts another mount inside, not even its mount point's entry, as a
// clean could not remove that either, and measures a mounted location
// within its own mount. The removal leaves every other mount inside alone,
// and a location that is another mount or lies below one as it is (EXDEV).
enum MountKind { BindInside, FileBindInside, TmpfsInside, TmpfsLocation, BindLocation, BindAbove };

class OtherMounts : public ::testing::TestWithParam<MountKind> {};

TEST_P(OtherMounts, AreNeitherMeasuredNorRemovedNorIsALocationOnOne)
{
    const MountKind kind = GetParam();
    const TempTree tree;
    const Canary canary(tree);
    tree.makeDir("way");
    tree.makeDir("way/loc");
    writeFile(tree / "elsewhere/keep", "x");
    const std::string loc = tree / "way/loc";
    const bool tmpfsBelow = kind == TmpfsInside || kind == TmpfsLocation || kind == BindLocation;
    const bool locationStays = kind == TmpfsLocation || kind == BindLocation || kind == BindAbove;
    expectChildPassed(runInPrivateMounts([&]() -> ChildOutcome {
        const auto mount = [](const std::string& what, const std::string& where) {
            return what == "tmpfs" ? ::mount("headroom-test", where.c_str(), "tmpfs", 0, "size=1m") == 0
                                   : ::mount(what.c_str(), where.c_str(), nullptr, MS_BIND, nullptr) == 0;
        };
        if ((kind == TmpfsLocation && !mount("tmpfs", loc)) || (kind == BindLocation && !mount(tree / "elsewhere", loc))
            || (kind == BindAbove && !mount(tree / "elsewhere", tree / "way")))
            return ChildOutcome::refuse("mount on or above the location refused");
        if (kind == BindAbove)
            tree.makeDir("way/loc");
        writeFile(loc + "/own", "x");
        writeFile(loc + "/dir/f", "x");
        writeFile(loc + "/deep/mnt/f", "x");
        writeFile(loc + "/file", "x");
        tree.makeDir("way/loc/mnt");
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
            options.items = true;
            const WalkResult w = measureTree(loc, options);
            std::uint64_t items = 0;
            for (const WalkItem& item : w.items.list) {
                const std::string name(w.items.name(item));
                items += std::find(points.begin(), points.end(), "/" + name) == points.end() ? item.bytes : 1;
            }
            if (!want || w.bytes != *want || w.errors != 0 || items != w.bytes)
                problems += "measured " + std::to_string(w.bytes) + ", items " + std::to_string(items) + " on "
                            + std::to_string(threads) + " threads; ";
        }
        // Emptied around a kept entry, a location on the tree's own mount
        // leaves the mounts inside alone just the same.
        if (!locationStays) {
            removeEntriesAt(folder(loc).get(),
                            [](const char* name, const MountIdentity&) { return name == std::string("own"); });
            if (!exists(loc + "/own") || exists(loc + "/dir"))
                problems += "emptied around a kept entry: not as pinned; ";
            problems += canary.damage();
        }
        const Inventory before = inventory(loc);
        const RemoveResult r = removeLocation(tree.path(), "way/loc");
        problems += canary.damage();
        if (tmpfsBelow && readFile(loc + "/mnt/inside") != "on tmpfs")
            problems += "the mount below was entered; ";
        if (locationStays
                ? inventory(loc) != before
                : exists(loc + "/own") || exists(loc + "/dir") || (kind != BindInside && exists(loc + "/deep")))
            problems += "the location is not as pinned; ";
        if (!exists(tree / "elsewhere/keep"))
            problems += "the folder elsewhere lost its content; ";
        // Each mount point inside and its ancestors fail, the first as
        // another mount; a location on another mount is one entry failed.
        const std::uint64_t failed = locationStays ? 1u : kind == BindInside ? 4u : 2u;
        if (r.locationGone || r.failed != failed || r.error != EXDEV || (locationStays && r.removed != 0))
            problems += "failed " + std::to_string(r.failed) + ", error " + std::to_string(r.error) + "; ";
        return problems.empty() ? ChildOutcome::pass() : ChildOutcome::fail(problems);
    }));
    EXPECT_EQ(canary.damage(), "");
}

constexpr const char* kMountKinds[]{"BindInside",    "FileBindInside", "TmpfsInside",
                                    "TmpfsLocation", "BindLocation",   "BindAbove"};

INSTANTIATE_TEST_SUITE_P(Kinds, OtherMounts,
                         ::testing::Values(BindInside, FileBindInside, TmpfsInside, TmpfsLocation, BindLocation,
                                           BindAbove),
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
