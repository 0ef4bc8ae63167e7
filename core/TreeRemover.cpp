#include "core/TreeRemover.h"

#include "core/DirEntries.h"
#include "core/Location.h"
#include "core/MountIdentity.h"
#include "core/WorkPolicy.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <mutex>
#include <thread>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace headroom {

namespace {

constexpr int kDirOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

struct Frame {
    int fd = -1;                       // -1 while closed to keep within the bound
    MountIdentity id;
    std::string name;                  // name inside the parent frame
    std::vector<std::string> pending;  // subfolders still to empty and remove
};

class Remover {
public:
    Remover(int parentFd, const std::string& name, const RemoveProbe& probe, const std::atomic<bool>* cancel)
        : m_parentFd(parentFd), m_rootName(name), m_probe(probe), m_cancel(cancel)
    {
    }

    // Empties and removes the location. With threads > 1, the subfolders
    // found in the location itself are shared out among that many threads,
    // each removing whole subfolders relative to the location's descriptor.
    RemoveResult run(unsigned threads)
    {
        const std::string& name = m_rootName;
        if (cancelRequested()) {
            m_result.cancelled = true;
            return m_result;
        }
        int fd = ::openat(m_parentFd, name.c_str(), kDirOpenFlags);
        if (fd < 0) {
            if (errno != ENOENT)
                removeUnopened(m_parentFd, name, errno);
            m_result.locationGone = gone(m_parentFd, name);
            return m_result;
        }
        Frame root;
        root.fd = fd;
        root.name = name;
        bool isDir = false;
        if (!identifyOpen(fd, root.id, &isDir) || !isDir) {
            ::close(fd);
            ++m_result.failed;
            return m_result;
        }
        m_rootId = root.id;
        m_stack.push_back(std::move(root));
        list(m_stack.back());
        if (threads > 1 && !m_stack.back().pending.empty() && !cancelRequested())
            removeSubfoldersInParallel(threads);
        drain(0);
        m_result.locationGone = gone(m_parentFd, name);
        return m_result;
    }

private:
    // Works the stack down to `floor` frames: empties each folder, then
    // removes it from its parent. Frames below `floor` are not this
    // remover's to close or remove.
    void drain(std::size_t floor)
    {
        while (m_stack.size() > floor) {
            if (cancelRequested()) {
                m_result.cancelled = true;
                for (std::size_t i = floor; i < m_stack.size(); ++i) {
                    if (m_stack[i].fd >= 0)
                        ::close(m_stack[i].fd);
                }
                m_stack.resize(floor);
                break;
            }
            Frame& top = m_stack.back();
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
    void removeChild(const Frame& parent, const MountIdentity& location, const std::string& child)
    {
        m_rootId = location;
        Frame base;
        base.fd = parent.fd;
        base.id = parent.id;
        base.name = parent.name;
        m_stack.clear();
        m_stack.push_back(std::move(base));
        descend(child);
        drain(1);
        m_stack.clear(); // the borrowed descriptor stays open
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
        // descend() pushes onto m_stack, so the location's frame is looked up
        // afresh after each.
        std::vector<Frame> opened;
        if (m_stack.back().pending.size() < threads) {
            opened.reserve(m_stack.back().pending.size());
            while (!m_stack.back().pending.empty() && !cancelRequested()) {
                std::string child = std::move(m_stack.back().pending.back());
                m_stack.back().pending.pop_back();
                const std::size_t depth = m_stack.size();
                descend(child); // identity and mount checked as anywhere else
                if (m_stack.size() > depth) {
                    opened.push_back(std::move(m_stack.back()));
                    m_stack.pop_back();
                }
            }
        }
        Frame& root = m_stack.back(); // m_stack does not change from here on
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
                remover.removeChild(*task.parent, m_rootId, task.name);
            }
        };
        std::vector<Remover> helpers;
        std::vector<std::thread> running;
        const std::size_t wanted = std::min<std::size_t>(threads, tasks.size()) - std::min<std::size_t>(1, tasks.size());
        try {
            helpers.reserve(wanted);
            running.reserve(wanted);
            for (std::size_t i = 0; i < wanted; ++i) {
                helpers.emplace_back(m_parentFd, m_rootName, m_probe, m_cancel);
                Remover* helper = &helpers.back();
                running.emplace_back([&work, helper] {
                    try {
                        work(*helper);
                    } catch (...) {
                        // Out of memory in a helper: its current subfolder
                        // is left as it is; the others go on.
                        ++helper->m_result.failed;
                    }
                });
            }
        } catch (...) {
            // Fewer threads than planned: those running and this one share
            // the rest.
        }
        Remover mine(m_parentFd, m_rootName, m_probe, m_cancel);
        work(mine);
        for (std::thread& t : running)
            t.join();
        merge(mine.m_result);
        for (const Remover& helper : helpers)
            merge(helper.m_result);

        // The folders opened above, now empty unless something in them could
        // not go; after a cancel they stay as they are.
        for (Frame& folder : opened) {
            ::close(folder.fd);
            if (cancelRequested())
                m_result.cancelled = true;
            else
                counted(::unlinkat(root.fd, folder.name.c_str(), AT_REMOVEDIR));
        }
    }

    void merge(const RemoveResult& other)
    {
        m_result.removed += other.removed;
        m_result.failed += other.failed;
        m_result.cancelled = m_result.cancelled || other.cancelled;
    }

private:
    bool cancelRequested() const { return m_cancel && m_cancel->load(std::memory_order_relaxed); }

    static bool gone(int dirfd, const std::string& name)
    {
        struct stat st {};
        return ::fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
    }

