// Faults from outside the core: folders that cannot be read (permissions,
// listing failing with EIO or ENOMEM), the process running out of
// descriptors or of memory. The walker
// counts what it reached and nothing twice, and says when its figure is
// incomplete; the remover passes over what it could not reach, and says
// when it stopped short; nothing hangs, and nothing holds a descriptor
// afterwards.

#include "core/Location.h"
#include "core/TreeRemover.h"
#include "core/TreeWalker.h"
#include "tests/support/ChildExpect.h"
#include "tests/support/Faults.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace headroom;
using namespace headroom::test;

std::string figures(const WalkResult& r)
{
    return std::to_string(r.bytes) + " bytes, " + std::to_string(r.errors) + " errors, incomplete "
           + std::to_string(r.incomplete);
}

std::string figures(const RemoveResult& r)
{
    return "removed " + std::to_string(r.removed) + ", failed " + std::to_string(r.failed) + ", incomplete "
           + std::to_string(r.incomplete);
}

// A location with a long chain and many short ones (so a walk in one go
// needs many descriptors), and a link to the canary.
struct Tree {
    const TempTree tree;
    const Canary canary{tree};
    std::optional<std::uint64_t> du;

    Tree()
    {
        writeFile(tree / "loc/a", "a");
        writeFile(tree / "loc/good/b", std::string(200, 'b'));
        tree.makeSymlink("loc/good/out", "../../canary");
        tree.makeChain("loc", 300, "c", 3);
        for (int i = 0; i < 40; ++i) {
            tree.makeDir("loc/wide" + std::to_string(i));
            tree.makeChain("loc/wide" + std::to_string(i), 20, "x", 7);
        }
        du = duBelow(tree / "loc");
    }
};

// A walk that does not say its figure is incomplete (for the reason `why`)
// is exact, and one that must be exact is.
std::string walkProblem(const WalkResult& r, std::uint64_t du, bool exact, int why)
{
    const bool sound =
        r.incomplete == 0 ? r.bytes == du && r.errors == 0 : !exact && r.incomplete == why && r.bytes < du;
    return sound ? "" : "walk: " + figures(r) + ", du " + std::to_string(du) + "; ";
}

// A folder that cannot be listed is one error to the walk, which counts
// nothing inside it, and the removal passes it over with the folders that
// hold it: one whose listing fails (EIO or ENOMEM, from a seccomp trap on
// getdents64), one the process may not read (root ignores permissions, so
// the child drops its DAC capabilities), and one it may list but not
// search, an error for each entry, enough of them for a batched statx,
// which runs on kernel threads that must be refused just the same. What
// cannot go stays: the entries of a folder the process may not change, and
// the folders that still hold something.
class Unreadable : public ::testing::TestWithParam<int> {};

