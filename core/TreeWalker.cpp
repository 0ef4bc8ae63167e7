#include "core/TreeWalker.h"

// The walk in outline
//
// Each worker walks one subtree at a time depth-first, relative to open
// directory descriptors. A folder is read in batches with getdents64; every
// entry of a batch is measured with statx (the size is needed for each, so
// there is one stat per entry whatever d_type says; a big batch goes to the
// kernel through an io_uring in one call, see StatxRing), and the names of the
// batch's subfolders are pushed on a per-worker stack of names, which the
// worker then pops to descend. Popping in LIFO order keeps the name stack
// as small as the unvisited siblings along the current path. The stack has
// a byte cap: when a batch would overflow it, the batch stops at that
// subfolder and the folder is later resumed from the getdents cookie (d_off)
// of the last entry taken.
//
// Descriptors: each level of the path holds one descriptor while it has
// work left. A worker holds at most `maxOpenFolders`; beyond that the
// shallowest ones are closed, except the subtree's own top folder. A closed
// level is reopened through ".." of its child when the walk climbs back to
// it, and only if the folder found there has the device and inode recorded
// on the way down: if the tree was moved
// meanwhile, the closed part of the path is abandoned and counted as an
// error rather than walking somewhere else, and the walk resumes at the
// subtree's top folder. The reopened folder is repositioned with lseek to
// its cookie.
//
// Mounts: every entry's statx carries the mount ID (see MountIdentity); an
// entry on another mount than the root (a mount point, a bind mount of a folder or of a file,
// a bind mount of an ancestor) adds nothing and is not entered. A removal
// could not take a mount point away (EBUSY), so its entry is not counted
// either. Folders are opened with openat2 RESOLVE_NO_XDEV where the kernel
// has it, so a mount made between the stat and the open is not entered.
//
// Threads: workers that run dry take their next subtree from a small shared
// queue (one slot per worker). After each batch a busy worker tops the queue
// up, with one relaxed load, from the shallowest subfolders it has not
// entered yet, opened, each a new subtree; it always keeps one for itself.
// A cancel flag is looked at before every step of a worker (one batch read
// or one folder entered); once it is set, each worker drops its subtree and
// the subtrees still queued, and the walk ends with what it had counted.
// Memory per worker is one getdents buffer, the capped name stack and 72
// bytes per level of depth; nothing grows with the size of the tree.
//
// How many workers and how many descriptors each: see WorkPolicy.cpp.

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "core/DirEntries.h"
#include "core/Location.h"
#include "core/MountIdentity.h"
#include "core/StatxRing.h"
#include "core/WorkPolicy.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace headroom {
namespace {

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr unsigned kStatxMask = STATX_TYPE | STATX_SIZE | STATX_MNT_ID;
constexpr int kStatxFlags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT;
constexpr std::size_t kNameStackCap = std::size_t{256} * 1024;
constexpr std::size_t kMaxName = 255;
// Batches smaller than this are stat'ed with plain calls: the ring's
// round trip only pays off over many entries.
constexpr std::size_t kRingMinBatch = 16;

// A subfolder noted for later: its identity as its entry's statx gave it,
// and where its name's bytes sit in the worker's name buffer.
struct NameRecord {
    MountIdentity id;
    std::uint32_t nameAt = 0;
    std::uint8_t length = 0;
    bool taken = false; // handed to another worker as a subtree of its own
};

// Name stack bytes a subfolder may take: its record and the longest name.
constexpr std::size_t kNotedPerFolder = sizeof(NameRecord) + kMaxName;

bool mayBeFolder(unsigned char type)
{
    return type == DT_DIR || type == DT_UNKNOWN;
}

bool ignorableError(int error)
{
    // The entry vanished between listing and measuring: the tree changed,
    // nothing was unreadable.
    return error == ENOENT;
}

void closeFd(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

// 1: openat2 works, -1: the kernel (or a filter) lacks it, 0: not tried yet.
std::atomic<int> g_openat2{0};

struct Task {
    int fd = -1;
    MountIdentity id;
    std::size_t depth = 0;
};

class Walk;

class Worker {
public:
    explicit Worker(Walk& walk);
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    void run() noexcept;
    const WalkResult& result() const { return m_result; }

private:
    struct Level {
        int fd = -1;
        MountIdentity id;
        std::int64_t cookie = 0;  // d_off after the last entry taken
        std::size_t recsBase = 0; // first name record of this level
        std::size_t shareHint = 0;
        bool eof = false;
        bool seek = false; // reposition to `cookie` before the next read
    };

    struct Name {
        MountIdentity id;
        char bytes[kMaxName + 1] = {};
    };

    void walkTask(const Task& task);
    void pushLevel(int fd, const MountIdentity& id);
    bool popName(Name& out);
    void descend(const Name& name);
    void readBatch(Level& level);
    void measure(const Level& level, const char* name);
    void measureSorted(const Level& level);
    void count(int error, const struct statx& sx, const char* name);
    StatxRing* ring();
    void ascend();
    void abandonTask();
    void clearTask();
    void abandonClosedPath();
    void share();
    bool shareOne();
    void pushName(const char* name, std::size_t length, const MountIdentity& id);
    void copyName(const NameRecord& rec, Name& out) const;
    std::size_t notedBytes() const { return m_names.size() + m_recs.size() * sizeof(NameRecord); }
    bool closeShallowest();
    int openFolder(int parent, const char* name, bool mayCloseShallowest);

    Walk& m_walk;
    std::optional<DirEntries> m_entries;
    std::vector<Level> m_stack;
    std::vector<NameRecord> m_recs;      // subfolders not entered yet, of every level
    std::vector<char> m_names;           // their names' bytes
    std::vector<std::pair<std::uint64_t, std::uint32_t>> m_order; // batch: inode, record
    std::size_t m_firstOpen = 1;         // levels 1 .. m_firstOpen-1 are closed
    unsigned m_open = 0;
    std::size_t m_pending = 0;           // records not handed to another worker
    std::size_t m_taskDepth = 0;
    std::unique_ptr<StatxRing> m_ring;
    bool m_ringTried = false;
    std::array<const char*, StatxRing::kCapacity> m_batchNames {};
    WalkResult m_result;
};

class Walk {
public:
    Walk(const MountIdentity& root, const WalkOptions& options, unsigned workers, unsigned descriptorsPerWorker,
         bool rings)
        : m_root(root), m_options(options), m_descriptorsPerWorker(descriptorsPerWorker), m_rings(rings),
          m_queueCap(workers > 1 ? workers : 0), m_workers(workers)
    {
    }

    ~Walk()
    {
        for (const Task& t : m_queue)
            closeFd(t.fd);
    }

    void seed(const Task& task) { m_queue.push_back(task); }

    // The next subtree to walk, or nothing once every worker has run dry.
    std::optional<Task> take()
    {
        std::unique_lock lock(m_mutex);
        ++m_idle;
        for (;;) {
            if (!m_queue.empty()) {
                Task t = m_queue.front();
                m_queue.pop_front();
                m_queued.store(m_queue.size(), std::memory_order_relaxed);
                --m_idle;
                return t;
            }
            if (m_done || m_idle >= m_workers) {
                m_done = true;
                m_cv.notify_all();
                return std::nullopt;
            }
            m_cv.wait(lock);
        }
    }

    // Hands a subtree to an idle worker; false when the queue is full.
    bool give(const Task& task)
    {
        {
            std::lock_guard lock(m_mutex);
            if (m_queue.size() >= m_queueCap)
                return false;
            m_queue.push_back(task);
            m_queued.store(m_queue.size(), std::memory_order_relaxed);
        }
        m_cv.notify_one();
        return true;
    }

    // Whether give() might take another subtree: one relaxed load.
    bool wantsMore() const
    {
        return m_queueCap > 0 && m_queued.load(std::memory_order_relaxed) < m_queueCap;
    }

    // A planned worker thread could not be started.
    void dropWorker()
    {
        {
            std::lock_guard lock(m_mutex);
            --m_workers;
        }
        m_cv.notify_all();
    }

    void merge(const WalkResult& r)
    {
        std::lock_guard lock(m_mutex);
        m_total.bytes += r.bytes;
        m_total.entries += r.entries;
        m_total.errors += r.errors;
    }

    WalkResult total()
    {
        std::lock_guard lock(m_mutex);
        return m_total;
    }

    bool cancelled() const { return m_options.cancel && m_options.cancel->load(std::memory_order_relaxed); }

    const MountIdentity& root() const { return m_root; }
    const WalkOptions& options() const { return m_options; }
    unsigned descriptorsPerWorker() const { return m_descriptorsPerWorker; }
    bool rings() const { return m_rings; } // workers may open a StatxRing (one descriptor each)

private:
    const MountIdentity m_root;
    const WalkOptions& m_options;
    const unsigned m_descriptorsPerWorker;
    const bool m_rings;
    const std::size_t m_queueCap;
    std::atomic<std::size_t> m_queued{0};
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Task> m_queue;
    unsigned m_workers;
    unsigned m_idle = 0;
    bool m_done = false;
    WalkResult m_total;
};

Worker::Worker(Walk& walk) : m_walk(walk) {}

Worker::~Worker()
{
    for (const Level& l : m_stack)
        closeFd(l.fd);
}

void Worker::run() noexcept
{
    try {
        m_entries.emplace();
        m_names.reserve(kNameStackCap);
        m_order.reserve(DirEntries::kBufferSize / 24); // the smallest dirent record
    } catch (...) {
        // Without its buffers this worker takes no part; the others still
        // finish the walk, and it must not leave them waiting for it.
        m_entries.reset();
    }
    for (;;) {
        std::optional<Task> task = m_walk.take();
        if (!task)
            break;
        if (!m_entries) {
            // Put the subtree back for someone else if possible.
            if (!m_walk.give(*task)) {
                closeFd(task->fd);
                ++m_result.errors;
            }
            continue;
        }
        try {
            walkTask(*task);
        } catch (...) {
            ++m_result.errors;
            abandonTask();
        }
    }
    m_walk.merge(m_result);
}

void Worker::walkTask(const Task& task)
{
    clearTask();
    m_taskDepth = task.depth;
    pushLevel(task.fd, task.id);

    Name name;
    while (!m_stack.empty()) {
        // Once per step: a step reads at most one batch or enters one folder.
        if (m_walk.cancelled()) {
            abandonTask();
            return;
        }
        if (popName(name)) {
            descend(name);
            continue;
        }
        Level& top = m_stack.back();
        if (!top.eof) {
            readBatch(top);
            share();
            continue;
        }
        ascend();
    }
}

void Worker::pushLevel(int fd, const MountIdentity& id)
{
    Level level;
    level.fd = fd;
    level.id = id;
    level.recsBase = m_recs.size();
    level.shareHint = level.recsBase;
    m_stack.push_back(level);
    ++m_open;
    while (m_open > m_walk.descriptorsPerWorker() && closeShallowest()) {
    }
}

// The subtree's own folder (level 0) and the current one stay open: the
// first is where the walk resumes should a climb through ".." fail.
bool Worker::closeShallowest()
{
    if (m_firstOpen + 1 >= m_stack.size())
        return false;
    Level& l = m_stack[m_firstOpen];
    closeFd(l.fd);
    l.fd = -1;
    l.seek = true;
    --m_open;
    ++m_firstOpen;
    return true;
}

void Worker::copyName(const NameRecord& rec, Name& out) const
{
    out.id = rec.id;
    std::memcpy(out.bytes, &m_names[rec.nameAt], rec.length);
    out.bytes[rec.length] = '\0';
}

// Pops the top level's next subfolder name, dropping those handed away.
bool Worker::popName(Name& out)
{
    const std::size_t base = m_stack.back().recsBase;
    while (m_recs.size() > base) {
        const NameRecord rec = m_recs.back();
        if (!rec.taken) {
            copyName(rec, out);
            --m_pending;
        }
        m_recs.pop_back();
        m_names.resize(rec.nameAt);
        Level& top = m_stack.back();
        top.shareHint = std::min(top.shareHint, m_recs.size());
        if (!rec.taken)
            return true;
    }
    return false;
}

void Worker::pushName(const char* name, std::size_t length, const MountIdentity& id)
{
    NameRecord rec;
    rec.id = id;
    rec.nameAt = static_cast<std::uint32_t>(m_names.size());
    rec.length = static_cast<std::uint8_t>(length);
    m_names.insert(m_names.end(), name, name + length);
    m_recs.push_back(rec);
    ++m_pending;
}

int Worker::openFolder(int parent, const char* name, bool mayCloseShallowest)
{
    for (;;) {
        int fd = -1;
        if (g_openat2.load(std::memory_order_relaxed) >= 0) {
            struct open_how how {};
            how.flags = static_cast<std::uint64_t>(kDirFlags);
            how.resolve = RESOLVE_NO_XDEV | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
            fd = static_cast<int>(::syscall(SYS_openat2, parent, name, &how, sizeof how));
            if (fd < 0 && errno == ENOSYS) {
                g_openat2.store(-1, std::memory_order_relaxed);
                continue;
            }
        } else {
            fd = ::openat(parent, name, kDirFlags);
            if (fd >= 0) {
                // No openat2: check after the fact that no mount was crossed.
                struct statx sx {};
                if (::statx(fd, "", AT_EMPTY_PATH, kStatxMask, &sx) != 0
                    || !m_walk.root().sameMount(MountIdentity::of(sx))) {
                    ::close(fd);
                    errno = EXDEV;
                    return -1;
                }
            }
        }
        if (fd >= 0)
            return fd;
        if ((errno == EMFILE || errno == ENFILE) && mayCloseShallowest && closeShallowest())
            continue;
        return -1;
    }
}

void Worker::descend(const Name& name)
{
    const int fd = openFolder(m_stack.back().fd, name.bytes, true);
    if (fd < 0) {
        // EXDEV: a mount appeared there after the stat; not entered.
        if (!ignorableError(errno) && errno != EXDEV)
            ++m_result.errors;
        return;
    }
    pushLevel(fd, name.id);
    if (m_walk.options().onFolderEntered)
        m_walk.options().onFolderEntered(m_taskDepth + m_stack.size() - 1);
}

void Worker::readBatch(Level& level)
{
    if (level.seek) {
        if (::lseek(level.fd, level.cookie, SEEK_SET) < 0) {
            ++m_result.errors;
            level.eof = true;
            return;
        }
        level.seek = false;
    }
    const DirEntries& entries = *m_entries;
    if (!m_entries->read(level.fd)) {
        if (errno != 0 && !ignorableError(errno))
            ++m_result.errors;
        level.eof = true;
        return;
    }

    // First pass: note each entry and how many might be folders. When all
    // of those fit on the name stack, the batch is measured in inode order,
    // which on a cold cache reads the inode tables far more sequentially
    // than the hash order getdents returns.
    m_order.clear();
    std::size_t maybeFolders = 0;
    std::int64_t lastOff = level.cookie;
    for (const DirEntry& e : entries) {
        m_order.push_back({e.ino, e.at});
        maybeFolders += mayBeFolder(e.type) ? 1 : 0;
        lastOff = e.next;
    }
    if (notedBytes() + maybeFolders * kNotedPerFolder <= kNameStackCap) {
        std::sort(m_order.begin(), m_order.end());
        measureSorted(level);
        level.cookie = lastOff;
        return;
    }

    // The name stack could fill up: measure in listing order so the batch
    // can stop at the subfolder that does not fit and resume from the
    // cookie of the entry before it.
    lastOff = level.cookie;
    for (const DirEntry& e : entries) {
        if (mayBeFolder(e.type) && m_recs.size() > level.recsBase && notedBytes() + kNotedPerFolder > kNameStackCap) {
            // Finish the subfolders already noted, then come back to this
            // entry.
            level.cookie = lastOff;
            level.seek = true;
            return;
        }
        measure(level, e.name);
        lastOff = e.next;
    }
    level.cookie = lastOff;
}

// The ring is opened on the first batch big enough to use it, so small
// walks never pay for its setup.
StatxRing* Worker::ring()
{
    if (!m_ringTried && m_walk.rings()) {
        m_ringTried = true;
        m_ring = StatxRing::open();
    }
    return m_ring.get();
}

// Measures the batch noted in m_order, through the ring when there is one.
void Worker::measureSorted(const Level& level)
{
    const DirEntries& entries = *m_entries;
    StatxRing* const r = m_order.size() >= kRingMinBatch ? ring() : nullptr;
    if (!r) {
        for (const auto& [ino, at] : m_order)
            measure(level, entries.nameAt(at));
        return;
    }
    for (std::size_t first = 0; first < m_order.size(); first += StatxRing::kCapacity) {
        const auto n = static_cast<unsigned>(std::min<std::size_t>(StatxRing::kCapacity, m_order.size() - first));
        for (unsigned i = 0; i < n; ++i)
            m_batchNames[i] = entries.nameAt(m_order[first + i].second);
        r->stat(level.fd, m_batchNames.data(), n, kStatxFlags, kStatxMask);
        for (unsigned i = 0; i < n; ++i)
            count(r->error(i), r->result(i), m_batchNames[i]);
    }
    if (r->broken())
        m_ring.reset();
}

void Worker::measure(const Level& level, const char* name)
{
    struct statx sx;
    const int error = ::statx(level.fd, name, kStatxFlags, kStatxMask, &sx) == 0 ? 0 : errno;
    count(error, sx, name);
}

void Worker::count(int error, const struct statx& sx, const char* name)
{
    if (error != 0) {
        if (!ignorableError(error))
            ++m_result.errors;
        return;
    }
    const MountIdentity id = MountIdentity::of(sx);
    if (m_walk.root().sameMount(id)) {
        m_result.bytes += sx.stx_size;
        ++m_result.entries;
        if (S_ISDIR(sx.stx_mode))
            pushName(name, std::strlen(name), id);
    }
}

void Worker::ascend()
{
    const std::size_t top = m_stack.size() - 1;
    const int childFd = m_stack[top].fd;
    if (top > 0 && m_stack[top - 1].fd < 0) {
        Level& parent = m_stack[top - 1];
        const int fd = ::openat(childFd, "..", kDirFlags);
        MountIdentity found;
        if (fd < 0 || !identifyOpen(fd, found) || !found.sameFile(parent.id)) {
            // The folder was moved or replaced while we were below it: the
            // closed part of the path is out of reach. The walk goes on
            // from the subtree's own folder, which is still open.
            closeFd(fd);
            ++m_result.errors;
            abandonClosedPath();
            return;
        }
        parent.fd = fd;
        parent.seek = true;
        ++m_open;
        m_firstOpen = top - 1;
    }
    closeFd(childFd);
    --m_open;
    m_stack.pop_back();
}

void Worker::abandonClosedPath()
{
    const std::size_t firstDropped = m_stack[1].recsBase;
    while (m_stack.size() > 1) {
        closeFd(m_stack.back().fd);
        m_stack.pop_back();
    }
    if (firstDropped < m_recs.size()) {
        m_names.resize(m_recs[firstDropped].nameAt);
        m_recs.resize(firstDropped);
    }
    m_pending = 0;
    for (const NameRecord& rec : m_recs)
        m_pending += rec.taken ? 0 : 1;
    m_open = 1;
    m_firstOpen = 1;
}

void Worker::abandonTask()
{
    for (Level& l : m_stack) {
        closeFd(l.fd);
        l.fd = -1;
    }
    clearTask();
}

// Forgets the subtree's levels and names; their descriptors are closed.
void Worker::clearTask()
{
    m_stack.clear();
    m_recs.clear();
    m_names.clear();
    m_pending = 0;
    m_open = 0;
    m_firstOpen = 1;
}

// Keeps the shared queue stocked with the shallowest subfolders not yet
// entered (while this worker keeps at least one for itself), so a worker
// that runs dry finds its next subtree waiting instead of waiting for a
// busy one to reach its next batch.
void Worker::share()
{
    while (m_pending >= 2 && m_walk.wantsMore() && shareOne()) {
    }
}

bool Worker::shareOne()
{
    for (std::size_t i = 0; i < m_stack.size(); ++i) {
        Level& level = m_stack[i];
        if (level.fd < 0)
            continue;
        const std::size_t end = i + 1 < m_stack.size() ? m_stack[i + 1].recsBase : m_recs.size();
        std::size_t r = std::max(level.shareHint, level.recsBase);
        while (r < end && m_recs[r].taken)
            ++r;
        level.shareHint = r;
        if (r >= end)
            continue;
        Name name;
        copyName(m_recs[r], name);
        // Not allowed to close others: `level` itself may be the shallowest.
        const int fd = openFolder(level.fd, name.bytes, false);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE)
                return false; // keep it; this worker will enter it itself
            if (!ignorableError(errno) && errno != EXDEV)
                ++m_result.errors;
        } else if (!m_walk.give({fd, name.id, m_taskDepth + i + 1})) {
            ::close(fd);
            return false;
        }
        m_recs[r].taken = true;
        --m_pending;
        level.shareHint = r + 1;
        return true;
    }
    return false;
}

