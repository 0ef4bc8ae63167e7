#include "cli/JunkCommands.h"

#include "cli/Cli.h"
#include "cli/Json.h"
#include "core/DiskText.h"
#include "core/JunkJob.h"
#include "core/JunkLocations.h"
#include "core/Location.h"
#include "core/SizeText.h"
#include "l10n/StringTable.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

namespace headroom::cli {

namespace {

// Writes the rows a junk job reports, as they come: one TSV line each, or
// together one JSON array on one line.
class RowPrinter {
public:
    RowPrinter(const JunkFolders& folders, bool json, std::ostream& out, std::ostream& err, bool items = false)
        : m_folders(folders)
        , m_json(json)
        , m_items(items)
        , m_out(out)
        , m_err(err)
        , m_tr(StringTable::lookup(StringTable::forSystemLocale()))
    {
        if (m_json)
            m_out << '[';
    }

    // A row that could not be measured whole is left out, and one line on
    // standard error says so.
    void row(std::size_t index, const RowSize& size)
    {
        const JunkLocation& location = junkTable()[index];
        const std::string path = m_folders.path(index);
        if (!size.complete) {
            m_out.flush();
            m_status = incompleteError(m_err,
                                       "cannot measure all of " + std::string(location.row) + " '"
                                           + escapeTsvField(path) + "'",
                                       size.error);
            return;
        }
        const std::uint64_t bytes = size.bytes;
        const std::string title = junkCheckBoxTitle(m_tr, location.labelKey, bytes);
        // A row that a clean leaves alone says why in a field of its own,
        // after those every row has.
        if (m_json) {
            m_out << (m_rows == 0 ? "" : ",") << "{\"row\":" << jsonQuote(location.row)
                  << ",\"path\":" << jsonQuote(path) << ",\"bytes\":" << bytes
                  << ",\"text\":" << jsonQuote(convertBytes(bytes)) << ",\"title\":" << jsonQuote(title);
            if (size.place == Place::Link)
                m_out << ",\"link\":" << jsonQuote(size.linkTarget);
            else if (size.place == Place::OtherMount)
                m_out << ",\"mount\":true";
            if (m_items) {
                m_out << ",\"allocated\":" << size.allocated << ",\"items\":[";
                items(index, size);
                m_out << ']';
            }
            m_out << '}';
        } else {
            m_out << location.row << '\t' << bytes << '\t' << escapeTsvField(title) << '\t' << escapeTsvField(path);
            if (m_items)
                m_out << '\t' << size.allocated;
            if (size.place == Place::Link)
                m_out << "\tlink\t" << escapeTsvField(size.linkTarget);
            else if (size.place == Place::OtherMount)
                m_out << "\tmount";
            m_out << '\n';
            if (m_items)
                items(index, size);
        }
        ++m_rows;
    }

    // The row's items, largest first: JSON objects, or one TSV line each.
    void items(std::size_t index, const RowSize& size)
    {
        const std::string_view row = junkTable()[index].row;
        std::string folder = m_folders.path(index) + "/";
        if (!JunkJob::itemsFolder(index).empty())
            folder.append(JunkJob::itemsFolder(index)).append("/");
        for (std::size_t i = 0; i < size.items.list.size(); ++i) {
            const WalkItem& item = size.items.list[i];
            const std::string name(size.items.name(item));
            const std::string path = folder + name;
            const RowSize::TrashInfo trash = i < size.trashInfo.size() ? size.trashInfo[i] : RowSize::TrashInfo{};
            if (m_json) {
                m_out << (i == 0 ? "" : ",") << "{\"name\":" << jsonQuote(name) << ",\"path\":" << jsonQuote(path)
                      << ",\"bytes\":" << item.bytes << ",\"text\":" << jsonQuote(convertBytes(item.bytes))
                      << ",\"allocated\":" << item.allocated;
                if (i < size.trashInfo.size()) {
                    m_out << ",\"originalPath\":" << jsonQuote(trash.originalPath)
                          << ",\"deletionDate\":" << jsonQuote(trash.deletionDate);
                }
                m_out << '}';
            } else {
                m_out << row << ":item\t" << item.bytes << '\t' << convertBytes(item.bytes) << '\t'
                      << escapeTsvField(path) << '\t' << item.allocated << '\t' << escapeTsvField(trash.originalPath)
                      << '\t' << escapeTsvField(trash.deletionDate) << '\n';
            }
        }
    }

