#include "cli/Cli.h"

#include "cli/Json.h"
#include "cli/JunkCommands.h"
#include "cli/ReleaseCommand.h"
#include "core/DiskText.h"
#include "core/JunkLocations.h"
#include "core/Location.h"
#include "core/MemoryText.h"
#include "core/PageCounters.h"
#include "core/SizeText.h"
#include "core/TreeWalker.h"
#include "core/VolumeFigures.h"
#include "l10n/StringTable.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <locale>
#include <optional>
#include <span>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace headroom::cli {

namespace {

constexpr std::string_view kProgram = "headroom-cli";

// A word the user gave, as a usage error quotes it: escaped like a TSV
// field, so that a word holding a line end still leaves one line.
std::string shown(std::string_view word)
{
    return escapeTsvField(word);
}

bool isHelp(std::string_view word)
{
    return word == "--help" || word == "-h";
}

// The words of one command split into options and operands. Options may
// stand anywhere before "--"; every word after "--", and "-" itself, is an
// operand. An option that takes a value is written "--name VALUE" or
// "--name=VALUE", and may be given more than once.
struct Parsed {
    bool help = false;
    std::vector<std::string> flags;                          // the flags given, as written
    std::vector<std::pair<std::string, std::string>> values; // valued options, in order
    std::vector<std::string> operands;
    std::optional<std::string> unknownOption;
    std::optional<std::string> missingValue; // a valued option last, with nothing after it

    bool has(std::string_view flag) const { return std::find(flags.begin(), flags.end(), flag) != flags.end(); }
    std::vector<std::string> valuesOf(std::string_view option) const
    {
        std::vector<std::string> found;
        for (const auto& [name, value] : values) {
            if (name == option)
                found.push_back(value);
        }
        return found;
    }
};

// Whether `options`, a command's list of accepted options separated by
// blanks, names `name`, and whether it takes a value there ("--name=").
enum class OptionKind { Unknown, Flag, Valued };
OptionKind optionKind(std::string_view options, std::string_view name)
{
    while (!options.empty()) {
        const std::size_t end = std::min(options.find(' '), options.size());
        std::string_view known = options.substr(0, end);
        options.remove_prefix(std::min(end + 1, options.size()));
        const bool valued = known.ends_with('=');
        if (valued)
            known.remove_suffix(1);
        if (known == name)
            return valued ? OptionKind::Valued : OptionKind::Flag;
    }
    return OptionKind::Unknown;
}

Parsed parseWords(const std::vector<std::string>& words, std::string_view options)
{
    Parsed parsed;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            parsed.operands.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        if (isHelp(word)) {
            parsed.help = true;
            continue;
        }
        const std::size_t equals = word.find('=');
        const std::string name = word.substr(0, equals);
        switch (optionKind(options, name)) {
        case OptionKind::Flag:
            if (equals == std::string::npos) {
                parsed.flags.push_back(word);
                continue;
            }
            break; // a flag takes no value
        case OptionKind::Valued:
            if (equals != std::string::npos) {
                parsed.values.emplace_back(name, word.substr(equals + 1));
            } else if (i + 1 < words.size()) {
                parsed.values.emplace_back(name, words[++i]);
            } else if (!parsed.missingValue) {
                parsed.missingValue = name;
            }
            continue;
        case OptionKind::Unknown: break;
        }
        if (!parsed.unknownOption)
            parsed.unknownOption = word;
    }
    return parsed;
}

