#pragma once

#include "core/MountIdentity.h"
#include "core/UniqueFd.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace headroom {

// A junk location is `base` joined with a relative path such as
// ".local/share/Trash". The base is the folder the user granted (followed as
// the user chose it); every component below it is opened without following
// links, so neither a measurement nor a removal can be redirected outside
// the base by a link inside it.
struct OpenedLocation {
    UniqueFd parent;  // the location's parent folder, open O_DIRECTORY; none on failure
    std::string leaf; // the location's own name inside that parent
    int error = 0;    // errno when the parent could not be opened
    // openLocationParent only: the base's identity, and whether a folder
    // on the way below it (the parent included) lies on another mount.
    MountIdentity base;
    bool otherMount = false;
};

// Opens the parent of base/relative. Trailing and doubled "/" in either part
// are ignored; "." and ".." components in `relative` are refused (EINVAL).
// The base may be of any length (see openChosenFolder). A link on the way
// is ELOOP (a file there ENOTDIR). Another mount on the way is passed
// through, and `otherMount` says so.
OpenedLocation openLocationParent(const std::string& base, std::string_view relative);

// What stands at base/relative as seen from the base: whether a clean may
// remove it. A link, at the place or on the way below the base, and another
// mount (a bind mount of the base's own file system included), at the place
// or on the way, are left alone; anything else is the base's own (nothing
// there, or a place that cannot be reached, included).
enum class Place { Own, Link, OtherMount };
struct LocationPlace {
    Place kind = Place::Own;
    // A link: where it points, as it says, followed by the rest of the way
    // when it stands on the way ("/big/local" + "/share/Trash").
    std::string linkTarget;
};
LocationPlace locationPlace(const std::string& base, std::string_view relative);

// The identities of the folders of base/relative that exist, from its
// first component down to its last, reached without following a link;
// the list ends where the way does. Empty when `relative` is refused.
std::vector<MountIdentity> folderIdentities(const std::string& base, std::string_view relative);

// Opens the folder `path` names as open(2) with O_DIRECTORY would, links on
// the way and in its place followed (the path is the user's choice), but at
// any length: a path too long for one system call (PATH_MAX) is opened in
// pieces of whole components, each relative to the folder the one before
// reached. A descriptor (O_RDONLY, close-on-exec), or none with errno set.
UniqueFd openChosenFolder(const std::string& path);

// The folder holding the last component of `path` (a path as the user gave
// it), reached as openChosenFolder reaches a folder but opened O_PATH (to
// look names up in, which needs only search permission, not to list), and
// that component's name, unopened (trailing "/" dropped, so that whoever
// opens it decides whether a link there is followed). "/" gives "/" and
// "."; a path of one component gives the working folder and itself; an
// empty path is ENOENT.
OpenedLocation openPathParent(const std::string& path);

// `relative` lexically normalised: its components joined by exactly one
// "/", with empty and "." components dropped (so no leading or trailing
// "/"). Nothing when a component is ".." (wherever it stands: the place
// must be readable without the folders around it) or a NUL byte is held.
// An empty result names the base itself.
std::optional<std::string> normalRelativePath(std::string_view relative);

// Path join with exactly one "/" between the parts and no trailing "/".
std::string joinPath(std::string_view base, std::string_view relative);

} // namespace headroom
