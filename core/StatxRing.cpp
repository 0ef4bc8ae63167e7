#include "core/StatxRing.h"

#include <cerrno>
#include <cstdint>
#include <new>
#include <utility>

#include <liburing.h>

// liburing sets the ring up (the queues it shares with the kernel) and
// submits and waits; only statx requests are ever queued on it.

namespace headroom {
namespace {

// Results that say the request itself did not run rather than what the
// file is: those entries are stat'ed again with a plain call.
bool notRun(int error)
{
    return error == ECANCELED || error == EINTR || error == EAGAIN || error == EOPNOTSUPP || error == EINVAL;
}

bool kernelHasStatxOp(io_uring& ring)
{
    io_uring_probe* probe = io_uring_get_probe_ring(&ring);
    const bool has = probe && io_uring_opcode_supported(probe, IORING_OP_STATX);
    io_uring_free_probe(probe);
    return has;
}

// Failed waits in a row after which requests in flight are given up.
constexpr unsigned kWaitAttempts = 100;

} // namespace

struct StatxRing::Uring {
    io_uring ring{};
};

std::unique_ptr<StatxRing> StatxRing::open()
{
    std::unique_ptr<StatxRing> ring(new (std::nothrow) StatxRing);
    if (!ring)
        return nullptr;
    ring->m_results.reset(new (std::nothrow) struct statx[kCapacity]);
    ring->m_errors.reset(new (std::nothrow) int[kCapacity]);
    ring->m_done.reset(new (std::nothrow) bool[kCapacity]);
    std::unique_ptr<Uring> uring(new (std::nothrow) Uring);
    if (!ring->m_results || !ring->m_errors || !ring->m_done || !uring
        || io_uring_queue_init(kCapacity, &uring->ring, 0) < 0)
        return nullptr;
    ring->m_uring = std::move(uring); // from here the destructor takes the ring down
    const io_uring& u = ring->m_uring->ring;
    if (u.sq.ring_entries < kCapacity || u.cq.ring_entries < kCapacity || !kernelHasStatxOp(ring->m_uring->ring))
        return nullptr;
    return ring;
}

StatxRing::~StatxRing()
{
    // Nothing is in flight here: stat() waits for every request it handed
    // over, or keeps their buffers for good.
    if (m_uring)
        io_uring_queue_exit(&m_uring->ring);
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
// without a completion then have m_done false. Requests it never took stay
// queued in a ring that is then never entered again.
bool StatxRing::submitAndWait(int dirfd, const char* const* names, unsigned count, int flags, unsigned mask)
{
    io_uring& ring = m_uring->ring;
    unsigned queued = 0;
    // The queue is empty between batches and holds kCapacity entries.
    for (; queued < count; ++queued) {
        io_uring_sqe* sqe = io_uring_get_sqe(&ring);
        if (!sqe)
            break;
        io_uring_prep_statx(sqe, dirfd, names[queued], flags, mask, &m_results[queued]);
        io_uring_sqe_set_data64(sqe, queued);
    }

    unsigned reaped = 0;
    unsigned failures = 0;
    for (;;) {
        unsigned head = 0;
        unsigned seen = 0;
        io_uring_cqe* cqe = nullptr;
        io_uring_for_each_cqe(&ring, head, cqe)
        {
            ++seen;
            const std::uint64_t i = io_uring_cqe_get_data64(cqe);
            if (i < queued && !m_done[i]) {
                m_errors[i] = cqe->res < 0 ? -cqe->res : 0;
                m_done[i] = true;
                ++reaped;
            }
        }
        io_uring_cq_advance(&ring, seen);
        if (reaped == queued)
            return queued == count;

        const int submitted = io_uring_submit_and_wait(&ring, queued - reaped);
        if (submitted >= 0 || submitted == -EINTR) {
            failures = 0;
            continue;
        }
        // Out of memory or resources. Requests in flight are waited for;
        // with none left, the entries not taken are done with plain statx.
        const unsigned inFlight = queued - io_uring_sq_ready(&ring) - reaped;
        if (inFlight > 0 && ++failures < kWaitAttempts) {
            const int waited = io_uring_wait_cqe(&ring, &cqe);
            if (waited >= 0 || waited == -EINTR)
                failures = 0;
            continue;
        }
        if (inFlight > 0) {
            // The kernel will neither run nor report them. Their results
            // may still be written later: keep those buffers for good and
            // give the plain calls fresh ones.
            (void)m_results.release();
            m_results.reset(new struct statx[kCapacity]);
        }
        return false;
    }
}

} // namespace headroom