// With --home HOME, a fourth line gives HOME's volume when that is another
// file system than "/"'s, as the tray menu shows it under its disk line; the
// first three lines stay what they are without it.
int statusCommand(const Parsed& parsed, std::ostream& out, std::ostream& err)
{
    const std::vector<std::string> homes = parsed.valuesOf("--home");
    if (homes.size() > 1)
        return usageError(err, "status takes one --home, got another: '" + shown(homes[1]) + "'");
    std::optional<DiskFigures> homeVolume;
    if (!homes.empty()) {
        // Said before anything is printed, as scan and clean say it.
        if (!openChosenFolder(homes.front()))
            return cannotReach(err, "open", homes.front(), errno);
        homeVolume = otherVolumeFigures(homes.front());
    }
    const KeyLookup tr = StringTable::lookup(StringTable::forSystemLocale());
    const std::int64_t total = getDiskTotalSize().value_or(0);
    const std::int64_t free = getDiskAvailableSize().value_or(0);
    const MemoryFigures memory = memoryFigures(vm_stat());
    out << diskStatusLine(tr, total, free) << '\n'
        << memoryStatusLine1(tr, memory) << '\n'
        << memoryStatusLine2(tr, memory) << '\n';
    if (homeVolume)
        out << folderDiskStatusLine(tr, homeVolume->total, homeVolume->free) << '\n';
    return 0;
}

