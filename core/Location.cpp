#include "core/Location.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace headroom {

namespace {

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
    if (base.empty()) {
        result.error = ENOENT;
        return result;
    }

    // The base is the folder the user chose: a link there is followed.
    int fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        result.error = errno;
        return result;
    }
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        const std::string name(parts[i]);
        int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        int saved = errno;
        ::close(fd);
        if (next < 0) {
            result.error = saved;
            return result;
        }
        fd = next;
    }
    result.parentFd = fd;
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
