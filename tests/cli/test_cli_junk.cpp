// headroom-cli scan, clean and release: the rows they print to the byte on a
// real temporary home, which rows a clean removes, and release with
// stand-in purge tools. How a location is measured and removed (links,
// mounts, permissions, races) is the core's to test.

#include "RunCli.h"
#include "tests/support/ChildExpect.h"
#include "tests/support/Faults.h"
#include "tests/support/Seams.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

#include <sys/mount.h>
#include <sys/stat.h>

using namespace headroom::test;

namespace {

// Name, location, label (it ends in a space), size text, bytes. Each
// location holds one file straight inside, so that a row's size does not
// depend on the file system's folder sizes. Downloads is where the home's
// user-dirs.dirs puts it.
struct Row {
    std::string name, relative, label, sizeText;
    std::size_t bytes;
};
const Row kRows[] = {
    {"caches", ".cache", "Caches ", "2.9 KB", 3000},
    {"logs", "Logs", "Logs ", "700 Bytes", 700},
    {"downloads", "T\xc3\xa9l\xc3\xa9 chargements", "Downloads ", "4.9 KB", 5000},
    {"mail-downloads", "Mail Downloads", "Mail Downloads ", "42 Bytes", 42},
    {"trash", ".local/share/Trash", "Trash ", "1.2 KB", 1234},
};

// A home whose name needs escaping in both forms. That nothing beside a
// location goes is the core's to test.
struct Home {
    TempTree tmp;
    std::string home = tmp / "ho\tme\xff";
    std::string shown = tmp.path() + "/ho\\tme\xff"; // as TSV writes it

    Home()
    {
        for (const Row& row : kRows)
            writeFile(home + "/" + row.relative + "/f", std::string(row.bytes, 'x'));
        writeFile(home + "/.config/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"$HOME/" + kRows[2].relative + "\"\n");
    }

    // The scan's TSV lines once the rows in `removed` are gone: a title
    // shows no size text when its row measures 0.
    std::string tsv(const std::set<std::string>& removed = {}) const
    {
        std::string out;
        for (const Row& row : kRows) {
            const bool gone = removed.contains(row.name);
            const std::string figures =
                gone ? "0\t" + row.label : std::to_string(row.bytes) + "\t" + row.label + row.sizeText;
            out += row.name + "\t" + figures + "\t" + shown + "/" + row.relative + "\n";
        }
        return out;
    }
};

// For a run in a child through runInProcess: this process's locale C.
void inTheCLocale()
{
    for (const std::string& setting : languageEnv("C"))
        ::setenv(setting.substr(0, setting.find('=')).c_str(), setting.substr(setting.find('=') + 1).c_str(), 1);
}

std::string said(const CliResult& r)
{
    return "exit " + std::to_string(r.exitCode) + ", out:\n" + r.out + "err:\n" + r.err;
}

// A path as a TSV field (and a usage error) writes it.
std::string escapeTsv(const std::string& path)
{
    return std::regex_replace(path, std::regex("	"), "\\t");
}

} // namespace

// With --items each row is followed by its one item, the file f (none in
// the Trash, whose items lie in files/), and rows and items carry the
// blocks they take.
TEST(CliJunk, ScanPrintsTheFiveRowsInTableOrderToTheByte)
{
    Home h;
    const CliResult tsv = runCli({"scan", h.home}, languageEnv("C"));
    EXPECT_EQ(std::tie(tsv.exitCode, tsv.out, tsv.err), std::tuple(0, h.tsv(), ""));

    std::string json, jsonItems, tsvItems;
    std::istringstream rowLines(h.tsv());
    for (const Row& row : kRows) {
        const std::string path = h.tmp.path() + "/ho\\tme\\udcff/" + row.relative;
        const std::string object = std::string(json.empty() ? "[" : ",") + "{\"row\":\"" + row.name + "\",\"path\":\""
                                   + path + "\",\"bytes\":" + std::to_string(row.bytes) + ",\"text\":\"" + row.sizeText
                                   + "\",\"title\":\"" + row.label + row.sizeText + "\"";
        json += object + "}";
        struct stat st {};
        ASSERT_EQ(::lstat((h.home + "/" + row.relative + "/f").c_str(), &st), 0);
        const std::string blocks = std::to_string(st.st_blocks * 512);
        const bool trash = row.name == "trash";
        jsonItems += object + ",\"allocated\":" + blocks + ",\"items\":["
                     + (trash ? ""
                              : "{\"name\":\"f\",\"path\":\"" + path + "/f\",\"bytes\":" + std::to_string(row.bytes)
                                    + ",\"text\":\"" + row.sizeText + "\",\"allocated\":" + blocks + "}")
                     + "]}";
        std::string line;
        std::getline(rowLines, line);
        tsvItems += line + "\t" + blocks + "\n";
        if (!trash) {
            tsvItems += row.name + ":item\t" + std::to_string(row.bytes) + "\t" + row.sizeText + "\t" + h.shown + "/"
                        + row.relative + "/f\t" + blocks + "\t\t\n";
        }
    }
    const CliResult scan = runCli({"scan", "--json", h.home}, languageEnv("C"));
    EXPECT_EQ(std::tie(scan.exitCode, scan.out, scan.err), std::tuple(0, json + "]\n", ""));
    const CliResult items = runCli({"scan", "--items", "--json", h.home}, languageEnv("C"));
    EXPECT_EQ(std::tie(items.exitCode, items.out, items.err), std::tuple(0, jsonItems + "]\n", ""));
    const CliResult itemLines = runCli({"scan", h.home, "--items"}, languageEnv("C"));
    EXPECT_EQ(std::tie(itemLines.exitCode, itemLines.out, itemLines.err), std::tuple(0, tsvItems, ""));
}

