#pragma once

// How the walker and the removal hold the folders they are in: each folder
// below a root is opened by one function that follows no link and checks
// it is the folder its entry showed; a path of such descriptors from the
// top of a subtree down to the current folder holds a bounded number of
// them, and climbs back to a closed one through ".." only when ".." is
// still that folder; workers short of descriptors wait for one another.

#include "core/MountIdentity.h"
#include "core/UniqueFd.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include <fcntl.h>

namespace headroom {

// Every folder below a root is opened so: never through a link, only a
// folder, and not inherited by a program the process starts.
constexpr int kFolderOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// What the kernel answers when a process or the system has no descriptor
// left to give.
constexpr bool outOfDescriptors(int error)
{
    return error == EMFILE || error == ENFILE;
}

// Opens the folder `name` inside the open folder `parent` without following
// a link, and checks that it is the folder `listed` (device and inode, and
// the same mount) that its entry showed when its parent was listed.
// Invalid, with errno set, when it is not: ENOTDIR or ELOOP (a link or
// something else is there now), EXDEV (a mount is there now), ESTALE
// (another folder is there now), or why the open or the check failed
// (ENOENT, EACCES, EMFILE, ...).
UniqueFd openListedFolder(int parent, const char* name, const MountIdentity& listed);

// The workers of one walk or one removal that run short of descriptors. A
// worker refused a descriptor, with none of its own left to close, waits
// here until another worker closes one. When every worker that holds
// descriptors is waiting, none will close one: the last to arrive runs
// `lastResort` (which may free a descriptor held elsewhere) or gives up.
class DescriptorWaits {
public:
    DescriptorWaits() = default;
    explicit DescriptorWaits(std::function<bool()> lastResort) : m_lastResort(std::move(lastResort)) {}

    // A worker starts or stops holding descriptors. A stop closes them.
    void join();
    void leave();

    // Counts a descriptor closed by a worker and wakes those waiting.
    void released() noexcept
    {
        m_epoch.fetch_add(1);
        if (m_waiting.load() > 0)
            wake();
    }

    // How many descriptors were closed so far: read before an open, and
    // passed to wait() when the open is refused, so that one closed in
    // between is not missed.
    std::uint64_t epoch() const noexcept { return m_epoch.load(); }

    // Blocks until a descriptor has been closed since `seen` (true), or
    // until every worker holding descriptors waits (the last resort's
    // answer; false without one).
    bool wait(std::uint64_t seen);

private:
    void wake();

    std::function<bool()> m_lastResort;
    std::atomic<std::uint64_t> m_epoch{0};
    std::atomic<unsigned> m_waiting{0};
    unsigned m_active = 0;
    std::mutex m_mutex;
    std::condition_variable m_cv;
};

// The folders from the top of a subtree down to the current one, each with
// the identity it was listed with and the caller's `Data`. At most `bound`
// of them hold a descriptor: the current (deepest) folder always, then the
// top while it can, then the deepest of the others; the rest are closed and
// opened again through ".." of their child on the way back up, only if
// ".." is still the folder recorded on the way down. Whatever the depth,
// then, a path holds a fixed number of descriptors, and a folder moved
// away while the walk is below it never leads the climb outside.
//
// Short of descriptors (EMFILE, ENFILE), a step closes this path's
// shallowest held folder and tries again; with only the current folder
// left it waits for another worker (see DescriptorWaits).
template <class Data>
class FolderPath {
public:
    struct Level {
        UniqueFd fd; // invalid while closed
        MountIdentity id;
        bool reopened = false; // opened again through ".." since the caller last cleared it
        Data data{};
    };

    explicit FolderPath(unsigned bound = 2, DescriptorWaits* waits = nullptr) : m_waits(waits) { setBound(bound); }

    // Descriptors held at most, at least 1 (the current folder).
    void setBound(unsigned bound) { m_bound = std::max(1u, bound); }
    unsigned bound() const { return m_bound; }

    bool empty() const { return m_levels.empty(); }
    std::size_t size() const { return m_levels.size(); }
    Level& back() { return m_levels.back(); }
    Level& operator[](std::size_t i) { return m_levels[i]; }
    const Level& operator[](std::size_t i) const { return m_levels[i]; }

    // How many levels hold a descriptor.
    unsigned held() const
    {
        return m_levels.empty() ? 0 : static_cast<unsigned>(m_levels.size() - m_firstHeld) + (m_topHeld ? 1 : 0);
    }

