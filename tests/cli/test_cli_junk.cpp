// headroom-cli scan, clean and release: the CLI run as a separate process on
// real temporary home folders with canaries beside and inside the junk
// locations, plus release in process with the purge tool pointed at
// stand-in tools.

#include "RunCli.h"
#include "tests/support/TempTree.h"

#include "l10n/StringTable.h"
#include "cli/JunkCommands.h"
#include "core/DiskText.h"
#include "core/JunkLocations.h"
#include "core/MemoryText.h"
#include "core/PageCounters.h"
#include "core/SizeText.h"
#include "core/Platform.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using headroom::test::exists;
using headroom::test::helper;
using headroom::test::readFile;
using headroom::test::TempTree;
using headroom::test::writeFile;

// The bytes below `path`, counted here independently: every entry's own
// size, links not followed.
std::uint64_t bytesBelow(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return 0;
    std::uint64_t sum = 0;
    for (const auto& e : fs::recursive_directory_iterator(path)) {
        if (::lstat(e.path().c_str(), &st) == 0)
            sum += static_cast<std::uint64_t>(st.st_size);
    }
    return sum;
}

std::vector<std::string> split(const std::string& text, char sep)
{
    std::vector<std::string> parts;
    std::string cur;
    for (char c : text) {
        if (c == sep) {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty())
        parts.push_back(cur);
    return parts;
}

std::string englishTitle(std::string_view key, std::uint64_t bytes)
{
    return headroom::junkCheckBoxTitle(headroom::StringTable::lookup(headroom::StringTable::forLocale(QLocale::c())), key,
                                       bytes);
}

const std::vector<std::string> kEnglish{"LC_ALL=C", "LANG=C", "LC_MESSAGES"};

// A home with something in every location, and canaries beside them.
struct Home {
    TempTree tmp;
    std::string home = tmp / "home";
    std::string canary = tmp / "canary";

    Home()
    {
        writeFile(canary + "/keep", "canary file");
        writeFile(canary + "/sub/keep2", "canary sub");
        writeFile(home + "/.cache/app/blob", std::string(3000, 'c'));
        writeFile(home + "/.cache/app/deeper/x", std::string(10, 'c'));
        fs::create_symlink(canary, home + "/.cache/link-to-canary");
        fs::create_symlink(canary + "/keep", home + "/.cache/app/link-to-file");
        writeFile(home + "/.config/settings", "beside the cache");
        writeFile(home + "/Logs/today.log", std::string(700, 'l'));
        writeFile(home + "/Downloads/movie", std::string(5000, 'd'));
        writeFile(home + "/Mail Downloads/attachment", std::string(42, 'm'));
        writeFile(home + "/.local/share/Trash/files/old", std::string(1234, 't'));
        writeFile(home + "/.local/share/Trash/info/old.trashinfo", "[Trash Info]\n");
        writeFile(home + "/.local/share/recently-used.xbel", "beside the trash");
    }

    void expectCanariesIntact() const
    {
        EXPECT_EQ(readFile(canary + "/keep"), "canary file");
        EXPECT_EQ(readFile(canary + "/sub/keep2"), "canary sub");
        EXPECT_EQ(readFile(home + "/.config/settings"), "beside the cache");
        EXPECT_EQ(readFile(home + "/.local/share/recently-used.xbel"), "beside the trash");
    }
};

// Checks a TSV scan against the folders as they are now.
void expectScanMatches(const std::string& out, const std::string& home)
{
    const auto lines = split(out, '\n');
    const auto& table = headroom::junkTable();
    ASSERT_EQ(lines.size(), table.size()) << out;
    for (std::size_t i = 0; i < table.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        const auto fields = split(lines[i], '\t');
        ASSERT_EQ(fields.size(), 4u);
        const std::uint64_t bytes = bytesBelow(home + "/" + std::string(table[i].relativePath));
        EXPECT_EQ(fields[0], table[i].row);
        EXPECT_EQ(fields[1], std::to_string(bytes));
        EXPECT_EQ(fields[2], englishTitle(table[i].labelKey, bytes));
        EXPECT_EQ(fields[3], home + "/" + std::string(table[i].relativePath));
    }
}

// ---------------------------------------------------------------------------

TEST(cli_scan, five_rows_in_table_order_with_titles)
{
    Home h;
    fs::remove_all(h.home + "/Logs"); // a missing location: 0 and the bare label
    CliResult r = runCli({"scan", h.home}, kEnglish);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    expectScanMatches(r.out, h.home);
    EXPECT_NE(r.out.find("logs\t0\t" + englishTitle("Logs", 0) + "\t"), std::string::npos) << r.out;
}

TEST(cli_scan, titles_follow_the_users_language)
{
    Home h;
    CliResult r = runCli({"scan", h.home}, {"LC_ALL=de_DE.UTF-8", "LANG=de_DE.UTF-8"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto german = headroom::StringTable::lookup(headroom::StringTable::forLocale(QLocale(QLocale::German)));
    const auto lines = split(r.out, '\n');
    ASSERT_EQ(lines.size(), 5u);
    const auto fields = split(lines[2], '\t');
    ASSERT_EQ(fields.size(), 4u);
    EXPECT_EQ(fields[2], headroom::junkCheckBoxTitle(german, "Downloads", std::stoull(fields[1])));
}

TEST(cli_scan, link_as_location_measures_nothing_behind_it)
{
    Home h;
    fs::remove_all(h.home + "/Downloads");
    fs::create_symlink(h.canary, h.home + "/Downloads");
    CliResult r = runCli({"scan", h.home + "/"}, kEnglish);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("downloads\t0\t"), std::string::npos) << r.out;
}

TEST(cli_scan, awkward_home_names_stay_one_field)
{
    TempTree tmp;
    const std::string home = tmp / "ho\tme\nwith\\odd\rname";
    writeFile(home + "/Downloads/f", "12345");
    CliResult r = runCli({"scan", home}, kEnglish);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = split(r.out, '\n');
    ASSERT_EQ(lines.size(), 5u) << r.out;
    const auto fields = split(lines[2], '\t');
    ASSERT_EQ(fields.size(), 4u);
    EXPECT_EQ(fields[3], tmp.path() + "/ho\\tme\\nwith\\\\odd\\rname/Downloads");
}

TEST(cli_scan, json_holds_the_same_rows)
{
    Home h;
    CliResult r = runCli({"scan", "--json", h.home}, kEnglish);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out;
    ASSERT_TRUE(doc.isArray());
    const QJsonArray rows = doc.array();
    const auto& table = headroom::junkTable();
    ASSERT_EQ(rows.size(), static_cast<qsizetype>(table.size()));
    for (std::size_t i = 0; i < table.size(); ++i) {
        const QJsonObject o = rows[static_cast<qsizetype>(i)].toObject();
        const std::string path = h.home + "/" + std::string(table[i].relativePath);
        const std::uint64_t bytes = bytesBelow(path);
        EXPECT_EQ(o.value("row").toString().toStdString(), table[i].row);
        EXPECT_EQ(o.value("path").toString().toStdString(), path);
        EXPECT_EQ(static_cast<std::uint64_t>(o.value("bytes").toDouble()), bytes);
        EXPECT_EQ(o.value("text").toString().toStdString(), headroom::convertBytes(bytes));
        EXPECT_EQ(o.value("title").toString().toStdString(), englishTitle(table[i].labelKey, bytes));
    }
}

TEST(cli_scan, usage_errors)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"scan"}, {"scan", "a", "b"}, {"scan", "--bogus", "/tmp"}}) {
        CliResult r = runCli(args, kEnglish);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(split(r.err, '\n').size(), 1u) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

// ---------------------------------------------------------------------------

TEST(cli_clean, removes_only_the_named_rows_and_prints_the_scan)
{
    Home h;
    CliResult r = runCli({"clean", h.home, "trash", "caches"}, kEnglish);
    ASSERT_EQ(r.exitCode, 0) << r.err;

    EXPECT_FALSE(exists(h.home + "/.cache"));
    EXPECT_FALSE(exists(h.home + "/.local/share/Trash"));
    EXPECT_TRUE(exists(h.home + "/.local/share"));
    EXPECT_EQ(readFile(h.home + "/Downloads/movie"), std::string(5000, 'd'));
    EXPECT_EQ(readFile(h.home + "/Logs/today.log"), std::string(700, 'l'));
    EXPECT_TRUE(exists(h.home + "/Mail Downloads/attachment"));
    h.expectCanariesIntact();
    expectScanMatches(r.out, h.home);
}

TEST(cli_clean, all_removes_every_location_and_nothing_beside)
{
    Home h;
    // Links out of the locations, into the canary and into the home itself.
    fs::create_symlink(h.home, h.home + "/Downloads/home-link");
    fs::create_symlink(h.home + "/.config", h.home + "/Logs/config-link");
    fs::create_symlink("../../..", h.home + "/.local/share/Trash/up");

    CliResult r = runCli({"clean", h.home, "all"}, kEnglish);
    ASSERT_EQ(r.exitCode, 0) << r.err;

    for (const auto& row : headroom::junkTable())
        EXPECT_FALSE(exists(h.home + "/" + std::string(row.relativePath))) << row.row;
    h.expectCanariesIntact();
    expectScanMatches(r.out, h.home);
    for (const auto& line : split(r.out, '\n'))
        EXPECT_EQ(split(line, '\t')[1], "0") << line;
}

TEST(cli_clean, linked_location_with_trailing_slashes_loses_only_the_link)
{
    Home h;
    fs::remove_all(h.home + "/Downloads");
    fs::create_symlink(h.canary + "/", h.home + "/Downloads");
    CliResult r = runCli({"clean", h.home + "//", "downloads"}, kEnglish);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(exists(h.home + "/Downloads"));
    h.expectCanariesIntact();
}

TEST(cli_clean, unknown_row_removes_nothing)
{
    Home h;
    CliResult r = runCli({"clean", h.home, "caches", "bogus", "trash"}, kEnglish);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(split(r.err, '\n').size(), 1u) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(exists(h.home + "/.cache/app/blob"));
    EXPECT_TRUE(exists(h.home + "/.local/share/Trash/files/old"));
}

TEST(cli_clean, no_row_is_a_usage_error)
{
    Home h;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"clean"}, {"clean", h.home}, {"clean", h.home, ".cache"}, {"clean", h.home, "Caches"}}) {
        CliResult r = runCli(args, kEnglish);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(split(r.err, '\n').size(), 1u) << r.err;
    }
    EXPECT_TRUE(exists(h.home + "/.cache/app/blob"));
}

