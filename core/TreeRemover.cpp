#include "core/TreeRemover.h"

#include "core/Location.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <thread>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace headroom {

namespace {

// Directory descriptors held at once below the location, whatever the depth.
// Deeper ancestors are closed and opened again on the way back up.
constexpr std::size_t kHeldDescriptors = 16;

constexpr int kDirOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

struct Identity {
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
    std::uint64_t mountId = 0;
    bool hasMountId = false;
    bool isDir = false;

    bool sameObject(const Identity& other) const { return dev == other.dev && ino == other.ino; }
    // Same mount: by mount ID where the kernel gives one (a bind mount of the
    // same file system has the same device number), else by device.
    bool sameMount(const Identity& other) const
    {
        if (dev != other.dev)
            return false;
        if (hasMountId && other.hasMountId)
            return mountId == other.mountId;
        return true;
    }
};

bool identify(int fd, Identity& out)
{
    struct statx stx {};
    if (::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_INO | STATX_MNT_ID, &stx) != 0)
        return false;
    out.dev = makedev(stx.stx_dev_major, stx.stx_dev_minor);
    out.ino = stx.stx_ino;
    out.isDir = S_ISDIR(stx.stx_mode);
    out.hasMountId = (stx.stx_mask & STATX_MNT_ID) != 0;
    out.mountId = out.hasMountId ? stx.stx_mnt_id : 0;
    return true;
}

struct Frame {
    int fd = -1;                       // -1 while closed to keep within the bound
    Identity id;
    std::string name;                  // name inside the parent frame
    std::vector<std::string> pending;  // subfolders still to empty and remove
};

// The fixed head of a record of getdents64; the name follows d_type.
struct Dirent64Head {
    std::uint64_t d_ino;
    std::int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
};
constexpr std::size_t kDirentNameOffset = offsetof(Dirent64Head, d_type) + 1;

class Remover {
public:
    Remover(int parentFd, const std::string& name, const RemoveProbe& probe, const std::atomic<bool>* cancel)
        : parentFd_(parentFd), rootName_(name), probe_(probe), cancel_(cancel), buffer_(std::size_t{64} * 1024)
    {
    }

    // Empties and removes the location. With threads > 1, the subfolders
    // found in the location itself are shared out among that many threads,
    // each removing whole subfolders relative to the location's descriptor.
    RemoveResult run(unsigned threads)
    {
        const std::string& name = rootName_;
        if (cancelRequested()) {
            result_.cancelled = true;
            return result_;
        }
        int fd = ::openat(parentFd_, name.c_str(), kDirOpenFlags);
        if (fd < 0) {
            if (errno != ENOENT)
                removeUnopened(parentFd_, name, errno);
            result_.locationGone = gone(parentFd_, name);
            return result_;
        }
        Frame root;
        root.fd = fd;
        root.name = name;
        if (!identify(fd, root.id) || !root.id.isDir) {
            ::close(fd);
            ++result_.failed;
            return result_;
        }
        rootId_ = root.id;
        stack_.push_back(std::move(root));
        list(stack_.back());
        if (threads > 1 && !stack_.back().pending.empty() && !cancelRequested())
            removeSubfoldersInParallel(threads);
        drain(0);
        result_.locationGone = gone(parentFd_, name);
        return result_;
    }

private:
    // Works the stack down to `floor` frames: empties each folder, then
    // removes it from its parent. Frames below `floor` are not this
    // remover's to close or remove.
    void drain(std::size_t floor)
    {
        while (stack_.size() > floor) {
            if (cancelRequested()) {
                result_.cancelled = true;
                for (std::size_t i = floor; i < stack_.size(); ++i) {
                    if (stack_[i].fd >= 0)
                        ::close(stack_[i].fd);
                }
                stack_.resize(floor);
                break;
            }
            Frame& top = stack_.back();
            if (!top.pending.empty()) {
                std::string child = std::move(top.pending.back());
                top.pending.pop_back();
                descend(child);
            } else {
                ascend();
            }
        }
    }

