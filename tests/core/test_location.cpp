#include "core/Location.h"
#include "tests/support/ChildExpect.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <functional>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace headroom;
using namespace headroom::test;

// Whether the parent descriptor names the folder at `path`.
bool parentIs(const OpenedLocation& opened, const std::string& path)
{
    struct stat a {};
    struct stat b {};
    return opened.parent && ::fstat(opened.parent.get(), &a) == 0 && ::stat(path.c_str(), &b) == 0
           && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

TEST(Location, JoinGivesOneSeparatorAndNoTrailingOne)
{
    for (const auto& [base, relative, joined] :
         {std::tuple{"/home/ann", ".cache", "/home/ann/.cache"},
          {"/home/ann/", ".local/share/Trash", "/home/ann/.local/share/Trash"},
          {"/home/ann//", "/Mail Downloads/", "/home/ann/Mail Downloads"},
          {"/home/ann", ".local//share///Trash/", "/home/ann/.local/share/Trash"},
          {"/", "Logs", "/Logs"},
          {"//", "Logs", "/Logs"},
          {"rel", "Logs", "rel/Logs"},
          {"/home/ann/", "", "/home/ann"}})
        EXPECT_EQ(joinPath(base, relative), joined);
}

// The base is followed as the user chose it; no link below it is, and the
// leaf is handed over by name, unopened, even when it is a link. "." and
// ".." are refused, a missing part is ENOENT, a file on the way ENOTDIR and
// a link there ELOOP.
TEST(Location, ParentIsTheRealParentReachedWithoutALinkBelowTheBase)
{
    const TempTree tree;
    tree.makeDir("home");
    writeFile(tree / "home/.local/share/Trash/f", "x");
    writeFile(tree / "home/a/file", "x");
    tree.makeDir("elsewhere");
    tree.makeSymlink("home-link", tree / "home");
    tree.makeSymlink("home/.cache", tree / "elsewhere");
    for (const auto& [base, relative, parent, leaf, error] :
         {std::tuple{"home", ".local/share/Trash", "home/.local/share", "Trash", 0},
          {"home//", "/.local//share/Trash//", "home/.local/share", "Trash", 0},
          {"home-link", ".local/share/Trash", "home/.local/share", "Trash", 0},
          {"home/", "Downloads", "home", "Downloads", 0},
          {"home", ".cache/", "home", ".cache", 0},
          {"home", "..", "", "", EINVAL},
          {"home", "a/../a", "", "", EINVAL},
          {"home", "./a", "", "", EINVAL},
          {"home", "a/.", "", "", EINVAL},
          {"home", "//", "", "", EINVAL},
          {"home", "nope/deeper/leaf", "", "leaf", ENOENT},
          {"no-home", "a", "", "a", ENOENT},
          {"home", "a/file/leaf", "", "leaf", ENOTDIR},
          {"home", ".cache/f", "", "f", ELOOP}}) {
        const OpenedLocation opened = openLocationParent(tree / base, relative);
        EXPECT_EQ(opened.leaf, leaf) << relative;
        EXPECT_EQ(opened.error, error) << relative;
        EXPECT_TRUE(*parent ? parentIs(opened, tree / parent) : !opened.parent) << base << " " << relative;
    }
}

// A folder's identity, or {0, 0} for no descriptor.
std::pair<dev_t, ino_t> identity(int fd)
{
    struct stat st {};
    return fd >= 0 && ::fstat(fd, &st) == 0 ? std::pair{st.st_dev, st.st_ino} : std::pair<dev_t, ino_t>{0, 0};
}

// A path of about 9,000 bytes, made through descriptors: folders of 200-byte
// names, then, ending exactly at byte 4,095 (the most one system call
// takes), a link to a folder that may only be searched, then more folders.
struct LongTree {
    TempTree tree;
    std::string deep = tree.path(); // the deepest folder
    std::string atLink;             // its first 4,095 bytes: up to the link's end
    std::pair<dev_t, ino_t> deepest, linked;

    LongTree()
    {
        int fd = ::open(deep.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const auto enter = [&](const std::string& name) {
            const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            fd = next;
            deep += "/" + name;
        };
        const auto descend = [&](std::size_t length) {
            while (fd >= 0 && deep.size() < length) {
                const std::size_t room = length - deep.size() - 1;
                const std::string name(room > 255 ? 200 : room, 'n');
                ::mkdirat(fd, name.c_str(), 0755);
                enter(name);
            }
        };
        descend(PATH_MAX - 1 - 5); // then "/link"
        ::mkdirat(fd, "target", 0755);
        ::symlinkat("target", fd, "link");
        enter("link");
        atLink = deep;
        const int target = ::dup(fd);
        linked = identity(target);
        descend(9000);
        deepest = identity(fd);
        ::close(fd);
        if (::fchmod(target, 0111) != 0 || atLink.size() != PATH_MAX - 1 || deepest.second == 0)
            throw std::runtime_error("the long tree was not made");
        ::close(target);
    }
};

struct LongCase {
    const char* name;
    std::function<OpenedLocation(const LongTree&)> open;
    std::pair<dev_t, ino_t> LongTree::*reached; // null: nothing
    const char* leaf;
    int error;
};

void PrintTo(const LongCase& c, std::ostream* os)
{
    *os << c.name;
}

OpenedLocation chosen(const std::string& path)
{
    UniqueFd fd = openChosenFolder(path);
    const int error = fd ? 0 : errno;
    return {std::move(fd), "", error, {}, false};
}

class LongPath : public testing::TestWithParam<LongCase> {};

} // namespace

// A path too long for one system call is opened in pieces of whole
// components and reaches what one call would, were it allowed: links on the
// way followed, one of them ending a piece; doubled "/" where a piece ends.
// As in one call, a folder passed through or looked in may be search-only.
TEST_P(LongPath, ReachesWhatOneSystemCallWould)
{
    const LongTree t;
    const LongCase& c = GetParam();
    expectChildPassed(runWithoutDacCapabilities([&] {
        const OpenedLocation opened = c.open(t);
        const bool right = identity(opened.parent.get()) == (c.reached ? t.*c.reached : std::pair<dev_t, ino_t>{0, 0})
                           && opened.leaf == c.leaf && opened.error == c.error;
        return right ? ChildOutcome::pass()
                     : ChildOutcome::fail("leaf '" + opened.leaf + "', error " + std::to_string(opened.error));
    }));
}

INSTANTIATE_TEST_SUITE_P(
    Location, LongPath,
    testing::Values(
        LongCase{"DoubledSlashWhereAPieceEnds",
                 [](const LongTree& t) { return chosen(t.atLink + "//" + t.deep.substr(t.atLink.size() + 1)); },
                 &LongTree::deepest, "", 0},
        // Reached, and as in one call it may not be read.
        LongCase{"OneByteTooMuchForOneCall", [](const LongTree& t) { return chosen(t.atLink + "/"); }, nullptr, "",
                 EACCES},
        LongCase{"PathParent", [](const LongTree& t) { return openPathParent(t.atLink + "/name//"); },
                 &LongTree::linked, "name", 0},
        LongCase{"LocationBelowALongBase", [](const LongTree& t) { return openLocationParent(t.deep, "a"); },
                 &LongTree::deepest, "a", 0},
        LongCase{"NameLongerThanAPiece",
                 [](const LongTree& t) { return chosen(t.deep + "/" + std::string(5000, 'x') + "/y"); }, nullptr, "",
                 ENAMETOOLONG}),
    [](const testing::TestParamInfo<LongCase>& info) { return std::string(info.param.name); });