// ---------------------------------------------------------------------------

std::string vmstatText(std::uint64_t freePages, std::uint64_t activeFile)
{
    std::ostringstream s;
    s << "nr_free_pages " << freePages << "\nnr_inactive_anon 100\nnr_active_anon 200\nnr_inactive_file 300\n"
      << "nr_active_file " << activeFile << "\nnr_unevictable 10\nnr_slab_unreclaimable 20\nnr_kernel_stack 64\n"
      << "nr_page_table_pages 30\npgpgin 8\npgpgout 8\npgfault 1\npgactivate 2\n";
    return s.str();
}

struct ToolOverride {
    ~ToolOverride()
    {
        headroom::platform::setPurgeToolPathForTesting({});
        headroom::platform::setVmstatPathForTesting({});
        ::unsetenv("HEADROOM_TEST_VMSTAT");
        ::unsetenv("HEADROOM_TEST_VMSTAT_AFTER");
    }
};

std::string memoryLines(const std::string& vmstatPath)
{
    headroom::platform::setVmstatPathForTesting(vmstatPath);
    const auto tr = headroom::StringTable::lookup(headroom::StringTable::forSystemLocale());
    const auto figures = headroom::memoryFigures(headroom::vm_stat());
    return headroom::memoryStatusLine1(tr, figures) + "\n" + headroom::memoryStatusLine2(tr, figures) + "\n";
}

