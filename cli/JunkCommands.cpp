#include "cli/JunkCommands.h"

#include "l10n/StringTable.h"
#include "cli/Cli.h"
#include "cli/Json.h"
#include "core/DiskText.h"
#include "core/JunkLocations.h"
#include "core/MemoryText.h"
#include "core/Location.h"
#include "core/PageCounters.h"
#include "core/PurgeTool.h"
#include "core/SizeText.h"
#include "core/Platform.h"
#include "core/TreeRemover.h"
#include "core/TreeWalker.h"

#include <array>
#include <cstdint>
#include <unistd.h>

namespace headroom::cli {

namespace {

struct RowScan {
    const JunkLocation* row;
    std::string path;
    std::uint64_t bytes;
};

// The same object the clean removes: base/relative opened without
// following a link below the base. A location that cannot be reached
// measures 0.
std::uint64_t measureLocation(const std::string& home, std::string_view relative)
{
    OpenedLocation location = openLocationParent(home, relative);
    if (location.parentFd < 0)
        return 0;
    const std::uint64_t bytes = measureTreeAt(location.parentFd, location.leaf).bytes;
    ::close(location.parentFd);
    return bytes;
}

std::array<RowScan, kJunkRowCount> scanRows(const std::string& home)
{
    std::array<RowScan, kJunkRowCount> rows{};
    const JunkTable& table = junkTable();
    for (std::size_t i = 0; i < table.size(); ++i)
        rows[i] = RowScan{&table[i], joinPath(home, table[i].relativePath), measureLocation(home, table[i].relativePath)};
    return rows;
}

void printScan(const std::string& home, bool json, std::ostream& out)
{
    const KeyLookup tr = StringTable::lookup(StringTable::forSystemLocale());
    const auto rows = scanRows(home);
    if (json) {
        out << '[';
        bool first = true;
        for (const RowScan& r : rows) {
            out << (first ? "" : ",") << "{\"row\":" << jsonQuote(r.row->row) << ",\"path\":" << jsonQuote(r.path)
                << ",\"bytes\":" << r.bytes << ",\"text\":" << jsonQuote(convertBytes(r.bytes))
                << ",\"title\":" << jsonQuote(junkCheckBoxTitle(tr, r.row->labelKey, r.bytes)) << '}';
            first = false;
        }
        out << "]\n";
        return;
    }
    for (const RowScan& r : rows) {
        out << r.row->row << '\t' << r.bytes << '\t' << escapeTsvField(junkCheckBoxTitle(tr, r.row->labelKey, r.bytes))
            << '\t' << escapeTsvField(r.path) << '\n';
    }
}

std::string rowNames()
{
    std::string names;
    for (const JunkLocation& row : junkTable())
        names.append(row.row).append(", ");
    return names + "all";
}

} // namespace

int scanCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    bool json = false;
    bool optionsDone = false;
    std::vector<std::string> operands;
    for (const std::string& arg : args) {
        if (!optionsDone && arg == "--json") {
            json = true;
        } else if (!optionsDone && arg == "--") {
            optionsDone = true;
        } else if (!optionsDone && arg.size() > 1 && arg[0] == '-') {
            err << "scan: unknown option " << escapeTsvField(arg) << " (usage: headroom-cli scan [--json] HOME)\n";
            return 2;
        } else {
            operands.push_back(arg);
        }
    }
    if (operands.size() != 1) {
        err << "scan: expected one HOME folder (usage: headroom-cli scan [--json] HOME)\n";
        return 2;
    }
    printScan(operands.front(), json, out);
    return 0;
}

int cleanCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    if (args.size() < 2) {
        err << "clean: expected HOME and at least one row (usage: headroom-cli clean HOME ROW..., ROW among "
            << rowNames() << ")\n";
        return 2;
    }
    const std::string& home = args.front();
    const JunkTable& table = junkTable();
    std::array<bool, kJunkRowCount> chosen{};
    // Every word is checked before anything is removed.
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "all") {
            chosen.fill(true);
            continue;
        }
        bool known = false;
        for (std::size_t r = 0; r < table.size(); ++r) {
            if (args[i] == table[r].row) {
                chosen[r] = true;
                known = true;
            }
        }
        if (!known) {
            err << "clean: unknown row '" << escapeTsvField(args[i]) << "' (rows: " << rowNames() << ")\n";
            return 2;
        }
    }
    // In table order, whatever the order of the words; a failed removal
    // leaves the rest for the scan below to show.
    for (std::size_t r = 0; r < table.size(); ++r) {
        if (chosen[r])
            removeLocation(home, std::string(table[r].relativePath));
    }
    printScan(home, false, out);
    return 0;
}

int releaseCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    if (!args.empty()) {
        err << "release: takes no arguments (usage: headroom-cli release)\n";
        return 2;
    }
    const KeyLookup tr = StringTable::lookup(StringTable::forSystemLocale());
    auto printMemory = [&] {
        const MemoryFigures figures = memoryFigures(vm_stat());
        out << memoryStatusLine1(tr, figures) << '\n' << memoryStatusLine2(tr, figures) << '\n';
    };
    printMemory();
    out.flush();
    const int status = purgeRAM();
    printMemory();
    if (status < 0) {
        // As a shell reports a command it cannot run.
        err << "release: cannot start the purge tool " << platform::purgeToolPath() << '\n';
        return 127;
    }
    return status;
}

} // namespace headroom::cli