    // Removes `child` of the folder `parent` (the location or one of its
    // subfolders; its frame, descriptor borrowed), which is left for its
    // owner. `location` is the identity of the location, for the mount check.
    void removeChild(const Frame& parent, const Identity& location, const std::string& child)
    {
        rootId_ = location;
        Frame base;
        base.fd = parent.fd;
        base.id = parent.id;
        base.name = parent.name;
        stack_.clear();
        stack_.push_back(std::move(base));
        descend(child);
        drain(1);
        stack_.clear(); // the borrowed descriptor stays open
    }

    struct Task {
        const Frame* parent = nullptr;
        std::string name;
    };

    // Each thread takes the next subfolder of the location and removes it
    // whole. A subfolder is a separate tree, so the threads never work in
    // the same folder; the location's descriptor stays open throughout and
    // every removal is relative to it. On a cold cache most of the time
    // is spent waiting for inode reads, which the disk then serves several
    // at a time.
    //
    // A location with fewer subfolders than threads (a trash: files/ and
    // info/) shares out the next level instead: this thread opens and
    // empties each of those subfolders of their files, the threads remove
    // their subfolders relative to them, and this thread then removes the
    // emptied folders themselves.
    void removeSubfoldersInParallel(unsigned threads)
    {
        // descend() pushes onto stack_, so the location's frame is looked up
        // afresh after each.
        std::vector<Frame> opened;
        if (stack_.back().pending.size() < threads) {
            opened.reserve(stack_.back().pending.size());
            while (!stack_.back().pending.empty() && !cancelRequested()) {
                std::string child = std::move(stack_.back().pending.back());
                stack_.back().pending.pop_back();
                const std::size_t depth = stack_.size();
                descend(child); // identity and mount checked as anywhere else
                if (stack_.size() > depth) {
                    opened.push_back(std::move(stack_.back()));
                    stack_.pop_back();
                }
            }
        }
        Frame& root = stack_.back(); // stack_ does not change from here on
        std::vector<Task> tasks;
        for (Frame& folder : opened) {
            for (std::string& name : folder.pending)
                tasks.push_back({&folder, std::move(name)});
            folder.pending.clear();
        }
        for (std::string& name : root.pending)
            tasks.push_back({&root, std::move(name)});
        root.pending.clear();

        std::mutex mutex;
        auto work = [&](Remover& remover) {
            for (;;) {
                Task task;
                {
                    std::lock_guard lock(mutex);
                    if (tasks.empty() || remover.cancelRequested())
                        return;
                    task = std::move(tasks.back());
                    tasks.pop_back();
                }
                remover.removeChild(*task.parent, rootId_, task.name);
            }
        };
        std::vector<Remover> helpers;
        std::vector<std::thread> running;
        const std::size_t wanted = std::min<std::size_t>(threads, tasks.size()) - std::min<std::size_t>(1, tasks.size());
        try {
            helpers.reserve(wanted);
            running.reserve(wanted);
            for (std::size_t i = 0; i < wanted; ++i) {
                helpers.emplace_back(parentFd_, rootName_, probe_, cancel_);
                Remover* helper = &helpers.back();
                running.emplace_back([&work, helper] {
                    try {
                        work(*helper);
                    } catch (...) {
                        // Out of memory in a helper: its current subfolder
                        // is left as it is; the others go on.
                        ++helper->result_.failed;
                    }
                });
            }
        } catch (...) {
            // Fewer threads than planned: those running and this one share
            // the rest.
        }
        Remover mine(parentFd_, rootName_, probe_, cancel_);
        work(mine);
        for (std::thread& t : running)
            t.join();
        merge(mine.result_);
        for (const Remover& helper : helpers)
            merge(helper.result_);

        // The folders opened above, now empty unless something in them could
        // not go; after a cancel they stay as they are.
        for (Frame& folder : opened) {
            ::close(folder.fd);
            if (cancelRequested())
                result_.cancelled = true;
            else
                counted(::unlinkat(root.fd, folder.name.c_str(), AT_REMOVEDIR));
        }
    }

