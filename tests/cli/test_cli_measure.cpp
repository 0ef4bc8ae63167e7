// headroom-cli size, memory and status: their output formats to the byte,
// the language of their texts, and how every command reads its words and
// refuses bad ones.

#include "RunCli.h"
#include "tests/support/ChildExpect.h"
#include "tests/support/Seams.h"
#include "tests/support/TempTree.h"

#include "l10n/StringTable.h"

#include <gtest/gtest.h>

#include <regex>
#include <tuple>

#include <sys/mount.h>

using namespace headroom::test;

TEST(CliSize, OneLinePerPathInOrderEscapedInTsvAndByteForByteInJson)
{
    TempTree dir;
    // Each name as given, as its TSV field shows it, as its JSON string shows it. After "--", words that look
    // like options are paths too.
    const std::string cases[][3] = {
        {"a", "a", "a"},
        {"missing", "missing", "missing"},
        {"--json", "--json", "--json"},
        {"t\tn\nr\rb\\s", "t\\tn\\nr\\rb\\\\s", "t\\tn\\nr\\rb\\\\s"},
        {"q\"c\x01\x1f", "q\"c\x01\x1f", "q\\\"c\\u0001\\u001f"},
        // Latin-1, a cut sequence, an overlong one, a surrogate, one above U+10FFFF: each byte that is not
        // UTF-8 becomes U+DC00 + the byte, which a JSON reader with Python's surrogateescape maps back.
        {"\xe9\xff|\xe2\x82|\xc0\xaf|\xed\xa0\x80|\xf4\x90\x80\x80",
         "\xe9\xff|\xe2\x82|\xc0\xaf|\xed\xa0\x80|\xf4\x90\x80\x80",
         "\\udce9\\udcff|\\udce2\\udc82|\\udcc0\\udcaf|\\udced\\udca0\\udc80|\\udcf4\\udc90\\udc80\\udc80"},
        {"a", "a", "a"},
    };
    std::vector<std::string> args{"size", "--"};
    std::string tsv, json;
    for (const auto& [name, tsvName, jsonName] : cases) {
        const bool missing = name == "missing";
        if (!missing)
            writeFile(dir / name + "/f", std::string(2053, 'x'));
        args.push_back(name);
        tsv += (missing ? "0\t0 Bytes\t" : "2053\t2.0 KB\t") + tsvName + "\n";
        json += "{\"path\": \"" + jsonName
                + "\", \"bytes\": " + (missing ? "0, \"text\": \"0 Bytes\"}\n" : "2053, \"text\": \"2.0 KB\"}\n");
    }
    const CliResult plain = runCli(args, {}, dir.path());
    EXPECT_EQ(std::tie(plain.exitCode, plain.out, plain.err), std::tuple(0, tsv, ""));
    args.insert(args.begin() + 1, "--json");
    EXPECT_EQ(runCli(args, {}, dir.path()).out, json);
}

// What cannot be reached is said on standard error and the exit status is
// 1, never a 0 that looks measured; what is not there still measures 0, and
// a path longer than PATH_MAX is measured. scan, clean and status --home
// refuse such a HOME before anything else.
TEST(CliSize, WhatCannotBeReachedIsAnErrorNotAZero)
{
    TempTree dir;
    dir.makeSymlink("loop", "loop");
    const std::string level(250, 'n');
    dir.makeChain("", 20, level, 7); // below the last level only its file
    std::string deep = dir.path();
    for (int i = 0; i < 20; ++i)
        deep += "/" + level;
    const std::string loop = "': Too many levels of symbolic links\n", tooLong = dir / std::string(256, 'x');
    const CliResult size = runCli({"size", deep, dir / "loop/x", tooLong, dir / "missing"}, languageEnv("C"));
    EXPECT_EQ(std::tie(size.exitCode, size.out, size.err),
              std::tuple(1, "7\t7 Bytes\t" + deep + "\n0\t0 Bytes\t" + dir / "missing\n",
                         "headroom-cli: cannot measure '" + dir / "loop/x" + loop + "headroom-cli: cannot measure '"
                             + tooLong + "': File name too long\n"));
    for (const std::vector<std::string>& args : {std::vector<std::string>{"scan", dir / "loop"},
                                                 {"clean", dir / "loop", "all"},
                                                 {"status", "--home", dir / "loop"}}) {
        const CliResult r = runCli(args, languageEnv("C"));
        EXPECT_EQ(std::tie(r.exitCode, r.out, r.err),
                  std::tuple(1, "", "headroom-cli: cannot open '" + dir / "loop" + loop))
            << args.front();
    }
}

