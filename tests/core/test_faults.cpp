// Faults from outside the core: listing a folder failing with EIO or
// ENOMEM, the process running out of descriptors. The walker counts what it reached and nothing twice,
// the remover passes over what it could not reach, and nothing holds a
// descriptor afterwards.

#include "core/Location.h"
#include "core/TreeRemover.h"
#include "core/TreeWalker.h"
#include "tests/support/ChildExpect.h"
#include "tests/support/Faults.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <set>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace headroom;
using namespace headroom::test;

std::string figures(const WalkResult& r) { return std::to_string(r.bytes) + " bytes, " + std::to_string(r.errors) + " errors"; }

// A location with a folder to fail, a long chain and many short ones (so
// a walk in one go needs many descriptors), and a link to the canary.
void makeTree(const TempTree& tree)
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
}

class Faults : public ::testing::TestWithParam<int> {};

TEST_P(Faults, ListingThatFailsHidesOneFolderFromTheWalkAndTheRemoval)
{
#if defined(HEADROOM_TSAN)
    GTEST_SKIP() << "the syscall trap does not run under ThreadSanitizer";
#endif
    const TempTree tree;
    const Canary canary(tree);
    makeTree(tree);
    const auto all = duBelow(tree / "loc");
    const auto hidden = duBelow(tree / "loc/good/bad");
    ASSERT_TRUE(all && hidden);
    const Inventory kept = inventory(tree / "loc/good/bad");
    expectChildPassed(runInChild([&]() -> ChildOutcome {
        if (!failListingOf(tree / "loc/good/bad", GetParam()))
            return ChildOutcome::refuse("seccomp filter not allowed");
        const int before = openDescriptors();
        for (const unsigned threads : {1u, 4u}) {
            WalkOptions options;
            options.threads = threads;
            const WalkResult r = measureTree(tree / "loc", options);
            if (r.bytes != *all - *hidden || r.errors == 0 || failedListings() == 0)
                return ChildOutcome::fail(figures(r) + "; want " + std::to_string(*all - *hidden));
        }
        const WalkResult root = measureTree(tree / "loc/good/bad");
        if (root.bytes != 0 || root.errors == 0)
            return ChildOutcome::fail("failing root: " + figures(root));
        // Failed: the listing, then the folder and the two that hold it,
        // which cannot go while it is not empty.
        const RemoveResult r = removeLocation(tree.path(), "loc");
        if (r.locationGone || r.failed != 4)
            return ChildOutcome::fail("failed " + std::to_string(r.failed) + "; want the unlistable folder reported and kept");
        return openDescriptors() == before ? ChildOutcome::pass() : ChildOutcome::fail("descriptors leaked");
    }));
    if (IsSkipped())
        return;
    // Only the unlistable folder and the folders that hold it are left.
    Inventory left = inventory(tree / "loc");
    EXPECT_EQ(left.size(), kept.size() + 2);
    for (const auto& [path, what] : kept)
        EXPECT_EQ(left["good/bad/" + path], what);
    EXPECT_EQ(canary.damage(), "");
}

INSTANTIATE_TEST_SUITE_P(Errors, Faults, ::testing::Values(EIO, ENOMEM),
                         [](const auto& info) { return std::string(info.param == EIO ? "EIO" : "ENOMEM"); });

// Descriptors are numbered from 0: with the limit just above the lowest
// free number, only `spare` more can be opened.
TEST(Faults, OutOfDescriptorsTheWalkCountsWhatItReachedAndTheRemovalPassesOver)
{
    const TempTree tree;
    const Canary canary(tree);
    makeTree(tree);
    const auto du = duBelow(tree / "loc");
    ASSERT_TRUE(du.has_value());
    expectChildPassed(runInChild([&]() -> ChildOutcome {
        const int before = openDescriptors();
        for (const unsigned spare : {1u, 2u, 3u, 5u, 8u}) {
            WalkOptions options;
            // One thread while only one or two are free: under AddressSanitizer
            // starting a thread itself needs a descriptor.
            options.threads = spare >= 3 ? 1 + spare % 3 : 1;
            DescriptorLimit limit(spare);
            if (!limit.applied())
                return ChildOutcome::refuse("setrlimit");
            const WalkResult r = measureTree(tree / "loc", options);
            limit.restore();
            if (openDescriptors() != before || r.bytes > *du || (r.errors == 0 && r.bytes != *du))
                return ChildOutcome::fail(std::to_string(spare) + " spare: " + figures(r) + ", du " + std::to_string(*du));
        }
        if (const WalkResult full = measureTree(tree / "loc"); full.bytes != *du || full.errors != 0)
            return ChildOutcome::fail("with the limit back: " + figures(full));
        // The location and one more: enough to start, too few to hold the
        // remover's usual descriptors. Each folder it tried to open and left
        // is failed once (it could not be opened, or still holds one that
        // could not), and so is the location.
        const int parent = ::open(tree.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        std::set<std::string> tried;
        DescriptorLimit limit(2);
        const RemoveResult first = removeTreeAt(parent, "loc", [&](int dirfd, const char* name) {
            tried.insert(std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(dirfd)).string() + "/" + name);
        }, nullptr, 1);
        limit.restore();
        ::close(parent);
        const auto left = std::count_if(tried.begin(), tried.end(), [](const std::string& path) { return exists(path); });
        if (openDescriptors() != before || first.locationGone || first.failed != 1 + static_cast<std::size_t>(left))
            return ChildOutcome::fail(std::to_string(first.failed) + " failed, " + std::to_string(left) + " tried and left");
        const RemoveResult second = removeLocation(tree.path(), "loc");
        if (!second.locationGone || second.failed != 0)
            return ChildOutcome::fail("second removal: " + std::to_string(second.failed) + " failed");
        return ChildOutcome::pass();
    }));
    EXPECT_EQ(canary.damage(), "");
}

} // namespace
