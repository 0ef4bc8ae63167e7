#include "core/StatxRing.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <linux/io_uring.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

// The ring is driven with the raw system calls: three mappings shared with
// the kernel (submission queue, completion queue, submission entries), and
// io_uring_enter to submit and wait. Only the fields a statx request needs
// are used, so no helper library is required.

namespace headroom {
namespace {

template <typename T>
T* at(void* base, std::uint32_t offset)
{
    return reinterpret_cast<T*>(static_cast<char*>(base) + offset); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
}

unsigned loadAcquire(unsigned* p)
{
    return std::atomic_ref<unsigned>(*p).load(std::memory_order_acquire);
}

void storeRelease(unsigned* p, unsigned v)
{
    std::atomic_ref<unsigned>(*p).store(v, std::memory_order_release);
}

long enter(int fd, unsigned toSubmit, unsigned minComplete)
{
    return ::syscall(SYS_io_uring_enter, fd, toSubmit, minComplete, IORING_ENTER_GETEVENTS, nullptr, 0);
}

// Results that say the request itself did not run rather than what the
// file is: those entries are stat'ed again with a plain call.
bool notRun(int error)
{
    return error == ECANCELED || error == EINTR || error == EAGAIN || error == EOPNOTSUPP || error == EINVAL;
}

bool kernelHasStatxOp(int ringFd)
{
    constexpr unsigned kOps = 256;
    const std::size_t size = sizeof(io_uring_probe) + kOps * sizeof(io_uring_probe_op);
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[size]());
    if (!buffer)
        return false;
    auto* probe = reinterpret_cast<io_uring_probe*>(buffer.get()); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
    if (::syscall(SYS_io_uring_register, ringFd, IORING_REGISTER_PROBE, probe, kOps) != 0)
        return false;
    return probe->last_op >= IORING_OP_STATX && (probe->ops[IORING_OP_STATX].flags & IO_URING_OP_SUPPORTED) != 0;
}

} // namespace

struct StatxRing::Mapping {
    void* rings = MAP_FAILED;
    std::size_t ringsSize = 0;
    void* cqRing = MAP_FAILED; // MAP_FAILED when the kernel maps both queues at once
    std::size_t cqRingSize = 0;
    void* sqes = MAP_FAILED;
    std::size_t sqesSize = 0;

    unsigned* sqHead = nullptr;
    unsigned* sqTail = nullptr;
    unsigned sqMask = 0;
    unsigned* sqArray = nullptr;
    unsigned* cqHead = nullptr;
    unsigned* cqTail = nullptr;
    unsigned cqMask = 0;
    io_uring_cqe* cqes = nullptr;

    Mapping() = default;
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;
    ~Mapping()
    {
        if (sqes != MAP_FAILED)
            ::munmap(sqes, sqesSize);
        if (cqRing != MAP_FAILED)
            ::munmap(cqRing, cqRingSize);
        if (rings != MAP_FAILED)
            ::munmap(rings, ringsSize);
    }

    bool map(int fd, const io_uring_params& p)
    {
        const std::size_t sqSize = p.sq_off.array + p.sq_entries * sizeof(unsigned);
        const std::size_t cqSize = p.cq_off.cqes + p.cq_entries * sizeof(io_uring_cqe);
        const bool single = (p.features & IORING_FEAT_SINGLE_MMAP) != 0;
        ringsSize = single ? std::max(sqSize, cqSize) : sqSize;
        rings = ::mmap(nullptr, ringsSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, IORING_OFF_SQ_RING);
        if (rings == MAP_FAILED)
            return false;
        void* cq = rings;
        if (!single) {
            cqRingSize = cqSize;
            cqRing = ::mmap(nullptr, cqRingSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, IORING_OFF_CQ_RING);
            if (cqRing == MAP_FAILED)
                return false;
            cq = cqRing;
        }
        sqesSize = p.sq_entries * sizeof(io_uring_sqe);
        sqes = ::mmap(nullptr, sqesSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, IORING_OFF_SQES);
        if (sqes == MAP_FAILED)
            return false;
        sqHead = at<unsigned>(rings, p.sq_off.head);
        sqTail = at<unsigned>(rings, p.sq_off.tail);
        sqMask = *at<unsigned>(rings, p.sq_off.ring_mask);
        sqArray = at<unsigned>(rings, p.sq_off.array);
        cqHead = at<unsigned>(cq, p.cq_off.head);
        cqTail = at<unsigned>(cq, p.cq_off.tail);
        cqMask = *at<unsigned>(cq, p.cq_off.ring_mask);
        cqes = at<io_uring_cqe>(cq, p.cq_off.cqes);
        return true;
    }
};