TEST(CliMemory, CountersAndTrayLinesOfOneSampleAndOfNone)
{
    SeamReset seams;
    TempTree dir;
    // 4 KiB pages: 1 GiB free, 512 MiB wired, 1.5 GiB active and 1 GiB inactive.
    writeFile(dir / "vmstat", "nr_free_pages 262144\nnr_active_anon 300000\nnr_active_file 93216\n"
                              "nr_inactive_file 262144\nnr_unevictable 131072\n"
                              "pgfault 5000000000\npgactivate 9\npgpgin 4000\npgpgout 41\n");
    headroom::platform::setVmstatPathForTesting(dir / "vmstat");
    headroom::platform::setPageSizeForTesting(4096);
    headroom::platform::setVolumeQueryForTesting([](const std::string&) {
        return headroom::platform::VolumeStats{500107862016, 250790436864};
    });
    const CliResult plain = runInProcess({"memory"});
    EXPECT_EQ(std::tie(plain.exitCode, plain.out),
              std::tuple(0, "pagesFree\t262144\npagesActive\t393216\npagesInactive\t262144\npagesSpeculative\t0\n"
                            "pagesWiredDown\t131072\ntranslationFaults\t5000000000\npagesCopyOnWrite\t0\n"
                            "pagesZeroFilled\t0\npagesReactivated\t9\npageins\t1000\npageouts\t10\ntotal\t1048576\n"
                            "percent.free\t25\npercent.wired\t12\npercent.active\t37\npercent.inactive\t25\n"));
    EXPECT_EQ(runInProcess({"memory", "--json"}).out,
              "{\"pagesFree\": 262144, \"pagesActive\": 393216, \"pagesInactive\": 262144, \"pagesSpeculative\": 0, "
              "\"pagesWiredDown\": 131072, \"translationFaults\": 5000000000, \"pagesCopyOnWrite\": 0, "
              "\"pagesZeroFilled\": 0, \"pagesReactivated\": 9, \"pageins\": 1000, \"pageouts\": 10, "
              "\"total\": 1048576, \"percent\": {\"free\": 25, \"wired\": 12, \"active\": 37, \"inactive\": 25}}\n");

    // status: the tray menu's disk line and two memory lines.
    const headroom::KeyLookup tr = headroom::StringTable::lookup(headroom::StringTable::forSystemLocale());
    const CliResult known = runInProcess({"status"});
    EXPECT_EQ(std::tie(known.exitCode, known.err), std::tuple(0, ""));
    EXPECT_EQ(known.out, tr("Total") + ":465.76 GB  " + tr("FreeDisk") + ":233.57 GB (51%)\n" + tr("Free") + "1.00 GB  "
                             + tr("Wired") + "512.0 MB\n" + tr("Active") + "1.50 GB  " + tr("Inactive") + "1.00 GB\n");
    headroom::platform::setVmstatPathForTesting(dir / "missing");
    headroom::platform::setVolumeQueryForTesting(
        [](const std::string&) { return std::optional<headroom::platform::VolumeStats>(); });
    testing::internal::CaptureStderr();
    const CliResult none = runInProcess({"status"});
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to get VM statistics.");
    EXPECT_EQ(std::tie(none.exitCode, none.out),
              std::tuple(0, tr("Total") + ":0 Bytes  " + tr("FreeDisk") + ":0 Bytes (0%)\n" + tr("Free") + "0 Bytes  "
                                + tr("Wired") + "0 Bytes\n" + tr("Active") + "0 Bytes  " + tr("Inactive")
                                + "0 Bytes\n"));
}

// status --home: the three lines of status as they are without it, and a
// fourth for a HOME on a file system of its own, with that volume's
// figures.
TEST(CliStatus, HomeOnItsOwnVolumeAddsItsLine)
{
    TempTree dir;
    dir.makeDir("home");
    const std::string home = dir / "home";
    writeFile(dir / "vmstat", "nr_free_pages 262144\n");
    expectChildPassed(runInPrivateMounts([&] {
        SeamReset seams;
        headroom::platform::setVmstatPathForTesting(dir / "vmstat"); // the same memory lines in every run
        headroom::platform::setVolumeQueryForTesting([](const std::string& folder) {
            return folder == "/" ? headroom::platform::VolumeStats{500107862016, 250790436864}
                                 : headroom::platform::VolumeStats{1073741824000, 357556027392};
        });
        const headroom::KeyLookup tr = headroom::StringTable::lookup(headroom::StringTable::forSystemLocale());
        const CliResult plain = runInProcess({"status"}), same = runInProcess({"status", "--home", home});
        if (same.exitCode != 0 || same.out != plain.out || !same.err.empty())
            return ChildOutcome::fail("on the volume of /: " + same.out + same.err);
        if (::mount("headroom-test", home.c_str(), "tmpfs", 0, "size=1m") != 0)
            return ChildOutcome::refuse("cannot mount a tmpfs");
        const CliResult own = runInProcess({"status", "--home=" + home});
        const std::string line =
            tr("Folder Disk") + tr("Total") + ":1000.00 GB  " + tr("FreeDisk") + ":333.00 GB (34%)\n";
        if (own.exitCode != 0 || own.out != plain.out + line || !own.err.empty())
            return ChildOutcome::fail("own volume: " + own.out + own.err);
        return ChildOutcome::pass();
    }));
}

