#include "core/JunkJob.h"

#include "core/FolderPath.h"
#include "core/Location.h"
#include "core/MountIdentity.h"
#include "core/Saturating.h"
#include "core/SmallFile.h"
#include "core/TreeRemover.h"
#include "core/TreeWalker.h"
#include "core/UniqueFd.h"
#include "core/VolumeFigures.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>

namespace headroom {

namespace {

constexpr std::size_t kTrashRow = 4; // the table's "trash"

// A .trashinfo is a few lines; anything longer is not one.
constexpr std::size_t kTrashInfoLimit = std::size_t{16} * 1024;

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "%XX" as the byte it stands for; a "%" not followed by two hex digits
// stays as it is.
std::string percentDecoded(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 && hexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The Path= and DeletionDate= keys of the [Trash Info] group.
RowSize::TrashInfo parseTrashInfo(std::string_view text)
{
    RowSize::TrashInfo info;
    bool inGroup = false;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.starts_with('['))
            inGroup = line == "[Trash Info]";
        else if (inGroup && line.starts_with("Path="))
            info.originalPath = percentDecoded(line.substr(5));
        else if (inGroup && line.starts_with("DeletionDate="))
            info.deletionDate = std::string(line.substr(13));
    }
    return info;
}

// Opens the folder `name` of the open folder `parent`, never through a link
// and only on the parent's own mount (another is left alone, as the walk
// and the removal leave it).
UniqueFd openFolderIn(int parent, const char* name)
{
    UniqueFd fd(::openat(parent, name, kFolderOpenFlags));
    MountIdentity outer, inner;
    if (fd && identifyOpen(parent, outer) && identifyOpen(fd.get(), inner) && !inner.sameMount(outer)) {
        errno = EXDEV;
        return {};
    }
    return fd;
}

// The row's folder, reached below the granted one without following a link;
// none with `error` set when it cannot be opened. For a removal
// (`ownMount`), only when it and every folder on its way lie on the granted
// folder's own mount (EXDEV otherwise).
UniqueFd openRowFolder(const JunkFolders& folders, std::size_t row, int* error = nullptr, bool ownMount = false)
{
    const OpenedLocation location = openLocationParent(folders.base, folders.relativePaths[row]);
    UniqueFd fd;
    int failure = location.error;
    if (location.parent) {
        fd.reset(::openat(location.parent.get(), location.leaf.c_str(), kFolderOpenFlags));
        failure = fd ? 0 : errno;
    }
    MountIdentity id;
    if (fd && ownMount && (location.otherMount || !identifyOpen(fd.get(), id) || !id.sameMount(location.base))) {
        fd.reset();
        failure = EXDEV;
    }
    if (error)
        *error = failure;
    return fd;
}

// What info/NAME.trashinfo says for each item, read relative to the row's
// folder: a regular file, no link followed, at most a few KiB.
std::vector<RowSize::TrashInfo> readTrashInfo(const JunkFolders& folders, const WalkItems& items)
{
    std::vector<RowSize::TrashInfo> infos(items.list.size());
    const UniqueFd rowFd = openRowFolder(folders, kTrashRow);
    const UniqueFd info = rowFd ? openFolderIn(rowFd.get(), "info") : UniqueFd();
    if (!info)
        return infos;
    for (std::size_t i = 0; i < items.list.size(); ++i) {
        const std::string name = std::string(items.name(items.list[i])) + ".trashinfo";
        const UniqueFd fd(::openat(info.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st {};
        if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (const auto text = readSmallFile(fd.get(), kTrashInfoLimit))
            infos[i] = parseTrashInfo(*text);
    }
    return infos;
}

bool keptIn(const std::vector<KeptItem>& kept, const char* name, const MountIdentity& id)
{
    return std::any_of(kept.begin(), kept.end(),
                       [&](const KeptItem& k) { return k.name == name || (k.dev == id.dev && k.ino == id.ino); });
}

} // namespace

std::string_view JunkJob::itemsFolder(std::size_t row)
{
    return row == kTrashRow ? "files" : "";
}

std::optional<KeptItem> JunkJob::findItem(std::size_t row, const std::string& name) const
{
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        return std::nullopt;
    UniqueFd folder = openRowFolder(folders, row);
    if (folder && !itemsFolder(row).empty())
        folder = openFolderIn(folder.get(), std::string(itemsFolder(row)).c_str());
    MountIdentity here;
    struct statx sx {};
    if (!folder || !identifyOpen(folder.get(), here)
        || ::statx(folder.get(), name.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_INO | STATX_MNT_ID, &sx)
               != 0)
        return std::nullopt;
    const MountIdentity id = MountIdentity::of(sx);
    if (!id.sameMount(here))
        return std::nullopt;
    return KeptItem{name, id.dev, id.ino};
}

bool JunkJob::takes(std::size_t row) const
{
    return !cancelled() && (!chosen || chosen(row));
}

// The same object that the clean removes: base/relative reached without
// following a link below the base. A location that cannot be reached
// measures 0, and so does a walk stopped by a cancel; one that could not be
// walked whole for want of descriptors or memory is marked incomplete.
RowSize JunkJob::measure(std::size_t row, bool withItems) const
{
    begin(row, WorkProgress::Measuring);
    RowSize size;
    int error = 0;
    try {
        OpenedLocation location = openLocationParent(folders.base, folders.relativePaths[row]);
        error = location.error;
        if (location.parent) {
            WalkOptions options;
            options.cancel = cancel;
            options.progress = progress;
            options.items = withItems;
            options.itemsIn = itemsFolder(row);
            WalkResult result = measureTreeAt(std::move(location.parent), location.leaf, options);
            size.bytes = result.cancelled ? 0 : result.bytes;
            size.allocated = result.cancelled ? 0 : result.allocated;
            error = result.incomplete;
            if (!result.cancelled && withItems) {
                size.items = std::move(result.items);
                if (row == kTrashRow)
                    size.trashInfo = readTrashInfo(folders, size.items);
            }
        }
    } catch (const std::bad_alloc&) {
        error = ENOMEM;
    }
    if (error == EMFILE || error == ENFILE || error == ENOMEM) {
        size.complete = false;
        size.error = error;
    }
    return size;
}

// Removes base/relative and returns what went: its size just before, less
// whatever a removal that failed in part left behind. The walk before the
// removal also brings the folders into the cache that the removal reads.
// `incomplete` keeps the first errno of a walk or removal that stopped
// short.
std::uint64_t JunkJob::removeMeasured(std::size_t row, int& incomplete, RowClean& clean) const
{
    const std::string_view relative = folders.relativePaths[row];
    const auto note = [&incomplete](int error) {
        if (incomplete == 0)
            incomplete = error;
    };
    const RowSize before = measureRemoved ? measure(row, false) : RowSize{};
    note(before.error);
    begin(row, WorkProgress::Removing);
    const RemoveResult result = keep[row].empty()
                                    ? removeLocation(folders.base, std::string(relative), cancel, 0, progress)
                                    : removeKeeping(row);
    note(result.incomplete);
    clean.failed = result.failed;
    clean.error = result.error;
    if (!measureRemoved || result.locationGone || result.cancelled)
        return before.bytes;
    const RowSize left = measure(row, false);
    note(left.error);
    return before.bytes > left.bytes ? before.bytes - left.bytes : 0;
}

// Empties the row's folder but for its kept items, which are never
// entered. In the Trash: files/ and info/ stay, and in them each kept
// item's two halves; everything else goes.
RemoveResult JunkJob::removeKeeping(std::size_t row) const
{
    RemoveResult result;
    const std::vector<KeptItem>& kept = keep[row];
    int error = 0;
    const UniqueFd folder = openRowFolder(folders, row, &error, true);
    if (!folder) {
        result.locationGone = error == ENOENT;
        result.failed = result.locationGone ? 0 : 1;
        result.error = result.locationGone ? 0 : error;
        return result;
    }
    const RemoveProbe& probe = removeProbe;
    if (row != kTrashRow) {
        result.add(removeEntriesAt(
            folder.get(), [&kept](const char* name, const MountIdentity& id) { return keptIn(kept, name, id); }, probe,
            cancel));
        return result;
    }
    result.add(removeEntriesAt(
        folder.get(),
        [](const char* name, const MountIdentity&) {
            return std::string_view(name) == "files" || std::string_view(name) == "info";
        },
        probe, cancel));
    if (const UniqueFd files = openFolderIn(folder.get(), "files")) {
        result.add(removeEntriesAt(
            files.get(), [&kept](const char* name, const MountIdentity& id) { return keptIn(kept, name, id); }, probe,
            cancel));
    }
    if (const UniqueFd info = openFolderIn(folder.get(), "info")) {
        result.add(removeEntriesAt(
            info.get(),
            [&kept](const char* name, const MountIdentity&) {
                const std::string_view n(name);
                return std::any_of(kept.begin(), kept.end(), [n](const KeptItem& k) {
                    return n.size() == k.name.size() + 10 && n.starts_with(k.name) && n.ends_with(".trashinfo");
                });
            },
            probe, cancel));
    }
    return result;
}

void JunkJob::begin(std::size_t row, WorkProgress::Phase phase) const
{
    if (progress)
        progress->begin(static_cast<int>(row), phase);
}

bool JunkJob::scan(const RowDone& done) const
{
    return scanRows(done, false);
}

bool JunkJob::scanRows(const RowDone& done, bool everyRow) const
{
    for (std::size_t row = 0; row < kJunkRowCount; ++row) {
        if (!takes(row) && !(everyRow && !cancelled())) {
            if (cancelled())
                return false;
            continue;
        }
        RowSize size = measure(row, items);
        LocationPlace place = locationPlace(folders.base, folders.relativePaths[row]);
        size.place = place.kind;
        size.linkTarget = std::move(place.linkTarget);
        if (cancelled())
            return false; // the walk was cut short: its figure is not reported
        done(row, size);
    }
    return !cancelled();
}

std::optional<CleanOutcome> JunkJob::clean(const RowDone& done, Rescan rescan) const
{
    // For the report: the free space, before anything goes, of the volume
    // the rows are removed from.
    const DiskFigures before = measureVolume(folders.base);
    std::uint64_t removedBytes = 0;
    int incomplete = 0;
    CleanOutcome outcome;
    for (std::size_t row = 0; row < kJunkRowCount; ++row) {
        if (!takes(row)) {
            if (cancelled())
                return std::nullopt;
            continue;
        }
        RowClean& rowClean = outcome.rows[row];
        rowClean.asked = true;
        // A link or another mount stays as it is. (The removal checks that
        // again at each folder of the way, should one be put there since.)
        LocationPlace place = locationPlace(folders.base, folders.relativePaths[row]);
        rowClean.place = place.kind;
        rowClean.linkTarget = std::move(place.linkTarget);
        if (rowClean.place != Place::Own)
            continue;
        // Whether it went or not, the scan below shows what is left.
        removedBytes = saturatingAdd(removedBytes, removeMeasured(row, incomplete, rowClean));
    }
    if (cancelled() || !scanRows(done, rescan == Rescan::Every))
        return std::nullopt;
    outcome.volumeAfter = measureVolume();
    const DiskFigures after = measureVolume(folders.base);
    if (before.freeRead)
        outcome.space.freeBefore = before.free;
    if (after.freeRead)
        outcome.space.freeAfter = after.free;
    outcome.space.removedBytes = removedBytes;
    outcome.incomplete = incomplete;
    return outcome;
}

std::string cleanRowsReport(const KeyLookup& tr, const CleanOutcome& outcome)
{
    std::string text;
    for (std::size_t row = 0; row < kJunkRowCount; ++row) {
        const RowClean& clean = outcome.rows[row];
        if (!clean.leftOver())
            continue;
        const RowLeft why = clean.place == Place::Link         ? RowLeft::Link
                            : clean.place == Place::OtherMount ? RowLeft::OtherMount
                                                               : rowLeftFor(clean.error);
        text.append(text.empty() ? "" : "\n")
            .append(cleanRowLine(tr, junkTable()[row].labelKey, why, clean.linkTarget));
    }
    return text;
}

} // namespace headroom
