#pragma once

#include <cstdint>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace headroom {

// Which file an entry is, and on which mount: what the walker and the
// removal compare to stay on the mount they started on and to notice a
// folder swapped for another while they were away.
struct MountIdentity {
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
    std::uint64_t mountId = 0;
    bool hasMountId = false;

    // From a statx that asked for at least STATX_INO and STATX_MNT_ID
    // (the mount ID is absent on kernels before 5.8).
    static MountIdentity of(const struct statx& sx)
    {
        MountIdentity id;
        id.dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
        id.ino = sx.stx_ino;
        id.hasMountId = (sx.stx_mask & STATX_MNT_ID) != 0;
        id.mountId = id.hasMountId ? sx.stx_mnt_id : 0;
        return id;
    }

    bool sameFile(const MountIdentity& other) const { return dev == other.dev && ino == other.ino; }
    // The same file system, whichever mount of it: what volume figures
    // (statvfs) belong to.
    bool sameFileSystem(const MountIdentity& other) const { return dev == other.dev; }

    // By mount ID where both have one: a bind mount of the same file system
    // has the same device number, so only the mount ID tells it apart.
    // Else by device, which still tells another file system apart.
    bool sameMount(const MountIdentity& other) const
    {
        if (hasMountId && other.hasMountId)
            return mountId == other.mountId;
        return dev == other.dev;
    }
};

// The identity of the open descriptor `fd` itself; false when it cannot be
// read. `isDir`, when given, says whether it is a folder.
bool identifyOpen(int fd, MountIdentity& out, bool* isDir = nullptr);

} // namespace headroom
