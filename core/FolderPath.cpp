#include "core/FolderPath.h"

namespace headroom {

UniqueFd openListedFolder(int parent, const char* name, const MountIdentity& listed)
{
    UniqueFd fd(::openat(parent, name, kFolderOpenFlags));
    if (!fd)
        return fd;
    // Between the listing and the open, the name may have come to stand
    // for a mount point or for another folder moved there.
    MountIdentity found;
    if (!identifyOpen(fd.get(), found))
        return UniqueFd();
    if (!found.sameMount(listed)) {
        fd.reset();
        errno = EXDEV;
    } else if (!found.sameFile(listed)) {
        fd.reset();
        errno = ESTALE;
    }
    return fd;
}

void DescriptorWaits::join()
{
    const std::lock_guard lock(m_mutex);
    ++m_active;
}

void DescriptorWaits::leave()
{
    {
        const std::lock_guard lock(m_mutex);
        --m_active;
    }
    // Those waiting may now be all that is left.
    m_cv.notify_all();
}

void DescriptorWaits::wake()
{
    // Taking the lock orders this wake after a waiter's last look at the
    // epoch, so the waiter is either past that look or already asleep.
    {
        const std::lock_guard lock(m_mutex);
    }
    m_cv.notify_all();
}

bool DescriptorWaits::wait(std::uint64_t seen)
{
    std::unique_lock lock(m_mutex);
    m_waiting.fetch_add(1);
    for (;;) {
        if (m_epoch.load() != seen) {
            m_waiting.fetch_sub(1);
            return true;
        }
        if (m_waiting.load() >= m_active) {
            m_waiting.fetch_sub(1);
            lock.unlock();
            return m_lastResort && m_lastResort();
        }
        m_cv.wait(lock);
    }
}

} // namespace headroom
