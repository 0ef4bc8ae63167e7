// Where the junk rows' folders are found below a real temporary home, and
// every way that can fall back to the table's paths.

#include "core/JunkLocations.h"

#include "tests/support/ChildExpect.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include <sys/mount.h>
#include <sys/stat.h>

namespace headroom {
namespace {

using test::ChildOutcome;
using test::expectChildPassed;
using test::runInPrivateMounts;
using test::TempTree;

// user-dirs.dirs as the text given ("" for no file; "link" for a link to a
// good file, "fifo" for a FIFO); the environment with
// <home>, <out> and <link> standing for the granted folder, a sibling of
// it and a link to it; the Downloads, Caches and Trash folders expected
// ("" for the table's).
struct Case {
    const char* name;
    std::string userDirs;
    JunkEnvironment environment;
    std::string downloads, caches = {}, trash = {};
};

std::string line(const std::string& value)
{
    return "XDG_DOWNLOAD_DIR=\"" + value + "\"\n";
}

const Case kCases[] = {
    {"French", line("$HOME/Téléchargements"), {}, "Téléchargements"},
    {"escapes_CRLF_garbage",
     "# c\r\n\x01junk=\"\r\nXDG_DESKTOP_DIR=\"$HOME/B\"\r\n XDG_DOWNLOAD_DIR = "
     "\"$HOME/My \\\"D\\\" \\\\ \\$x/./\" # mine\r\n",
     {},
     "My \"D\" \\ $x"},
    {"last_good_line",
     line("$HOME/a") + "XDG_DOWNLOAD_DIR=$HOME/b\n" + line("$HOME/$USER") + line("$HOMEc")
         + "XDG_DOWNLOAD_DIR=\"$HOME/d\n",
     {},
     "a"},
    {"absolute_inside", line("<home>/e"), {}, "e"},
    {"missing_file", "", {}, ""},
    {"up_and_out", line("$HOME/../.."), {}, ""},
    {"last_line_escapes", line("$HOME/a") + line("$HOME/a/../b"), {}, ""},
    {"absolute_elsewhere", line("<out>"), {}, ""},
    {"downloads_is_home", line("$HOME/"), {}, ""},
    {"link_in_place", line("$HOME/in"), {}, ""},
    {"link_on_the_way", line("$HOME/way/x"), {}, ""},
    {"inside_cache", line("$HOME/.cache/d"), {}, ""},
    {"holds_the_trash", line("$HOME/.local"), {}, ""},
    {"too_big", std::string(std::size_t{64} * 1024, '#') + "\n" + line("$HOME/big"), {}, ""},
    {"a_link_to_a_good_file", "link", {}, ""},
    {"a_FIFO", "fifo", {}, ""}, // not waited on
    {"users_home", "", {"<home>", "<home>/.c2", "<home>//v/./d"}, "", ".c2", "v/d/Trash"},
    {"home_through_a_link", "", {"<link>", "<link>/.c3", "<home>/Downloads"}, "", ".c3", ""},
    {"variables_name_home", "", {"<home>", "<home>", "<home>/"}, "", "", ""},
    {"outside_dot_dot_a_link", "", {"<home>", "<out>/c", "<home>/x/../d"}, "", "", ""},
    {"relative_a_link_on_the_way", "", {"<home>", ".c", "<home>/way/d"}, "", "", ""},
    {"not_the_users_home", "", {"<out>", "<home>/.c2", "<home>/d"}, "", "", ""},
};

using Resolution = testing::TestWithParam<Case>;

TEST_P(Resolution, RowsFollowTheDesktopOnlyBelowTheGrantedFolder)
{
    const Case& c = GetParam();
    const TempTree tree;
    const std::string home = tree / "home";
    tree.makeDir("home");
    tree.makeDir("out");
    tree.makeSymlink("link", home);
    tree.makeSymlink("home/in", tree / "out");
    tree.makeSymlink("home/way", tree / "out");
    const auto place = [&](std::string text) {
        using Name = std::pair<std::string, std::string>;
        for (const auto& [name, path] : {Name("<home>", home), {"<out>", tree / "out"}, {"<link>", tree / "link"}}) {
            for (std::size_t at; (at = text.find(name)) != std::string::npos;)
                text.replace(at, name.size(), path);
        }
        return text;
    };
    const std::string file = home + "/.config/user-dirs.dirs";
    tree.makeDir("home/.config");
    test::writeFile(tree / "out/file", line("$HOME/x"));
    if (c.userDirs == "link")
        tree.makeSymlink("home/.config/user-dirs.dirs", tree / "out/file");
    else if (c.userDirs == "fifo")
        ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    else if (!c.userDirs.empty())
        test::writeFile(file, place(c.userDirs));
    const JunkEnvironment& e = c.environment;
    const JunkFolders folders = resolveJunkFolders(home, {place(e.home), place(e.cacheHome), place(e.dataHome)});
    for (const auto& [row, path] : {std::pair(2, c.downloads), {0, c.caches}, {4, c.trash}})
        EXPECT_EQ(folders.relativePaths[row], path.empty() ? junkTable()[row].relativePath : path) << row;
}

INSTANTIATE_TEST_SUITE_P(JunkLocations, Resolution, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// One folder under two names, as a case-insensitive file system gives
// ".cache" and ".CACHE": here a bind mount of the caches' folder at "alt"
// (the same device and inode). A Downloads folder that is the caches, or
// lies inside them, under the other name falls back; one beside them does
// not.
TEST(JunkLocations, RowsOverlapByIdentityNotOnlyBySpelling)
{
    const TempTree tree;
    const std::string home = tree / "home";
    tree.makeDir("home");
    tree.makeDir("home/.cache");
    tree.makeDir("home/alt");
    tree.makeDir("home/beside");
    expectChildPassed(runInPrivateMounts([&] {
        if (::mount((home + "/.cache").c_str(), (home + "/alt").c_str(), nullptr, MS_BIND, nullptr) != 0)
            return ChildOutcome::refuse("bind mount refused");
        std::string wrong;
        for (const auto& [value, downloads] :
             {std::pair("$HOME/alt/dl", "Downloads"), {"$HOME/alt", "Downloads"}, {"$HOME/beside/dl", "beside/dl"}}) {
            test::writeFile(home + "/.config/user-dirs.dirs", line(value));
            const std::string found = resolveJunkFolders(home, {}).relativePaths[2];
            if (found != downloads)
                wrong += std::string(value) + " gave " + found + "; ";
        }
        return wrong.empty() ? ChildOutcome::pass() : ChildOutcome::fail(wrong);
    }));
}

} // namespace
} // namespace headroom
