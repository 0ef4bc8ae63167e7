#include "core/WorkPolicy.h"

#include "core/DirEntries.h"
#include "core/UniqueFd.h"

#include <algorithm>
#include <new>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>

// Both the walker and the removal wait on the disk far more than they
// compute: on a cold cache most threads sleep on inode reads, which the disk
// serves several at a time. So both run more threads than there are cores.
//
// Both take at most half of RLIMIT_NOFILE, leaving the other half to the
// rest of the process (the tray application, the CLI's output, another walk
// running at the same time), and no more than the process has free when
// they start. With only a few free, they run fewer threads, each holding
// fewer folders, without rings; whatever the plan, both still cope with a
// descriptor refused (see FolderPath).

namespace headroom::work {
namespace {

// Descriptors one walker thread holds at most: 256 levels of a path is far
// more than the walk needs to keep the climb back up cheap.
constexpr unsigned kWalkMaxFoldersPerWorker = 256;

// A walker thread is worth its start only with this many descriptors: a
// path of a few folders, one more while it opens the next, its slot in the
// shared queue and a ring.
constexpr unsigned kWalkDescriptorsPerThread = 8;

unsigned cores()
{
    return std::thread::hardware_concurrency();
}

// How many descriptors the process has open; -1 when it cannot tell, 0
// left free when it cannot even open the folder that lists them.
long openDescriptors(bool& noneFree)
{
    noneFree = false;
    UniqueFd fd(::open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) {
        noneFree = errno == EMFILE || errno == ENFILE;
        return -1;
    }
    try {
        DirEntries entries(4096);
        long count = 0;
        while (entries.read(fd.get())) {
            for ([[maybe_unused]] const DirEntry& e : entries)
                ++count;
        }
        return count - 1; // not the one listing them
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

} // namespace

// An unreadable limit counts as the usual 1024, an unlimited one as 2^20.
unsigned descriptorBudget()
{
    rlim_t limit = 1024;
    struct rlimit rl {};
    if (::getrlimit(RLIMIT_NOFILE, &rl) == 0)
        limit = rl.rlim_cur;
    if (limit == RLIM_INFINITY || limit > 1u << 20)
        limit = 1u << 20;
    const auto half = static_cast<unsigned>(limit / 2);
    bool noneFree = false;
    const long open = openDescriptors(noneFree);
    if (noneFree)
        return 0;
    if (open < 0)
        return half;
    const long free = static_cast<long>(limit) - open;
    return static_cast<unsigned>(std::clamp<long>(free, 0, half));
}

// Measured on 2 cores and 500,000 entries: 8 threads beat 4 by about a
// fifth on a cold cache and cost nothing warm. Each thread's folders share
// the budget left once each has its queue slot, its ring and one more for
// the folder it is opening.
WalkPlan walkPlan(unsigned threads, unsigned folders, bool rings)
{
    const unsigned budget = descriptorBudget();
    WalkPlan plan;
    const unsigned wanted = threads ? threads : std::clamp(2 * cores(), 8u, 64u);
    plan.threads = std::clamp(budget / kWalkDescriptorsPerThread, 1u, wanted);
    // A ring is a speed-up that costs a descriptor per worker: where the
    // process may open only a few, those go to the folders and every entry
    // is stat'ed with plain calls, which need none.
    plan.rings = rings && budget >= 128 + 2 * plan.threads;
    const unsigned slots = plan.threads > 1 ? plan.threads : 0;
    const unsigned others = slots + (plan.rings ? plan.threads : 0) + plan.threads;
    const unsigned fit = budget > others ? (budget - others) / plan.threads : 1;
    plan.foldersPerWorker = std::clamp(fit, 1u, kWalkMaxFoldersPerWorker);
    if (folders)
        plan.foldersPerWorker = std::min(folders, plan.foldersPerWorker);
    return plan;
}

// Between 4 and 8 threads, 2 per core; fewer when that many would hold more
// than the budget (each holds kRemovalHeldFolders + 1 folders, and one more
// while it opens the next), and then each holds fewer.
RemovalPlan removalPlan(unsigned threads)
{
    const unsigned budget = descriptorBudget();
    RemovalPlan plan;
    const unsigned wanted = threads ? threads : std::clamp(2 * cores(), 4u, 8u);
    plan.threads = std::clamp(budget / (kRemovalHeldFolders + 2), 1u, wanted);
    const unsigned fit = budget / plan.threads;
    plan.heldFolders = std::clamp(fit > 2 ? fit - 2 : 1u, 1u, kRemovalHeldFolders);
    return plan;
}

} // namespace headroom::work