std::string withoutTrailingSlashes(const std::string& name)
{
    std::size_t end = name.size();
    while (end > 1 && name[end - 1] == '/')
        --end;
    return name.substr(0, end);
}

} // namespace

WalkResult measureTreeAt(int dirfd, const std::string& name, const WalkOptions& options)
{
    WalkResult none;
    // A trailing slash would make openat follow a final link.
    const std::string root = withoutTrailingSlashes(name);
    const int fd = ::openat(dirfd, root.c_str(), kDirFlags);
    if (fd < 0) {
        if (errno != ENOENT && errno != ENOTDIR && errno != ELOOP)
            ++none.errors;
        return none;
    }
    struct statx sx {};
    if (::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, kStatxMask | STATX_INO, &sx) != 0) {
        ::close(fd);
        ++none.errors;
        return none;
    }
    const MountIdentity rootId = MountIdentity::of(sx);

    const unsigned threads = std::max(1u, options.threads ? options.threads : work::walkThreads());
    const unsigned descriptors =
        options.maxOpenFolders ? std::max(2u, options.maxOpenFolders) : work::walkFoldersPerWorker(threads);
    Walk walk(rootId, options, threads, descriptors, options.batchStat && work::walkRingsAffordable(threads));
    walk.seed({fd, rootId, 0});

    std::vector<std::thread> helpers;
    try {
        helpers.reserve(threads - 1);
    } catch (...) {
    }
    for (unsigned i = 1; i < threads; ++i) {
        try {
            helpers.emplace_back([&walk] {
                Worker worker(walk);
                worker.run();
            });
        } catch (...) {
            walk.dropWorker();
        }
    }
    {
        Worker worker(walk);
        worker.run();
    }
    for (std::thread& t : helpers)
        t.join();
    WalkResult result = walk.total();
    result.cancelled = walk.cancelled();
    return result;
}

WalkResult measureTree(const std::string& path, const WalkOptions& options)
{
    const OpenedLocation at = openPathParent(path);
    if (at.parentFd < 0) {
        WalkResult none; // not there measures 0; anything else could not be measured
        none.errors = at.error == ENOENT || at.error == ENOTDIR ? 0 : 1;
        return none;
    }
    WalkResult result = measureTreeAt(at.parentFd, at.leaf, options);
    ::close(at.parentFd);
    return result;
}

std::uint64_t getSize(const std::string& path)
{
    return measureTree(path).bytes;
}

} // namespace headroom
