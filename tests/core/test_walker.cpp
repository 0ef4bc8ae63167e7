#include "core/TreeWalker.h"

#include "tests/support/ChildExpect.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <limits>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using headroom::measureTree;
using headroom::WalkOptions;
using headroom::WalkResult;
using headroom::WorkProgress;
using headroom::test::ChildOutcome;
using headroom::test::duBelow;
using headroom::test::entrySize;
using headroom::test::expectChildPassed;
using headroom::test::TempTree;

namespace {

WalkOptions withThreads(unsigned threads, unsigned maxOpenFolders = 0, bool batchStat = true)
{
    WalkOptions o;
    o.threads = threads;
    o.maxOpenFolders = maxOpenFolders;
    o.batchStat = batchStat;
    return o;
}

std::string said(const WalkResult& r)
{
    return "bytes " + std::to_string(r.bytes) + ", entries " + std::to_string(r.entries) + ", errors "
           + std::to_string(r.errors) + ", incomplete " + std::to_string(r.incomplete) + ", allocated "
           + std::to_string(r.allocated) + ", items " + std::to_string(r.items.list.size());
}

// A tree with a bit of everything: nested and empty folders, files of many
// sizes, sparse files, hard links, links to files, to folders, to nowhere
// and to an ancestor, names that are not text, a folder wide enough for
// several batches of statx, and (in the first tree) a ladder of folders
// each holding a full listing batch of long-named subfolders, more names
// than a worker keeps noted at once, so listings stop and are resumed from
// a cookie.
void buildMixedTree(const TempTree& t, unsigned seed)
{
    std::mt19937 rng(seed);
    auto pick = [&rng](std::size_t n) { return static_cast<unsigned>(rng() % n); };
    std::vector<std::string> folders{""};
    std::vector<std::string> files;
    const std::vector<std::string> odd{"\xff\xfe bytes", "new\nline",           "-rf",     " lead",  "tab\there",
                                       "\x01\x7f",       std::string(255, 'L'), ".hidden", "..dots", "\xc3\x28"};
    t.makeDir("wide");
    for (unsigned i = 0; i < 700; ++i) {
        if (i % 50 == 0)
            t.makeSymlink("wide/w" + std::to_string(i), "../wide");
        else
            t.makeFile("wide/w" + std::to_string(i), pick(3) == 0 ? 0 : pick(9000));
    }
    std::string rung = "ladder";
    t.makeDir(rung);
    for (int level = 0; level < (seed == 1 ? 6 : 0); ++level) {
        for (int i = 0; i < 230; ++i)
            t.makeDir(rung + "/" + std::to_string(i) + std::string(246, 'w'));
        t.makeFile(rung + "/f", static_cast<std::size_t>(level) * 11);
        rung += "/r"; // made last: on most file systems entered first
        t.makeDir(rung);
    }
    for (unsigned i = 0; i < 160; ++i) {
        const std::string& parent = folders[pick(folders.size())];
        const std::string base = (i % 9 == 0) ? odd[(i / 9) % odd.size()] : "e" + std::to_string(i);
        const std::string rel = parent.empty() ? base : parent + "/" + base;
        const std::vector<std::string> targets{"/", "/etc/passwd", "nowhere", "..", "../..", ".", t.path()};
        const unsigned kind = pick(8);
        if (kind <= 1)
            t.makeDir(folders.emplace_back(rel));
        else if (kind == 2)
            t.makeSparseFile(files.emplace_back(rel), 1 + (std::uint64_t{pick(1000)} << 20));
        else if (kind == 3 && !files.empty())
            t.makeHardLink(files[pick(files.size())], rel);
        else if (kind <= 4)
            t.makeSymlink(rel, targets[pick(targets.size())]);
        else
            t.makeFile(files.emplace_back(rel), pick(5) == 0 ? 0 : pick(70000));
    }
}

// What each entry directly inside `folder` measures as an item: du's
// figure for a folder (itself included), its own size for anything else.
std::map<std::string, std::uint64_t> itemsByDu(const std::string& folder)
{
    std::map<std::string, std::uint64_t> want;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string path = entry.path().string();
        want[entry.path().filename().string()] = entry.is_directory() && !entry.is_symlink()
                                                     ? headroom::test::duApparentBytes(path).value()
                                                     : entrySize(path);
    }
    return want;
}

std::map<std::string, std::uint64_t> itemsOf(const WalkResult& r)
{
    std::map<std::string, std::uint64_t> got;
    for (const headroom::WalkItem& item : r.items.list)
        got[std::string(r.items.name(item))] = item.bytes;
    return got;
}

} // namespace

// Each mixed tree measured on every thread count (0: the machine's),
// descriptor bound (0: the budget's) and ring choice; with items (of the
// root, or of its folder "wide") on most of them. The items' sums come from
// the same walk whichever worker counted their subfolders: they add up to
// the total and each matches du.
class WalkerSums : public ::testing::TestWithParam<unsigned> {};

