#include "core/TreeRemover.h"

// The removal in outline
//
// A folder is listed once, whole, when it is entered: everything but its
// subfolders is unlinked right away (each listing batch in inode order,
// which keeps a cold cache's inode reads close together), and each
// subfolder is noted with the identity its statx gives. The removal then
// enters the noted subfolders one by one, depth-first, and removes each
// folder from its parent once it is empty.
//
// Descriptors: the folders from the location down to the current one are a
// FolderPath, as in the walker: a subfolder is entered only if it is still
// the folder that was noted (no link, no mount, no other folder moved into
// its place), a bounded number of them is held, and a closed one is reached
// again only through ".." and only if it is still the same folder. When it
// is not (a folder on the way was moved away meanwhile), the folders of the
// closed part stay where they are, counted as failed, and the removal goes
// on from the location. So nothing is ever removed outside the location by
// a name that came to mean something else.
//
// Threads: the location's subfolders (or, in a location with fewer
// subfolders than threads, such as a trash with files/ and info/, the
// subfolders one level below) are shared out, each removed whole by one
// thread relative to its parent's descriptor, which this thread holds.
//
// Running short: too few descriptors make the threads fewer and each path
// shorter (WorkPolicy.cpp); a descriptor refused all the same closes the
// path's shallowest folders, then waits for another thread to close one.
// Only when none can go on, or memory runs out, is the rest left in place,
// and the result then says so (`incomplete`).

#include "core/DirEntries.h"
#include "core/FolderPath.h"
#include "core/Location.h"
#include "core/MountIdentity.h"
#include "core/UniqueFd.h"
#include "core/WorkPolicy.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace headroom {

namespace {

constexpr unsigned kStatxMask = STATX_TYPE | STATX_INO | STATX_MNT_ID;
constexpr int kStatxFlags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT;

// A subfolder as its parent's listing found it.
struct Listed {
    std::string name;
    MountIdentity id;
};

struct Level {
    std::string name;            // in the parent
    std::vector<Listed> pending; // subfolders still to empty and remove
};
using Path = FolderPath<Level>;

// What the threads of one removal share.
struct Shared {
    const RemoveProbe& probe;
    const std::atomic<bool>* cancel;
    MountIdentity location;
    DescriptorWaits waits;
    WorkProgress* progress; // entries removed are added to it, when given

    bool cancelled() const { return cancel && cancel->load(std::memory_order_relaxed); }
};

bool gone(int dirfd, const std::string& name)
{
    struct stat st {};
    return ::fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
}

class Remover {
public:
    Remover(Shared& shared, unsigned heldFolders) : m_shared(shared), m_path(heldFolders, &shared.waits)
    {
        m_batch.reserve(DirEntries::kBufferSize / 24); // the smallest dirent record
    }

    const RemoveResult& result() const { return m_result; }

    // Empties and removes the location `entry` in the open folder `parent`.
    // With threads > 1, its subfolders are shared out among that many.
    void removeLocation(int parent, Listed entry, unsigned threads) noexcept
    {
        try {
            if (!open(parent, entry))
                return;
            list(m_path.back().fd.get(), m_path.back().data.pending);
            if (threads > 1 && !m_path.back().data.pending.empty() && !m_shared.cancelled())
                shareOut(threads);
            drain();
        } catch (const std::bad_alloc&) {
            giveUp(ENOMEM);
        }
        report();
    }

    // Removes the folder `entry` of the open folder `parent`, which stays
    // open, with everything in it: one thread's share of a removal.
    void removeFolder(int parent, Listed entry) noexcept
    {
        m_shared.waits.join();
        try {
            if (m_shared.probe)
                m_shared.probe(parent, entry.name.c_str());
            if (open(parent, entry)) {
                list(m_path.back().fd.get(), m_path.back().data.pending);
                drain();
            }
        } catch (const std::bad_alloc&) {
            giveUp(ENOMEM);
        }
        report();
        m_shared.waits.leave();
    }

private:
    // Starts the path at `entry`; false when it could not be opened (and
    // what that means has been dealt with).
    bool open(int parent, Listed& entry)
    {
        m_parent = parent;
        const int error = m_path.start(parent, entry.name.c_str(), entry.id);
        if (error != 0) {
            unopened(parent, entry.name, error);
            return false;
        }
        m_path.back().data.name = std::move(entry.name);
        return true;
    }

    // Works the path down: empties each folder, then removes it from its
    // parent.
    void drain()
    {
        while (!m_path.empty()) {
            if (m_shared.cancelled()) {
                m_result.cancelled = true;
                m_path.clear();
                return;
            }
            std::vector<Listed>& pending = m_path.back().data.pending;
            if (pending.empty()) {
                leave();
                continue;
            }
            Listed next = std::move(pending.back());
            pending.pop_back();
            enter(next);
        }
    }

