// headroom-cli status, size and memory, run as a separate process on real
// temporary trees, plus the same entry point in process with the system
// seams pointed at test data.

#include "RunCli.h"
#include "tests/support/TempTree.h"

#include "l10n/StringTable.h"
#include "cli/Cli.h"
#include "core/DiskText.h"
#include "core/SizeText.h"
#include "core/Platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using headroom::test::entrySize;
using headroom::test::TempTree;

void writeFile(const std::string& path, std::size_t bytes)
{
    headroom::test::writeFile(path, std::string(bytes, 'x'));
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

// Language variables that would beat LANG, cleared so LANG decides.
std::vector<std::string> languageEnv(const std::string& lang)
{
    return {"LANG=" + lang, "LC_ALL", "LC_MESSAGES", "LC_NUMERIC", "LANGUAGE"};
}

// Decodes one JSON string literal starting at `pos` (at the opening quote)
// back into bytes; \udcXX stands for the byte XX, as with surrogateescape.
// Absent on anything malformed.
std::optional<std::string> decodeJsonString(const std::string& s, std::size_t& pos)
{
    if (pos >= s.size() || s[pos] != '"')
        return std::nullopt;
    std::string out;
    for (++pos; pos < s.size(); ++pos) {
        const unsigned char c = static_cast<unsigned char>(s[pos]);
        if (c == '"') {
            ++pos;
            return out;
        }
        if (c < 0x20)
            return std::nullopt; // raw control characters are not allowed
        if (c != '\\') {
            out += static_cast<char>(c);
            continue;
        }
        if (++pos >= s.size())
            return std::nullopt;
        switch (s[pos]) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
            if (pos + 4 >= s.size())
                return std::nullopt;
            const unsigned code = static_cast<unsigned>(std::stoul(s.substr(pos + 1, 4), nullptr, 16));
            pos += 4;
            if (code >= 0xDC80 && code <= 0xDCFF)
                out += static_cast<char>(code - 0xDC00);
            else if (code < 0x80)
                out += static_cast<char>(code);
            else
                return std::nullopt; // not produced for paths
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return std::nullopt;
}

struct SizeRecord {
    std::string path;
    std::uint64_t bytes = 0;
    std::string text;
};

// Reads one `size --json` line, checking its exact shape on the way.
std::optional<SizeRecord> parseSizeJson(const std::string& line)
{
    SizeRecord record;
    std::size_t pos = 0;
    const auto expect = [&](std::string_view literal) {
        if (line.compare(pos, literal.size(), literal) != 0)
            return false;
        pos += literal.size();
        return true;
    };
    if (!expect("{\"path\": "))
        return std::nullopt;
    auto path = decodeJsonString(line, pos);
    if (!path || !expect(", \"bytes\": "))
        return std::nullopt;
    const std::size_t digits = line.find_first_not_of("0123456789", pos);
    if (digits == pos || digits == std::string::npos)
        return std::nullopt;
    record.bytes = std::stoull(line.substr(pos, digits - pos));
    pos = digits;
    if (!expect(", \"text\": "))
        return std::nullopt;
    auto text = decodeJsonString(line, pos);
    if (!text || !expect("}") || pos != line.size())
        return std::nullopt;
    record.path = *path;
    record.text = *text;
    return record;
}

bool havePython()
{
    return std::system("python3 -c 'import json' >/dev/null 2>&1") == 0;
}

// The hex of each line's "path" as Python's json module and surrogateescape
// read it back, one per line.
std::string pythonDecodedPaths(const std::string& jsonLines)
{
    TempTree dir;
    const std::string input = dir / "lines.json";
    std::ofstream(input, std::ios::binary) << jsonLines;
    const std::string command =
        "python3 -c 'import json,sys\n"
        "for line in open(sys.argv[1], encoding=\"utf-8\", errors=\"strict\"):\n"
        "    print(json.loads(line)[\"path\"].encode(\"utf-8\", \"surrogateescape\").hex())' " + input;
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, n);
        EXPECT_EQ(::pclose(pipe), 0) << "python3 could not read the lines";
    }
    return output;
}

std::string hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 0xF];
    }
    return out;
}

void expectUsageError(const std::vector<std::string>& args)
{
    const CliResult r = runCli(args);
    std::string shown;
    for (const std::string& a : args)
        shown += "'" + a + "' ";
    EXPECT_EQ(r.exitCode, 2) << shown;
    EXPECT_EQ(r.out, "") << shown;
    ASSERT_FALSE(r.err.empty()) << shown;
    EXPECT_EQ(r.err.back(), '\n') << shown;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << shown << r.err;
}