    void counted(int rc)
    {
        // What is already gone counts as removed.
        if (rc == 0 || errno == ENOENT)
            ++m_result.removed;
        else
            ++m_result.failed;
    }

    // `name` in `dirfd` could not be opened as a folder without following a
    // link; `error` says why.
    void removeUnopened(int dirfd, const std::string& name, int error)
    {
        switch (error) {
        case ENOENT:
            ++m_result.removed;
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
            ++m_result.failed;
            break;
        }
    }

    // Reads the whole folder once: everything but subfolders is unlinked
    // right away, subfolders are kept by name for later.
    void list(Frame& frame)
    {
        while (m_entries.read(frame.fd)) {
            // Unlinking touches each entry's inode; taking a batch in inode
            // order rather than in the folder's hash order keeps those reads
            // close together on disk when the cache is cold.
            m_batch.clear();
            for (const DirEntry& e : m_entries) {
                if (e.type == DT_DIR)
                    frame.pending.emplace_back(e.name);
                else
                    m_batch.emplace_back(e.ino, e.at);
            }
            std::sort(m_batch.begin(), m_batch.end());
            for (const auto& [inode, at] : m_batch) {
                const char* name = m_entries.nameAt(at);
                if (cancelRequested())
                    return; // the loop in run() sees it too and stops
                if (::unlinkat(frame.fd, name, 0) == 0 || errno == ENOENT)
                    ++m_result.removed;
                else if (errno == EISDIR)
                    frame.pending.emplace_back(name); // no d_type, or changed meanwhile
                else
                    ++m_result.failed;
            }
        }
        if (errno != 0 && errno != ENOENT)
            ++m_result.failed;
    }

    void descend(const std::string& child)
    {
        Frame& parent = m_stack.back();
        if (m_probe)
            m_probe(parent.fd, child.c_str());
        int fd = ::openat(parent.fd, child.c_str(), kDirOpenFlags);
        if (fd < 0) {
            removeUnopened(parent.fd, child, errno);
            return;
        }
        Frame frame;
        frame.fd = fd;
        frame.name = child;
        bool isDir = false;
        if (!identifyOpen(fd, frame.id, &isDir) || !isDir || !frame.id.sameMount(m_rootId)) {
            // Another mount (a bind mount included) is left alone, mount
            // point and all.
            ::close(fd);
            ++m_result.failed;
            return;
        }
        m_stack.push_back(std::move(frame));
        if (m_stack.size() > work::kRemovalHeldFolders + 1) {
            Frame& far = m_stack[m_stack.size() - 1 - work::kRemovalHeldFolders];
            if (far.fd >= 0) {
                ::close(far.fd);
                far.fd = -1;
            }
        }
        list(m_stack.back());
    }

    // The top folder has been emptied: remove it from its parent.
    void ascend()
    {
        if (m_stack.size() == 1) {
            ::close(m_stack.back().fd);
            m_stack.pop_back();
            counted(::unlinkat(m_parentFd, m_rootName.c_str(), AT_REMOVEDIR));
            return;
        }
        const std::size_t parentIndex = m_stack.size() - 2;
        if (m_stack[parentIndex].fd < 0 && !reopen(parentIndex))
            return;
        Frame& top = m_stack.back();
        ::close(top.fd);
        top.fd = -1;
        counted(::unlinkat(m_stack[parentIndex].fd, top.name.c_str(), AT_REMOVEDIR));
        m_stack.pop_back();
    }

    // Opens a closed ancestor again: first through ".." of its child, and
    // if that is no longer the same folder (something was moved), by name
    // down from the nearest open ancestor.
    bool reopen(std::size_t index)
    {
        const Frame& child = m_stack[index + 1];
        Frame& frame = m_stack[index];
        int fd = ::openat(child.fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        MountIdentity id;
        if (fd >= 0 && identifyOpen(fd, id) && id.sameFile(frame.id)) {
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
        while (m_stack[open].fd < 0)
            --open; // the location's own frame is never closed
        int fd = m_stack[open].fd;
        for (std::size_t i = open + 1; i <= index; ++i) {
            int next = ::openat(fd, m_stack[i].name.c_str(), kDirOpenFlags);
            MountIdentity id;
            const bool same = next >= 0 && identifyOpen(next, id) && id.sameFile(m_stack[i].id);
            if (fd != m_stack[open].fd)
                ::close(fd);
            if (!same) {
                if (next >= 0)
                    ::close(next);
                abandonFrom(i);
                return false;
            }
            fd = next;
        }
        m_stack[index].fd = fd;
        return true;
    }

    void abandonFrom(std::size_t index)
    {
        while (m_stack.size() > index) {
            if (m_stack.back().fd >= 0)
                ::close(m_stack.back().fd);
            ++m_result.failed;
            m_stack.pop_back();
        }
        if (m_stack.back().fd < 0)
            reopenByName(m_stack.size() - 1);
    }

private:
    int m_parentFd;
    std::string m_rootName;
    const RemoveProbe& m_probe;
    const std::atomic<bool>* m_cancel;
    DirEntries m_entries;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> m_batch; // inode and record of one listing batch
    std::vector<Frame> m_stack;
    MountIdentity m_rootId;
    RemoveResult m_result;
};

} // namespace

RemoveResult removeTreeAt(int parentFd, const std::string& name, const RemoveProbe& probe,
                          const std::atomic<bool>* cancel, unsigned threads)
{
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        RemoveResult refused;
        refused.failed = 1;
        return refused;
    }
    return Remover(parentFd, name, probe, cancel).run(work::removalThreads(threads));
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