TEST(cli_release, prints_memory_before_and_after_and_passes_the_status_on)
{
    TempTree tmp;
    ToolOverride restore;
    writeFile(tmp / "before", vmstatText(262144, 1000));
    writeFile(tmp / "after", vmstatText(524288, 9000));
    const std::string expectedBefore = memoryLines(tmp / "before");
    const std::string expectedAfter = memoryLines(tmp / "after");
    ASSERT_NE(expectedBefore, expectedAfter);

    writeFile(tmp / "live", readFile(tmp / "before"));
    headroom::platform::setVmstatPathForTesting(tmp / "live");
    ::setenv("HEADROOM_TEST_VMSTAT", (tmp / "live").c_str(), 1);
    ::setenv("HEADROOM_TEST_VMSTAT_AFTER", (tmp / "after").c_str(), 1);
    headroom::platform::setPurgeToolPathForTesting(helper("purge-changes-vmstat.sh"));

    std::ostringstream out, err;
    const int status = headroom::cli::releaseCommand({}, out, err);

    EXPECT_EQ(status, 5);
    EXPECT_EQ(out.str(), expectedBefore + expectedAfter);
}

TEST(cli_release, tool_that_cannot_start)
{
    TempTree tmp;
    ToolOverride restore;
    headroom::platform::setPurgeToolPathForTesting(tmp / "missing-tool");
    std::ostringstream out, err;
    EXPECT_EQ(headroom::cli::releaseCommand({}, out, err), 127);
    EXPECT_EQ(split(err.str(), '\n').size(), 1u) << err.str();
    EXPECT_EQ(split(out.str(), '\n').size(), 4u) << out.str();
}

TEST(cli_release, failing_tool_status_and_arguments)
{
    ToolOverride restore;
    headroom::platform::setPurgeToolPathForTesting(helper("purge-fails.sh"));
    std::ostringstream out, err;
    EXPECT_EQ(headroom::cli::releaseCommand({}, out, err), 3);

    CliResult r = runCli({"release", "now"}, kEnglish);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(split(r.err, '\n').size(), 1u) << r.err;
}

} // namespace