// Moves the test into a folder and back, so relative paths can be given.
class ScopedChdir {
public:
    explicit ScopedChdir(const std::string& dir)
        : saved_(fs::current_path())
    {
        fs::current_path(dir);
    }
    ~ScopedChdir() { fs::current_path(saved_); }
    ScopedChdir(const ScopedChdir&) = delete;
    ScopedChdir& operator=(const ScopedChdir&) = delete;

private:
    fs::path saved_;
};

} // namespace

// --- size -----------------------------------------------------------------

TEST(CliSize, TsvLineToTheByte)
{
    TempTree dir;
    writeFile(dir / "a", 2048);
    writeFile(dir / "b", 5);
    const CliResult r = runCli({"size", dir.path()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "2053\t2.0 KB\t" + dir.path() + "\n");
}

TEST(CliSize, SubfoldersCountTheirOwnEntry)
{
    TempTree dir;
    fs::create_directories(dir / "sub/deeper");
    writeFile(dir / "sub/deeper/file", 1536);
    const std::uint64_t expected = entrySize(dir / "sub") + entrySize(dir / "sub/deeper") + 1536;
    const CliResult r = runCli({"size", dir.path()});
    EXPECT_EQ(r.out, std::to_string(expected) + "\t" + headroom::convertBytes(expected) + "\t" + dir.path() + "\n");
}

TEST(CliSize, OneLinePerPathInOrderAndNonFoldersMeasureZero)
{
    TempTree dir;
    fs::create_directory(dir / "folder");
    writeFile(dir / "folder/data", 1048576);
    writeFile(dir / "file", 100);
    fs::create_directory_symlink(dir / "folder", dir / "link");
    const CliResult r = runCli({"size", dir / "folder", dir / "missing", dir / "file", dir / "link", dir / "folder"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "1048576\t1.0 MB\t" + (dir / "folder") + "\n"
              "0\t0 Bytes\t" + (dir / "missing") + "\n"
              "0\t0 Bytes\t" + (dir / "file") + "\n"
              "0\t0 Bytes\t" + (dir / "link") + "\n"
              "1048576\t1.0 MB\t" + (dir / "folder") + "\n");
}

TEST(CliSize, ControlCharactersInPathsAreEscapedSoEachPathIsOneLine)
{
    TempTree dir;
    const std::string odd = "tab\there\nnew\\back\rret";
    fs::create_directory(dir / odd);
    writeFile(dir / odd + "/f", 3);
    const std::string latin1 = "caf\xe9 \xff\xfe";
    fs::create_directory(dir / latin1);
    const std::string utf8 = "Gr\xc3\xbc\xc3\x9f" "e";
    fs::create_directory(dir / utf8);

    const CliResult r = runCli({"size", dir / odd, dir / latin1, dir / utf8});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "3\t3 Bytes\t" + dir.path() + "/tab\\there\\nnew\\\\back\\rret\n"
                     "0\t0 Bytes\t" + (dir / latin1) + "\n"
                     "0\t0 Bytes\t" + (dir / utf8) + "\n");
}

TEST(CliSize, JsonLineToTheByte)
{
    TempTree dir;
    writeFile(dir / "a", 1536);
    const CliResult r = runCli({"size", "--json", dir.path(), dir / "missing"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "{\"path\": \"" + dir.path() + "\", \"bytes\": 1536, \"text\": \"1.5 KB\"}\n"
                     "{\"path\": \"" + (dir / "missing") + "\", \"bytes\": 0, \"text\": \"0 Bytes\"}\n");
}

TEST(CliSize, JsonGivesAnyPathBackByteForByte)
{
    TempTree dir;
    const std::vector<std::string> names{
        "plain", "quote\"back\\slash", "tab\tnl\ncr\r", std::string("ctl\x01\x1f\x7f", 6), "caf\xe9",
        "\xff\xfe\x80", std::string("Gr\xc3\xbc\xc3\x9f") + "e \xe2\x82\xac \xf0\x9f\x98\x80",
        "trunc\xe2\x82", "overlong\xc0\xaf", "surrogate\xed\xa0\x80", "toobig\xf4\x90\x80\x80",
    };
    std::vector<std::string> args{"size", "--json"};
    for (const std::string& name : names) {
        fs::create_directory(dir / name);
        args.push_back(dir / name);
    }
    writeFile(dir / "plain/x", 10);

    const CliResult r = runCli(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> got = lines(r.out);
    ASSERT_EQ(got.size(), names.size()) << r.out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto record = parseSizeJson(got[i]);
        ASSERT_TRUE(record.has_value()) << got[i];
        EXPECT_EQ(record->path, dir / names[i]) << got[i];
        EXPECT_EQ(record->bytes, i == 0 ? 10u : 0u);
        EXPECT_EQ(record->text, i == 0 ? "10 Bytes" : "0 Bytes");
    }

    if (!havePython()) {
        std::printf("[   NOTE   ] python3 not found; the JSON lines were checked by the built-in reader only\n");
        return;
    }
    std::string expected;
    for (const std::string& name : names)
        expected += hex(dir / name) + "\n";
    EXPECT_EQ(pythonDecodedPaths(r.out), expected);
}

TEST(CliSize, DoubleDashEndsOptions)
{
    TempTree dir;
    for (const char* name : {"--json", "-x", "-", "--"}) {
        fs::create_directory(dir / name);
        writeFile(dir / name + "/f", 7);
    }
    ScopedChdir here(dir.path());
    const CliResult r = runCli({"size", "--", "--json", "-x", "-", "--"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "7\t7 Bytes\t--json\n7\t7 Bytes\t-x\n7\t7 Bytes\t-\n7\t7 Bytes\t--\n");
    // Options may come after a path, but not after "--".
    const CliResult json = runCli({"size", "-", "--json", "--", "-x"});
    EXPECT_EQ(json.out, "{\"path\": \"-\", \"bytes\": 7, \"text\": \"7 Bytes\"}\n"
                        "{\"path\": \"-x\", \"bytes\": 7, \"text\": \"7 Bytes\"}\n");
}

// --- usage ----------------------------------------------------------------

TEST(CliUsage, ErrorsAreOneLineAndExitTwo)
{
    expectUsageError({});
    expectUsageError({"frobnicate"});
    expectUsageError({"--bogus"});
    expectUsageError({"-x"});
    expectUsageError({"size"});
    expectUsageError({"size", "--json"});
    expectUsageError({"size", "--"});
    expectUsageError({"size", "--bogus", "/tmp"});
    expectUsageError({"size", "/tmp", "-j"});
    expectUsageError({"memory", "extra"});
    expectUsageError({"memory", "--bogus"});
    expectUsageError({"status", "--json"});
    expectUsageError({"status", "extra"});
    expectUsageError({"STATUS"});
}

TEST(CliUsage, HelpInEveryFormExitsZero)
{
    const CliResult reference = runCli({"--help"});
    EXPECT_EQ(reference.exitCode, 0);
    EXPECT_EQ(reference.err, "");
    EXPECT_NE(reference.out.find("Usage: headroom-cli"), std::string::npos);
    // The TSV escaping and the JSON shape are documented.
    EXPECT_NE(reference.out.find("BYTES<TAB>SIZE TEXT<TAB>PATH"), std::string::npos);
    EXPECT_NE(reference.out.find("\\\\, \\t, \\n and \\r"), std::string::npos);
    EXPECT_NE(reference.out.find("{\"path\": \"...\", \"bytes\": N, \"text\": \"...\"}"), std::string::npos);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"-h"}, {"help"}, {"size", "--help"}, {"memory", "-h"}, {"status", "--help"}}) {
        const CliResult r = runCli(args);
        EXPECT_EQ(r.exitCode, 0) << args.front();
        EXPECT_EQ(r.out, reference.out) << args.front();
        EXPECT_EQ(r.err, "");
    }
}

