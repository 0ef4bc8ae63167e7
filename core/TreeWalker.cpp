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
// shallowest ones are closed, except the subtree's own top folder. A closed level is reopened through ".." of its
// child when the walk climbs back to it, and only if the folder found there
// has the device and inode recorded on the way down: if the tree was moved
// meanwhile, the closed part of the path is abandoned and counted as an
// error rather than walking somewhere else, and the walk resumes at the
// subtree's top folder. The reopened folder is repositioned with lseek to
// its cookie.
//
// Mounts: every entry's statx carries the mount ID; an entry on another
// mount than the root (a mount point, a bind mount of a folder or of a file,
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
// Memory per worker is one getdents buffer, the capped name stack and 56
// bytes per level of depth; nothing grows with the size of the tree.

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

#include "core/StatxRing.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace headroom {
namespace {

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr unsigned kStatxMask = STATX_TYPE | STATX_SIZE | STATX_MNT_ID;
constexpr int kStatxFlags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT;
constexpr std::size_t kDentsBufferSize = std::size_t{64} * 1024;
constexpr std::size_t kNameStackCap = std::size_t{256} * 1024;
constexpr std::size_t kMaxName = 255;
constexpr unsigned kMaxDescriptorsPerWorker = 256;
// Batches smaller than this are stat'ed with plain calls: the ring's
// round trip only pays off over many entries.
constexpr std::size_t kRingMinBatch = 16;

// linux_dirent64 field offsets (the struct ends in a flexible array, which
// ISO C++ lacks, so fields are read with memcpy).
constexpr std::size_t kDirentOff = 8;
constexpr std::size_t kDirentReclen = 16;
constexpr std::size_t kDirentType = 18;
constexpr std::size_t kDirentName = 19;

struct FolderId {
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
};

FolderId idOf(const struct statx& sx)
{
    return {static_cast<std::uint64_t>(makedev(sx.stx_dev_major, sx.stx_dev_minor)), sx.stx_ino};
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

// What the root is: its identity and the mount every counted entry shares.
struct RootInfo {
    bool byMountId = false;
    std::uint64_t mountId = 0;
    std::uint64_t dev = 0;

    bool sameMount(const struct statx& sx) const
    {
        if (byMountId && (sx.stx_mask & STATX_MNT_ID))
            return sx.stx_mnt_id == mountId;
        return makedev(sx.stx_dev_major, sx.stx_dev_minor) == dev;
    }
};

struct Task {
    int fd = -1;
    FolderId id;
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
        FolderId id;
        std::int64_t cookie = 0;  // d_off after the last entry taken
        std::size_t recsBase = 0; // first name record of this level
        std::size_t shareHint = 0;
        bool eof = false;
        bool seek = false; // reposition to `cookie` before the next read
    };

    struct Name {
        FolderId id;
        std::uint8_t length = 0;
        char bytes[kMaxName + 1] = {};
    };

    void walkTask(const Task& task);
    void pushLevel(int fd, FolderId id);
    bool popName(Name& out);
    void descend(const Name& name);
    void readBatch(Level& level);
    void measure(const Level& level, const char* name);
    void measureSorted(const Level& level);
    void count(int error, const struct statx& sx, const char* name);
    StatxRing* ring();
    void ascend();
    void abandonTask();
    void abandonClosedPath();
    void share();
    bool shareOne();
    void pushName(const char* name, std::size_t length, FolderId id);
    bool closeShallowest();
    int openFolder(int parent, const char* name, bool mayCloseShallowest);
    bool taken(std::size_t rec) const { return m_names[m_recs[rec] + 16] != 0; }

    Walk& m_walk;
    std::unique_ptr<char[]> m_buffer;
    std::vector<Level> m_stack;
    std::vector<char> m_names;           // name records: dev, ino, taken, length, bytes
    std::vector<std::uint32_t> m_recs;   // offsets of the records in m_names
    std::vector<std::pair<std::uint64_t, std::uint32_t>> m_order; // batch: inode, offset
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
    Walk(const RootInfo& root, const WalkOptions& options, unsigned workers, unsigned descriptorsPerWorker,
         bool rings)
        : root(root), options(options), descriptorsPerWorker(descriptorsPerWorker), rings(rings),
          queueCap(workers > 1 ? workers : 0), m_workers(workers)
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
        idle.store(m_idle, std::memory_order_relaxed);
        for (;;) {
            if (!m_queue.empty()) {
                Task t = m_queue.front();
                m_queue.pop_front();
                queued.store(m_queue.size(), std::memory_order_relaxed);
                --m_idle;
                idle.store(m_idle, std::memory_order_relaxed);
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
            if (m_queue.size() >= queueCap)
                return false;
            m_queue.push_back(task);
            queued.store(m_queue.size(), std::memory_order_relaxed);
        }
        m_cv.notify_one();
        return true;
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

    bool cancelled() const { return options.cancel && options.cancel->load(std::memory_order_relaxed); }

    const RootInfo root;
    const WalkOptions& options;
    const unsigned descriptorsPerWorker;
    const bool rings; // workers may open a StatxRing (one descriptor each)
    const std::size_t queueCap;
    std::atomic<unsigned> idle{0};
    std::atomic<std::size_t> queued{0};

private:
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
        m_buffer.reset(new char[kDentsBufferSize]);
        m_names.reserve(kNameStackCap + 2 * (kMaxName + 20));
        m_order.reserve(kDentsBufferSize / 24); // the smallest dirent record
    } catch (...) {
        // Without its buffers this worker takes no part; the others still
        // finish the walk, and it must not leave them waiting for it.
        m_buffer.reset();
    }
    for (;;) {
        std::optional<Task> task = m_walk.take();
        if (!task)
            break;
        if (!m_buffer) {
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
    m_stack.clear();
    m_recs.clear();
    m_names.clear();
    m_pending = 0;
    m_open = 0;
    m_firstOpen = 1;
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

void Worker::pushLevel(int fd, FolderId id)
{
    Level level;
    level.fd = fd;
    level.id = id;
    level.recsBase = m_recs.size();
    level.shareHint = level.recsBase;
    m_stack.push_back(level);
    ++m_open;
    while (m_open > m_walk.descriptorsPerWorker && closeShallowest()) {
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

// Pops the top level's next subfolder name, dropping those handed away.
bool Worker::popName(Name& out)
{
    const std::size_t base = m_stack.back().recsBase;
    while (m_recs.size() > base) {
        const std::uint32_t off = m_recs.back();
        const bool wasTaken = taken(m_recs.size() - 1);
        if (!wasTaken) {
            std::memcpy(&out.id.dev, &m_names[off], 8);
            std::memcpy(&out.id.ino, &m_names[off + 8], 8);
            out.length = static_cast<std::uint8_t>(m_names[off + 17]);
            std::memcpy(out.bytes, &m_names[off + 18], out.length);
            out.bytes[out.length] = '\0';
            --m_pending;
        }
        m_recs.pop_back();
        m_names.resize(off);
        Level& top = m_stack.back();
        top.shareHint = std::min(top.shareHint, m_recs.size());
        if (!wasTaken)
            return true;
    }
    return false;
}

void Worker::pushName(const char* name, std::size_t length, FolderId id)
{
    const auto off = static_cast<std::uint32_t>(m_names.size());
    m_names.resize(off + 18 + length);
    std::memcpy(&m_names[off], &id.dev, 8);
    std::memcpy(&m_names[off + 8], &id.ino, 8);
    m_names[off + 16] = 0;
    m_names[off + 17] = static_cast<char>(static_cast<std::uint8_t>(length));
    std::memcpy(&m_names[off + 18], name, length);
    m_recs.push_back(off);
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
                if (::statx(fd, "", AT_EMPTY_PATH, kStatxMask, &sx) != 0 || !m_walk.root.sameMount(sx)) {
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
    if (m_walk.options.onFolderEntered)
        m_walk.options.onFolderEntered(m_taskDepth + m_stack.size() - 1);
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
    const long n = ::syscall(SYS_getdents64, level.fd, m_buffer.get(), kDentsBufferSize);
    if (n <= 0) {
        if (n < 0 && !ignorableError(errno))
            ++m_result.errors;
        level.eof = true;
        return;
    }
    const char* buf = m_buffer.get();
    const auto end = static_cast<std::size_t>(n);

    // First pass: note each entry and how many might be folders. When all
    // of those fit on the name stack, the batch is measured in inode order,
    // which on a cold cache reads the inode tables far more sequentially
    // than the hash order getdents returns.
    m_order.clear();
    std::size_t maybeFolders = 0;
    std::int64_t lastOff = level.cookie;
    for (std::size_t pos = 0; pos < end;) {
        std::uint64_t ino;
        std::uint16_t reclen;
        std::memcpy(&ino, buf + pos, 8);
        std::memcpy(&lastOff, buf + pos + kDirentOff, 8);
        std::memcpy(&reclen, buf + pos + kDirentReclen, 2);
        const auto type = static_cast<unsigned char>(buf[pos + kDirentType]);
        const char* name = buf + pos + kDirentName;
        if (!(name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))) {
            m_order.push_back({ino, static_cast<std::uint32_t>(pos)});
            maybeFolders += (type == DT_DIR || type == DT_UNKNOWN) ? 1 : 0;
        }
        pos += reclen;
    }
    if (m_names.size() + maybeFolders * (18 + kMaxName) <= kNameStackCap) {
        std::sort(m_order.begin(), m_order.end());
        measureSorted(level);
        level.cookie = lastOff;
        return;
    }

    // The name stack could fill up: measure in listing order so the batch
    // can stop at the subfolder that does not fit and resume from the
    // cookie of the entry before it.
    lastOff = level.cookie;
    for (std::size_t pos = 0; pos < end;) {
        std::int64_t off;
        std::uint16_t reclen;
        std::memcpy(&off, buf + pos + kDirentOff, 8);
        std::memcpy(&reclen, buf + pos + kDirentReclen, 2);
        const auto type = static_cast<unsigned char>(buf[pos + kDirentType]);
        const char* name = buf + pos + kDirentName;
        const bool dot = name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
        if (!dot) {
            if ((type == DT_DIR || type == DT_UNKNOWN) && m_recs.size() > level.recsBase
                && m_names.size() + 18 + kMaxName > kNameStackCap) {
                // Finish the subfolders already noted, then come back to
                // this entry.
                level.cookie = lastOff;
                level.seek = true;
                return;
            }
            measure(level, name);
        }
        lastOff = off;
        pos += reclen;
    }
    level.cookie = lastOff;
}

// The ring is opened on the first batch big enough to use it, so small
// walks never pay for its setup.
StatxRing* Worker::ring()
{
    if (!m_ringTried && m_walk.rings) {
        m_ringTried = true;
        m_ring = StatxRing::open();
    }
    return m_ring.get();
}

// Measures the batch noted in m_order, through the ring when there is one.
void Worker::measureSorted(const Level& level)
{
    const char* buf = m_buffer.get();
    StatxRing* const r = m_order.size() >= kRingMinBatch ? ring() : nullptr;
    if (!r) {
        for (const auto& [ino, pos] : m_order)
            measure(level, buf + pos + kDirentName);
        return;
    }
    for (std::size_t first = 0; first < m_order.size(); first += StatxRing::kCapacity) {
        const auto n = static_cast<unsigned>(std::min<std::size_t>(StatxRing::kCapacity, m_order.size() - first));
        for (unsigned i = 0; i < n; ++i)
            m_batchNames[i] = buf + m_order[first + i].second + kDirentName;
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
    } else if (m_walk.root.sameMount(sx)) {
        m_result.bytes += sx.stx_size;
        ++m_result.entries;
        if (S_ISDIR(sx.stx_mode))
            pushName(name, std::strlen(name), idOf(sx));
    }
}

void Worker::ascend()
{
    const std::size_t top = m_stack.size() - 1;
    const int childFd = m_stack[top].fd;
    if (top > 0 && m_stack[top - 1].fd < 0) {
        Level& parent = m_stack[top - 1];
        const int fd = ::openat(childFd, "..", kDirFlags);
        struct stat st {};
        const bool same = fd >= 0 && ::fstat(fd, &st) == 0 && static_cast<std::uint64_t>(st.st_dev) == parent.id.dev
            && static_cast<std::uint64_t>(st.st_ino) == parent.id.ino;
        if (!same) {
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
        m_names.resize(m_recs[firstDropped]);
        m_recs.resize(firstDropped);
    }
    m_pending = 0;
    for (std::size_t r = 0; r < m_recs.size(); ++r)
        m_pending += taken(r) ? 0 : 1;
    m_open = 1;
    m_firstOpen = 1;
}

void Worker::abandonTask()
{
    for (Level& l : m_stack) {
        closeFd(l.fd);
        l.fd = -1;
    }
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
    while (m_walk.queueCap > 0 && m_pending >= 2
           && m_walk.queued.load(std::memory_order_relaxed) < m_walk.queueCap && shareOne()) {
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
        while (r < end && taken(r))
            ++r;
        level.shareHint = r;
        if (r >= end)
            continue;
        const std::uint32_t off = m_recs[r];
        Name name;
        std::memcpy(&name.id.dev, &m_names[off], 8);
        std::memcpy(&name.id.ino, &m_names[off + 8], 8);
        name.length = static_cast<std::uint8_t>(m_names[off + 17]);
        std::memcpy(name.bytes, &m_names[off + 18], name.length);
        name.bytes[name.length] = '\0';
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
        m_names[off + 16] = 1;
        --m_pending;
        level.shareHint = r + 1;
        return true;
    }
    return false;
}

// More threads than cores: on a cold cache most of them wait for inode
// reads, and the disk serves several at once. Measured on 2 cores and
// 500,000 entries, 8 beat 4 by about a fifth cold and cost nothing warm.
unsigned defaultThreads()
{
    return std::clamp(2 * std::thread::hardware_concurrency(), 8u, 64u);
}

// Descriptors one worker may hold: half of what the process may open,
// shared among the workers, with room left for the handed-over subtrees.
unsigned descriptorBudget(unsigned workers)
{
    struct rlimit rl {};
    rlim_t limit = 1024;
    if (::getrlimit(RLIMIT_NOFILE, &rl) == 0)
        limit = rl.rlim_cur;
    if (limit == RLIM_INFINITY || limit > 1u << 20)
        limit = 1u << 20;
    const auto usable = static_cast<unsigned>(limit / 2);
    const unsigned perWorker = usable > 2 * workers ? (usable - 2 * workers) / workers : 2;
    return std::clamp(perWorker, 2u, kMaxDescriptorsPerWorker);
}

// The rings are a speed-up that costs a descriptor per worker: where the
// process may open only a few, those go to the folders and every entry is
// stat'ed with plain calls, which need none.
bool descriptorsPlentiful(unsigned workers)
{
    struct rlimit rl {};
    if (::getrlimit(RLIMIT_NOFILE, &rl) != 0)
        return false;
    return rl.rlim_cur == RLIM_INFINITY || rl.rlim_cur >= 256 + 4 * static_cast<rlim_t>(workers);
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
    RootInfo info;
    info.byMountId = (sx.stx_mask & STATX_MNT_ID) != 0;
    info.mountId = sx.stx_mnt_id;
    info.dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);

    const unsigned threads = std::max(1u, options.threads ? options.threads : defaultThreads());
    const unsigned descriptors = options.maxOpenFolders ? std::max(2u, options.maxOpenFolders) : descriptorBudget(threads);
    Walk walk(info, options, threads, descriptors, options.batchStat && descriptorsPlentiful(threads));
    walk.seed({fd, idOf(sx), 0});

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
    return measureTreeAt(AT_FDCWD, path, options);
}

std::uint64_t getSize(const std::string& path)
{
    return measureTree(path).bytes;
}

} // namespace headroom