TEST_P(Unreadable, FoldersAreErrorsToTheWalkAndPassedOverByTheRemoval)
{
#if defined(HEADROOM_TSAN)
    GTEST_SKIP() << "the syscall trap does not run under ThreadSanitizer";
#endif
    const TempTree tree;
    const Canary canary(tree);
    tree.makeDir("loc");
    tree.makeFile("loc/private", 4321, 0); // measuring or removing it needs no permission on it
    writeFile(tree / "loc/locked/kept", "0123456789");
    writeFile(tree / "loc/locked/deeper/kept2", "abc");
    writeFile(tree / "loc/unreadable/content/f", "x");
    writeFile(tree / "loc/fine/sub/gone", "x");
    writeFile(tree / "loc/good/bad/hidden", std::string(4000, 'h'));
    writeFile(tree / "loc/good/bad/inner/deeper", std::string(5000, 'd'));
    tree.makeSymlink("loc/good/out", "../../canary");
    tree.makeDir("loc/unreadable-empty", 0);
    std::set<std::string> left{"locked",     "locked/kept",        "locked/deeper",
                               "unreadable", "unreadable/content", "unreadable/content/f",
                               "noexec",     "noexec/c",           "good",
                               "good/bad"};
    tree.makeDir("loc/noexec");
    tree.makeDir("loc/noexec/c");
    for (int i = 0; i < 40; ++i) {
        tree.makeFile("loc/noexec/f" + std::to_string(i), 1000 + static_cast<std::size_t>(i));
        left.insert("noexec/f" + std::to_string(i));
    }
    const auto all = duBelow(tree / "loc"), bad = duBelow(tree / "loc/good/bad");
    const auto unreadable = duBelow(tree / "loc/unreadable"), noexec = duBelow(tree / "loc/noexec");
    ASSERT_TRUE(all && bad && unreadable && noexec);
    const Inventory kept = inventory(tree / "loc/good/bad");
    ASSERT_EQ(::chmod((tree / "loc/locked").c_str(), 0555), 0);
    ASSERT_EQ(::chmod((tree / "loc/unreadable").c_str(), 0), 0);
    ASSERT_EQ(::chmod((tree / "loc/noexec").c_str(), 0444), 0);
    expectChildPassed(runWithoutDacCapabilities([&]() -> ChildOutcome {
        if (::access((tree / "loc/private").c_str(), R_OK) == 0)
            return ChildOutcome::fail("a mode-0 file is still readable: capabilities not dropped");
        if (!failListingOf(tree / "loc/good/bad", GetParam()))
            return ChildOutcome::refuse("seccomp filter not allowed");
        const int before = openDescriptors();
        for (const unsigned threads : {1u, 4u}) {
            for (const bool ring : {true, false}) {
                WalkOptions options;
                options.threads = threads;
                options.batchStat = ring;
                const WalkResult w = measureTree(tree / "loc", options);
                if (w.bytes != *all - *bad - *unreadable - *noexec || w.errors != 1 + 1 + 1 + 41 || w.incomplete != 0)
                    return ChildOutcome::fail(figures(w));
            }
        }
        for (const char* root : {"loc/unreadable", "loc/good/bad"})
            if (const WalkResult w = measureTree(tree / root); w.bytes != 0 || w.errors != 1)
                return ChildOutcome::fail(std::string(root) + " as the root: " + figures(w));
        // Failed: the listing, bad and good; kept, deeper and locked;
        // unreadable; noexec's 41 entries and itself; the location.
        const RemoveResult r = removeLocation(tree.path(), "loc");
        if (r.locationGone || r.failed != 3 + 3 + 1 + 42 + 1 || r.incomplete != 0)
            return ChildOutcome::fail(figures(r));
        return openDescriptors() == before ? ChildOutcome::pass() : ChildOutcome::fail("descriptors leaked");
    }));
    if (IsSkipped())
        return;
    // What could not go, and the unlistable folder's content intact.
    const Inventory now = inventory(tree / "loc");
    for (const auto& [path, what] : kept) {
        EXPECT_EQ(now.count("good/bad/" + path) ? now.at("good/bad/" + path) : "", what) << path;
        left.insert("good/bad/" + path);
    }
    std::set<std::string> found;
    for (const auto& [path, what] : now)
        found.insert(path);
    EXPECT_EQ(found, left);
    EXPECT_EQ(canary.damage(), "");
}

INSTANTIATE_TEST_SUITE_P(Listings, Unreadable, ::testing::Values(EIO, ENOMEM),
                         [](const auto& info) { return std::string(info.param == EIO ? "EIO" : "ENOMEM"); });

// Too few descriptors or too little memory, for the walk and then for the
// removal: from the start, or (`midway`) once 20 folders were entered, on
// every thread the walk or the removal started with plenty. Either is exact
// or says it stopped short; one that must be exact is; a second removal
// with nothing short finishes what the first left.
struct Shortage {
    const char* name;
    unsigned spare;  // descriptors left free; 0: memory runs short instead
    unsigned spared; // allocations of 64 KiB and more that still succeed
    bool otherThreadsOnly;
    bool midway;
    bool walkExact;
    bool removalExact;
};