    void enter(Listed& next)
    {
        const int dirfd = m_path.back().fd.get(); // the current folder stays held
        if (m_shared.probe)
            m_shared.probe(dirfd, next.name.c_str());
        const int error = m_path.descend(next.name.c_str(), next.id);
        if (error != 0) {
            unopened(dirfd, next.name, error);
            return;
        }
        m_path.back().data.name = std::move(next.name);
        list(m_path.back().fd.get(), m_path.back().data.pending);
    }

    // The current folder has been emptied: remove it from its parent.
    void leave()
    {
        if (m_path.size() == 1) {
            const std::string name = std::move(m_path.back().data.name);
            m_path.clear();
            counted(::unlinkat(m_parent, name.c_str(), AT_REMOVEDIR));
            return;
        }
        std::string name = std::move(m_path.back().data.name);
        const int error = m_path.ascend();
        if (error == 0) {
            counted(::unlinkat(m_path.back().fd.get(), name.c_str(), AT_REMOVEDIR));
            return;
        }
        if (outOfDescriptors(error)) {
            giveUp(error);
            return;
        }
        // A folder on the way up was moved away: the closed part of the
        // path stays as it is.
        failed(error, m_path.dropUnreachable());
    }

    // Nothing more can be done here for want of descriptors or memory: the
    // rest stays, and the result says so.
    void giveUp(int error)
    {
        if (m_result.incomplete == 0)
            m_result.incomplete = error;
        m_path.clear();
    }

    void counted(int rc)
    {
        // What is already gone counts as removed.
        if (rc == 0 || errno == ENOENT)
            ++m_result.removed;
        else
            failed(errno);
    }

    // `count` entries could not go; `error` says why.
    void failed(int error, std::uint64_t count = 1)
    {
        m_result.failed += count;
        if (m_result.error == 0)
            m_result.error = error;
    }

