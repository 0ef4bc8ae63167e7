#include "core/Location.h"
#include "core/TreeWalker.h"

#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using headroom::joinPath;
using headroom::openLocationParent;
using headroom::OpenedLocation;
using headroom::test::TempTree;

// Closes the parent descriptor however the test ends.
struct Opened {
    OpenedLocation loc;
    explicit Opened(OpenedLocation l) : loc(std::move(l)) {}
    ~Opened()
    {
        if (loc.parentFd >= 0)
            ::close(loc.parentFd);
    }
};

bool sameObject(int fd, const std::string& path)
{
    struct stat a {}, b {};
    return ::fstat(fd, &a) == 0 && ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

TEST(location_join, one_separator_and_no_trailing_one)
{
    EXPECT_EQ(joinPath("/home/ann", ".cache"), "/home/ann/.cache");
    EXPECT_EQ(joinPath("/home/ann/", ".local/share/Trash"), "/home/ann/.local/share/Trash");
    EXPECT_EQ(joinPath("/home/ann//", "/Mail Downloads/"), "/home/ann/Mail Downloads");
    EXPECT_EQ(joinPath("/home/ann", ".local//share///Trash/"), "/home/ann/.local/share/Trash");
    EXPECT_EQ(joinPath("/", "Logs"), "/Logs");
    EXPECT_EQ(joinPath("//", "Logs"), "/Logs");
    EXPECT_EQ(joinPath("rel", "Logs"), "rel/Logs");
    EXPECT_EQ(joinPath("/home/ann/", ""), "/home/ann");
}

TEST(location_open, parent_is_the_real_parent_and_leaf_the_last_component)
{
    TempTree tmp;
    fs::create_directories(tmp / "home/.local/share/Trash");
    for (const char* rel : {".local/share/Trash", ".local/share/Trash/", "/.local//share/Trash//"}) {
        Opened o(openLocationParent(tmp / "home", rel));
        ASSERT_GE(o.loc.parentFd, 0) << rel;
        EXPECT_EQ(o.loc.leaf, "Trash") << rel;
        EXPECT_TRUE(sameObject(o.loc.parentFd, tmp / "home/.local/share")) << rel;
    }
    Opened trailingBase(openLocationParent(tmp / "home//", "Downloads"));
    ASSERT_GE(trailingBase.loc.parentFd, 0);
    EXPECT_TRUE(sameObject(trailingBase.loc.parentFd, tmp / "home"));
    EXPECT_EQ(trailingBase.loc.leaf, "Downloads");
}

TEST(location_open, base_link_is_followed_links_below_it_are_not)
{
    TempTree tmp;
    fs::create_directories(tmp / "real/.local/share");
    fs::create_directories(tmp / "elsewhere/share/Trash");
    ASSERT_EQ(::symlink((tmp / "real").c_str(), (tmp / "home-link").c_str()), 0);
    ASSERT_EQ(::symlink((tmp / "elsewhere").c_str(), (tmp / "real/.cache").c_str()), 0);

    Opened viaBase(openLocationParent(tmp / "home-link", ".local/share/Trash"));
    ASSERT_GE(viaBase.loc.parentFd, 0);
    EXPECT_TRUE(sameObject(viaBase.loc.parentFd, tmp / "real/.local/share"));

    // An intermediate link is refused.
    Opened through(openLocationParent(tmp / "real", ".cache/share/Trash"));
    EXPECT_LT(through.loc.parentFd, 0);
    EXPECT_TRUE(through.loc.error == ELOOP || through.loc.error == ENOTDIR) << through.loc.error;

    // The leaf itself may be a link: it is handed over by name, unopened.
    Opened leaf(openLocationParent(tmp / "real", ".cache/"));
    ASSERT_GE(leaf.loc.parentFd, 0);
    EXPECT_EQ(leaf.loc.leaf, ".cache");
    EXPECT_TRUE(sameObject(leaf.loc.parentFd, tmp / "real"));
}

TEST(location_open, dot_components_and_missing_parts_are_refused)
{
    TempTree tmp;
    fs::create_directories(tmp / "home/a");
    for (const char* rel : {"..", "../home", "a/../a", "./a", "a/.", "", "/", "//"}) {
        Opened o(openLocationParent(tmp / "home", rel));
        EXPECT_LT(o.loc.parentFd, 0) << "'" << rel << "'";
        EXPECT_EQ(o.loc.error, EINVAL) << "'" << rel << "'";
    }
    Opened missing(openLocationParent(tmp / "home", "nope/deeper/leaf"));
    EXPECT_LT(missing.loc.parentFd, 0);
    EXPECT_EQ(missing.loc.error, ENOENT);

    Opened noBase(openLocationParent(tmp / "no-home", "a"));
    EXPECT_LT(noBase.loc.parentFd, 0);
    EXPECT_EQ(noBase.loc.error, ENOENT);

    std::ofstream(tmp / "home/file") << "x";
    Opened fileAsFolder(openLocationParent(tmp / "home", "file/leaf"));
    EXPECT_LT(fileAsFolder.loc.parentFd, 0);
    EXPECT_EQ(fileAsFolder.loc.error, ENOTDIR);
}

TEST(location_open, measuring_through_it_never_follows_the_leaf_link)
{
    TempTree tmp;
    fs::create_directories(tmp / "home");
    fs::create_directories(tmp / "outside");
    std::ofstream(tmp / "outside/big") << std::string(5000, 'x');
    ASSERT_EQ(::symlink((tmp / "outside").c_str(), (tmp / "home/Downloads").c_str()), 0);

    Opened o(openLocationParent(tmp / "home/", "Downloads/"));
    ASSERT_GE(o.loc.parentFd, 0);
    EXPECT_EQ(headroom::measureTreeAt(o.loc.parentFd, o.loc.leaf).bytes, 0u);
}

} // namespace
