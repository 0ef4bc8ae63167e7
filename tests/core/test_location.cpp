#include "core/Location.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace headroom;
using namespace headroom::test;

// The folder the parent descriptor names, checked against `path`; closes it.
bool parentIs(const OpenedLocation& opened, const std::string& path)
{
    struct stat a {}, b {};
    const bool same = opened.parentFd >= 0 && ::fstat(opened.parentFd, &a) == 0 && ::stat(path.c_str(), &b) == 0
        && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    if (opened.parentFd >= 0)
        ::close(opened.parentFd);
    return same;
}

TEST(Location, JoinGivesOneSeparatorAndNoTrailingOne)
{
    for (const auto& [base, relative, joined] : {std::tuple {"/home/ann", ".cache", "/home/ann/.cache"},
             {"/home/ann/", ".local/share/Trash", "/home/ann/.local/share/Trash"},
             {"/home/ann//", "/Mail Downloads/", "/home/ann/Mail Downloads"},
             {"/home/ann", ".local//share///Trash/", "/home/ann/.local/share/Trash"}, {"/", "Logs", "/Logs"},
             {"//", "Logs", "/Logs"}, {"rel", "Logs", "rel/Logs"}, {"/home/ann/", "", "/home/ann"}})
        EXPECT_EQ(joinPath(base, relative), joined);
}

// The base is followed as the user chose it; no link below it is, and the
// leaf is handed over by name, unopened, even when it is a link.
TEST(Location, ParentIsTheRealParentAndLinksBelowTheBaseAreNotFollowed)
{
    const TempTree tree;
    tree.makeDir("home");
    writeFile(tree / "home/.local/share/Trash/f", "x");
    tree.makeDir("elsewhere");
    tree.makeSymlink("home-link", tree / "home");
    tree.makeSymlink("home/.cache", tree / "elsewhere");
    for (const auto& [base, relative, parent, leaf] : {
             std::tuple {"home", ".local/share/Trash", "home/.local/share", "Trash"},
             {"home", ".local/share/Trash/", "home/.local/share", "Trash"},
             {"home//", "/.local//share/Trash//", "home/.local/share", "Trash"},
             {"home-link", ".local/share/Trash", "home/.local/share", "Trash"},
             {"home/", "Downloads", "home", "Downloads"}, {"home", ".cache/", "home", ".cache"}}) {
        const OpenedLocation opened = openLocationParent(tree / base, relative);
        EXPECT_EQ(opened.leaf, leaf) << relative;
        EXPECT_TRUE(parentIs(opened, tree / parent)) << base << " " << relative;
    }
}

TEST(Location, DotComponentsAndMissingPartsAreRefused)
{
    const TempTree tree;
    writeFile(tree / "home/a/file", "x");
    tree.makeSymlink("home/link", tree / "home/a");
    for (const auto& [base, relative, error] : {std::tuple {"home", "..", EINVAL}, {"home", "../home", EINVAL},
             {"home", "a/../a", EINVAL}, {"home", "./a", EINVAL}, {"home", "a/.", EINVAL}, {"home", "", EINVAL},
             {"home", "/", EINVAL}, {"home", "//", EINVAL}, {"home", "nope/deeper/leaf", ENOENT},
             {"no-home", "a", ENOENT}, {"home", "a/file/leaf", ENOTDIR}, {"home", "link/file", ENOTDIR}}) {
        const OpenedLocation opened = openLocationParent(tree / base, relative);
        EXPECT_LT(opened.parentFd, 0) << relative;
        EXPECT_EQ(opened.error == ELOOP ? ENOTDIR : opened.error, error) << "'" << relative << "'"; // a link: either
        if (opened.parentFd >= 0)
            ::close(opened.parentFd);
    }
}

} // namespace