    // `name` in `dirfd` could not be entered as the folder it was listed
    // as; `error` says why.
    void unopened(int dirfd, const std::string& name, int error)
    {
        switch (error) {
        case ENOENT: ++m_result.removed; break;
        case ELOOP:
        case ENOTDIR:
            // A link or another non-folder: the entry itself goes, never a
            // link's target. A folder swapped in meanwhile is passed over.
            counted(::unlinkat(dirfd, name.c_str(), 0));
            break;
        case EACCES:
        case EPERM:
            // Unreadable: removable only when empty; if not, the reason is
            // that it could not be read.
            if (::unlinkat(dirfd, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT)
                ++m_result.removed;
            else
                failed(error);
            break;
        case EMFILE:
        case ENFILE: giveUp(error); break;
        default:
            // EXDEV: a mount is there now; ESTALE: another folder.
            failed(error);
            break;
        }
    }

    // Reads the folder `fd` to its end: everything but subfolders is
    // unlinked right away, subfolders are noted in `pending`.
    void list(int fd, std::vector<Listed>& pending)
    {
        while (m_entries.read(fd)) {
            // Unlinking touches each entry's inode; taking a batch in inode
            // order rather than in the folder's hash order keeps those reads
            // close together on disk when the cache is cold.
            m_batch.clear();
            for (const DirEntry& e : m_entries) {
                if (e.type == DT_DIR)
                    note(fd, e.name, pending);
                else
                    m_batch.emplace_back(e.ino, e.at);
            }
            std::sort(m_batch.begin(), m_batch.end());
            for (const auto& [inode, at] : m_batch) {
                const char* name = m_entries.nameAt(at);
                if (m_shared.cancelled())
                    return; // drain() sees it too and stops
                if (::unlinkat(fd, name, 0) == 0 || errno == ENOENT)
                    ++m_result.removed;
                else if (errno == EISDIR)
                    note(fd, name, pending); // no d_type, or changed meanwhile
                else
                    failed(errno == EBUSY && mountPoint(fd, name) ? EXDEV : errno);
            }
            report();
        }
        if (errno != 0 && errno != ENOENT)
            failed(errno);
    }

    // Whether the entry `name` of `fd` is another mount (a file bind
    // mounted there, which unlinking calls busy).
    bool mountPoint(int fd, const char* name) const
    {
        struct statx sx {};
        return ::statx(fd, name, kStatxFlags, kStatxMask, &sx) == 0
               && !MountIdentity::of(sx).sameMount(m_shared.location);
    }

    // Notes the subfolder `name` of `fd` with its identity. Another mount (a
    // bind mount included) is left alone, mount point and all.
    void note(int fd, const char* name, std::vector<Listed>& pending)
    {
        struct statx sx {};
        if (::statx(fd, name, kStatxFlags, kStatxMask, &sx) != 0) {
            if (errno == ENOENT)
                ++m_result.removed; // gone already
            else
                failed(errno);
            return;
        }
        if (!S_ISDIR(sx.stx_mode)) {
            counted(::unlinkat(fd, name, 0)); // no longer a folder
            return;
        }
        const MountIdentity id = MountIdentity::of(sx);
        if (!id.sameMount(m_shared.location)) {
            failed(EXDEV);
            return;
        }
        pending.push_back({name, id});
    }

    struct Task {
        int parent = -1;
        Listed entry;
    };

    // A subfolder of the location, opened and emptied of its files while
    // its own subfolders are shared out.
    struct Opened {
        UniqueFd fd;
        std::string name;
        std::vector<Listed> pending;
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
    void shareOut(unsigned threads)
    {
        // Every remover is made before anything is shared or any thread
        // starts, so nothing allocates while they run; without memory for
        // two, this thread removes it all.
        std::vector<std::unique_ptr<Remover>> removers;
        try {
            removers.reserve(threads);
            while (removers.size() < threads)
                removers.push_back(std::make_unique<Remover>(m_shared, m_path.bound()));
        } catch (const std::bad_alloc&) {
            if (removers.size() < 2)
                return;
        }

        Path::Level& location = m_path.back(); // the path does not change from here on
        std::vector<Listed>& subfolders = location.data.pending;
        std::vector<Opened> opened;
        if (subfolders.size() < threads) {
            opened.reserve(subfolders.size());
            while (!subfolders.empty() && !m_shared.cancelled()) {
                Listed child = std::move(subfolders.back());
                subfolders.pop_back();
                if (m_shared.probe)
                    m_shared.probe(location.fd.get(), child.name.c_str());
                UniqueFd fd = openListedFolder(location.fd.get(), child.name.c_str(), child.id);
                if (!fd && outOfDescriptors(errno)) {
                    subfolders.push_back(std::move(child)); // for the drain
                    break;
                }
                if (!fd) {
                    unopened(location.fd.get(), child.name, errno);
                    continue;
                }
                opened.push_back({std::move(fd), std::move(child.name), {}});
                list(opened.back().fd.get(), opened.back().pending);
            }
        }
        std::vector<Task> tasks;
        for (Opened& folder : opened) {
            for (Listed& entry : folder.pending)
                tasks.push_back({folder.fd.get(), std::move(entry)});
            folder.pending.clear();
        }
        for (Listed& entry : subfolders)
            tasks.push_back({location.fd.get(), std::move(entry)});
        subfolders.clear();

        std::mutex mutex;
        const auto work = [&](Remover& remover) {
            for (;;) {
                Task task;
                {
                    const std::lock_guard lock(mutex);
                    if (tasks.empty() || m_shared.cancelled())
                        return;
                    task = std::move(tasks.back());
                    tasks.pop_back();
                }
                remover.removeFolder(task.parent, std::move(task.entry));
            }
        };
        std::vector<std::thread> running;
        try {
            const std::size_t helpers =
                std::min(removers.size(), tasks.size()) - std::min<std::size_t>(1, tasks.size());
            running.reserve(helpers);
            for (std::size_t i = 1; i <= helpers; ++i)
                running.emplace_back(work, std::ref(*removers[i]));
        } catch (...) {
            // Fewer threads than planned: those running and this one share
            // the rest.
        }
        work(*removers.front());
        for (std::thread& t : running)
            t.join();
        for (const auto& remover : removers)
            merge(remover->result());

        // The folders opened above, now empty unless something in them could
        // not go; after a cancel they stay as they are.
        for (Opened& folder : opened) {
            folder.fd.reset();
            if (m_shared.cancelled())
                m_result.cancelled = true;
            else
                counted(::unlinkat(location.fd.get(), folder.name.c_str(), AT_REMOVEDIR));
        }
    }

    // Adds the entries removed since the last report to the progress, once
    // per listing batch.
    void report()
    {
        if (!m_shared.progress)
            return;
        m_shared.progress->add(m_result.removed - m_reported, 0);
        m_reported = m_result.removed;
    }

    void merge(const RemoveResult& other)
    {
        m_result.add(other);
        m_reported += other.removed; // the other remover reported its own
    }

    Shared& m_shared;
    DirEntries m_entries;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> m_batch; // inode and record of one listing batch
    Path m_path;
    int m_parent = -1; // the open folder the path's top is removed from
    RemoveResult m_result;
    std::uint64_t m_reported = 0; // entries report() has added to the progress
};

// A location that could not be removed at all, and why.
RemoveResult refused(int error)
{
    RemoveResult result;
    result.failed = 1;
    result.error = error;
    return result;
}

// With `within`, a location that is a link or lies on another mount than
// `within` is left as it is. With `expected`, the identity the entry must
// still have, else it is left alone (counted as failed).
RemoveResult removeTree(int parentFd, const std::string& name, const RemoveProbe& probe,
                        const std::atomic<bool>* cancel, unsigned threads, WorkProgress* progress,
                        const MountIdentity* within = nullptr, const MountIdentity* expected = nullptr)
{
    RemoveResult result;
    if (cancel && cancel->load(std::memory_order_relaxed)) {
        result.cancelled = true;
        return result;
    }
    // The location as its parent shows it now: a link or a file goes
    // itself, a folder is entered only if it is still this one.
    struct statx sx {};
    if (::statx(parentFd, name.c_str(), kStatxFlags, kStatxMask, &sx) != 0) {
        if (errno == ENOENT)
            result.locationGone = true;
        else
            result = refused(errno);
        return result;
    }
    if (within && S_ISLNK(sx.stx_mode))
        return refused(ELOOP);
    if (within && !MountIdentity::of(sx).sameMount(*within))
        return refused(EXDEV);
    if (expected && !MountIdentity::of(sx).sameFile(*expected))
        return refused(ESTALE); // another entry has taken its name: it stays
    if (S_ISDIR(sx.stx_mode)) {
        const work::RemovalPlan plan = work::removalPlan(threads);
        Shared shared{probe, cancel, MountIdentity::of(sx), {}, progress};
        Remover remover(shared, plan.heldFolders);
        remover.removeLocation(parentFd, {name, shared.location}, plan.threads);
        result = remover.result();
    } else if (::unlinkat(parentFd, name.c_str(), 0) == 0 || errno == ENOENT) {
        result.removed = 1;
    } else {
        result = refused(errno);
    }
    result.locationGone = gone(parentFd, name);
    return result;
}

} // namespace

RemoveResult removeTreeAt(int parentFd, const std::string& name, const RemoveProbe& probe,
                          const std::atomic<bool>* cancel, unsigned threads, WorkProgress* progress)
{
    RemoveResult result;
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        return refused(EINVAL);
    try {
        return removeTree(parentFd, name, probe, cancel, threads, progress);
    } catch (const std::bad_alloc&) {
        // Before anything was removed: the removal's buffers.
        result.incomplete = ENOMEM;
        return result;
    }
}

RemoveResult removeEntriesAt(int dirfd, const KeepEntry& keep, const RemoveProbe& probe,
                             const std::atomic<bool>* cancel, unsigned threads)
{
    RemoveResult result;
    const auto fail = [&result](int error) {
        ++result.failed;
        if (result.error == 0)
            result.error = error;
    };
    try {
        MountIdentity folder;
        if (!identifyOpen(dirfd, folder)) {
            fail(errno);
            return result;
        }
        DirEntries entries;
        std::string name;
        while (entries.read(dirfd)) {
            for (const DirEntry& e : entries) {
                if (cancel && cancel->load(std::memory_order_relaxed)) {
                    result.cancelled = true;
                    return result;
                }
                struct statx sx {};
                if (::statx(dirfd, e.name, kStatxFlags, kStatxMask, &sx) != 0) {
                    if (errno != ENOENT)
                        fail(errno);
                    continue;
                }
                const MountIdentity id = MountIdentity::of(sx);
                if (keep(e.name, id))
                    continue;
                if (!id.sameMount(folder)) {
                    fail(EXDEV);
                    continue;
                }
                name = e.name;
                if (probe)
                    probe(dirfd, e.name);
                result.add(removeTree(dirfd, name, probe, cancel, threads, nullptr, nullptr, &id));
                if (result.incomplete != 0)
                    return result;
            }
        }
        if (errno != 0 && errno != ENOENT)
            fail(errno);
    } catch (const std::bad_alloc&) {
        if (result.incomplete == 0)
            result.incomplete = ENOMEM;
    }
    return result;
}

RemoveResult removeLocation(const std::string& base, const std::string& relative, const std::atomic<bool>* cancel,
                            unsigned threads, WorkProgress* progress)
{
    RemoveResult result;
    try {
        const OpenedLocation location = openLocationParent(base, relative);
        const UniqueFd& parent = location.parent;
        if (parent && location.otherMount)
            return refused(EXDEV);
        if (parent)
            return removeTree(parent.get(), location.leaf, {}, cancel, threads, progress, &location.base);
        if (location.error == ENOENT)
            result.locationGone = true;
        else if (outOfDescriptors(location.error) || location.error == ENOMEM)
            result.incomplete = location.error;
        else
            result = refused(location.error);
    } catch (const std::bad_alloc&) {
        result.incomplete = ENOMEM;
    }
    return result;
}

} // namespace headroom
