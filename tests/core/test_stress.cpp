// Load and races at the core's level: scans and cleans of the junk
// locations of one home while another thread keeps swapping folders for
// links to a canary outside the home; and trees far larger than a home
// usually holds, measured and removed under the usual limit of 1,024 open
// files and a cap on the memory they may take.

#include "core/JunkLocations.h"
#include "core/Location.h"
#include "core/TreeRemover.h"
#include "core/TreeWalker.h"
#include "tests/support/ChildExpect.h"
#include "tests/support/Faults.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using namespace headroom;
using namespace headroom::test;

TEST(Stress, ScansAndCleansAgainstLinkSwapsLoseNothingOutside)
{
    const TempTree tree;
    const Canary canary(tree);
    writeFile(tree / "home/Documents/keep.txt", "keep");
    tree.makeDir("parking");
    const std::string home = tree / "home";
    std::vector<std::string> locations;
    for (const auto& row : junkTable()) {
        locations.push_back(joinPath(home, row.relativePath));
        writeFile(locations.back() + "/d0/f", "x");
    }
    const Inventory documents = inventory(home + "/Documents");
    const int descriptors = openDescriptors();
    {
        const LinkSwapper swapper(locations, tree / "parking", canary.dir);
        // Two requesters, as two quick clicks would give: each round one
        // scans or cleans a location with varying threads and bounds; a
        // round waits for the swapper to have made a swap for every third.
        const auto requester = [&](unsigned seed) {
            std::mt19937 random(seed);
            for (unsigned round = 0; round < 300; ++round) {
                while (swapper.swaps() < (round + 1) / 3)
                    std::this_thread::yield();
                const std::string_view relative = junkTable()[random() % junkTable().size()].relativePath;
                WalkOptions options;
                options.threads = 1 + random() % 4;
                options.maxOpenFolders = random() % 2 == 0 ? 0 : 2 + random() % 3;
                if (random() % 2 == 0) {
                    removeLocation(home, std::string(relative), nullptr, options.threads);
                } else if (const OpenedLocation where = openLocationParent(home, relative); where.parentFd >= 0) {
                    measureTreeAt(where.parentFd, where.leaf, options); // as the junk scan does
                    ::close(where.parentFd);
                }
            }
        };
        std::thread first(requester, 1u);
        std::thread second(requester, 2u);
        first.join();
        second.join();
        EXPECT_GE(swapper.swaps(), 100u);
    }
    EXPECT_EQ(canary.damage(), "");
    EXPECT_EQ(inventory(home + "/Documents"), documents);
    EXPECT_EQ(openDescriptors(), descriptors);
    // Held still, each location measures what du gives and a clean leaves
    // it gone and measuring 0.
    for (const std::string& path : locations) {
        SCOPED_TRACE(path);
        const std::string relative = path.substr(home.size() + 1);
        EXPECT_EQ(measureTree(path).bytes, exists(path) ? duBelow(path).value_or(~0ull) : 0u);
        const RemoveResult removed = removeLocation(home, relative);
        EXPECT_EQ(removed.failed, 0u);
        EXPECT_TRUE(removed.locationGone && !exists(path));
    }
    EXPECT_EQ(canary.damage(), "");
    EXPECT_EQ(inventory(home + "/Documents"), documents);
}

// ThreadSanitizer keeps several bytes of shadow for every byte the
// program touches, so its cap is scaled by that factor.
#ifdef HEADROOM_TSAN
constexpr long kMemoryCapKiB = 4L * 32 * 1024;
#else
constexpr long kMemoryCapKiB = 32L * 1024;
#endif

long peakKiB()
{
    struct rusage ru {};
    ::getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

// 200,000 entries in one folder (long names, every 50th a folder) and a
// chain 50,000 deep, under a limit of 1,024 open files. Neither the walk
// nor the removal may keep a list of the tree.
ChildOutcome hugeTree(const TempTree& tree)
{
    const DescriptorLimit limit(1000);
    if (!limit.applied())
        return ChildOutcome::refuse("setrlimit");
    tree.makeDir("big");
    tree.makeDir("big/wide");
    tree.makeDir("big/deep");
    tree.makeChain("big/deep", 50000, "d");
    const int wide = ::open((tree / "big/wide").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < 200000; ++i) {
        const std::string name = "entry-with-a-rather-long-name-" + std::to_string(i);
        const int fd = i % 50 == 0 ? ::mkdirat(wide, name.c_str(), 0755)
                                   : ::openat(wide, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 || (i % 1000 == 1 && ::write(fd, "abc", 3) != 3))
            return ChildOutcome::fail("cannot create " + name);
        if (i % 50 != 0)
            ::close(fd);
    }
    ::close(wide);
    const auto du = duBelow(tree / "big");
    const int parent = ::open(tree.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int descriptors = openDescriptors();
    const long base = peakKiB();
    const WalkResult walked = measureTreeAt(parent, "big");
    if (!du || walked.entries != 250002 || walked.bytes != *du || walked.errors != 0)
        return ChildOutcome::fail("measured " + std::to_string(walked.entries) + " entries, " + std::to_string(walked.bytes) + " bytes");
    const RemoveResult removed = removeTreeAt(parent, "big");
    if (!removed.locationGone || removed.failed != 0 || removed.removed != 250003)
        return ChildOutcome::fail("removed " + std::to_string(removed.removed) + ", failed " + std::to_string(removed.failed));
    ::close(parent);
    if (openDescriptors() != descriptors - 1)
        return ChildOutcome::fail("descriptors leaked");
    if (peakKiB() - base > kMemoryCapKiB)
        return ChildOutcome::fail("peak resident size grew by " + std::to_string(peakKiB() - base) + " KiB");
    return ChildOutcome::pass();
}

TEST(Stress, HugeTreesAreMeasuredAndRemovedInBoundedMemory)
{
    const TempTree tree;
    expectChildPassed(runOnScratch(tree, [&] { return hugeTree(tree); }));
}

} // namespace
