#include "core/WorkPolicy.h"

#include <algorithm>
#include <thread>

#include <sys/resource.h>

// Both the walker and the removal wait on the disk far more than they
// compute: on a cold cache most threads sleep on inode reads, which the disk
// serves several at a time. So both run more threads than there are cores.
//
// Both bound the descriptors they hold to half of RLIMIT_NOFILE, leaving the
// other half to the rest of the process (the tray application, the CLI's
// output, another walk running at the same time).

namespace headroom::work {
namespace {

// Descriptors one walker thread holds at most: 256 levels of a path is far
// more than the walk needs to keep the climb back up cheap.
constexpr unsigned kWalkMaxFoldersPerWorker = 256;

unsigned cores()
{
    return std::thread::hardware_concurrency();
}

// The soft RLIMIT_NOFILE; false when it cannot be read.
bool openFileLimit(rlim_t& limit)
{
    struct rlimit rl {};
    if (::getrlimit(RLIMIT_NOFILE, &rl) != 0)
        return false;
    limit = rl.rlim_cur;
    return true;
}

} // namespace

// Measured on 2 cores and 500,000 entries: 8 threads beat 4 by about a
// fifth on a cold cache and cost nothing warm.
unsigned walkThreads()
{
    return std::clamp(2 * cores(), 8u, 64u);
}

// Half of what the process may open, shared among the workers, with two
// per worker left for the subtrees handed from one worker to another. An
// unreadable limit counts as the usual 1024, an unlimited one as 2^20.
unsigned walkFoldersPerWorker(unsigned workers)
{
    rlim_t limit = 1024;
    openFileLimit(limit);
    if (limit == RLIM_INFINITY || limit > 1u << 20)
        limit = 1u << 20;
    const auto usable = static_cast<unsigned>(limit / 2);
    const unsigned perWorker = usable > 2 * workers ? (usable - 2 * workers) / workers : 2;
    return std::clamp(perWorker, 2u, kWalkMaxFoldersPerWorker);
}

// A ring is a speed-up that costs a descriptor per worker: where the
// process may open only a few, those go to the folders and every entry is
// stat'ed with plain calls, which need none.
bool walkRingsAffordable(unsigned workers)
{
    rlim_t limit = 0;
    if (!openFileLimit(limit))
        return false;
    return limit == RLIM_INFINITY || limit >= 256 + 4 * static_cast<rlim_t>(workers);
}

// Between 4 and 8 threads, 2 per core; fewer when that many would hold more
// than half of the descriptor limit (each holds kRemovalHeldFolders + 1
// folders, and one more while it opens the next).
unsigned removalThreads(unsigned requested)
{
    if (requested > 0)
        return requested;
    unsigned threads = std::clamp(2 * cores(), 4u, 8u);
    rlim_t limit = 0;
    if (openFileLimit(limit) && limit != RLIM_INFINITY) {
        const rlim_t fit = limit / 2 / (kRemovalHeldFolders + 2);
        threads = static_cast<unsigned>(std::clamp<rlim_t>(fit, 1, threads));
    }
    return threads;
}

} // namespace headroom::work