// --keep names items as scan --items prints their paths: those stay, the
// rest of their rows goes. One that names no item of a row being cleaned
// (not there, or in a row not named) removes nothing.
TEST(CliJunk, CleanKeepsTheItemsNamedAndRefusesAnyThatNamesNone)
{
    Home h;
    const std::string trash = h.home + "/" + kRows[4].relative;
    writeFile(h.home + "/.cache/g", "g");
    writeFile(trash + "/files/t", "trashed");
    writeFile(trash + "/info/t.trashinfo", "[Trash Info]\nPath=/t\n");
    for (const std::string& none : {h.home + "/.cache/gone", h.home + "/Logs/f", trash + "/f"}) {
        const CliResult r =
            runCli({"clean", "--keep", h.home + "/.cache/f", "--keep=" + none, h.home, "caches", "trash"});
        EXPECT_EQ(std::tie(r.exitCode, r.out, r.err),
                  std::tuple(2, "", usageLine("--keep '" + escapeTsv(none) + "' names no item of the rows to clean")));
    }
    EXPECT_TRUE(exists(h.home + "/.cache/g") && exists(trash + "/f"));
    const CliResult r =
        runCli({"clean", h.home, "caches", "trash", "--keep", h.home + "/.cache/f/", "--keep", trash + "/files/t"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(h.home + "/.cache/f"), std::string(3000, 'x'));
    EXPECT_EQ(readFile(trash + "/files/t") + readFile(trash + "/info/t.trashinfo"), "trashed[Trash Info]\nPath=/t\n");
    EXPECT_FALSE(exists(h.home + "/.cache/g") || exists(trash + "/f"));
}

TEST(CliJunk, CleanRemovesExactlyTheNamedRowsThenPrintsEveryRow)
{
    const std::tuple<std::vector<std::string>, std::set<std::string>, int> cases[] = {
        {{"trash", "caches", "trash"}, {"caches", "trash"}, 0}, // in any order, named twice
        {{"--", "mail-downloads", "all"}, {"caches", "logs", "downloads", "mail-downloads", "trash"}, 0},
        {{"caches", "Caches", "trash"}, {}, 2}, // every word is checked before anything goes
    };
    const std::string refused =
        usageLine("unknown row 'Caches' for clean; the rows are caches, logs, downloads, mail-downloads, trash, all");
    for (const auto& [words, removed, exitCode] : cases) {
        SCOPED_TRACE(words.front() + " " + words.back());
        Home h;
        std::vector<std::string> args{"clean", h.home};
        args.insert(args.end(), words.begin(), words.end());
        const CliResult r = runCli(args, languageEnv("C"));
        EXPECT_EQ(std::tie(r.exitCode, r.out, r.err),
                  exitCode == 0 ? std::tuple(0, h.tsv(removed), std::string()) : std::tuple(2, std::string(), refused));
        // What is left: a refused clean prints nothing, so a scan shows it.
        EXPECT_EQ(runCli({"scan", h.home}, languageEnv("C")).out, h.tsv(removed));
    }
}

// With one descriptor to spare (size), or two (a row's parent and the row),
// a folder with a subfolder cannot be walked or removed whole: its figure is
// not printed, one line on standard error says so, the rest is printed as
// usual, and the exit status is 1.
TEST(CliJunk, AFigureThatCannotBeCompletedIsNamedOnStandardErrorNotPrinted)
{
    // Only the caches are there: a walk needs two descriptors, a folder
    // that is not there only the one of its parent, so with one to spare
    // the caches cannot be measured and the rows just below HOME still are.
    // The trash lies two folders deeper: it cannot even be looked for.
    Home h;
    std::set<std::string> gone;
    for (const Row& row : kRows) {
        if (row.name != "caches") {
            std::filesystem::remove_all(h.home + "/" + row.relative.substr(0, row.relative.find('/')));
            gone.insert(row.name);
        }
    }
    const std::string cache = h.shown + "/.cache", shortOf = "': too many open files\n";
    // Nor is there a user-dirs.dirs to read: Downloads is its default.
    std::filesystem::remove_all(h.home + "/.config");
    std::string others = h.tsv(gone);
    others.replace(others.find(kRows[2].relative), kRows[2].relative.size(), "Downloads");
    others.erase(0, others.find('\n') + 1);                  // caches comes first,
    others.erase(others.rfind('\n', others.size() - 2) + 1); // trash last
    const std::string trash = "headroom-cli: cannot measure all of trash '" + h.shown + "/.local/share/Trash" + shortOf;
    const std::tuple<unsigned, std::vector<std::string>, std::string, std::string> cases[] = {
        {1,
         {"size", h.home + "/Logs", h.home + "/.cache"},
         "0\t0 Bytes\t" + h.shown + "/Logs\n",
         "headroom-cli: cannot measure all of '" + cache + shortOf},
        {1, {"scan", h.home}, others, "headroom-cli: cannot measure all of caches '" + cache + shortOf + trash},
        {1,
         {"clean", h.home, "caches"},
         others,
         "headroom-cli: cannot measure all of caches '" + cache + shortOf + trash
             + "headroom-cli: cannot remove all of the rows named: too many open files\n"},
    };
    for (const auto& c : cases) {
        // Variables, not bindings: the lambda below captures them.
        const unsigned spare = std::get<0>(c);
        const std::vector<std::string>& words = std::get<1>(c);
        const std::string &out = std::get<2>(c), &err = std::get<3>(c);
        expectChildPassed(runInChild([&] {
            inTheCLocale();
            // UndefinedBehaviorSanitizer, the first time it checks an
            // object's type, makes sure its memory is readable through a
            // pipe, which needs descriptors: a first run, with plenty, does.
            runInProcess({"scan", h.home});
            const DescriptorLimit limit(spare);
            const CliResult r = runInProcess(words);
            return std::tie(r.exitCode, r.out, r.err) == std::tuple(1, out, err)
                       ? ChildOutcome::pass()
                       : ChildOutcome::fail(words.front() + ": " + said(r));
        }));
    }
}

// Rows that a clean leaves alone or cannot remove whole, in a child with
// its own mounts and the C locale: a home that is a tmpfs of its own, with
// Logs a dangling link and Mail Downloads a read-only bind mount of itself.
// The scan ends their lines (and objects) in what they are; the other rows
// keep their four fields. With the home then read-only, clean names each
// row it did not remove, with the reason, and exits 1; so does a clean that
// may not remove a folder inside a row. (Which places are left alone is the
// core's to test.)
TEST(CliJunk, RowsLeftAloneOrNotRemovedWholeAreNamedAndTheStatusIsOne)
{
    TempTree tmp;
    const std::string home = tmp / "home", md = home + "/Mail Downloads";
    tmp.makeDir("home");
    expectChildPassed(runInPrivateMounts([&]() -> ChildOutcome {
        inTheCLocale();
        if (::mount("headroom-test", home.c_str(), "tmpfs", 0, "size=1m") != 0)
            return ChildOutcome::refuse("tmpfs refused");
        for (const Row& row : kRows)
            if (row.name != "downloads" && row.name != "logs")
                writeFile(home + "/" + row.relative + "/f", std::string(row.bytes, 'x'));
        tmp.makeSymlink("home/Logs", "/nowhere");
        if (::mount(md.c_str(), md.c_str(), nullptr, MS_BIND, nullptr) != 0
            || ::mount(nullptr, md.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            return ChildOutcome::refuse("read-only bind mount refused");
        const std::string rows = "caches\t3000\tCaches 2.9 KB\t" + home + "/.cache\n" + "logs\t0\tLogs \t" + home
                                 + "/Logs\tlink\t/nowhere\n" + "downloads\t0\tDownloads \t" + home + "/Downloads\n"
                                 + "mail-downloads\t42\tMail Downloads 42 Bytes\t" + md + "\tmount\n"
                                 + "trash\t1234\tTrash 1.2 KB\t" + home + "/.local/share/Trash\n";
        const CliResult tsv = runInProcess({"scan", home});
        const CliResult json = runInProcess({"scan", "--json", home});
        if (std::tie(tsv.exitCode, tsv.out, tsv.err) != std::tuple(0, rows, "")
            || json.out.find(
                   R"("title":"Logs ","link":"/nowhere"},{"row":"downloads","path":")" + home
                   + R"(/Downloads","bytes":0,"text":"0 Bytes","title":"Downloads "},{"row":"mail-downloads","path":")"
                   + md + R"(","bytes":42,"text":"42 Bytes","title":"Mail Downloads 42 Bytes","mount":true})")
                   == std::string::npos)
            return ChildOutcome::fail("scan: " + said(tsv) + json.out);
        if (::mount(nullptr, home.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            return ChildOutcome::refuse("read-only remount refused");
        const std::string err = "headroom-cli: cannot remove all of caches '" + home
                                + "/.cache': Read-only file system\n" + "headroom-cli: left logs '" + home
                                + "/Logs' alone: a link to '/nowhere'\n" + "headroom-cli: left mail-downloads '" + md
                                + "' alone: another mount\n" + "headroom-cli: cannot remove all of trash '" + home
                                + "/.local/share/Trash': Read-only file system\n";
        const CliResult clean = runInProcess({"clean", home, "all"});
        return std::tie(clean.exitCode, clean.out, clean.err) == std::tuple(1, rows, err)
                   ? ChildOutcome::pass()
                   : ChildOutcome::fail("clean: " + said(clean));
    }));
    writeFile(home + "/.cache/locked/f", "x");
    ::chmod((home + "/.cache/locked").c_str(), 0); // unreadable: its file keeps it there
    expectChildPassed(runWithoutDacCapabilities([&] {
        inTheCLocale();
        const CliResult r = runInProcess({"clean", home, "caches"});
        return r.exitCode == 1
                       && r.err
                              == "headroom-cli: cannot remove all of caches '" + home + "/.cache': Permission denied\n"
                   ? ChildOutcome::pass()
                   : ChildOutcome::fail(said(r));
    }));
}

TEST(CliRelease, MemoryLinesAroundThePurgeToolAndItsStatus)
{
    SeamReset seams;
    TempTree tmp;
    writeFile(tmp / "before", "nr_free_pages 262144\nnr_active_anon 200\nnr_inactive_file 300\nnr_unevictable 10\n");
    writeFile(tmp / "after", "nr_free_pages 524288\nnr_active_anon 200\nnr_inactive_file 300\nnr_unevictable 10\n");
    // status prints the same two memory lines below its disk line.
    const auto memoryLines = [&](const std::string& vmstat) {
        headroom::platform::setVmstatPathForTesting(vmstat);
        const std::string status = runInProcess({"status"}).out;
        return status.substr(status.find('\n') + 1);
    };
    const std::string before = memoryLines(tmp / "before"), after = memoryLines(tmp / "after");
    ASSERT_NE(before, after);
    const std::string missing = tmp / "missing-tool";
    const std::tuple<std::string, int, std::string, std::string> cases[] = {
        {helper("purge-changes-vmstat.sh"), 5, before + after, ""},
        {missing, 127, before + before, "release: cannot start the purge tool " + missing + "\n"},
    };
    ::setenv("HEADROOM_TEST_VMSTAT", (tmp / "live").c_str(), 1);
    ::setenv("HEADROOM_TEST_VMSTAT_AFTER", (tmp / "after").c_str(), 1);
    for (const auto& [tool, status, out, err] : cases) {
        writeFile(tmp / "live", readFile(tmp / "before"));
        headroom::platform::setVmstatPathForTesting(tmp / "live");
        headroom::platform::setPurgeToolPathForTesting(tool);
        const CliResult r = runInProcess({"release"});
        EXPECT_EQ(std::tie(r.exitCode, r.out, r.err), std::tie(status, out, err)) << tool;
    }
    ::unsetenv("HEADROOM_TEST_VMSTAT");
    ::unsetenv("HEADROOM_TEST_VMSTAT_AFTER");
}
