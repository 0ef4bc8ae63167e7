#include "core/TreeWalker.h"

#include "tests/support/ChildExpect.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using headroom::measureTree;
using headroom::measureTreeAt;
using headroom::WalkOptions;
using headroom::WalkResult;
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
    return "bytes " + std::to_string(r.bytes) + ", entries " + std::to_string(r.entries) + ", errors " +
        std::to_string(r.errors);
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
    const std::vector<std::string> odd{"\xff\xfe bytes", "new\nline", "-rf", " lead", "tab\there", "\x01\x7f",
                                       std::string(255, 'L'), ".hidden", "..dots", "\xc3\x28"};
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

} // namespace

TEST(TreeWalker, SumMatchesDuForEveryThreadCountDescriptorBoundAndRingChoice)
{
    for (unsigned seed : {1u, 2u, 3u}) {
        TempTree t;
        buildMixedTree(t, seed);
        const auto du = duBelow(t.path());
        ASSERT_TRUE(du) << "seed " << seed;
        for (unsigned threads : {1u, 2u, 3u, 8u}) {
            for (unsigned bound : {0u, 1u, 2u, 5u}) {
                for (bool ring : {true, false}) {
                    const WalkResult r = measureTree(t.path(), withThreads(threads, bound, ring));
                    EXPECT_TRUE(r.bytes == *du && r.errors == 0)
                        << said(r) << ", du " << *du << "; seed " << seed << " threads " << threads << " bound "
                        << bound << " ring " << ring;
                }
            }
        }
        EXPECT_EQ(measureTree(t.path()).bytes, *du) << "default options, seed " << seed;
    }
}

// Links inside a tree count their own size and are never followed: the
// mixed trees above hold links to files, folders, nowhere and ancestors.
// A root given as a link measures 0, trailing slashes or not; links above
// the root's last component are the caller's and are followed, at any
// length of the path.
TEST(TreeWalker, RootGivenAsALinkIsNotFollowed)
{
    TempTree t;
    t.makeDir("outside");
    t.makeFile("outside/big", 1 << 20);
    t.makeDir("root");
    t.makeSymlink("root/to-folder", "../outside");
    t.makeSymlink("root/up", "..");
    t.makeSymlink("via", "outside");
    for (const char* root : {"via", "via/", "via//", "root/to-folder", "missing", "outside/big"})
        EXPECT_EQ(measureTree(t / root).bytes, 0u) << root;
    EXPECT_EQ(measureTree("").bytes, 0u);
    EXPECT_EQ(measureTree(t / "root/up/outside").bytes, std::uint64_t{1} << 20);
    const std::string level(250, 'n');
    t.makeChain("outside", 20, level, 7); // below the last level only its file
    std::string deep = t / "root/up/outside";
    for (int i = 0; i < 20; ++i)
        deep += "/" + level;
    EXPECT_EQ(measureTree(deep).bytes, 7u);
    const int fd = ::open((t / "root").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(measureTreeAt(fd, "to-folder").bytes, 0u);
    EXPECT_EQ(measureTreeAt(fd, "up").bytes, 0u);
    EXPECT_EQ(measureTreeAt(fd, ".").bytes, entrySize(t / "root/to-folder") + entrySize(t / "root/up"));
    ::close(fd);
}

// Root ignores permissions, so this runs in a child without the DAC
// capabilities.
TEST(TreeWalker, UnreadableFolderIsAnErrorAndNothingInsideIsCounted)
{
    TempTree t;
    t.makeDir("root");
    t.makeFile("root/private", 4321, 0); // measuring needs no permission on the file
    t.makeDir("root/locked");
    t.makeFile("root/locked/secret", 5000);
    t.makeDir("root/locked/sub");
    // Listable but not searchable: each entry is an error, and enough of
    // them for a batched statx, which runs on kernel threads that must be
    // refused just the same.
    t.makeDir("root/noexec");
    for (int i = 0; i < 40; ++i)
        t.makeFile("root/noexec/f" + std::to_string(i), 1000 + static_cast<std::size_t>(i));
    t.makeDir("root/noexec/c");
    t.makeDir("lockedroot", 0);
    const auto all = duBelow(t / "root");
    const auto locked = duBelow(t / "root/locked");
    const auto noexec = duBelow(t / "root/noexec");
    ASSERT_TRUE(all && locked && noexec);
    ASSERT_EQ(::chmod((t / "root/locked").c_str(), 0), 0);
    ASSERT_EQ(::chmod((t / "root/noexec").c_str(), 0444), 0);
    const std::uint64_t expected = *all - *locked - *noexec;
    expectChildPassed(headroom::test::runWithoutDacCapabilities([&] {
        if (::access((t / "root/private").c_str(), R_OK) == 0)
            return ChildOutcome::fail("a mode-0 file is still readable: capabilities not dropped");
        for (unsigned threads : {1u, 2u}) {
            for (bool ring : {true, false}) {
                const WalkResult r = measureTree(t / "root", withThreads(threads, 0, ring));
                if (r.bytes != expected || r.errors != 1 + 41)
                    return ChildOutcome::fail(said(r) + ", expected bytes " + std::to_string(expected) +
                                              " and 42 errors");
            }
        }
        const WalkResult r = measureTree(t / "lockedroot");
        if (r.bytes != 0 || r.errors != 1)
            return ChildOutcome::fail("unreadable root: " + said(r));
        return ChildOutcome::pass();
    }));
}

// The walk holds only the current folder open, so it climbs back up
// through "..". Moving an ancestor out of the tree while the walk is below
// it makes ".." lead outside: that ends the branch, not walks the outside.
TEST(TreeWalker, FolderMovedAwayWhileWalkedBelowItIsNotClimbedOutOf)
{
    TempTree t;
    t.makeDir("root");
    t.makeChain("root", 6, "c", 10);
    t.makeDir("outside");
    t.makeFile("outside/big", 1 << 20);
    bool moved = false;
    WalkOptions o = withThreads(1, 1);
    o.onFolderEntered = [&](std::size_t depth) {
        if (depth == 6 && !moved)
            moved = std::rename((t / "root/c/c/c").c_str(), (t / "outside/moved").c_str()) == 0;
    };
    const WalkResult r = measureTree(t / "root", o);
    ASSERT_TRUE(moved);
    EXPECT_LT(r.bytes, std::uint64_t{1} << 20) << said(r);
    EXPECT_GE(r.errors, 1u);
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
