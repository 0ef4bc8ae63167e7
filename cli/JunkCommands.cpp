#include "cli/JunkCommands.h"

#include "cli/Cli.h"
#include "cli/Json.h"
#include "core/DiskText.h"
#include "core/JunkJob.h"
#include "core/JunkLocations.h"
#include "core/SizeText.h"
#include "l10n/StringTable.h"

#include <array>
#include <cstdint>
#include <cstdlib>

namespace headroom::cli {

namespace {

// Writes the rows a junk job reports, as they come: one TSV line each, or
// together one JSON array on one line.
class RowPrinter {
public:
    RowPrinter(const JunkFolders& folders, bool json, std::ostream& out)
        : m_folders(folders)
        , m_json(json)
        , m_out(out)
        , m_tr(StringTable::lookup(StringTable::forSystemLocale()))
    {
        if (m_json)
            m_out << '[';
    }

    void row(std::size_t index, std::uint64_t bytes)
    {
        const JunkLocation& location = junkTable()[index];
        const std::string path = m_folders.path(index);
        const std::string title = junkCheckBoxTitle(m_tr, location.labelKey, bytes);
        if (m_json) {
            m_out << (m_rows == 0 ? "" : ",") << "{\"row\":" << jsonQuote(location.row)
                  << ",\"path\":" << jsonQuote(path) << ",\"bytes\":" << bytes
                  << ",\"text\":" << jsonQuote(convertBytes(bytes)) << ",\"title\":" << jsonQuote(title) << '}';
        } else {
            m_out << location.row << '\t' << bytes << '\t' << escapeTsvField(title) << '\t' << escapeTsvField(path)
                  << '\n';
        }
        ++m_rows;
    }

    JunkJob::RowDone callback()
    {
        return [this](std::size_t index, std::uint64_t bytes) { row(index, bytes); };
    }

    void finish()
    {
        if (m_json)
            m_out << "]\n";
    }

private:
    const JunkFolders& m_folders;
    bool m_json;
    std::ostream& m_out;
    KeyLookup m_tr;
    std::size_t m_rows = 0;
};

std::string rowNames()
{
    std::string names;
    for (const JunkLocation& row : junkTable())
        names.append(row.row).append(", ");
    return names + "all";
}

// Where the rows lie below `home`, resolved once for the whole command.
// The environment is read before the job starts any thread, and nothing in
// headroom-cli changes it.
JunkFolders resolveFolders(const std::string& home)
{
    const auto variable = [](const char* name) {
        const char* value = std::getenv(name); // NOLINT(concurrency-mt-unsafe): see above
        return std::string(value ? value : "");
    };
    return resolveJunkFolders(home, junkEnvironment(variable));
}

} // namespace

int scanCommand(const std::string& home, bool json, std::ostream& out)
{
    JunkJob job;
    job.folders = resolveFolders(home);
    RowPrinter printer(job.folders, json, out);
    job.scan(printer.callback()); // nothing cancels it: every row is reported
    printer.finish();
    return 0;
}

int cleanCommand(const std::string& home, std::span<const std::string> rows, std::ostream& out, std::ostream& err)
{
    const JunkTable& table = junkTable();
    std::array<bool, kJunkRowCount> chosen{};
    // Every word is checked before anything is removed.
    for (const std::string& word : rows) {
        bool known = false;
        for (std::size_t r = 0; r < table.size(); ++r) {
            if (word == "all" || word == table[r].row)
                chosen[r] = known = true;
        }
        if (!known)
            return usageError(err, "unknown row '" + escapeTsvField(word) + "' for clean; the rows are " + rowNames());
    }

    // The job removes the chosen rows in table order, whatever the order of
    // the words; a removal that fails leaves the rest for the scan to show.
    // Nothing here reports the space gained, so no row is measured before
    // its removal.
    JunkJob job;
    job.folders = resolveFolders(home);
    RowPrinter printer(job.folders, false, out);
    job.chosen = [&chosen](std::size_t row) { return chosen[row]; };
    job.measureRemoved = false;
    job.clean(printer.callback(), JunkJob::Rescan::Every);
    printer.finish();
    return 0;
}

} // namespace headroom::cli