    JunkJob::RowDone callback()
    {
        return [this](std::size_t index, const RowSize& size) { row(index, size); };
    }

    // The exit status so far.
    int finish()
    {
        if (m_json)
            m_out << "]\n";
        return m_status;
    }

private:
    const JunkFolders& m_folders;
    bool m_json;
    bool m_items;
    std::ostream& m_out;
    std::ostream& m_err;
    KeyLookup m_tr;
    std::size_t m_rows = 0;
    int m_status = 0;
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

// A HOME that is not there leaves every row at 0, as a row's folder that
// is not there does; one that cannot be got to (a loop of links, no
// permission) is said, and then nothing is measured or removed.
bool reachable(const std::string& home, std::ostream& err)
{
    if (openChosenFolder(home))
        return true;
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR)
        return true;
    cannotReach(err, "open", home, error);
    return false;
}

// The item of a row to clean that `path` names (the row's folder, or the
// Trash's files/, then one name), as it is now; nothing when it names none.
std::optional<std::pair<std::size_t, KeptItem>>
keptItem(const JunkJob& job, const std::array<bool, kJunkRowCount>& chosen, std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    for (std::size_t r = 0; r < kJunkRowCount; ++r) {
        std::string folder = job.folders.path(r) + "/";
        if (!JunkJob::itemsFolder(r).empty())
            folder.append(JunkJob::itemsFolder(r)).append("/");
        if (!chosen[r] || !path.starts_with(folder))
            continue;
        if (const auto item = job.findItem(r, path.substr(folder.size())))
            return std::pair(r, *item);
    }
    return std::nullopt;
}

} // namespace

int scanCommand(const std::string& home, bool json, bool items, std::ostream& out, std::ostream& err)
{
    if (!reachable(home, err))
        return 1;
    JunkJob job;
    job.folders = resolveFolders(home);
    job.items = items;
    RowPrinter printer(job.folders, json, out, err, items);
    job.scan(printer.callback()); // nothing cancels it: every row is reported
    return printer.finish();
}

int cleanCommand(const std::string& home, std::span<const std::string> rows, std::span<const std::string> keep,
                 std::ostream& out, std::ostream& err)
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
    if (!reachable(home, err))
        return 1;

    // The job removes the chosen rows in table order, whatever the order of
    // the words; a removal that fails leaves the rest for the scan to show.
    // Nothing here reports the space gained, so no row is measured before
    // its removal.
    JunkJob job;
    job.folders = resolveFolders(home);
    // Every --keep names an item of a row to clean, or nothing is removed.
    for (const std::string& path : keep) {
        const auto item = keptItem(job, chosen, path);
        if (!item)
            return usageError(err, "--keep '" + escapeTsvField(path) + "' names no item of the rows to clean");
        job.keep[item->first].push_back(item->second);
    }
    RowPrinter printer(job.folders, false, out, err);
    job.chosen = [&chosen](std::size_t row) { return chosen[row]; };
    job.measureRemoved = false;
    const std::optional<CleanOutcome> outcome = job.clean(printer.callback(), JunkJob::Rescan::Every);
    int status = printer.finish();
    if (!outcome)
        return status;
    // Each named row that was not removed whole, with the reason.
    for (std::size_t r = 0; r < table.size(); ++r) {
        const RowClean& row = outcome->rows[r];
        if (!row.leftOver())
            continue;
        const std::string named = std::string(table[r].row) + " '" + escapeTsvField(job.folders.path(r)) + "'";
        if (row.place == Place::Link)
            status = failureLine(err, "left " + named + " alone", "a link to '" + escapeTsvField(row.linkTarget) + "'");
        else if (row.place == Place::OtherMount)
            status = failureLine(err, "left " + named + " alone", "another mount");
        else if (row.error == EXDEV)
            status = failureLine(err, "cannot remove all of " + named, "another mount inside");
        else
            status = incompleteError(err, "cannot remove all of " + named, row.error);
    }
    if (outcome->incomplete != 0)
        return incompleteError(err, "cannot remove all of the rows named", outcome->incomplete);
    return status;
}

} // namespace headroom::cli