class Short : public ::testing::TestWithParam<Shortage> {};

TEST_P(Short, TheWalkAndTheRemovalAreExactOrSayTheyStoppedShort)
{
    const Shortage& s = GetParam();
    const Tree t;
    ASSERT_TRUE(t.du);
    expectChildPassed(runInChild([&]() -> ChildOutcome {
        ::alarm(120); // a hang fails the test
        // UndefinedBehaviorSanitizer, the first time it checks an object's
        // type, makes sure its memory is readable through a pipe, which
        // needs descriptors: a walk and a removal with plenty do that for
        // the types of their threads.
        writeFile(t.tree / "warm/a/f", "");
        writeFile(t.tree / "warm/b/f", "");
        measureTree(t.tree / "loc");
        removeLocation(t.tree.path(), "warm", nullptr, 2);
        const int before = openDescriptors();
        // Descriptors are numbered from 0: with the limit just above the
        // lowest free number, only `spare` more can be opened. Allocations of
        // 64 KiB and more are the buffers of each walker and removal thread.
        std::optional<DescriptorLimit> limit;
        const auto impose = [&] {
            if (s.spare)
                limit.emplace(s.spare);
            else
                failBigAllocations(std::size_t{64} * 1024, s.spared, s.otherThreadsOnly);
        };
        const auto lift = [&] {
            limit.reset();
            failBigAllocations(0);
        };
        const int why = s.spare ? EMFILE : ENOMEM;
        std::atomic<unsigned> entered{0};
        std::once_flag walking, removing;
        WalkOptions options;
        options.threads = 8;
        options.onFolderEntered = [&](std::size_t) {
            if (s.midway && ++entered == 20)
                std::call_once(walking, impose);
        };
        if (!s.midway)
            impose();
        std::string problems = walkProblem(measureTree(t.tree / "loc", options), *t.du, s.walkExact, why);
        lift();

        entered = 0;
        const int parent = ::open(t.tree.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (!s.midway)
            impose();
        const RemoveResult first = removeTreeAt(
            parent, "loc",
            [&](int, const char*) {
                if (s.midway && ++entered == 20)
                    std::call_once(removing, impose);
            },
            nullptr, 8);
        lift();
        ::close(parent);
        if (first.incomplete == 0 ? !first.locationGone || first.failed != 0
                                  : first.incomplete != why || s.removalExact)
            problems += "first removal: " + figures(first) + "; ";
        const bool left = exists(t.tree / "loc");
        const RemoveResult second = removeLocation(t.tree.path(), "loc");
        if (left ? !second.locationGone || second.failed != 0 : second.removed != 0)
            problems += "second removal: " + figures(second) + "; ";
        if (openDescriptors() != before)
            problems += "descriptors leaked";
        return problems.empty() ? ChildOutcome::pass() : ChildOutcome::fail(problems);
    }));
    EXPECT_EQ(t.canary.damage(), "");
}

INSTANTIATE_TEST_SUITE_P(OfDescriptorsOrMemory, Short,
                         ::testing::Values(Shortage{"OneDescriptor", 1, 0, false, false, false, false},
                                           Shortage{"TwoDescriptors", 2, 0, false, false, true, true},
                                           Shortage{"FiveDescriptors", 5, 0, false, false, true, true},
                                           Shortage{"TwoDescriptorsLeftMidway", 2, 0, false, true, false, false},
                                           Shortage{"MemoryOnEveryThread", 0, 0, false, false, false, false},
                                           // The caller's own worker then walks alone.
                                           Shortage{"MemoryOnOtherThreads", 0, 0, true, false, true, true},
                                           // One removal buffer: the removal goes on on one thread.
                                           Shortage{"MemoryButForTheFirstBuffer", 0, 1, false, false, false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
