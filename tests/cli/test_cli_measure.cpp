// headroom-cli size, memory and status: their output formats to the byte,
// the language of their texts, and how every command reads its words and
// refuses bad ones.

#include "RunCli.h"
#include "tests/support/Seams.h"
#include "tests/support/TempTree.h"

#include "l10n/StringTable.h"

#include <gtest/gtest.h>

#include <regex>
#include <tuple>

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
        {"\xc3\xbc\xe2\x82\xac\xf0\x9f\x98\x80", "\xc3\xbc\xe2\x82\xac\xf0\x9f\x98\x80", "\xc3\xbc\xe2\x82\xac\xf0\x9f\x98\x80"},
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
        json += "{\"path\": \"" + jsonName + "\", \"bytes\": " +
                (missing ? "0, \"text\": \"0 Bytes\"}\n" : "2053, \"text\": \"2.0 KB\"}\n");
    }
    const CliResult plain = runCli(args, {}, dir.path());
    EXPECT_EQ(std::tie(plain.exitCode, plain.out, plain.err), std::tuple(0, tsv, ""));
    args.insert(args.begin() + 1, "--json");
    EXPECT_EQ(runCli(args, {}, dir.path()).out, json);
}

// What cannot be reached is said on standard error and the exit status is
// 1, never a 0 that looks measured; what is not there still measures 0, and
// a path longer than PATH_MAX is measured. scan and clean refuse such a
// HOME before anything else.
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
                         "headroom-cli: cannot measure '" + dir / "loop/x" + loop + "headroom-cli: cannot measure '" +
                             tooLong + "': File name too long\n"));
    for (const std::vector<std::string>& args : {std::vector<std::string>{"scan", dir / "loop"}, {"clean", dir / "loop", "all"}}) {
        const CliResult r = runCli(args, languageEnv("C"));
        EXPECT_EQ(std::tie(r.exitCode, r.out, r.err), std::tuple(1, "", "headroom-cli: cannot open '" + dir / "loop" + loop))
            << args.front();
    }
}

TEST(CliMemory, CountersOfAKnownSampleToTheByte)
{
    SeamReset seams;
    TempTree dir;
    writeFile(dir / "vmstat", "nr_free_pages 1\nnr_unevictable 2\nnr_active_file 2\nnr_inactive_anon 2\n"
                              "pgfault 5000000000\npgactivate 9\npgpgin 4000\npgpgout 41\n");
    headroom::platform::setVmstatPathForTesting(dir / "vmstat");
    headroom::platform::setPageSizeForTesting(4096); // pgpgin's KiB are 4 KiB pages
    const CliResult plain = runInProcess({"memory"});
    EXPECT_EQ(std::tie(plain.exitCode, plain.out), std::tuple(0, "pagesFree\t1\npagesActive\t2\npagesInactive\t2\npagesSpeculative\t0\npagesWiredDown\t2\n"
                         "translationFaults\t5000000000\npagesCopyOnWrite\t0\npagesZeroFilled\t0\npagesReactivated\t9\n"
                         "pageins\t1000\npageouts\t10\ntotal\t7\n"
                         "percent.free\t14\npercent.wired\t28\npercent.active\t28\npercent.inactive\t28\n"));
    const CliResult json = runInProcess({"memory", "--json"});
    EXPECT_EQ(json.out, "{\"pagesFree\": 1, \"pagesActive\": 2, \"pagesInactive\": 2, \"pagesSpeculative\": 0, "
                        "\"pagesWiredDown\": 2, \"translationFaults\": 5000000000, \"pagesCopyOnWrite\": 0, "
                        "\"pagesZeroFilled\": 0, \"pagesReactivated\": 9, \"pageins\": 1000, \"pageouts\": 10, "
                        "\"total\": 7, "
                        "\"percent\": {\"free\": 14, \"wired\": 28, \"active\": 28, \"inactive\": 28}}\n");
}

TEST(CliStatus, TrayLinesOfKnownFiguresAndOfNone)
{
    SeamReset seams;
    TempTree dir;
    writeFile(dir / "vmstat", "nr_free_pages 262144\nnr_active_anon 300000\nnr_active_file 93216\n"
                              "nr_inactive_file 262144\nnr_unevictable 131072\n");
    headroom::platform::setVmstatPathForTesting(dir / "vmstat");
    headroom::platform::setPageSizeForTesting(4096); // the counts above are 4 KiB pages
    headroom::platform::setVolumeQueryForTesting(
        [] { return headroom::platform::VolumeStats{500107862016, 250790436864}; });
    const headroom::KeyLookup tr = headroom::StringTable::lookup(headroom::StringTable::forSystemLocale());
    const CliResult known = runInProcess({"status"});
    EXPECT_EQ(std::tie(known.exitCode, known.out, known.err),
              std::tuple(0, tr("Total") + ":465.76 GB  " + tr("FreeDisk") + ":233.57 GB (51%)\n" + tr("Free") + "1.00 GB  " +
                                tr("Wired") + "512.0 MB\n" + tr("Active") + "1.50 GB  " + tr("Inactive") + "1.00 GB\n", ""));

    headroom::platform::setVmstatPathForTesting(dir / "missing");
    headroom::platform::setVolumeQueryForTesting([] { return std::optional<headroom::platform::VolumeStats>(); });
    testing::internal::CaptureStderr();
    const CliResult none = runInProcess({"status"});
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to get VM statistics.");
    EXPECT_EQ(std::tie(none.exitCode, none.out),
              std::tuple(0, tr("Total") + ":0 Bytes  " + tr("FreeDisk") + ":0 Bytes (0%)\n" + tr("Free") + "0 Bytes  " +
                                tr("Wired") + "0 Bytes\n" + tr("Active") + "0 Bytes  " + tr("Inactive") + "0 Bytes\n"));
}