// A figure that could not be completed is not printed as if it were the
// size: one line on standard error says so, and the command exits 1.
int sizeCommand(const Parsed& parsed, std::ostream& out, std::ostream& err)
{
    int status = 0;
    for (const std::string& path : parsed.operands) {
        // PATH is reached at any length. Not being there, or a file in its
        // way, measures 0 as a file or a link does; not getting there (a
        // loop of links, a name too long, a folder on the way that may not
        // be searched) prints no figure at all.
        OpenedLocation at = openPathParent(path);
        int error = at.error;
        struct stat st {};
        if (at.parent && ::fstatat(at.parent.get(), at.leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            error = errno;
        if (error != 0 && error != ENOENT && error != ENOTDIR) {
            out.flush();
            status = cannotReach(err, "measure", path, error);
            continue;
        }
        const WalkResult walked = at.parent ? measureTreeAt(std::move(at.parent), at.leaf) : WalkResult{};
        if (walked.incomplete != 0) {
            out.flush();
            status = incompleteError(err, "cannot measure all of '" + shown(path) + "'", walked.incomplete);
            continue;
        }
        const std::uint64_t bytes = walked.bytes;
        const std::string text = convertBytes(bytes);
        if (parsed.has("--json")) {
            out << "{\"path\": " << jsonQuote(path) << ", \"bytes\": " << std::to_string(bytes)
                << ", \"text\": " << jsonQuote(text) << "}\n";
        } else {
            out << std::to_string(bytes) << '\t' << text << '\t' << escapeTsvField(path) << '\n';
        }
        out.flush(); // each line as soon as its tree is measured
    }
    return status;
}

int memoryCommand(const Parsed& parsed, std::ostream& out, std::ostream&)
{
    const VMStatSchema sample = vm_stat();
    const MemoryFigures figures = memoryFigures(sample);
    // The eleven page counters, then their total. Linux has no counterpart
    // for speculative, copy-on-write and zero-filled pages: they print 0.
    const std::array<std::pair<const char*, std::uint64_t>, 12> counters{{
        {"pagesFree", sample.pagesFree},
        {"pagesActive", sample.pagesActive},
        {"pagesInactive", sample.pagesInactive},
        {"pagesSpeculative", 0},
        {"pagesWiredDown", sample.pagesWiredDown},
        {"translationFaults", sample.translationFaults},
        {"pagesCopyOnWrite", 0},
        {"pagesZeroFilled", 0},
        {"pagesReactivated", sample.pagesReactivated},
        {"pageins", sample.pageins},
        {"pageouts", sample.pageouts},
        {"total", figures.totalPages},
    }};
    // memoryFigures keeps display order: free, wired, active, inactive.
    const std::array<const char*, 4> percentNames{"free", "wired", "active", "inactive"};

    if (parsed.has("--json")) {
        out << '{';
        for (const auto& [name, value] : counters)
            out << '"' << name << "\": " << std::to_string(value) << ", ";
        out << "\"percent\": {";
        for (std::size_t i = 0; i < percentNames.size(); ++i) {
            out << (i == 0 ? "" : ", ") << '"' << percentNames[i]
                << "\": " << std::to_string(figures.categories[i].percent);
        }
        out << "}}\n";
    } else {
        for (const auto& [name, value] : counters)
            out << name << '\t' << std::to_string(value) << '\n';
        for (std::size_t i = 0; i < percentNames.size(); ++i)
            out << "percent." << percentNames[i] << '\t' << std::to_string(figures.categories[i].percent) << '\n';
    }
    return 0;
}

int scanWords(const Parsed& parsed, std::ostream& out, std::ostream& err)
{
    return scanCommand(parsed.operands.front(), parsed.has("--json"), parsed.has("--items"), out, err);
}

int cleanWords(const Parsed& parsed, std::ostream& out, std::ostream& err)
{
    const std::span<const std::string> words(parsed.operands);
    const std::vector<std::string> keep = parsed.valuesOf("--keep");
    return cleanCommand(words.front(), words.subspan(1), keep, out, err);
}

int releaseWords(const Parsed&, std::ostream& out, std::ostream& err)
{
    return releaseCommand(out, err);
}

int helpWords(const Parsed&, std::ostream& out, std::ostream&)
{
    out << usage();
    return 0;
}

constexpr std::size_t kAnyNumber = static_cast<std::size_t>(-1);

// What each command accepts. Every command takes --help and -h; the
// others only where `options` names them (see optionKind).
struct Command {
    std::string_view name;
    std::string_view options;
    std::size_t minOperands;
    std::size_t maxOperands;
    std::string_view tooFew;  // the usage error when operands are missing
    std::string_view operand; // what the operands are, for a surplus one
    int (*run)(const Parsed&, std::ostream& out, std::ostream& err);
};

// "headroom-cli: WHAT: REASON" on standard error; returns 1, the exit
// status of a command that could not do all it was asked.
int failure(std::ostream& err, std::string_view what, int error)
{
    char buffer[256];
    const char* why = error == ENOMEM   ? "out of memory"
                      : error == EMFILE ? "too many open files"
                      : error == ENFILE ? "too many open files in the system"
                                        : ::strerror_r(error, buffer, sizeof buffer);
    err << kProgram << ": " << what << ": " << why << '\n';
    return 1;
}

constexpr std::array<Command, 7> kCommands{{
    {"status", "--home=", 0, 0, {}, {}, statusCommand},
    {"size", "--json", 1, kAnyNumber, "size needs at least one PATH", {}, sizeCommand},
    {"memory", "--json", 0, 0, {}, {}, memoryCommand},
    {"scan", "--json --items", 1, 1, "scan needs a HOME folder", "one HOME", scanWords},
    {"clean", "--keep=", 2, kAnyNumber, "clean needs a HOME folder and at least one ROW", {}, cleanWords},
    {"release", "", 0, 0, {}, {}, releaseWords},
    {"help", "", 0, 0, {}, {}, helpWords},
}};

// Every command's words go through here, so that each is read and refused
// the same way.
int runCommand(const Command& command, const std::vector<std::string>& words, std::ostream& out, std::ostream& err)
{
    const Parsed parsed = parseWords(words, command.options);
    const std::string name(command.name);
    if (parsed.unknownOption)
        return usageError(err, "unknown option '" + shown(*parsed.unknownOption) + "' for " + name);
    if (parsed.missingValue)
        return usageError(err, "option '" + shown(*parsed.missingValue) + "' of " + name + " needs a value");
    if (parsed.help)
        return helpWords(parsed, out, err);
    const std::size_t count = parsed.operands.size();
    if (count > command.maxOperands) {
        const std::string surplus = "'" + shown(parsed.operands[command.maxOperands]) + "'";
        if (command.maxOperands == 0)
            return usageError(err, name + " takes no arguments, got " + surplus);
        return usageError(err, name + " takes " + std::string(command.operand) + ", got another: " + surplus);
    }
    if (count < command.minOperands)
        return usageError(err, std::string(command.tooFew));
    return command.run(parsed, out, err);
}

// The text of --help, around the list of junk rows.
constexpr std::string_view kUsageHead = R"(Usage: headroom-cli COMMAND [OPTIONS] [ARGUMENTS]

Commands:
  status [--home HOME]   Print the tray menu's disk line and two memory lines,
                         in the user's language; with --home, also the line
                         of HOME's volume when it is not the volume of "/".
  size [--json] PATH...  Measure the folder tree below each PATH.
  memory [--json]        Print the memory page counters and their split.
  scan [--items] [--json] HOME
                         Measure the junk locations below the folder HOME.
  clean [--keep PATH]... HOME ROW...
                         Delete the named junk locations below HOME.
  release                Run the memory-release helper.
  help, --help, -h       Print this text.

Junk rows: )";
constexpr std::string_view kUsageTail = R"(

Options may stand before or after the operands. "--" ends the options:
every word after it is an operand, so a path that starts with "-" is written
after "--". A lone "-" is always an operand. Every command takes --help and
-h, which print this text.

size: one line per PATH, in the order given:
  BYTES<TAB>SIZE TEXT<TAB>PATH
BYTES is the sum of the sizes of every entry below PATH (PATH itself not
counted, links never followed); SIZE TEXT is the same count as shown in the
window, e.g. "465.76 GB", "1.5 KB", "12 Bytes". PATH is printed byte for
byte as given, except that a backslash, tab, newline and carriage return are
written as \\, \t, \n and \r, so every PATH takes exactly one line.
A missing PATH, a file and a link (even a link to a folder) measure 0.
With --json, one JSON object per line instead:
  {"path": "...", "bytes": N, "text": "..."}
where bytes of PATH that are not valid UTF-8 appear as "\udcXX" (XX = the
byte in hex), as Python's "surrogateescape" reads them.

memory: one NAME<TAB>VALUE line each, in this order:
  pagesFree pagesActive pagesInactive pagesSpeculative pagesWiredDown
  translationFaults pagesCopyOnWrite pagesZeroFilled pagesReactivated
  pageins pageouts total
  percent.free percent.wired percent.active percent.inactive
Counts are pages of the kernel's page size ("getconf PAGESIZE": 4096 bytes
on most machines, 16 KiB or 64 KiB on some arm64 and ppc64el kernels;
translationFaults and pagesReactivated count events); total = free + wired
+ active + inactive pages; each percentage is
100 * pages / total with the fraction dropped (0 when total is 0).
With --json, one JSON object on one line with the same counter names and
  "percent": {"free": N, "wired": N, "active": N, "inactive": N}