// --- status ---------------------------------------------------------------

TEST(CliStatus, EnglishUnderTheCLocale)
{
    struct statvfs root {};
    ASSERT_EQ(::statvfs("/", &root), 0);
    const std::string totalText = headroom::convertBytes(std::uint64_t{root.f_blocks} * root.f_frsize);

    for (const std::string lang : {"C", "POSIX", "en_US.UTF-8", "fr_FR.UTF-8"}) {
        const CliResult r = runCli({"status"}, languageEnv(lang));
        ASSERT_EQ(r.exitCode, 0) << lang;
        EXPECT_EQ(r.err, "");
        const std::vector<std::string> got = lines(r.out);
        ASSERT_EQ(got.size(), 3u) << r.out;
        EXPECT_EQ(r.out.back(), '\n');
        const std::string size = R"(\d+(\.\d{1,2})? (GB|MB|KB|Bytes))";
        EXPECT_TRUE(std::regex_match(got[0], std::regex("Total:" + size + "  Free:" + size + R"( \(\d{1,3}%\))")))
            << lang << ": " << got[0];
        EXPECT_TRUE(got[0].starts_with("Total:" + totalText + "  ")) << got[0];
        EXPECT_TRUE(std::regex_match(got[1], std::regex("Free " + size + "  Wired " + size))) << got[1];
        EXPECT_TRUE(std::regex_match(got[2], std::regex("Active " + size + "  Inactive " + size))) << got[2];
    }
}

