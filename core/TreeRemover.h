#pragma once

#include "core/WorkProgress.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "core/MountIdentity.h"

namespace headroom {

struct RemoveResult {
    std::uint64_t removed = 0; // entries unlinked (the location itself included)
    std::uint64_t failed = 0;  // entries that could not be removed and were passed over
    // errno of the first of them (EROFS, EACCES, EBUSY, ...; EXDEV for
    // another mount, ELOOP for a location that is a link and stays).
    int error = 0;
    bool locationGone = false; // the location no longer exists afterwards
    bool cancelled = false;    // stopped early on request; what is left stays
    // Not 0 when the removal could not go on for want of descriptors or
    // memory (EMFILE, ENFILE, ENOMEM): what is left stays, and unlike
    // `failed` it says nothing about the entries themselves.
    int incomplete = 0;

    // Counts `other`, a removal of part of the same location, in with this
    // one: the sums add up, the first error and shortage stay.
    void add(const RemoveResult& other)
    {
        removed += other.removed;
        failed += other.failed;
        cancelled = cancelled || other.cancelled;
        if (error == 0)
            error = other.error;
        if (incomplete == 0)
            incomplete = other.incomplete;
    }
};

// Test seam: called between listing a folder and opening one of its
// entries, with the descriptor of the listed folder and the entry's name.
// With more than one removal thread it is called from any of them.
using RemoveProbe = std::function<void(int dirfd, const char* name)>;

// Removes the entry `name` inside the open folder `parentFd` as a whole.
// Never follows a link: a link is removed itself and its target is left
// alone. Another mount inside is left alone. Entries that cannot be removed
// are passed over and the rest goes on. Iterative, relative to open
// descriptors, with a bounded number of descriptors whatever the depth,
// fewer where the process has only a few free.
// When `cancel` is given and becomes true, the removal stops before the next
// entry; everything not yet removed stays where it was.
// `threads`: how many threads share the subfolders found directly in the
// entry (each removes whole subfolders); 0 picks from the machine; either
// is lowered to what the free descriptors allow; 1 removes on the calling
// thread only.
// `progress`, when given, has the entries removed added to it as the
// removal goes, a listing batch at a time.
RemoveResult removeTreeAt(int parentFd, const std::string& name, const RemoveProbe& probe = {},
                          const std::atomic<bool>* cancel = nullptr, unsigned threads = 0,
                          WorkProgress* progress = nullptr);

// Removes base/relative (see openLocationParent); nothing outside it, and
// only what lies on the base's own mount, reached without a link: a
// location that is a link (ELOOP), or another mount, or lies below a link
// or another mount (ELOOP, EXDEV) is left as it is, one entry failed.
// Which entries of a folder removeEntriesAt leaves alone: asked with each
// entry's name and its identity as statx shows it at that moment.
using KeepEntry = std::function<bool(const char* name, const MountIdentity& id)>;

// Removes every entry inside the open folder `dirfd` as removeTreeAt
// removes it, except those `keep` asks to leave, which are neither entered
// nor changed; the folder itself stays. An entry is removed only if it is
// still the one that was asked about (its identity checked again just
// before), so an entry renamed in its place meanwhile stays. An entry on
// another mount is left alone. `probe`, when given, is also called before
// each entry's removal, after `keep` was asked.
RemoveResult removeEntriesAt(int dirfd, const KeepEntry& keep, const RemoveProbe& probe = {},
                             const std::atomic<bool>* cancel = nullptr, unsigned threads = 0);

// Removes base/relative (see openLocationParent); nothing outside it.
RemoveResult removeLocation(const std::string& base, const std::string& relative,
                            const std::atomic<bool>* cancel = nullptr, unsigned threads = 0,
                            WorkProgress* progress = nullptr);

} // namespace headroom