When the counters cannot be read, every figure is 0 and standard error
says "Failed to get VM statistics." (status shows zeros the same way).

status --home HOME (or --home=HOME): the same three lines, then, only when
HOME lies on another file system than "/" (a home on its own partition or
disk; not a bind mount of "/"'s), a fourth line with that volume's figures
as the tray menu shows them under its disk line, e.g.
  Home folder's disk: Total:931.51 GB  Free:100.00 GB (10%)
A HOME that cannot be opened (missing included) is said on standard error,
  headroom-cli: cannot open 'HOME': REASON
with exit status 1, and nothing is printed.

scan --items: each row line gains a fifth field (before any link or mount
fields), the bytes its entries take on the disk (their blocks), and is
followed by one line per item, the entries directly inside the row's folder
(in the trash, inside its files/), largest first:
  ROW:item<TAB>BYTES<TAB>SIZE TEXT<TAB>PATH<TAB>ALLOCATED<TAB>ORIGINAL<TAB>DELETED
BYTES counts the item and everything below it as size does; ALLOCATED is
the disk space the same entries take, which for many small files is far
more; PATH is the item's full path, written as the row's. ORIGINAL and
DELETED are the trashed item's original path and deletion date, from its
info/NAME.trashinfo, and empty elsewhere. With --json, each row object gains
  "allocated":N,"items":[{"name":"...","path":"...","bytes":N,"text":"...",
  "allocated":N},...]
and in the trash each item also "originalPath" and "deletionDate".

clean --keep PATH: PATH is an item's path as scan --items prints it; that
item stays exactly as it is (a folder is not entered) and the rest of its
row goes; in the trash, its info/NAME.trashinfo stays with it. A --keep
that names no item of a row being cleaned is a usage error, and nothing is
removed.

scan and clean: a missing HOME leaves every row at 0. A HOME that cannot be
opened otherwise (a loop of links, no permission) is said on standard error,
  headroom-cli: cannot open 'HOME': REASON
with exit status 1, and nothing is measured or removed.
A row is removed only where it lies on HOME's own mount: a row that is a
link, or another mount (a bind mount of the same file system included), or
lies below one, is left as it is, and its line ends in more fields:
  ROW<TAB>BYTES<TAB>TITLE<TAB>PATH<TAB>link<TAB>TARGET   (measures 0)
  ROW<TAB>BYTES<TAB>TITLE<TAB>PATH<TAB>mount             (still measured)
TARGET being what the link says (and the rest of the row's path when the
link is on its way), escaped as PATH is; in --json, the row's object ends
in "link":"TARGET" or "mount":true. Every other row has the four fields.
clean names each named row that it did not remove whole on standard error,
one line each after the rows:
  headroom-cli: left ROW 'PATH' alone: a link to 'TARGET'
  headroom-cli: left ROW 'PATH' alone: another mount
  headroom-cli: cannot remove all of ROW 'PATH': another mount inside
  headroom-cli: cannot remove all of ROW 'PATH': REASON
where REASON is the first that an entry gave (e.g. "Read-only file system",
"Permission denied", "Device or resource busy").

Exit status: 0 on success. 1 when a PATH or HOME cannot be reached, when
size, scan or clean could not measure a tree or remove a location whole for
want of open files or memory (that figure is not printed), or when clean did
not remove a named row whole (see above); standard error says so, one line
for each: headroom-cli: MESSAGE: REASON. 2 on a usage error, which is one
line on standard error: headroom-cli: MESSAGE (try 'headroom-cli --help').
)";

} // namespace