TEST(CliLocale, TextsFollowTheMessagesLanguage)
{
    TempTree home;
    writeFile(home / "Downloads/f", "12345");
    const std::string english = "Total:S  Free:S (P)\nFree S  Wired S\nActive S  Inactive S\n"
                                "Caches |Logs |Downloads 5 Bytes|Mail Downloads |Trash |";
    const std::string german = "Gesamt:S  Frei:S (P)\nFrei S  Fest belegt S\nAktiv S  Inaktiv S\n"
                               "Caches |Protokolle |Downloads 5 Bytes|Mail-Downloads |Papierkorb |";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {languageEnv("C"), english},
        {languageEnv("nl_NL.UTF-8"), english}, // a language without a table
        {languageEnv("de_DE.UTF-8"), german},
        {{"LANG=C", "LC_ALL=de_DE.UTF-8", "LC_MESSAGES=", "LANGUAGE="}, german},
        {{"LANG=C", "LC_ALL=", "LC_MESSAGES=de_DE.UTF-8", "LANGUAGE="}, german},
        {{"LANG=de_DE.UTF-8", "LC_ALL=", "LC_MESSAGES=C", "LANGUAGE="}, english},
    };
    // Sizes keep "." as the decimal point in every language.
    const std::regex size(R"(\d+(\.\d{1,2})? (GB|MB|KB|Bytes))"), percent(R"(\d{1,3}%)");
    const std::regex scanRow("[^\t\n]*\t[^\t\n]*\t([^\t\n]*)\t[^\n]*\n");
    for (const auto& [env, expected] : cases) {
        const CliResult status = runCli({"status"}, env), scan = runCli({"scan", home.path()}, env);
        EXPECT_EQ(status.exitCode + scan.exitCode, 0);
        EXPECT_EQ(std::regex_replace(std::regex_replace(status.out, percent, "P"), size, "S") +
                      std::regex_replace(scan.out, scanRow, "$1|"),
                  expected)
            << env[0] << " " << env[1] << " " << env[2];
    }
}

TEST(CliUsage, EveryCommandRefusesBadWordsWithOneLineAndExitTwo)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "no command given"},
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"sizes"}, "unknown command 'sizes'"},
        {{"status", "--json"}, "unknown option '--json' for status"},
        {{"status", "extra"}, "status takes no arguments, got 'extra'"},
        {{"size"}, "size needs at least one PATH"},
        {{"size", "/", "-j"}, "unknown option '-j' for size"},
        {{"size", "--bo\ngus\t", "/"}, "unknown option '--bo\\ngus\\t' for size"},
        {{"memory", "extra"}, "memory takes no arguments, got 'extra'"},
        {{"scan"}, "scan needs a HOME folder"},
        {{"scan", "/nonexistent", "b"}, "scan takes one HOME, got another: 'b'"},
        {{"clean", "/nonexistent"}, "clean needs a HOME folder and at least one ROW"},
        {{"clean", "--json", "/nonexistent", "caches"}, "unknown option '--json' for clean"},
        {{"release", "now"}, "release takes no arguments, got 'now'"},
        {{"help", "extra"}, "help takes no arguments, got 'extra'"},
        {{"--help", "--json"}, "unknown option '--json' for help"},
    };
    for (const auto& [args, message] : cases) {
        const CliResult r = runCli(args);
        EXPECT_EQ(std::tie(r.exitCode, r.out, r.err), std::tuple(2, "", usageLine(message)));
    }
}

TEST(CliUsage, HelpFromEveryCommandExitsZeroAndDoesNothingElse)
{
    const CliResult reference = runCli({"--help"});
    EXPECT_EQ(std::tie(reference.exitCode, reference.err), std::tuple(0, ""));
    EXPECT_TRUE(reference.out.starts_with("Usage: headroom-cli COMMAND")) << reference.out;
    TempTree home;
    writeFile(home / ".cache/f", "x");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"-h"}, {"help"}, {"help", "--help"}, {"status", "--help"}, {"size", "/", "-h"}, {"memory", "--json", "-h"},
             {"scan", "--help"}, {"clean", "-h"}, {"clean", home.path(), "all", "--help"}, {"release", "--help"}}) {
        const CliResult r = runCli(args);
        EXPECT_EQ(std::tie(r.exitCode, r.out, r.err), std::tie(reference.exitCode, reference.out, reference.err))
            << args.front() << " " << args.back();
    }
    EXPECT_TRUE(exists(home / ".cache/f")) << "clean --help removed something";
}