    // Starts a new path at the open folder `top`, dropping the former one.
    void start(UniqueFd top, const MountIdentity& id)
    {
        clear();
        m_levels.push_back(Level{std::move(top), id});
    }

    // Starts a new path at `name` in the open folder `parent` (borrowed),
    // listed as `listed`. 0, or the errno of openListedFolder.
    int start(int parent, const char* name, const MountIdentity& listed)
    {
        clear();
        UniqueFd fd = openWhenAllowed([&] { return openListedFolder(parent, name, listed); });
        if (!fd)
            return errno;
        start(std::move(fd), listed);
        return 0;
    }

    // Opens `name`, listed as `listed`, in the current folder and makes it
    // the current one. 0, or the errno of openListedFolder.
    int descend(const char* name, const MountIdentity& listed)
    {
        UniqueFd fd = openWhenAllowed([&] { return openListedFolder(m_levels.back().fd.get(), name, listed); });
        if (!fd)
            return errno;
        m_levels.push_back(Level{std::move(fd), listed});
        while (held() > m_bound && closeShallowest()) {
        }
        return 0;
    }

    // Leaves the current folder (not the top) for its parent, which is
    // opened again through ".." when it was closed. 0; ESTALE when ".." is
    // no longer the parent recorded on the way down (a folder on the path
    // was moved: see dropUnreachable), or the errno of opening it. Nothing
    // changes on an error.
    int ascend()
    {
        const std::size_t parent = m_levels.size() - 2;
        if (!m_levels[parent].fd) {
            UniqueFd fd =
                openWhenAllowed([&] { return UniqueFd(::openat(m_levels.back().fd.get(), "..", kFolderOpenFlags)); });
            if (!fd)
                return errno;
            MountIdentity found;
            if (!identifyOpen(fd.get(), found))
                return errno;
            Level& up = m_levels[parent];
            if (!found.sameFile(up.id) || !found.sameMount(up.id))
                return ESTALE;
            up.fd = std::move(fd);
            up.reopened = true;
            if (parent == 0)
                m_topHeld = true;
            else
                m_firstHeld = parent;
        }
        m_levels.pop_back();
        m_firstHeld = std::min(m_firstHeld, m_levels.size());
        closed();
        return 0;
    }

    // After a climb refused with ESTALE: the closed part of the path is out
    // of reach. Drops every level below the top, and the top as well when it
    // was closed; returns how many levels were dropped.
    std::size_t dropUnreachable()
    {
        const std::size_t before = m_levels.size();
        if (m_topHeld) {
            while (m_levels.size() > 1)
                m_levels.pop_back();
            m_firstHeld = 1;
            closed();
        } else {
            clear();
        }
        return before - m_levels.size();
    }

    // Drops every level, closing their descriptors.
    void clear()
    {
        const bool any = !m_levels.empty();
        m_levels.clear();
        m_firstHeld = 1;
        m_topHeld = true;
        if (any)
            closed();
    }

    // Closes the shallowest held folder but the current one, the top last.
    // False when only the current one is held.
    bool closeShallowest()
    {
        const std::size_t n = m_levels.size();
        if (n >= 2 && m_firstHeld + 1 < n) {
            m_levels[m_firstHeld++].fd.reset();
        } else if (n >= 2 && m_topHeld) {
            m_levels[0].fd.reset();
            m_topHeld = false;
        } else {
            return false;
        }
        closed();
        return true;
    }

private:
    // Runs `open` until it gives a descriptor or fails for another reason
    // than a lack of them, closing this path's shallowest folders and then
    // waiting for other workers in between.
    template <class Open>
    UniqueFd openWhenAllowed(const Open& open)
    {
        for (;;) {
            const std::uint64_t seen = m_waits ? m_waits->epoch() : 0;
            UniqueFd fd = open();
            if (fd || !outOfDescriptors(errno))
                return fd;
            const int error = errno;
            if (closeShallowest())
                continue;
            if (m_waits && m_waits->wait(seen))
                continue;
            errno = error;
            return fd;
        }
    }

    void closed()
    {
        if (m_waits)
            m_waits->released();
    }

    std::vector<Level> m_levels;
    // Held: the top (level 0) while m_topHeld, and the levels from
    // m_firstHeld (at least 1) to the current one.
    std::size_t m_firstHeld = 1;
    bool m_topHeld = true;
    unsigned m_bound = 2;
    DescriptorWaits* m_waits = nullptr;
};

} // namespace headroom