TEST(CliLocale, TextsFollowTheMessagesLanguage)
{
    // Which table each locale gets is the string table's to test (the
    // application's locale cases); here: every text of status and scan is
    // looked up, and sizes keep "." as the decimal point in every language.
    TempTree home;
    writeFile(home / "Downloads/f", "12345");
    const std::regex size(R"(\d+(\.\d{1,2})? (GB|MB|KB|Bytes))"), percent(R"(\d{1,3}%)");
    const std::regex scanRow("[^\t\n]*\t[^\t\n]*\t([^\t\n]*)\t[^\n]*\n");
    const auto texts = [&](const std::vector<std::string>& env) {
        const CliResult status = runCli({"status"}, env), scan = runCli({"scan", home.path()}, env);
        return std::to_string(status.exitCode + scan.exitCode) + " "
               + std::regex_replace(std::regex_replace(status.out, percent, "P"), size, "S")
               + std::regex_replace(scan.out, scanRow, "$1|");
    };
    const std::string english = "0 Total:S  Free:S (P)\nFree S  Wired S\nActive S  Inactive S\n"
                                "Caches |Logs |Downloads 5 Bytes|Mail Downloads |Trash |";
    const std::string german = "0 Gesamt:S  Frei:S (P)\nFrei S  Fest belegt S\nAktiv S  Inaktiv S\n"
                               "Caches |Protokolle |Downloads 5 Bytes|Mail-Downloads |Papierkorb |";
    EXPECT_EQ(texts(languageEnv("C")), english);
    EXPECT_EQ(texts({"LANG=C", "LC_ALL=de_DE.UTF-8", "LC_MESSAGES=C", "LANGUAGE="}), german);
}

TEST(CliUsage, EveryCommandRefusesBadWordsWithOneLineAndExitTwo)
{
    // What a run wrote to standard error, when it exited 2 and wrote nothing else.
    const auto refusal = [](const std::vector<std::string>& args) {
        const CliResult r = runCli(args);
        return r.exitCode == 2 && r.out.empty() ? r.err : "exit " + std::to_string(r.exitCode) + ": " + r.out;
    };
    EXPECT_EQ(refusal({}), usageLine("no command given"));
    EXPECT_EQ(refusal({"--bogus"}), usageLine("unknown option '--bogus'"));
    EXPECT_EQ(refusal({"sizes"}), usageLine("unknown command 'sizes'"));
    EXPECT_EQ(refusal({"status", "--json"}), usageLine("unknown option '--json' for status"));
    EXPECT_EQ(refusal({"status", "extra"}), usageLine("status takes no arguments, got 'extra'"));
    EXPECT_EQ(refusal({"status", "--home"}), usageLine("option '--home' of status needs a value"));
    EXPECT_EQ(refusal({"status", "--home", "/", "--home=/t\tmp"}),
              usageLine("status takes one --home, got another: '/t\\tmp'"));
    EXPECT_EQ(refusal({"size"}), usageLine("size needs at least one PATH"));
    EXPECT_EQ(refusal({"size", "/", "-j"}), usageLine("unknown option '-j' for size"));
    EXPECT_EQ(refusal({"size", "--bo\ngus\t", "/"}), usageLine("unknown option '--bo\\ngus\\t' for size"));
    EXPECT_EQ(refusal({"size", "--json=yes", "/"}), usageLine("unknown option '--json=yes' for size"));
    EXPECT_EQ(refusal({"scan"}), usageLine("scan needs a HOME folder"));
    EXPECT_EQ(refusal({"scan", "/nonexistent", "b"}), usageLine("scan takes one HOME, got another: 'b'"));
    EXPECT_EQ(refusal({"clean", "/nonexistent"}), usageLine("clean needs a HOME folder and at least one ROW"));
    EXPECT_EQ(refusal({"--help", "--json"}), usageLine("unknown option '--json' for help"));
}

TEST(CliUsage, HelpFromEveryCommandExitsZeroAndDoesNothingElse)
{
    const CliResult reference = runCli({"--help"});
    EXPECT_EQ(std::tie(reference.exitCode, reference.err), std::tuple(0, ""));
    EXPECT_TRUE(reference.out.starts_with("Usage: headroom-cli COMMAND")) << reference.out;
    // Help wins over every other word, and over what the command would do.
    TempTree home;
    writeFile(home / ".cache/f", "x");
    const auto help = [&](const std::vector<std::string>& args) {
        const CliResult r = runCli(args);
        return r.exitCode == 0 && r.err.empty() && r.out == reference.out;
    };
    EXPECT_TRUE(help({"-h"}));
    EXPECT_TRUE(help({"help"}));
    EXPECT_TRUE(help({"size", "/", "-h"}));
    EXPECT_TRUE(help({"clean", "-h"}));
    EXPECT_TRUE(help({"clean", home.path(), "all", "--help"}));
    EXPECT_TRUE(exists(home / ".cache/f")) << "clean --help removed something";
    EXPECT_TRUE(help({"release", "--help"}));
}