    void merge(const RemoveResult& other)
    {
        result_.removed += other.removed;
        result_.failed += other.failed;
        result_.cancelled = result_.cancelled || other.cancelled;
    }

private:
    bool cancelRequested() const { return cancel_ && cancel_->load(std::memory_order_relaxed); }

    static bool gone(int dirfd, const std::string& name)
    {
        struct stat st {};
        return ::fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
    }

    void counted(int rc)
    {
        // What is already gone counts as removed.
        if (rc == 0 || errno == ENOENT)
            ++result_.removed;
        else
            ++result_.failed;
    }

    // `name` in `dirfd` could not be opened as a folder without following a
    // link; `error` says why.
    void removeUnopened(int dirfd, const std::string& name, int error)
    {
        switch (error) {
        case ENOENT:
            ++result_.removed;
            break;
        case ELOOP:
        case ENOTDIR:
            // A link or another non-folder: the entry itself goes, never a
            // link's target. A folder swapped in meanwhile is passed over.
            counted(::unlinkat(dirfd, name.c_str(), 0));
            break;
        case EACCES:
        case EPERM:
            // Unreadable: removable only when empty.
            counted(::unlinkat(dirfd, name.c_str(), AT_REMOVEDIR));
            break;
        default:
            ++result_.failed;
            break;
        }
    }

    // Reads the whole folder once: everything but subfolders is unlinked
    // right away, subfolders are kept by name for later.
    void list(Frame& frame)
    {
        for (;;) {
            long n = ::syscall(SYS_getdents64, frame.fd, buffer_.data(), buffer_.size());
            if (n == 0)
                return;
            if (n < 0) {
                if (errno != ENOENT)
                    ++result_.failed;
                return;
            }
            // Unlinking touches each entry's inode; taking a batch in inode
            // order rather than in the folder's hash order keeps those reads
            // close together on disk when the cache is cold.
            batch_.clear();
            for (long off = 0; off < n;) {
                Dirent64Head head;
                std::memcpy(&head, buffer_.data() + off, sizeof head);
                const char* name = buffer_.data() + off + kDirentNameOffset;
                const long at = off;
                off += head.d_reclen;
                if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                    continue;
                if (head.d_type == DT_DIR) {
                    frame.pending.emplace_back(name);
                    continue;
                }
                batch_.emplace_back(head.d_ino, at);
            }
            std::sort(batch_.begin(), batch_.end());
            for (const auto& [inode, at] : batch_) {
                const char* name = buffer_.data() + at + kDirentNameOffset;
                if (cancelRequested())
                    return; // the loop in run() sees it too and stops
                if (::unlinkat(frame.fd, name, 0) == 0 || errno == ENOENT)
                    ++result_.removed;
                else if (errno == EISDIR)
                    frame.pending.emplace_back(name); // no d_type, or changed meanwhile
                else
                    ++result_.failed;
            }
        }
    }

    void descend(const std::string& child)
    {
        Frame& parent = stack_.back();
        if (probe_)
            probe_(parent.fd, child.c_str());
        int fd = ::openat(parent.fd, child.c_str(), kDirOpenFlags);
        if (fd < 0) {
            removeUnopened(parent.fd, child, errno);
            return;
        }
        Frame frame;
        frame.fd = fd;
        frame.name = child;
        if (!identify(fd, frame.id) || !frame.id.isDir || !frame.id.sameMount(rootId_)) {
            // Another mount (a bind mount included) is left alone, mount
            // point and all.
            ::close(fd);
            ++result_.failed;
            return;
        }
        stack_.push_back(std::move(frame));
        if (stack_.size() > kHeldDescriptors + 1) {
            Frame& far = stack_[stack_.size() - 1 - kHeldDescriptors];
            if (far.fd >= 0) {
                ::close(far.fd);
                far.fd = -1;
            }
        }
        list(stack_.back());
    }

