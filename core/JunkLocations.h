#pragma once

#include <array>
#include <span>
#include <string_view>

namespace headroom {

// One row of the junk location table. The rows, their order and their label
// keys are fixed; the relative paths follow the platform's home layout.
struct JunkLocation {
    std::string_view row;          // name used by headroom-cli: "caches", "logs", ...
    std::string_view relativePath; // below the granted folder
    std::string_view labelKey;     // localisation key of the check box
};

inline constexpr std::size_t kJunkRowCount = 5;
using JunkTable = std::array<JunkLocation, kJunkRowCount>;

// The freedesktop home layout.
const JunkTable& junkTable();

} // namespace headroom
