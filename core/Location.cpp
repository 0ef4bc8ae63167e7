#include "core/Location.h"

#include "core/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <span>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace headroom {

namespace {

// Opens `path` with `flags` as one openat(AT_FDCWD, ...) would. A path
// longer than a system call takes (PATH_MAX with its NUL) is opened in
// pieces of whole components, as long as each may be, every piece relative
// to the descriptor of the one before. The kernel resolves a path one
// component at a time anyway, so a piece starting at the folder the one
// before reached resolves as that part of the whole path would: links and
// ".." alike (only the count of links followed starts again with each
// piece). The folders between pieces are held O_PATH, which, like passing
// through them in one call, needs only search permission. A component
// longer than a piece is ENAMETOOLONG.
UniqueFd openInPieces(const std::string& path, int flags)
{
    constexpr std::size_t kMaxPiece = PATH_MAX - 1;
    UniqueFd held; // the folder the pieces so far reached; none: the working folder
    std::size_t pos = 0;
    for (;;) {
        const int at = held ? held.get() : AT_FDCWD;
        const bool last = path.size() - pos <= kMaxPiece;
        std::size_t slash = std::string::npos;
        UniqueFd next;
        if (last) {
            // The rest, or "." when only the slashes of "folder/" were left.
            next.reset(::openat(at, pos < path.size() ? path.c_str() + pos : ".", flags));
        } else if (slash = path.rfind('/', pos + kMaxPiece); slash == std::string::npos || slash <= pos) {
            errno = ENAMETOOLONG;
        } else {
            next.reset(::openat(at, path.substr(pos, slash - pos).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        }
        if (!next || last)
            return next; // UniqueFd keeps errno as the failed call left it
        held = std::move(next);
        // A piece starting with "/" would start again at the root.
        pos = std::min(path.find_first_not_of('/', slash), path.size());
    }
}

// The non-empty components of a relative path, or nothing when one of them
// is "..", or "." unless `dropDots`: a location must name a fixed place
// below the base.
bool splitComponents(std::string_view relative, std::vector<std::string_view>& out, bool dropDots = false)
{
    std::size_t pos = 0;
    while (pos <= relative.size()) {
        std::size_t slash = relative.find('/', pos);
        if (slash == std::string_view::npos)
            slash = relative.size();
        std::string_view part = relative.substr(pos, slash - pos);
        if (part == ".." || (part == "." && !dropDots))
            return false;
        if (!part.empty() && part != ".")
            out.push_back(part);
        pos = slash + 1;
    }
    return true;
}

// The folders of `parts` opened one after the other below the base (with
// `flags`, never following a link), as far as they go.
struct Way {
    UniqueFd fd;             // the last folder reached: the base when no part was; none when not even that
    MountIdentity base;      // the base's identity
    std::size_t reached = 0; // how many parts were opened
    bool otherMount = false; // one of them lies on another mount than the base
    int error = 0;           // why the next part could not be opened: ELOOP for a link
};

Way openWay(const std::string& base, std::span<const std::string_view> parts, int flags,
            std::vector<MountIdentity>* ids = nullptr)
{
    Way way;
    if (base.empty()) {
        way.error = ENOENT;
        return way;
    }
    // The base is the folder the user chose: a link there is followed.
    way.fd = openChosenFolder(base);
    if (!way.fd || !identifyOpen(way.fd.get(), way.base)) {
        way.error = errno;
        way.fd.reset();
        return way;
    }
    for (; way.reached < parts.size(); ++way.reached) {
        const std::string name(parts[way.reached]);
        UniqueFd next(::openat(way.fd.get(), name.c_str(), flags | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        MountIdentity id;
        if (!next || !identifyOpen(next.get(), id)) {
            way.error = errno;
            struct stat st {};
            if (way.error == ENOTDIR && ::fstatat(way.fd.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0
                && S_ISLNK(st.st_mode))
                way.error = ELOOP;
            return way;
        }
        way.otherMount = way.otherMount || !id.sameMount(way.base);
        if (ids)
            ids->push_back(id);
        way.fd = std::move(next);
    }
    return way;
}

// What the link `name` in the folder `dirfd` says.
std::string linkText(int dirfd, const std::string& name)
{
    std::string text(256, '\0');
    for (;;) {
        const ssize_t n = ::readlinkat(dirfd, name.c_str(), text.data(), text.size());
        if (n < 0)
            return {};
        if (static_cast<std::size_t>(n) < text.size()) {
            text.resize(static_cast<std::size_t>(n));
            return text;
        }
        text.resize(text.size() * 2);
    }
}

} // namespace

OpenedLocation openLocationParent(const std::string& base, std::string_view relative)
{
    OpenedLocation result;
    std::vector<std::string_view> parts;
    if (!splitComponents(relative, parts) || parts.empty()) {
        result.error = EINVAL;
        return result;
    }
    result.leaf.assign(parts.back());
    Way way = openWay(base, std::span(parts).first(parts.size() - 1), O_RDONLY);
    result.base = way.base;
    result.otherMount = way.otherMount;
    result.error = way.error;
    if (way.error == 0)
        result.parent = std::move(way.fd);
    return result;
}

LocationPlace locationPlace(const std::string& base, std::string_view relative)
{
    LocationPlace place;
    std::vector<std::string_view> parts;
    if (!splitComponents(relative, parts) || parts.empty())
        return place;
    const Way way = openWay(base, std::span(parts).first(parts.size() - 1), O_PATH);
    if (way.otherMount) {
        place.kind = Place::OtherMount;
        return place;
    }
    std::size_t link = parts.size() - 1; // where a link stands
    if (way.error == ELOOP) {
        link = way.reached;
    } else if (way.error == 0) {
        const std::string leaf(parts.back());
        struct statx sx {};
        if (::statx(way.fd.get(), leaf.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                    STATX_TYPE | STATX_INO | STATX_MNT_ID, &sx)
            != 0)
            return place;
        if (!S_ISLNK(sx.stx_mode)) {
            if (!MountIdentity::of(sx).sameMount(way.base))
                place.kind = Place::OtherMount;
            return place;
        }
    } else {
        return place;
    }
    place.kind = Place::Link;
    place.linkTarget = linkText(way.fd.get(), std::string(parts[link]));
    for (std::size_t i = link + 1; i < parts.size(); ++i)
        place.linkTarget.append("/").append(parts[i]);
    return place;
}

std::vector<MountIdentity> folderIdentities(const std::string& base, std::string_view relative)
{
    std::vector<MountIdentity> ids;
    std::vector<std::string_view> parts;
    if (splitComponents(relative, parts))
        openWay(base, parts, O_PATH, &ids);
    return ids;
}

UniqueFd openChosenFolder(const std::string& path)
{
    return openInPieces(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

OpenedLocation openPathParent(const std::string& path)
{
    OpenedLocation result;
    std::size_t end = path.size();
    while (end > 1 && path[end - 1] == '/')
        --end;
    if (end == 0) {
        result.error = ENOENT;
        return result;
    }
    std::string parent;
    const std::size_t slash = path.rfind('/', end - 1);
    if (end == 1 && path[0] == '/') {
        parent = "/";
        result.leaf = ".";
    } else if (slash == std::string::npos) {
        parent = ".";
        result.leaf = path.substr(0, end);
    } else {
        result.leaf = path.substr(slash + 1, end - slash - 1);
        std::size_t parentEnd = slash;
        while (parentEnd > 0 && path[parentEnd - 1] == '/')
            --parentEnd;
        parent = parentEnd == 0 ? "/" : path.substr(0, parentEnd);
    }
    // O_PATH: looking a name up in a folder needs only search permission.
    result.parent = openInPieces(parent, O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (!result.parent)
        result.error = errno;
    return result;
}

std::optional<std::string> normalRelativePath(std::string_view relative)
{
    if (relative.find('\0') != std::string_view::npos)
        return std::nullopt;
    std::vector<std::string_view> parts;
    if (!splitComponents(relative, parts, true))
        return std::nullopt;
    std::string out;
    for (const std::string_view part : parts)
        out.append(out.empty() ? "" : "/").append(part);
    return out;
}

std::string joinPath(std::string_view base, std::string_view relative)
{
    std::string rel;
    std::size_t pos = 0;
    while (pos < relative.size()) {
        std::size_t slash = relative.find('/', pos);
        if (slash == std::string_view::npos)
            slash = relative.size();
        if (slash > pos) {
            if (!rel.empty())
                rel += '/';
            rel.append(relative.substr(pos, slash - pos));
        }
        pos = slash + 1;
    }

    std::string_view trimmed = base;
    while (!trimmed.empty() && trimmed.back() == '/')
        trimmed.remove_suffix(1);
    const bool root = trimmed.empty() && !base.empty();

    if (rel.empty())
        return root ? std::string("/") : std::string(trimmed);
    if (root)
        return "/" + rel;
    if (trimmed.empty())
        return rel;
    std::string out(trimmed);
    out += '/';
    out += rel;
    return out;
}

} // namespace headroom
