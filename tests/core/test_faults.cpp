// Faults from outside the core: listing a folder failing with EIO or
// ENOMEM, the process running out of descriptors or of memory. The walker
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
#include <string>

#include <fcntl.h>
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

// A location with a folder to fail, a long chain and many short ones (so
// a walk in one go needs many descriptors), and a link to the canary.
struct Tree {
    const TempTree tree;
    const Canary canary{tree};
    std::optional<std::uint64_t> du;

    Tree()
    {
        writeFile(tree / "loc/a", "a");
        writeFile(tree / "loc/good/b", std::string(200, 'b'));
        writeFile(tree / "loc/good/bad/hidden", std::string(4000, 'h'));
        writeFile(tree / "loc/good/bad/inner/deeper", std::string(5000, 'd'));
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

class Listing : public ::testing::TestWithParam<int> {};

TEST_P(Listing, ThatFailsHidesOneFolderFromTheWalkAndTheRemoval)
{
#if defined(HEADROOM_TSAN)
    GTEST_SKIP() << "the syscall trap does not run under ThreadSanitizer";
#endif
    const Tree t;
    const auto hidden = duBelow(t.tree / "loc/good/bad");
    ASSERT_TRUE(t.du && hidden);
    const Inventory kept = inventory(t.tree / "loc/good/bad");
    expectChildPassed(runInChild([&]() -> ChildOutcome {
        if (!failListingOf(t.tree / "loc/good/bad", GetParam()))
            return ChildOutcome::refuse("seccomp filter not allowed");
        const int before = openDescriptors();
        for (const unsigned threads : {1u, 4u}) {
            WalkOptions options;
            options.threads = threads;
            const WalkResult r = measureTree(t.tree / "loc", options);
            if (r.bytes != *t.du - *hidden || r.errors == 0 || r.incomplete != 0 || failedListings() == 0)
                return ChildOutcome::fail(figures(r) + "; want " + std::to_string(*t.du - *hidden));
        }
        const WalkResult root = measureTree(t.tree / "loc/good/bad");
        if (root.bytes != 0 || root.errors == 0)
            return ChildOutcome::fail("failing root: " + figures(root));
        // Failed: the listing, then the folder and the two that hold it,
        // which cannot go while it is not empty.
        const RemoveResult r = removeLocation(t.tree.path(), "loc");
        if (r.locationGone || r.failed != 4 || r.incomplete != 0)
            return ChildOutcome::fail(figures(r) + "; want the unlistable folder reported and kept");
        return openDescriptors() == before ? ChildOutcome::pass() : ChildOutcome::fail("descriptors leaked");
    }));
    if (IsSkipped())
        return;
    // Only the unlistable folder and the folders that hold it are left.
    Inventory left = inventory(t.tree / "loc");
    EXPECT_EQ(left.size(), kept.size() + 2);
    for (const auto& [path, what] : kept)
        EXPECT_EQ(left["good/bad/" + path], what);
    EXPECT_EQ(t.canary.damage(), "");
}

INSTANTIATE_TEST_SUITE_P(Errors, Listing, ::testing::Values(EIO, ENOMEM),
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
                failBigAllocations(64 * 1024, s.spared, s.otherThreadsOnly);
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
