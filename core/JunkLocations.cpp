#include "core/JunkLocations.h"

#include "core/Location.h"
#include "core/SmallFile.h"
#include "core/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace headroom {

namespace {

const JunkTable kJunkTable{{
    {"caches", ".cache", "Caches"},
    {"logs", "Logs", "Logs"},
    {"downloads", "Downloads", "Downloads"},
    {"mail-downloads", "Mail Downloads", "Mail Download"},
    {"trash", ".local/share/Trash", "Trash"},
}};

constexpr std::size_t kCaches = 0;
constexpr std::size_t kDownloads = 2;
constexpr std::size_t kTrash = 4;

// user-dirs.dirs holds a dozen short lines; anything bigger is not one.
constexpr std::size_t kUserDirsLimit = std::size_t{64} * 1024;

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The value of one `XDG_DOWNLOAD_DIR="..."` line: the path with its
// escapes undone, and whether it began with "$HOME".
struct Assignment {
    bool belowHome = false;
    std::string path;
};

std::optional<Assignment> downloadAssignment(std::string_view line)
{
    constexpr std::string_view kName = "XDG_DOWNLOAD_DIR";
    constexpr std::string_view kHome = "$HOME";
    std::size_t i = 0;
    const auto skipBlanks = [&] {
        while (i < line.size() && isBlank(line[i]))
            ++i;
    };
    const auto at = [&](char c) { return i < line.size() && line[i] == c; };
    skipBlanks();
    if (line.substr(i, kName.size()) != kName)
        return std::nullopt;
    i += kName.size();
    skipBlanks();
    if (!at('='))
        return std::nullopt;
    ++i;
    skipBlanks();
    if (!at('"'))
        return std::nullopt;
    ++i;
    Assignment value;
    if (line.substr(i, kHome.size()) == kHome) {
        value.belowHome = true;
        i += kHome.size();
        if (!at('/') && !at('"'))
            return std::nullopt; // "$HOMEx" is another variable
    } else if (!at('/')) {
        return std::nullopt;
    }
    for (;; ++i) {
        if (i >= line.size())
            return std::nullopt; // no closing quote
        const char c = line[i];
        if (c == '"')
            break;
        if (c == '$' || c == '`')
            return std::nullopt;
        if (c == '\\') {
            if (++i >= line.size())
                return std::nullopt;
        }
        value.path += line[i];
    }
    ++i;
    skipBlanks();
    if (i < line.size() && line[i] != '#')
        return std::nullopt;
    return value;
}

// `absolute` relative to the first of `spellings` (absolute paths of one
// folder) that it lies in or names, normalised; nothing when it lies in
// none or holds a "..".
std::optional<std::string> relativeBelow(std::string_view absolute, std::span<const std::string> spellings)
{
    if (absolute.empty() || absolute.front() != '/')
        return std::nullopt;
    std::optional<std::string> path = normalRelativePath(absolute);
    if (!path)
        return std::nullopt;
    for (const std::string& spelling : spellings) {
        const std::optional<std::string> folder = normalRelativePath(spelling);
        if (!folder || spelling.empty() || spelling.front() != '/')
            continue;
        if (folder->empty())
            return path; // the root
        if (*path == *folder)
            return std::string();
        if (path->starts_with(*folder) && (*path)[folder->size()] == '/')
            return path->substr(folder->size() + 1);
    }
    return std::nullopt;
}

// An XDG base-directory variable's folder below the granted one, with
// `leaf` appended; nothing when it is unset, relative or elsewhere.
std::optional<std::string> environmentFolder(const std::string& value, std::span<const std::string> spellings,
                                             std::string_view leaf)
{
    std::optional<std::string> folder = relativeBelow(value, spellings);
    if (!folder || folder->empty())
        return std::nullopt;
    if (!leaf.empty())
        folder->append("/").append(leaf);
    return folder;
}

// Whether one of two normalised relative paths is the other or lies in it,
// by spelling.
bool spelledOverlap(std::string_view a, std::string_view b)
{
    if (a.size() > b.size())
        std::swap(a, b);
    return b.starts_with(a) && (b.size() == a.size() || b[a.size()] == '/');
}

// Whether base/a and base/b are the same folder or one holds the other: by
// spelling, and for the folders that exist by identity, since on a
// case-insensitive file system (or through a bind mount) one folder goes by
// several names. One holds the other when its own folder is one of those
// on the other's way.
bool overlap(const std::string& base, std::string_view a, std::string_view b)
{
    if (spelledOverlap(a, b))
        return true;
    const std::vector<MountIdentity> wayA = folderIdentities(base, a);
    const std::vector<MountIdentity> wayB = folderIdentities(base, b);
    const auto holds = [](const std::vector<MountIdentity>& way, const MountIdentity& folder) {
        return std::any_of(way.begin(), way.end(), [&](const MountIdentity& id) { return id.sameFile(folder); });
    };
    const std::size_t partsA = std::count(a.begin(), a.end(), '/') + 1;
    const std::size_t partsB = std::count(b.begin(), b.end(), '/') + 1;
    return (wayA.size() == partsA && holds(wayB, wayA.back())) || (wayB.size() == partsB && holds(wayA, wayB.back()));
}

// Whether base/relative can be reached without passing a link and is a
// folder or nothing: a missing part is fine (nothing there to measure),
// anything else that stands in the way is not.
bool plainFolderWay(const std::string& base, const std::string& relative)
{
    const OpenedLocation location = openLocationParent(base, relative);
    const UniqueFd& parent = location.parent;
    if (!parent)
        return location.error == ENOENT;
    struct stat st {};
    return ::fstatat(parent.get(), location.leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? S_ISDIR(st.st_mode)
                                                                                         : errno == ENOENT;
}

// The text of <base>/.config/user-dirs.dirs: no link followed on the way
// or in its place, a regular file only (opened without blocking, so a
// FIFO put there cannot hang the caller), at most kUserDirsLimit bytes.
std::optional<std::string> readUserDirs(const std::string& base)
{
    const OpenedLocation config = openLocationParent(base, ".config/user-dirs.dirs");
    const UniqueFd& parent = config.parent;
    if (!parent)
        return std::nullopt;
    const UniqueFd fd(
        ::openat(parent.get(), config.leaf.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return readSmallFile(fd.get(), kUserDirsLimit);
}

bool sameEntry(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The absolute path of `base` with every link resolved; empty on failure.
std::string realPath(const std::string& base)
{
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(base.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
}

std::string accountHome()
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 16384));
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_dir)
        return {};
    return found->pw_dir;
}

} // namespace

const JunkTable& junkTable()
{
    return kJunkTable;
}

std::string JunkFolders::path(std::size_t row) const
{
    return joinPath(base, relativePaths[row]);
}

JunkEnvironment junkEnvironment(const VariableLookup& variable)
{
    JunkEnvironment environment{variable("HOME"), variable("XDG_CACHE_HOME"), variable("XDG_DATA_HOME")};
    if (environment.home.empty())
        environment.home = accountHome();
    return environment;
}

JunkFolders defaultJunkFolders(std::string base)
{
    JunkFolders folders{std::move(base), {}};
    for (std::size_t row = 0; row < kJunkRowCount; ++row)
        folders.relativePaths[row] = kJunkTable[row].relativePath;
    return folders;
}

JunkFolders resolveJunkFolders(std::string base, const JunkEnvironment& environment)
{
    JunkFolders folders = defaultJunkFolders(std::move(base));
    struct stat baseEntry {};
    struct stat homeEntry {};
    if (::stat(folders.base.c_str(), &baseEntry) != 0)
        return folders;
    const bool userHome = !environment.home.empty() && ::stat(environment.home.c_str(), &homeEntry) == 0
                          && sameEntry(baseEntry, homeEntry);

    // The absolute names the granted folder goes by: as given, with its
    // links resolved, and as HOME names it when it is the user's home.
    std::vector<std::string> spellings{folders.base, realPath(folders.base)};
    if (userHome)
        spellings.push_back(environment.home);

    std::array<std::optional<std::string>, kJunkRowCount> found;
    if (userHome) {
        found[kCaches] = environmentFolder(environment.cacheHome, spellings, {});
        found[kTrash] = environmentFolder(environment.dataHome, spellings, "Trash");
    }
    if (const std::optional<std::string> text = readUserDirs(folders.base))
        found[kDownloads] = userDirsDownloadFolder(*text, spellings);

    for (const std::size_t row : {kCaches, kTrash, kDownloads}) {
        if (!found[row] || !plainFolderWay(folders.base, *found[row]))
            continue;
        bool clear = true;
        for (std::size_t other = 0; other < kJunkRowCount; ++other)
            clear = clear && (other == row || !overlap(folders.base, *found[row], folders.relativePaths[other]));
        if (clear)
            folders.relativePaths[row] = *found[row];
    }
    return folders;
}

std::optional<std::string> userDirsDownloadFolder(std::string_view text, std::span<const std::string> baseSpellings)
{
    std::optional<Assignment> last;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (std::optional<Assignment> assignment = downloadAssignment(line))
            last = std::move(assignment);
        pos = end + 1;
    }
    if (!last)
        return std::nullopt;
    std::optional<std::string> folder =
        last->belowHome ? normalRelativePath(last->path) : relativeBelow(last->path, baseSpellings);
    if (!folder || folder->empty())
        return std::nullopt;
    return folder;
}

} // namespace headroom
