#pragma once

#include "core/UniqueFd.h"
#include "core/WorkProgress.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace headroom {

struct WalkOptions {
    // Worker threads, the calling thread included. 0: picked from the
    // machine. Lowered to what the free descriptors allow.
    unsigned threads = 0;

    // Folder descriptors one worker may hold open at once (at least 1, the
    // current folder; with 2, the top of its subtree as well). 0: derived
    // from the free descriptors, and never more than those allow. Past the
    // bound the shallowest folders are closed and later reopened through
    // "..".
    unsigned maxOpenFolders = 0;

    // Called on the walking thread right after a folder below the root has
    // been opened, with its depth (1 for the root's own subfolders). Lets a
    // test change the tree at a known point of the walk.
    std::function<void(std::size_t depth)> onFolderEntered;

    // Stat big batches of entries through an io_uring where the kernel
    // allows it (one system call per batch instead of one per entry) and
    // the process may open plenty of descriptors (each ring takes one).
    // false: always one statx call per entry. The figures are the same.
    bool batchStat = true;

    // When given and set, every worker stops before its next folder batch
    // and the walk returns what it had counted so far, marked cancelled.
    const std::atomic<bool>* cancel = nullptr;

    // When given, the entries and bytes counted are added to it as the walk
    // goes, a batch at a time (its row and phase are the caller's to set).
    WorkProgress* progress = nullptr;
    // Also sum, in the same walk, each entry directly inside the root (an
    // item): its own size and everything below it. Off, a walk costs what
    // it did before. With `itemsIn` set to the name of a folder directly
    // inside the root (a trash's "files"), the items are that folder's
    // entries instead; the rest of the tree is counted in the total only.
    bool items = false;
    std::string itemsIn;
};

// One item of a walk: an entry as the walk saw it (name and identity), and
// the sizes of it and everything below it on the root's mount.
struct WalkItem {
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
    std::uint64_t bytes = 0;     // st_size of the entry and of every entry below it
    std::uint64_t allocated = 0; // their blocks, in bytes (stx_blocks * 512)
    std::uint32_t nameAt = 0;    // where its name starts in WalkItems::names
    std::uint8_t nameLength = 0;
    bool folder = false;
};

// The items of a walk, largest first (then by name), their names packed in
// one string: an item costs about 40 bytes and its name.
struct WalkItems {
    std::vector<WalkItem> list;
    std::string names;

    std::string_view name(const WalkItem& item) const { return {names.data() + item.nameAt, item.nameLength}; }
};

struct WalkResult {
    std::uint64_t bytes = 0;   // sum of st_size of every entry below the root
    std::uint64_t entries = 0; // entries counted
    std::uint64_t errors = 0;  // entries or folders that could not be read
    bool cancelled = false;    // stopped on request: the figures are partial
    // Not 0 when part of the tree could not be walked for want of
    // descriptors or memory (EMFILE, ENFILE, ENOMEM): the figures are then
    // too low. Unlike `errors`, it says nothing about the tree itself.
    int incomplete = 0;
    // The blocks of the same entries, in bytes (stx_blocks * 512): the
    // space they take on the disk, which a removal gives back.
    std::uint64_t allocated = 0;
    // With WalkOptions::items: the items. An entry on another mount is
    // none. On a walk that was whole, their bytes add up to `bytes` (and
    // their allocated to `allocated`) when they are the root's own entries.
    WalkItems items;
};

// Measures the tree below `path`, a path of any length (see openPathParent):
// every entry at every depth, folders' own entries included, the root itself
// not counted. The final component of
// `path` is not followed when it is a link (a link measures 0); links inside
// are counted with their own size and never followed; hard links count each
// time. Another mount (a bind mount of the same file system included) is
// neither entered nor counted, not even its mount point's entry: a removal
// of the tree could not take it away either. Iterative, relative to open
// directory descriptors, with a bounded number of descriptors held whatever
// the depth (fewer, and fewer threads, where the process has only a few
// free), and no list of the tree kept. Sums stop at 2^64 - 1.
WalkResult measureTree(const std::string& path, const WalkOptions& options = {});

// The same for the entry `name` inside the open folder `dirfd`.
WalkResult measureTreeAt(int dirfd, const std::string& name, const WalkOptions& options = {});

// The same, taking `dirfd` over: it is closed as soon as the entry is open,
// so that the walk may use that descriptor too.
WalkResult measureTreeAt(UniqueFd dirfd, const std::string& name, const WalkOptions& options = {});

// The bytes of measureTree(path): a missing, non-folder or unlistable path
// measures 0.
std::uint64_t getSize(const std::string& path);

} // namespace headroom
