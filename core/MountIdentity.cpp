#include "core/MountIdentity.h"

#include <fcntl.h>

namespace headroom {

bool identifyOpen(int fd, MountIdentity& out, bool* isDir)
{
    struct statx sx {};
    if (::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_INO | STATX_MNT_ID, &sx) != 0)
        return false;
    out = MountIdentity::of(sx);
    if (isDir)
        *isDir = S_ISDIR(sx.stx_mode);
    return true;
}

} // namespace headroom
