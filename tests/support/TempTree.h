#pragma once

// Temporary trees for the core and CLI tests: a private folder that is
// removed with everything in it, builders that take raw byte names, small
// file helpers, and child-process runners for tests that need another
// RLIMIT, a private mount namespace or fewer capabilities.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace headroom::test {

class TempTree {
public:
    // Under $TMPDIR, or /tmp.
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::string& path() const { return m_path; }
    // `path()` joined with a relative path (raw bytes, may hold any byte but
    // NUL).
    std::string operator/(std::string_view relative) const;

    // Each builder throws std::runtime_error naming the failed call.
    void makeDir(std::string_view relative, unsigned mode = 0755) const;
    void makeFile(std::string_view relative, std::size_t bytes, unsigned mode = 0644) const;
    // A file of apparent size `size` with no data blocks.
    void makeSparseFile(std::string_view relative, std::uint64_t size) const;
    void makeSymlink(std::string_view relative, std::string_view target) const;
    void makeHardLink(std::string_view existing, std::string_view relative) const;
    // `depth` nested folders named `name` below `relative`, built through
    // descriptors so the depth is not limited by PATH_MAX; a file of
    // `fileBytes` bytes goes into every level when fileBytes > 0.
    void makeChain(std::string_view relative, std::size_t depth, std::string_view name,
                   std::size_t fileBytes = 0) const;

private:
    std::string m_path;
};

// st_size of `path` itself, not following a final link.
std::uint64_t entrySize(const std::string& path);

// What `du -sbl PATH` prints (apparent bytes, hard links counted each
// time, links not followed, the folder itself included), or with
// `allocated` what `du -sl --block-size=1` prints (the blocks, in bytes);
// nothing when du fails or prints no number.
std::optional<std::uint64_t> duApparentBytes(const std::string& path, bool allocated = false);

// The sum the walker is expected to give on a tree with no mount inside:
// du's figure minus the root's own entry.
std::optional<std::uint64_t> duBelow(const std::string& path, bool allocated = false);

// The whole content of `path`, or "<missing>" when it cannot be opened.
std::string readFile(const std::string& path);

// Writes `content` to `path`, creating the folders above it first.
void writeFile(const std::string& path, const std::string& content);

// Whether `path` names an entry, a dangling link included.
bool exists(const std::string& path);

// The full path of the stand-in script `name` below $HEADROOM_TEST_HELPERS
// (tests/helpers when unset).
std::string helper(const char* name);

// How many descriptors this process has open, the one used to count them
// included (-1 when /proc/self/fd cannot be listed); compare two counts to
// find a leak.
int openDescriptors();

// Every entry below `root`, links never followed, by relative path: its
// kind, size and inode, and a file's content or a link's target. Two equal
// inventories mean nothing in the tree was removed, replaced or changed.
using Inventory = std::map<std::string, std::string>;
Inventory inventory(const std::string& root);

// A tree outside every location whose content must come through intact:
// `dir` (two files, a subfolder, a link up) and the file `file` beside it.
class Canary {
public:
    explicit Canary(const TempTree& tree, const std::string& name = "canary");
    const std::string dir;
    const std::string file;
    // Empty while the canary is exactly as made, else what changed.
    std::string damage() const;

private:
    Inventory m_made;
};

// Outcome of work done in a forked child.
struct ChildOutcome {
    enum class Status { Passed, Failed, Refused };
    Status status = Status::Failed;
    std::string message;

    static ChildOutcome pass() { return {Status::Passed, {}}; }
    static ChildOutcome fail(std::string why) { return {Status::Failed, std::move(why)}; }
    static ChildOutcome refuse(std::string why) { return {Status::Refused, std::move(why)}; }
};

// Runs `fn` in a forked child and reports what it returned. A child that
// throws, crashes or exits otherwise is a failure. Call only while the
// test process has a single thread.
ChildOutcome runInChild(const std::function<ChildOutcome()>& fn);

// Runs `fn` in a forked child that has dropped CAP_DAC_OVERRIDE,
// CAP_DAC_READ_SEARCH and CAP_FOWNER (effective, permitted, inheritable)
// before it starts any thread, so that permission bits apply even to root.
// Refused when the kernel will not let the child change its capabilities;
// failed when capget afterwards still shows one of them effective.
ChildOutcome runWithoutDacCapabilities(const std::function<ChildOutcome()>& fn);

// Runs `fn` in a forked child with a private mount namespace whose mounts
// do not propagate back, so whatever it mounts vanishes with it. Refused
// when unshare or the propagation change is not allowed.
ChildOutcome runInPrivateMounts(const std::function<ChildOutcome()>& fn);

// Runs `fn` in a forked child with a fresh tmpfs mounted on `tree` in a
// private mount namespace, so that big trees are built at memory speed
// rather than at the pace of the disk's journal; where the kernel allows
// no mount, in a plain child on the tree as it is.
ChildOutcome runOnScratch(const TempTree& tree, const std::function<ChildOutcome()>& fn);

} // namespace headroom::test