TEST(CliStatus, GermanUnderAGermanLanguage)
{
    const CliResult r = runCli({"status"}, languageEnv("de_DE.UTF-8"));
    ASSERT_EQ(r.exitCode, 0);
    const std::vector<std::string> got = lines(r.out);
    ASSERT_EQ(got.size(), 3u) << r.out;
    // The size texts keep "." even though German writes decimals with ",".
    const std::string size = R"(\d+(\.\d{1,2})? (GB|MB|KB|Bytes))";
    EXPECT_TRUE(std::regex_match(got[0], std::regex("Gesamt:" + size + "  Frei:" + size + R"( \(\d{1,3}%\))")))
        << got[0];
    EXPECT_TRUE(std::regex_match(got[1], std::regex("Frei " + size + "  Fest belegt " + size))) << got[1];
    EXPECT_TRUE(std::regex_match(got[2], std::regex("Aktiv " + size + "  Inaktiv " + size))) << got[2];

    // LC_ALL beats LANG, as the C library has it.
    const CliResult overridden = runCli({"status"}, {"LANG=C", "LC_ALL=de_DE.UTF-8", "LC_MESSAGES", "LANGUAGE"});
    EXPECT_TRUE(overridden.out.starts_with("Gesamt:")) << overridden.out;
    // The messages category decides the language, not the others.
    const CliResult messages = runCli({"status"}, {"LANG=C", "LC_ALL", "LC_MESSAGES=de_DE.UTF-8", "LANGUAGE"});
    EXPECT_TRUE(messages.out.starts_with("Gesamt:")) << messages.out;
    const CliResult englishMessages = runCli({"status"}, {"LANG=de_DE.UTF-8", "LC_ALL", "LC_MESSAGES=C", "LANGUAGE"});
    EXPECT_TRUE(englishMessages.out.starts_with("Total:")) << englishMessages.out;
}

// --- memory ---------------------------------------------------------------

namespace {

const char* const kCounterNames[] = {
    "pagesFree", "pagesActive", "pagesInactive", "pagesSpeculative", "pagesWiredDown", "translationFaults",
    "pagesCopyOnWrite", "pagesZeroFilled", "pagesReactivated", "pageins", "pageouts", "total",
};

} // namespace

TEST(CliMemory, PlainFormNamesEveryCounterInOrder)
{
    const CliResult r = runCli({"memory"});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> got = lines(r.out);
    ASSERT_EQ(got.size(), 16u) << r.out;
    std::map<std::string, std::uint64_t> values;
    const char* const percentNames[] = {"percent.free", "percent.wired", "percent.active", "percent.inactive"};
    for (std::size_t i = 0; i < got.size(); ++i) {
        const std::string name = i < 12 ? kCounterNames[i] : percentNames[i - 12];
        std::smatch m;
        ASSERT_TRUE(std::regex_match(got[i], m, std::regex(name + "\t(\\d+)"))) << got[i];
        values[name] = std::stoull(m[1]);
    }
    // The figures of one sample agree with each other.
    const std::uint64_t total = values["pagesFree"] + values["pagesWiredDown"] + values["pagesActive"] + values["pagesInactive"];
    EXPECT_EQ(values["total"], total);
    EXPECT_GT(total, 0u);
    EXPECT_EQ(values["percent.free"], values["pagesFree"] * 100 / total);
    EXPECT_EQ(values["percent.wired"], values["pagesWiredDown"] * 100 / total);
    EXPECT_EQ(values["percent.active"], values["pagesActive"] * 100 / total);
    EXPECT_EQ(values["percent.inactive"], values["pagesInactive"] * 100 / total);
    EXPECT_EQ(values["pagesSpeculative"] + values["pagesCopyOnWrite"] + values["pagesZeroFilled"], 0u);
}