std::unique_ptr<StatxRing> StatxRing::open()
{
    io_uring_params params {};
    const int fd = static_cast<int>(::syscall(SYS_io_uring_setup, kCapacity, &params));
    if (fd < 0)
        return nullptr;
    std::unique_ptr<StatxRing> ring(new (std::nothrow) StatxRing);
    if (!ring) {
        ::close(fd);
        return nullptr;
    }
    ring->m_fd = fd;
    ring->m_map.reset(new (std::nothrow) Mapping);
    ring->m_results.reset(new (std::nothrow) struct statx[kCapacity]);
    ring->m_errors.reset(new (std::nothrow) int[kCapacity]);
    ring->m_done.reset(new (std::nothrow) bool[kCapacity]);
    if (!ring->m_map || !ring->m_results || !ring->m_errors || !ring->m_done || params.sq_entries < kCapacity
        || params.cq_entries < kCapacity || !ring->m_map->map(fd, params) || !kernelHasStatxOp(fd))
        return nullptr;
    return ring;
}

StatxRing::~StatxRing()
{
    // Nothing is in flight here (stat() waits for every request or keeps
    // the buffers), so the mappings can go before the ring itself.
    m_map.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

void StatxRing::stat(int dirfd, const char* const* names, unsigned count, int flags, unsigned mask)
{
    for (unsigned i = 0; i < count; ++i)
        m_done[i] = false;
    if (!m_broken && !submitAndWait(dirfd, names, count, flags, mask))
        m_broken = true;
    for (unsigned i = 0; i < count; ++i) {
        if (m_done[i] && !notRun(m_errors[i]))
            continue;
        m_errors[i] = ::statx(dirfd, names[i], flags, mask, &m_results[i]) == 0 ? 0 : errno;
    }
}

// Queues every name, then submits and reaps until each request has its
// completion. False when the kernel stopped taking requests; entries
// without a completion then have m_done false.
bool StatxRing::submitAndWait(int dirfd, const char* const* names, unsigned count, int flags, unsigned mask)
{
    Mapping& m = *m_map;
    const unsigned tail0 = *m.sqTail; // only this thread writes the tail
    for (unsigned i = 0; i < count; ++i) {
        const unsigned index = (tail0 + i) & m.sqMask;
        io_uring_sqe& sqe = reinterpret_cast<io_uring_sqe*>(m.sqes)[index]; // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
        std::memset(&sqe, 0, sizeof sqe);
        sqe.opcode = IORING_OP_STATX;
        sqe.fd = dirfd;
        sqe.addr = reinterpret_cast<std::uintptr_t>(names[i]);   // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
        sqe.off = reinterpret_cast<std::uintptr_t>(&m_results[i]); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
        sqe.len = mask;
        sqe.statx_flags = static_cast<std::uint32_t>(flags);
        sqe.user_data = i;
        m.sqArray[index] = index;
    }
    storeRelease(m.sqTail, tail0 + count);

    unsigned reaped = 0;
    unsigned failures = 0;
    for (;;) {
        unsigned head = *m.cqHead;
        const unsigned cqTail = loadAcquire(m.cqTail);
        for (; head != cqTail; ++head) {
            const io_uring_cqe& cqe = m.cqes[head & m.cqMask];
            if (cqe.user_data < count && !m_done[cqe.user_data]) {
                m_errors[cqe.user_data] = cqe.res < 0 ? -cqe.res : 0;
                m_done[cqe.user_data] = true;
                ++reaped;
            }
        }
        storeRelease(m.cqHead, head);
        if (reaped == count)
            return true;

        const unsigned consumed = loadAcquire(m.sqHead) - tail0;
        const unsigned toSubmit = count - consumed;
        if (enter(m_fd, toSubmit, count - reaped) >= 0 || errno == EINTR) {
            failures = 0;
            continue;
        }
        // Out of memory or resources. Requests in flight are waited for;
        // with none left, the entries not taken are taken back from the
        // queue and done with plain statx.
        const unsigned inFlight = (loadAcquire(m.sqHead) - tail0) - reaped;
        if (inFlight > 0 && ++failures < 100) {
            if (enter(m_fd, 0, 1) >= 0 || errno == EINTR)
                failures = 0;
            continue;
        }
        if (inFlight > 0) {
            // The kernel will neither run nor report them. Their results
            // may still be written later: keep those buffers for good and
            // give the plain calls fresh ones.
            (void)m_results.release();
            m_results.reset(new struct statx[kCapacity]);
        } else {
            storeRelease(m.sqTail, loadAcquire(m.sqHead));
        }
        return false;
    }
}

} // namespace headroom