    // The top folder has been emptied: remove it from its parent.
    void ascend()
    {
        if (stack_.size() == 1) {
            ::close(stack_.back().fd);
            stack_.pop_back();
            counted(::unlinkat(parentFd_, rootName_.c_str(), AT_REMOVEDIR));
            return;
        }
        const std::size_t parentIndex = stack_.size() - 2;
        if (stack_[parentIndex].fd < 0 && !reopen(parentIndex))
            return;
        Frame& top = stack_.back();
        ::close(top.fd);
        top.fd = -1;
        counted(::unlinkat(stack_[parentIndex].fd, top.name.c_str(), AT_REMOVEDIR));
        stack_.pop_back();
    }

    // Opens a closed ancestor again: first through ".." of its child, and
    // if that is no longer the same folder (something was moved), by name
    // down from the nearest open ancestor.
    bool reopen(std::size_t index)
    {
        const Frame& child = stack_[index + 1];
        Frame& frame = stack_[index];
        int fd = ::openat(child.fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        Identity id;
        if (fd >= 0 && identify(fd, id) && id.sameObject(frame.id)) {
            frame.fd = fd;
            return true;
        }
        if (fd >= 0)
            ::close(fd);
        return reopenByName(index);
    }

    // Each level is checked against the identity seen on the way down. A
    // level that is not the same folder ends that branch: its frames are
    // dropped and nothing in them is touched.
    bool reopenByName(std::size_t index)
    {
        std::size_t open = index;
        while (stack_[open].fd < 0)
            --open; // the location's own frame is never closed
        int fd = stack_[open].fd;
        for (std::size_t i = open + 1; i <= index; ++i) {
            int next = ::openat(fd, stack_[i].name.c_str(), kDirOpenFlags);
            Identity id;
            const bool same = next >= 0 && identify(next, id) && id.sameObject(stack_[i].id);
            if (fd != stack_[open].fd)
                ::close(fd);
            if (!same) {
                if (next >= 0)
                    ::close(next);
                abandonFrom(i);
                return false;
            }
            fd = next;
        }
        stack_[index].fd = fd;
        return true;
    }

    void abandonFrom(std::size_t index)
    {
        while (stack_.size() > index) {
            if (stack_.back().fd >= 0)
                ::close(stack_.back().fd);
            ++result_.failed;
            stack_.pop_back();
        }
        if (stack_.back().fd < 0)
            reopenByName(stack_.size() - 1);
    }

private:
    int parentFd_;
    std::string rootName_;
    const RemoveProbe& probe_;
    const std::atomic<bool>* cancel_;
    std::vector<char> buffer_;
    std::vector<std::pair<std::uint64_t, long>> batch_; // (inode, record offset) of one listing batch
    std::vector<Frame> stack_;
    Identity rootId_;
    RemoveResult result_;
};

// Removal waits on the disk far more than it computes, so more threads than
// cores pay off on a cold cache; each holds up to kHeldDescriptors + 1
// descriptors, and together they use at most half of what the process may
// open.
unsigned removalThreads(unsigned requested)
{
    if (requested > 0)
        return requested;
    unsigned threads = std::clamp(2 * std::thread::hardware_concurrency(), 4u, 8u);
    struct rlimit rl {};
    if (::getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY) {
        const rlim_t fit = rl.rlim_cur / 2 / (kHeldDescriptors + 2);
        threads = static_cast<unsigned>(std::clamp<rlim_t>(fit, 1, threads));
    }
    return threads;
}

} // namespace

RemoveResult removeTreeAt(int parentFd, const std::string& name, const RemoveProbe& probe,
                          const std::atomic<bool>* cancel, unsigned threads)
{
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        RemoveResult refused;
        refused.failed = 1;
        return refused;
    }
    return Remover(parentFd, name, probe, cancel).run(removalThreads(threads));
}

RemoveResult removeLocation(const std::string& base, const std::string& relative, const std::atomic<bool>* cancel,
                            unsigned threads)
{
    OpenedLocation location = openLocationParent(base, relative);
    if (location.parentFd < 0) {
        RemoveResult result;
        if (location.error == ENOENT)
            result.locationGone = true;
        else
            result.failed = 1;
        return result;
    }
    RemoveResult result = removeTreeAt(location.parentFd, location.leaf, {}, cancel, threads);
    ::close(location.parentFd);
    return result;
}

} // namespace headroom
