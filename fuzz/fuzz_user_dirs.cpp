// The user-dirs.dirs reader with any bytes as the file. Whatever the text,
// the Downloads folder it gives is either nothing (the row falls back to
// the table's) or a normalised path strictly below the granted folder: not
// empty, no leading, trailing or doubled "/", no "." or ".." component, no
// NUL. And a folder it gives, written back the way xdg-user-dirs writes it
// (as "$HOME/..." and as an absolute path), reads back as itself.

#include "FuzzCheck.h"
#include "core/JunkLocations.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace {

const std::array<std::string, 2> kSpellings{"/home/ann", "/srv//ann/"};

bool normalised(const std::string& path)
{
    if (path.empty() || path.find('\0') != std::string::npos)
        return false;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t slash = path.find('/', pos);
        if (slash == std::string::npos)
            slash = path.size();
        const std::string_view part(path.data() + pos, slash - pos);
        if (part.empty() || part == "." || part == "..")
            return false;
        pos = slash + 1;
    }
    return true;
}

// A path as xdg-user-dirs quotes it.
std::string escaped(const std::string& path)
{
    std::string out;
    for (const char c : path) {
        if (c == '"' || c == '\\' || c == '$' || c == '`')
            out += '\\';
        out += c;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<std::string> folder = headroom::userDirsDownloadFolder(text, kSpellings);
    if (!folder)
        return 0;
    FUZZ_CHECK(normalised(*folder),
               "from " + headroom::fuzz::visible(text) + " got " + headroom::fuzz::visible(*folder));
    for (const char* prefix : {"$HOME/", "/srv/ann/"}) {
        const std::string again = "XDG_DOWNLOAD_DIR=\"" + std::string(prefix) + escaped(*folder) + "\"\n";
        const std::optional<std::string> back = headroom::userDirsDownloadFolder(again, kSpellings);
        FUZZ_CHECK(back == folder, "written back as " + headroom::fuzz::visible(again) + " reads "
                                       + headroom::fuzz::visible(back.value_or("<nothing>")));
    }
    return 0;
}