TEST_P(WalkerSums, MatchDuOnEveryShareOfTheWork)
{
    TempTree t;
    buildMixedTree(t, GetParam());
    const auto du = duBelow(t.path());
    const auto duAllocated = duBelow(t.path(), true);
    ASSERT_TRUE(du && duAllocated);
    const auto rootItems = itemsByDu(t.path());
    const auto wideItems = itemsByDu(t / "wide");
    for (unsigned threads : {0u, 1u, 3u, 8u}) {
        for (unsigned bound : {0u, 1u, 2u, 5u}) {
            for (bool ring : {true, false}) {
                const std::string how = "threads " + std::to_string(threads) + " bound " + std::to_string(bound)
                                        + " ring " + std::to_string(ring);
                // What the walk shows as it goes adds up to its result, and
                // has begun by the time a subfolder is entered.
                WorkProgress progress;
                std::atomic<std::uint64_t> shownEarly{0}; // from any walking thread
                WalkOptions o = withThreads(threads, bound, ring);
                o.items = bound != 2;
                o.itemsIn = bound == 5 ? "wide" : "";
                o.progress = &progress;
                o.onFolderEntered = [&](std::size_t) {
                    if (shownEarly.load() == 0)
                        shownEarly.store(progress.entries.load());
                };
                const WalkResult r = measureTree(t.path(), o);
                EXPECT_TRUE(r.bytes == *du && r.allocated == *duAllocated && r.errors == 0 && r.incomplete == 0)
                    << said(r) << ", du " << *du << " allocated " << *duAllocated << "; " << how;
                EXPECT_TRUE(progress.bytes == r.bytes && progress.entries == r.entries && shownEarly > 0)
                    << "shown " << progress.entries << " entries " << progress.bytes << " bytes; " << how;
                if (!o.items) {
                    EXPECT_TRUE(r.items.list.empty()) << how;
                    continue;
                }
                EXPECT_EQ(itemsOf(r), o.itemsIn.empty() ? rootItems : wideItems) << how;
                std::uint64_t bytes = 0, allocated = 0;
                for (const headroom::WalkItem& item : r.items.list) {
                    bytes += item.bytes;
                    allocated += item.allocated;
                }
                if (o.itemsIn.empty()) {
                    EXPECT_TRUE(bytes == r.bytes && allocated == r.allocated) << how;
                }
                EXPECT_TRUE(std::is_sorted(r.items.list.begin(), r.items.list.end(), [](const auto& a, const auto& b) {
                    return a.bytes > b.bytes;
                })) << how;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Trees, WalkerSums, ::testing::Values(1u, 2u, 3u), [](const auto& info) {
    return info.param == 1 ? std::string("WithLadder") : "Seed" + std::to_string(info.param);
});

// Four sparse files of 2^62 bytes add up past 2^64: the figure stops at
// 2^64 - 1, summed on one thread, and merged from two that each count one
// half (the first to enter a folder waits until the other has entered
// one). On a tmpfs, which takes files that large.
TEST(TreeWalker, SumsStopAtTheLargestFigure)
{
    const TempTree t;
    expectChildPassed(headroom::test::runInPrivateMounts([&] {
        if (::mount("headroom-test", t.path().c_str(), "tmpfs", 0, "size=1m") != 0)
            return ChildOutcome::refuse("tmpfs");
        for (int i = 0; i < 4; ++i) {
            const std::string folder = "h" + std::to_string(i % 2);
            ::mkdir((t / folder).c_str(), 0755);
            ::mkdir((t / (folder + "/s")).c_str(), 0755);
            t.makeSparseFile(folder + "/s/f" + std::to_string(i), std::uint64_t{1} << 62);
        }
        for (unsigned threads : {1u, 2u}) {
            std::mutex mutex;
            std::condition_variable entered;
            std::set<std::thread::id> walkers;
            WalkOptions o = withThreads(threads);
            o.onFolderEntered = [&](std::size_t) {
                std::unique_lock lock(mutex);
                walkers.insert(std::this_thread::get_id());
                entered.notify_all();
                entered.wait_for(lock, std::chrono::seconds(10), [&] { return walkers.size() >= threads; });
            };
            const WalkResult r = measureTree(t.path(), o);
            if (r.bytes != std::numeric_limits<std::uint64_t>::max() || r.entries != 8 || walkers.size() != threads)
                return ChildOutcome::fail(said(r) + " on " + std::to_string(walkers.size()) + " threads");
        }
        return ChildOutcome::pass();
    }));
}

TEST(TreeWalker, CancelReturnsPartialFiguresMarkedCancelled)
{
    TempTree t;
    for (int i = 0; i < 40; ++i) {
        t.makeDir("d" + std::to_string(i));
        for (int j = 0; j < 10; ++j)
            t.makeChain("d" + std::to_string(i), 1, "s" + std::to_string(j), 100);
    }
    const std::uint64_t all = measureTree(t.path()).entries;
    ASSERT_EQ(all, 40u * (1 + 10 * 2));
    constexpr unsigned kCancelAt = 3;
    for (unsigned threads : {1u, 4u}) {
        std::atomic<bool> cancel{false};
        std::atomic<unsigned> entered{0};
        WalkOptions o = withThreads(threads);
        o.cancel = &cancel;
        EXPECT_FALSE(measureTree(t.path(), o).cancelled);
        // Each worker raises the flag itself once the count is reached, so
        // every worker enters at most one folder from then on.
        o.onFolderEntered = [&](std::size_t) {
            if (entered.fetch_add(1) + 1 >= kCancelAt)
                cancel.store(true);
        };
        const WalkResult r = measureTree(t.path(), o);
        EXPECT_TRUE(r.cancelled) << "threads " << threads;
        EXPECT_LE(entered.load(), kCancelAt - 1 + threads) << "threads " << threads;
        EXPECT_GT(r.entries, 0u) << "threads " << threads;
        EXPECT_LT(r.entries, all / 2) << "threads " << threads;
    }
}
