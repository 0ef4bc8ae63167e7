#pragma once

#include <array>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace headroom {

// One row of the junk location table. The rows, their order and their label
// keys are fixed; the relative paths follow the platform's home layout.
struct JunkLocation {
    std::string_view row;          // name used by headroom-cli: "caches", "logs", ...
    std::string_view relativePath; // below the granted folder, when nothing names another
    std::string_view labelKey;     // localisation key of the check box
};

inline constexpr std::size_t kJunkRowCount = 5;
using JunkTable = std::array<JunkLocation, kJunkRowCount>;

// The freedesktop home layout.
const JunkTable& junkTable();

// Every row's folder below one granted folder, resolved once when the
// folder is granted (the application) or once per run (headroom-cli), and
// used as it is by the scan, the clean and what shows the rows.
struct JunkFolders {
    std::string base; // the granted folder, as the file system names it
    // Each row's folder below it, lexically normalised (see
    // normalRelativePath), never empty.
    std::array<std::string, kJunkRowCount> relativePaths;

    // The row's folder as a path: base joined with its relative path.
    std::string path(std::size_t row) const;
};

// What the resolver takes from the user's session. Empty means unset: the
// front ends read their environment through junkEnvironment(); the core
// itself reads none.
struct JunkEnvironment {
    std::string home;      // the user's home folder: HOME, else the account's
    std::string cacheHome; // XDG_CACHE_HOME
    std::string dataHome;  // XDG_DATA_HOME
};

// The environment from `variable` (the value of a variable by name, empty
// when unset); the account's home from the password database when HOME is
// empty.
using VariableLookup = std::function<std::string(const char* name)>;
JunkEnvironment junkEnvironment(const VariableLookup& variable);

// The table's relative paths below `base`.
JunkFolders defaultJunkFolders(std::string base);

// Where the user's desktop put the folders below `base`:
// - Downloads: XDG_DOWNLOAD_DIR of <base>/.config/user-dirs.dirs (read
//   relative to `base` without following a link, at most 64 KiB, only a
//   regular file), with "$HOME" standing for `base`.
// - Caches and Trash: XDG_CACHE_HOME and XDG_DATA_HOME/Trash, only when
//   `base` is the user's home (the same device and inode as
//   `environment.home`) and the variable is an absolute path below it.
// - Logs and Mail Downloads: always the table's.
// A row falls back to the table's path when what was found is not a
// normalised path strictly below `base` (no ".." anywhere), when a link
// stands anywhere on its way or in its place (a missing folder is fine: it
// measures 0), or when it would overlap another row's folder (equal to it,
// inside it, or holding it, by spelling and, where the folders exist, by
// device and inode, so that a case-insensitive file system's other
// spellings count too): a folder measured twice, or one row's clean
// deleting another's folder, is never wanted. Rows are settled in the order
// caches, trash, downloads, each against the others as they stand then, so
// the result never overlaps.
JunkFolders resolveJunkFolders(std::string base, const JunkEnvironment& environment);

// The Downloads folder that the text of a user-dirs.dirs names, relative
// to the granted folder and normalised; nothing when the file names none
// that lies strictly below it. The last well-formed XDG_DOWNLOAD_DIR line
// counts; comments, other names, garbage lines and "\r" line ends are
// passed over. A value is "$HOME/..." (below the granted folder) or an
// absolute path, which counts when it starts with one of the absolute
// spellings of the granted folder in `baseSpellings`. Inside the quotes a
// backslash takes the next byte as it is (xdg-user-dirs writes \" \\ \$
// and \`); an unescaped "$" or "`" makes the line malformed, since a shell
// would expand it.
std::optional<std::string> userDirsDownloadFolder(std::string_view text, std::span<const std::string> baseSpellings);

} // namespace headroom
