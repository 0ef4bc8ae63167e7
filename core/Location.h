#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace headroom {

// A junk location is `base` joined with a relative path such as
// ".local/share/Trash". The base is the folder the user granted (followed as
// the user chose it); every component below it is opened without following
// links, so neither a measurement nor a removal can be redirected outside
// the base by a link inside it.
struct OpenedLocation {
    int parentFd = -1;  // open O_DIRECTORY descriptor of the location's parent, or -1
    std::string leaf;   // the location's own name inside that parent
    int error = 0;      // errno when the parent could not be opened
};

// Opens the parent of base/relative. Trailing and doubled "/" in either part
// are ignored; "." and ".." components in `relative` are refused (EINVAL).
// The caller closes parentFd.
OpenedLocation openLocationParent(const std::string& base, std::string_view relative);

// `relative` lexically normalised: its components joined by exactly one
// "/", with empty and "." components dropped (so no leading or trailing
// "/"). Nothing when a component is ".." (wherever it stands: the place
// must be readable without the folders around it) or a NUL byte is held.
// An empty result names the base itself.
std::optional<std::string> normalRelativePath(std::string_view relative);

// Path join with exactly one "/" between the parts and no trailing "/".
std::string joinPath(std::string_view base, std::string_view relative);

} // namespace headroom
