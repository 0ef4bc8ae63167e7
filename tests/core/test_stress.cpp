// Load and races at the core's level: scans and cleans of the junk
// locations of one home while another thread keeps swapping folders for
// links to a canary outside the home; and trees far larger than a home
// usually holds, measured and removed under a cap on the memory and the
// descriptors they may take.

#include "core/JunkLocations.h"
#include "core/Location.h"
#include "core/TreeRemover.h"
#include "core/TreeWalker.h"
#include "tests/support/ChildExpect.h"
#include "tests/support/Faults.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <random>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace headroom;
using namespace headroom::test;

bool realDir(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// One change to the folders `locations`: it makes one and a subfolder
// d0..d3 with a file in it, and swaps a subfolder (now and then the
// location itself) for a link into `target` or back, each swap one atomic
// exchange with a name in `parking`. True when a link went in.
bool swapStep(const std::vector<std::string>& locations, const std::string& parking, const std::string& target,
              unsigned random, std::uint64_t n)
{
    const std::string& loc = locations[random % locations.size()];
    random /= static_cast<unsigned>(locations.size());
    const std::string sub = loc + "/d" + std::to_string(random % 4);
    const std::string parked = parking + "/" + std::to_string(n);
    // Only the swapping thread makes links, so a folder found real here
    // stays a folder (or vanishes) until it swaps it: it never writes
    // through a link.
    ::mkdir(loc.c_str(), 0755);
    const bool real = realDir(loc);
    if (real && (::mkdir(sub.c_str(), 0755) == 0 || realDir(sub))) {
        const int fd =
            ::open((sub + "/f" + std::to_string(n % 5)).c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            [[maybe_unused]] const ssize_t written = ::write(fd, "0123456789", 1 + n % 10);
            ::close(fd);
        }
    }
    // A location found a link is swapped back; below one, nothing is done.
    const std::string& victim = !real || random % 32 < 4 ? loc : sub;
    const unsigned op = real ? (random >> 8) % 3 : 2;
    if (op == 1) // a folder swapped for a link into the target; it lives on in parking
        return ::symlink(n % 2 ? target.c_str() : (target + "/inner").c_str(), parked.c_str()) == 0
               && ::renameat2(AT_FDCWD, parked.c_str(), AT_FDCWD, victim.c_str(), RENAME_EXCHANGE) == 0;
    if (op == 2 && ::mkdir(parked.c_str(), 0755) == 0) // and back: a fresh folder for whatever is there
        ::renameat2(AT_FDCWD, parked.c_str(), AT_FDCWD, victim.c_str(), RENAME_EXCHANGE);
    return false;
}

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
    std::atomic<std::uint64_t> swaps{0};
    {
        // Stopped and joined at the end of this block.
        const std::jthread swapper([&](const std::stop_token& stop) {
            std::mt19937 random(20240601);
            for (std::uint64_t n = 0; !stop.stop_requested(); ++n)
                swaps += swapStep(locations, tree / "parking", canary.dir, random(), n) ? 1 : 0;
        });
        // Two requesters, as two quick clicks would give: each round one
        // scans or cleans a location with varying threads and bounds; a
        // round waits for the swapper to have made a swap for every third.
        const auto requester = [&](unsigned seed) {
            std::mt19937 random(seed);
            for (unsigned round = 0; round < 300; ++round) {
                while (swaps.load() < (round + 1) / 3)
                    std::this_thread::yield();
                const std::string_view relative = junkTable()[random() % junkTable().size()].relativePath;
                WalkOptions options;
                options.threads = 1 + random() % 4;
                options.maxOpenFolders = random() % 2 == 0 ? 0 : 2 + random() % 3;
                if (random() % 2 == 0) {
                    removeLocation(home, std::string(relative), nullptr, options.threads);
                } else if (const OpenedLocation where = openLocationParent(home, relative); where.parent) {
                    measureTreeAt(where.parent.get(), where.leaf, options); // as the junk scan does
                }
            }
        };
        std::thread first(requester, 1u);
        std::thread second(requester, 2u);
        first.join();
        second.join();
        EXPECT_GE(swaps.load(), 100u);
    }
    EXPECT_EQ(canary.damage(), "");
    EXPECT_EQ(inventory(home + "/Documents"), documents);
    EXPECT_EQ(openDescriptors(), descriptors);
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

// A folder of 200,000 entries (long names, every 50th a folder) and a
// chain 50,000 deep with a file beside the way down, measured and removed
// under the usual limit of 1,024 descriptors: neither the walk nor the
// removal may keep a list of the tree, so the peak memory stays capped.
TEST(Stress, HugeTreesAreMeasuredAndRemovedInBoundedMemory)
{
    constexpr unsigned kWide = 200000, kDepth = 50000;
    const TempTree tree;
    expectChildPassed(runOnScratch(tree, [&]() -> ChildOutcome {
        tree.makeDir("big");
        tree.makeDir("big/wide");
        tree.makeDir("big/deep");
        tree.makeChain("big/deep", kDepth, "d");
        writeFile(tree / "big/deep/d/d/side", "x");
        for (unsigned i = 0; i < kWide; ++i) {
            const std::string name = "big/wide/entry-with-a-rather-long-name-" + std::to_string(i);
            i % 50 == 0 ? tree.makeDir(name) : tree.makeFile(name, i % 1000 == 1 ? 3 : 0);
        }
        const auto du = duBelow(tree / "big");
        const DescriptorLimit limit(1000);
        if (!limit.applied())
            return ChildOutcome::refuse("setrlimit");
        const int descriptors = openDescriptors();
        const long base = peakKiB();
        const std::uint64_t entries = std::uint64_t{kWide} + kDepth + 3; // with both folders and the side file
        const WalkResult walked = measureTree(tree / "big");
        if (!du || walked.entries != entries || walked.bytes != *du || walked.errors != 0)
            return ChildOutcome::fail("measured " + std::to_string(walked.entries) + " entries, "
                                      + std::to_string(walked.bytes) + " bytes");
        const RemoveResult removed = removeLocation(tree.path(), "big");
        if (!removed.locationGone || removed.failed != 0 || removed.removed != entries + 1)
            return ChildOutcome::fail("removed " + std::to_string(removed.removed) + ", failed "
                                      + std::to_string(removed.failed));
        if (openDescriptors() != descriptors)
            return ChildOutcome::fail("descriptors leaked");
        if (peakKiB() - base > kMemoryCapKiB)
            return ChildOutcome::fail("peak resident size grew by " + std::to_string(peakKiB() - base) + " KiB");
        return ChildOutcome::pass();
    }));
}

} // namespace