int cannotReach(std::ostream& err, std::string_view what, std::string_view path, int error)
{
    return failure(err, "cannot " + std::string(what) + " '" + shown(path) + "'", error);
}

int usageError(std::ostream& err, std::string_view message)
{
    err << kProgram << ": " << message << " (try '" << kProgram << " --help')\n";
    return 2;
}

int incompleteError(std::ostream& err, std::string_view what, int error)
{
    return failure(err, what, error);
}

int failureLine(std::ostream& err, std::string_view what, std::string_view why)
{
    err << kProgram << ": " << what << ": " << why << '\n';
    return 1;
}

std::string escapeTsvField(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

std::string usage()
{
    std::string rows;
    for (const JunkLocation& location : junkTable()) {
        rows += rows.empty() ? "" : ", ";
        rows += location.row;
    }
    return std::string(kUsageHead) + rows + std::string(kUsageTail);
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    // Numbers are written with std::to_string, but keep the streams' own
    // formatting locale-free too.
    out.imbue(std::locale::classic());
    err.imbue(std::locale::classic());

    if (args.empty())
        return usageError(err, "no command given");
    const std::string& command = args.front();
    const std::vector<std::string> rest(args.begin() + 1, args.end());

    for (const Command& known : kCommands) {
        if (command == known.name || (known.name == "help" && isHelp(command)))
            return runCommand(known, rest, out, err);
    }
    if (command.size() > 1 && command[0] == '-')
        return usageError(err, "unknown option '" + shown(command) + "'");
    return usageError(err, "unknown command '" + shown(command) + "'");
}

int run(int argc, char** argv, std::ostream& out, std::ostream& err)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    return run(args, out, err);
}

} // namespace headroom::cli