TEST(CliMemory, JsonIsOneObjectWithTheSameKeys)
{
    const CliResult r = runCli({"memory", "--json"});
    ASSERT_EQ(r.exitCode, 0);
    std::string pattern = "\\{";
    for (const char* name : kCounterNames)
        pattern += std::string("\"") + name + "\": \\d+, ";
    pattern += R"("percent": \{"free": \d+, "wired": \d+, "active": \d+, "inactive": \d+\}\}\n)";
    EXPECT_TRUE(std::regex_match(r.out, std::regex(pattern))) << r.out;

    if (havePython()) {
        TempTree dir;
        std::ofstream(dir / "m.json") << r.out;
        const std::string check = "python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); "
                                  "assert list(d)[-2:]==[\"total\",\"percent\"] and len(d)==13; "
                                  "assert d[\"total\"]==d[\"pagesFree\"]+d[\"pagesWiredDown\"]+d[\"pagesActive\"]+d[\"pagesInactive\"]' " +
                                  (dir / "m.json");
        EXPECT_EQ(std::system(check.c_str()), 0);
    }
}

// --- In process, with the system figures replaced ---------------------------

namespace {

struct SeamGuard {
    ~SeamGuard()
    {
        headroom::platform::setVolumeQueryForTesting({});
        headroom::platform::setVmstatPathForTesting({});
    }
};

struct Output {
    int status;
    std::string out;
    std::string err;
};

Output runInProcess(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    const int status = headroom::cli::run(args, out, err);
    return {status, out.str(), err.str()};
}

} // namespace

TEST(CliInProcess, StatusComposesTheTrayLines)
{
    SeamGuard guard;
    TempTree dir;
    std::ofstream(dir / "vmstat") << "nr_free_pages 262144\nnr_active_anon 300000\nnr_active_file 93216\n"
                                     "nr_inactive_file 262144\nnr_unevictable 131072\n";
    headroom::platform::setVmstatPathForTesting(dir / "vmstat");
    headroom::platform::setVolumeQueryForTesting([] { return headroom::platform::VolumeStats{500107862016, 250790436864}; });

    const headroom::KeyLookup tr = headroom::StringTable::lookup(headroom::StringTable::forSystemLocale());
    const Output r = runInProcess({"status"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, tr("Total") + ":465.76 GB  " + tr("FreeDisk") + ":233.57 GB (51%)\n" +
                     tr("Free") + "1.00 GB  " + tr("Wired") + "512.0 MB\n" +
                     tr("Active") + "1.50 GB  " + tr("Inactive") + "1.00 GB\n");
}

TEST(CliInProcess, StatusWhenNothingCanBeRead)
{
    SeamGuard guard;
    headroom::platform::setVmstatPathForTesting("/nonexistent/vmstat");
    headroom::platform::setVolumeQueryForTesting([] { return std::optional<headroom::platform::VolumeStats>(); });
    const headroom::KeyLookup tr = headroom::StringTable::lookup(headroom::StringTable::forSystemLocale());
    testing::internal::CaptureStderr();
    const Output r = runInProcess({"status"});
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to get VM statistics.");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, tr("Total") + ":0 Bytes  " + tr("FreeDisk") + ":0 Bytes (0%)\n" +
                     tr("Free") + "0 Bytes  " + tr("Wired") + "0 Bytes\n" +
                     tr("Active") + "0 Bytes  " + tr("Inactive") + "0 Bytes\n");
}

TEST(CliInProcess, MemoryFiguresOfAKnownSample)
{
    SeamGuard guard;
    TempTree dir;
    std::ofstream(dir / "vmstat") << "nr_free_pages 1\nnr_unevictable 2\nnr_active_file 2\nnr_inactive_anon 2\n"
                                     "pgfault 5000000000\npgactivate 9\npgpgin 4000\npgpgout 41\n";
    headroom::platform::setVmstatPathForTesting(dir / "vmstat");

    const Output plain = runInProcess({"memory"});
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.out,
              "pagesFree\t1\npagesActive\t2\npagesInactive\t2\npagesSpeculative\t0\npagesWiredDown\t2\n"
              "translationFaults\t5000000000\npagesCopyOnWrite\t0\npagesZeroFilled\t0\npagesReactivated\t9\n"
              "pageins\t1000\npageouts\t10\ntotal\t7\n"
              "percent.free\t14\npercent.wired\t28\npercent.active\t28\npercent.inactive\t28\n");

    const Output json = runInProcess({"memory", "--json"});
    EXPECT_EQ(json.out,
              "{\"pagesFree\": 1, \"pagesActive\": 2, \"pagesInactive\": 2, \"pagesSpeculative\": 0, "
              "\"pagesWiredDown\": 2, \"translationFaults\": 5000000000, \"pagesCopyOnWrite\": 0, "
              "\"pagesZeroFilled\": 0, \"pagesReactivated\": 9, \"pageins\": 1000, \"pageouts\": 10, \"total\": 7, "
              "\"percent\": {\"free\": 14, \"wired\": 28, \"active\": 28, \"inactive\": 28}}\n");
}
