// The safety rules the walker and the removal share, each tested once here:
// a subfolder is entered only if it is still the folder that was listed
// (no link, no other file, no mount, no other folder in its place), a path
// holds no more descriptors than its bound whatever the depth, and the climb
// back to a closed folder through ".." stops where a folder on the way was
// moved away.

#include "core/FolderPath.h"
#include "tests/support/ChildExpect.h"
#include "tests/support/Faults.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

using namespace headroom;
using namespace headroom::test;

MountIdentity identityOf(const std::string& path)
{
    MountIdentity id;
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_PATH));
    EXPECT_TRUE(fd && identifyOpen(fd.get(), id)) << path;
    return id;
}

struct Change {
    const char* name;
    std::function<bool(const TempTree&)> apply; // between the listing and the open
    int error;                                  // what openListedFolder then says
    bool mounts = false;                        // needs a private mount namespace
};

class OpenListedFolder : public ::testing::TestWithParam<Change> {};

TEST_P(OpenListedFolder, EntersOnlyTheFolderThatWasListed)
{
    const Change& c = GetParam();
    const TempTree tree;
    writeFile(tree / "parent/child/f", "x");
    writeFile(tree / "other/g", "y");
    const auto run = c.mounts ? runInPrivateMounts : runInChild;
    expectChildPassed(run([&]() -> ChildOutcome {
        const MountIdentity listed = identityOf(tree / "parent/child");
        if (!c.apply(tree))
            return ChildOutcome::refuse(std::string("cannot set up ") + c.name);
        const UniqueFd parent(::open((tree / "parent").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        errno = 0;
        const UniqueFd fd = openListedFolder(parent.get(), "child", listed);
        const int error = fd ? 0 : errno;
        if (error != c.error || (fd && readFile(tree / "parent/child/f") != "x"))
            return ChildOutcome::fail("errno " + std::to_string(error) + ", want " + std::to_string(c.error));
        return ChildOutcome::pass();
    }));
}

bool moveAway(const TempTree& t)
{
    return std::rename((t / "parent/child").c_str(), (t / "moved").c_str()) == 0;
}

INSTANTIATE_TEST_SUITE_P(
    Changes, OpenListedFolder,
    ::testing::Values(
        Change{"AsListed", [](const TempTree&) { return true; }, 0},
        Change{"LinkInItsPlace",
               [](const TempTree& t) {
                   return moveAway(t) && ::symlink("../other", (t / "parent/child").c_str()) == 0;
               },
               ENOTDIR},
        Change{"FileInItsPlace",
               [](const TempTree& t) { return moveAway(t) && (writeFile(t / "parent/child", "z"), true); }, ENOTDIR},
        Change{"OtherFolderInItsPlace",
               [](const TempTree& t) {
                   return moveAway(t) && std::rename((t / "other").c_str(), (t / "parent/child").c_str()) == 0;
               },
               ESTALE},
        Change{"Gone", moveAway, ENOENT},
        Change{"MountOnIt",
               [](const TempTree& t) {
                   return ::mount("headroom-test", (t / "parent/child").c_str(), "tmpfs", 0, "size=1m") == 0;
               },
               EXDEV, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A chain of folders top/d/d/... 12 deep, and each level's identity.
struct Chain {
    static constexpr std::size_t kDepth = 12;
    const TempTree tree;
    std::vector<MountIdentity> ids;

    Chain()
    {
        tree.makeDir("top");
        tree.makeChain("top", kDepth, "d");
        for (std::string at = tree / "top"; ids.size() <= kDepth; at += "/d")
            ids.push_back(identityOf(at));
    }

    // Starts `path` at the top and goes down to `depth`: 0, or the errno.
    int down(FolderPath<int>& path, std::size_t depth) const
    {
        path.start(UniqueFd(::open((tree / "top").c_str(), kFolderOpenFlags)), ids[0]);
        int error = 0;
        while (path.size() <= depth && error == 0)
            error = path.descend("d", ids[path.size()]);
        return error;
    }
};

// The chain walked down and back up with at most `bound` descriptors held,
// the top included; then walked down again, with a folder on the way moved
// out of the chain: the climb refuses ".." where it leads outside.
class FolderPathBound : public ::testing::TestWithParam<unsigned> {};

TEST_P(FolderPathBound, HoldsNoMoreThanItsBoundAndClimbsOnlyToTheFoldersItCameThrough)
{
    const unsigned bound = GetParam();
    const Chain chain;
    const int base = openDescriptors();
    std::string problems;
    FolderPath<int> path(bound);
    const auto within = [&] {
        return openDescriptors() - base <= static_cast<int>(std::min<std::size_t>(bound, path.size()));
    };
    if (chain.down(path, Chain::kDepth) != 0 || !within())
        problems += "down; ";
    while (path.size() > 1) {
        if (path.ascend() != 0 || !within())
            problems += "up at " + std::to_string(path.size()) + "; ";
    }
    // Moved out: the folder at depth 3. Climbing from it to depth 2 is
    // where ".." leads outside, unless depth 2 was still held.
    chain.down(path, 8);
    ASSERT_EQ(std::rename((chain.tree / "top/d/d/d").c_str(), (chain.tree / "moved").c_str()), 0);
    int error = 0;
    while (path.size() > 1 && (error = path.ascend()) == 0) {
    }
    const bool held = bound >= 9;
    if (held ? error != 0 || path.size() != 1 : error != ESTALE || path.size() != 4)
        problems += "climb stopped with errno " + std::to_string(error) + " at " + std::to_string(path.size()) + "; ";
    if (!held && path.dropUnreachable() != (bound >= 2 ? 3u : 4u))
        problems += "dropped other than the closed part; ";
    path.clear();
    if (openDescriptors() != base)
        problems += "descriptors leaked";
    EXPECT_EQ(problems, "");
}

INSTANTIATE_TEST_SUITE_P(Bounds, FolderPathBound, ::testing::Values(1u, 2u, 5u, 20u),
                         [](const auto& info) { return "Bound" + std::to_string(info.param); });

// Refused a descriptor, a path closes its shallowest folder, the top last,
// and tries again: with two free it goes down and back up whatever its
// bound; with one, only the top can be open and the next step says so.
TEST(FolderPath, OutOfDescriptorsClosesTheShallowestAndTriesAgain)
{
    const Chain chain;
    expectChildPassed(runInChild([&] {
        for (const unsigned spare : {2u, 1u}) {
            FolderPath<int> path(20);
            const DescriptorLimit limit(spare);
            int error = chain.down(path, Chain::kDepth);
            while (path.size() > 1 && error == 0)
                error = path.ascend();
            if (spare == 2 ? error != 0 || path.size() != 1 : error != EMFILE || path.size() != 1)
                return ChildOutcome::fail(std::to_string(spare) + " free: errno " + std::to_string(error) + " at "
                                          + std::to_string(path.size()));
        }
        return ChildOutcome::pass();
    }));
}

} // namespace
