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
// Descriptors: the folders from the subtree's top down to the current one
// are a FolderPath, which holds a bounded number of them open and climbs
// back to a closed one through ".." only if it is still the folder seen on
// the way down. If the tree was moved meanwhile, the closed part of the
// path is abandoned and counted as an error rather than walking somewhere
// else, and the walk resumes at the subtree's top folder while that is
// held. A folder opened again is repositioned with lseek to its cookie.
//
// Mounts: every entry's statx carries the mount ID (see MountIdentity); an
// entry on another mount than the root (a mount point, a bind mount of a
// folder or of a file, a bind mount of an ancestor) adds nothing and is not
// entered. A removal could not take a mount point away (EBUSY), so its
// entry is not counted either. A folder is entered only if the folder
// opened is the one its entry's statx showed (openListedFolder), so a mount
// made or a folder moved there between the stat and the open is not
// entered.
//
// Threads: workers that run dry take their next subtree from a small shared
// queue (one slot per worker). After each batch a busy worker tops the queue
// up, with one relaxed load, from the shallowest subfolders it has not
// entered yet, opened, each a new subtree; it always keeps one for itself.
// A cancel flag is looked at before every step of a worker (one batch read
// or one folder entered); once it is set, each worker drops its subtree and
// the subtrees still queued, and the walk ends with what it had counted.
// Memory per worker is one getdents buffer, the capped name stack and 80
// bytes per level of depth; nothing grows with the size of the tree.
//
// Items (when asked): each entry directly inside the root (or inside the
// one folder of it that WalkOptions::itemsIn names) is an item, numbered in
// the order it is counted. Only the worker that walks the root's own task
// reads that folder, so only it makes items, and the folder holding them is
// never handed away (its subfolders are). Every folder level, noted name
// and task carries the item its entries count to; a worker sums into one
// item at a time and hands the sums over when it moves to another item or
// ends a task: the root's worker straight into the items, which nobody
// else touches, the others under the walk's lock, once per task. So an
// entry costs no more than a comparison and two additions, and memory
// grows with the items, never with the tree below them.
//
// Running short: how many workers, and how many descriptors each, follows
// from the descriptors the process has free (WorkPolicy.cpp). Should the
// process still run out (other threads open files too), a worker closes
// the shallowest folders of its path, then waits for another worker to
// close one, and the queue stops being stocked. A worker that cannot get
// its buffers takes no part. Only when no worker can go on is part of the
// tree left out, and the result then says so (`incomplete`) instead of
// passing a low figure off as the size.

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "core/DirEntries.h"
#include "core/FolderPath.h"
#include "core/Location.h"
#include "core/MountIdentity.h"
#include "core/Saturating.h"
#include "core/StatxRing.h"
#include "core/UniqueFd.h"
#include "core/WorkPolicy.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace headroom {
namespace {

constexpr unsigned kStatxMask = STATX_TYPE | STATX_SIZE | STATX_INO | STATX_MNT_ID | STATX_BLOCKS;
constexpr int kStatxFlags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT;
constexpr std::size_t kNameStackCap = std::size_t{256} * 1024;
constexpr std::size_t kMaxName = 255;
// Batches smaller than this are stat'ed with plain calls: the ring's
// round trip only pays off over many entries.
constexpr std::size_t kRingMinBatch = 16;

// What a folder's entries count to, besides the total: an item's number,
// or one of these.
constexpr std::uint32_t kNoItem = UINT32_MAX;       // nothing (no items asked, or outside the items' folder)
constexpr std::uint32_t kNewItems = UINT32_MAX - 1; // the items' folder: each entry is a new item

// A subfolder noted for later: its identity as its entry's statx gave it,
// where its name's bytes sit in the worker's name buffer, and the item its
// entries count to.
struct NameRecord {
    MountIdentity id;
    std::uint32_t nameAt = 0;
    std::uint32_t item = kNoItem;
    std::uint8_t length = 0;
    bool taken = false; // handed to another worker as a subtree of its own
};

// Name stack bytes a subfolder may take: its record and the longest name.
constexpr std::size_t kNotedPerFolder = sizeof(NameRecord) + kMaxName;

bool mayBeFolder(unsigned char type)
{
    return type == DT_DIR || type == DT_UNKNOWN;
}

// The entry vanished between listing and measuring: the tree changed,
// nothing was unreadable.
bool vanished(int error)
{
    return error == ENOENT;
}

// A subfolder is no longer the folder its entry showed: gone, or something
// else (a link, a file, a mount, another folder) in its place.
bool replaced(int error)
{
    return error == ENOENT || error == ENOTDIR || error == ELOOP || error == EXDEV || error == ESTALE;
}

struct Task {
    UniqueFd fd;
    MountIdentity id;
    std::size_t depth = 0;
    std::uint32_t item = kNoItem;
};

std::uint64_t allocatedBytes(const struct statx& sx)
{
    return (sx.stx_mask & STATX_BLOCKS) != 0 ? saturatingMultiply(sx.stx_blocks, 512) : 0;
}

class Walk;

class Worker {
public:
    explicit Worker(Walk& walk);

    void run() noexcept;

private:
    struct Level {
        std::int64_t cookie = 0;  // d_off after the last entry taken
        std::size_t recsBase = 0; // first name record of this level
        std::size_t shareHint = 0;
        std::uint32_t item = kNoItem; // what this folder's entries count to
        bool eof = false;
        bool seek = false; // reposition to `cookie` before the next read
    };
    using Path = FolderPath<Level>;

    struct Name {
        MountIdentity id;
        std::uint32_t item = kNoItem;
        char bytes[kMaxName + 1] = {};
    };

    bool allocate() noexcept;
    void walkTask(Task task);
    void enterLevel();
    bool popName(Name& out);
    void descend(const Name& name);
    void readBatch(Path::Level& level);
    void report();
    void measure(int dirfd, const char* name);
    void measureSorted(int dirfd);
    void count(int error, const struct statx& sx, const char* name);
    std::uint32_t toItem(const char* name, const struct statx& sx, std::uint64_t allocated);
    void addToItem(std::uint32_t item, std::uint64_t bytes, std::uint64_t allocated);
    void handOverItem();
    StatxRing* ring();
    void ascend();
    void giveUp(int error);
    void clearTask();
    void dropUnreachable();
    void share();
    bool shareOne();
    void pushName(const char* name, std::size_t length, const MountIdentity& id, std::uint32_t item);
    void copyName(const NameRecord& rec, Name& out) const;
    std::size_t notedBytes() const { return m_names.size() + m_recs.size() * sizeof(NameRecord); }

    Walk& m_walk;
    std::optional<DirEntries> m_entries;
    Path m_path;
    std::vector<NameRecord> m_recs;                               // subfolders not entered yet, of every level
    std::vector<char> m_names;                                    // their names' bytes
    std::vector<std::pair<std::uint64_t, std::uint32_t>> m_order; // batch: inode, record
    std::size_t m_pending = 0;                                    // records not handed to another worker
    std::size_t m_taskDepth = 0;
    std::unique_ptr<StatxRing> m_ring;
    bool m_ringTried = false;
    std::array<const char*, StatxRing::kCapacity> m_batchNames{};
    WalkResult m_result;
    // The item being summed and its sums so far (see handOverItem).
    std::uint32_t m_item = kNoItem;
    std::uint64_t m_itemBytes = 0;
    std::uint64_t m_itemAllocated = 0;
    WalkResult m_reported; // what report() has added to the walk's progress
};

class Walk {
public:
    Walk(const MountIdentity& root, const WalkOptions& options, const work::WalkPlan& plan)
        : m_root(root)
        , m_options(options)
        , m_plan(plan)
        , m_queueCap(plan.threads > 1 ? plan.threads : 0)
        , m_workers(plan.threads)
        , m_waits([this] { return dropQueued(); })
    {
        m_queue.reserve(std::max<std::size_t>(1, m_queueCap)); // give() never allocates
    }

    void seed(Task task) { m_queue.push_back(std::move(task)); }

    // The next subtree to walk, or nothing once every worker has run dry.
    std::optional<Task> take()
    {
        std::unique_lock lock(m_mutex);
        ++m_idle;
        for (;;) {
            if (!m_queue.empty()) {
                Task t = std::move(m_queue.front());
                m_queue.erase(m_queue.begin());
                m_queued.store(m_queue.size(), std::memory_order_relaxed);
                --m_idle;
                m_waits.join();
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

    // Hands a subtree to an idle worker; false, and `task` left as it was,
    // when the queue is full.
    bool give(Task& task)
    {
        {
            std::lock_guard lock(m_mutex);
            if (m_queue.size() >= m_queueCap)
                return false;
            m_queue.push_back(std::move(task));
            m_queued.store(m_queue.size(), std::memory_order_relaxed);
        }
        m_cv.notify_one();
        return true;
    }

    // Whether give() might take another subtree: two relaxed loads.
    bool wantsMore() const
    {
        return m_queueCap > 0 && !m_short.load(std::memory_order_relaxed)
               && m_queued.load(std::memory_order_relaxed) < m_queueCap;
    }

    // The process ran out of descriptors: queued subtrees would hold more.
    void shortOfDescriptors() { m_short.store(true, std::memory_order_relaxed); }

    // A planned worker takes no part: its thread could not be started, or
    // its buffers could not be allocated.
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
        m_total.allocated = saturatingAdd(m_total.allocated, r.allocated);
        m_total.bytes = saturatingAdd(m_total.bytes, r.bytes);
        m_total.entries = saturatingAdd(m_total.entries, r.entries);
        m_total.errors = saturatingAdd(m_total.errors, r.errors);
        if (m_total.incomplete == 0)
            m_total.incomplete = r.incomplete;
    }

    // Once every worker has ended.
    WalkResult total()
    {
        std::lock_guard lock(m_mutex);
        WalkResult result = m_total;
        // Subtrees nobody took: every worker lacked its buffers.
        if (!m_queue.empty() && result.incomplete == 0 && !cancelled())
            result.incomplete = ENOMEM;
        result.cancelled = cancelled();
        for (std::size_t i = 0; i < m_extra.size() && i < m_items.list.size(); ++i) {
            WalkItem& item = m_items.list[i];
            item.bytes = saturatingAdd(item.bytes, m_extra[i].first);
            item.allocated = saturatingAdd(item.allocated, m_extra[i].second);
        }
        const WalkItems& items = m_items;
        std::sort(m_items.list.begin(), m_items.list.end(), [&items](const WalkItem& a, const WalkItem& b) {
            return a.bytes != b.bytes ? a.bytes > b.bytes : items.name(a) < items.name(b);
        });
        result.items = std::move(m_items);
        return result;
    }

    // A new item, for the entry `name` of the items' folder; kNoItem past
    // what the numbering holds. Only the worker of the root's task calls it.
    std::uint32_t newItem(const char* name, const struct statx& sx, std::uint64_t allocated)
    {
        const std::size_t length = std::strlen(name);
        if (m_items.list.size() >= kNewItems || m_items.names.size() > UINT32_MAX - length)
            return kNoItem;
        WalkItem item;
        const MountIdentity id = MountIdentity::of(sx);
        item.dev = id.dev;
        item.ino = id.ino;
        item.bytes = sx.stx_size;
        item.allocated = allocated;
        item.nameAt = static_cast<std::uint32_t>(m_items.names.size());
        item.nameLength = static_cast<std::uint8_t>(length);
        item.folder = S_ISDIR(sx.stx_mode);
        m_items.names.append(name, length);
        m_items.list.push_back(item);
        return static_cast<std::uint32_t>(m_items.list.size() - 1);
    }

    // Adds to an item: straight from the worker of the root's task (`owner`),
    // which alone makes items; from the others under the lock.
    void addToItem(std::uint32_t index, std::uint64_t bytes, std::uint64_t allocated, bool owner)
    {
        if (owner) {
            WalkItem& item = m_items.list[index];
            item.bytes = saturatingAdd(item.bytes, bytes);
            item.allocated = saturatingAdd(item.allocated, allocated);
            return;
        }
        std::lock_guard lock(m_mutex);
        if (m_extra.size() <= index)
            m_extra.resize(std::size_t{index} + 1);
        auto& [extraBytes, extraAllocated] = m_extra[index];
        extraBytes = saturatingAdd(extraBytes, bytes);
        extraAllocated = saturatingAdd(extraAllocated, allocated);
    }

    bool cancelled() const { return m_options.cancel && m_options.cancel->load(std::memory_order_relaxed); }

    const MountIdentity& root() const { return m_root; }
    const WalkOptions& options() const { return m_options; }
    const work::WalkPlan& plan() const { return m_plan; }
    DescriptorWaits& waits() { return m_waits; }

private:
    // Every worker holding descriptors waits for one: a queued subtree
    // gives its descriptor up, and the figure is then incomplete.
    bool dropQueued()
    {
        std::lock_guard lock(m_mutex);
        if (m_queue.empty())
            return false;
        m_queue.erase(m_queue.begin());
        m_queued.store(m_queue.size(), std::memory_order_relaxed);
        if (m_total.incomplete == 0)
            m_total.incomplete = EMFILE;
        return true;
    }

    const MountIdentity m_root;
    const WalkOptions& m_options;
    const work::WalkPlan m_plan;
    const std::size_t m_queueCap;
    std::atomic<std::size_t> m_queued{0};
    std::atomic<bool> m_short{false};
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<Task> m_queue;
    unsigned m_workers;
    unsigned m_idle = 0;
    bool m_done = false;
    WalkResult m_total;
    DescriptorWaits m_waits;
    WalkItems m_items;                                            // written by the root task's worker only
    std::vector<std::pair<std::uint64_t, std::uint64_t>> m_extra; // the other workers' item sums, under m_mutex
};

Worker::Worker(Walk& walk) : m_walk(walk), m_path(walk.plan().foldersPerWorker, &walk.waits()) {}

bool Worker::allocate() noexcept
{
    try {
        m_entries.emplace();
        m_names.reserve(kNameStackCap);
        m_order.reserve(DirEntries::kBufferSize / 24); // the smallest dirent record
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void Worker::run() noexcept
{
    if (!allocate()) {
        // The other workers share the walk; if none is left, the walk
        // reports the subtrees nobody took.
        m_walk.dropWorker();
        return;
    }
    for (;;) {
        std::optional<Task> task = m_walk.take();
        if (!task)
            break;
        try {
            walkTask(std::move(*task));
        } catch (const std::bad_alloc&) {
            giveUp(ENOMEM);
        } catch (...) {
            ++m_result.errors;
            clearTask();
        }
        handOverItem();
        m_walk.waits().leave();
    }
    report();
    m_walk.merge(m_result);
}

// Adds what this worker counted since its last report to the walk's
// progress, when it has one: once per batch, so a walk shown while it runs
// costs one relaxed addition per batch, not a shared write per entry.
void Worker::report()
{
    WorkProgress* const progress = m_walk.options().progress;
    if (!progress)
        return;
    progress->add(m_result.entries - m_reported.entries, m_result.bytes - m_reported.bytes);
    m_reported = m_result;
}

void Worker::walkTask(Task task)
{
    clearTask();
    m_taskDepth = task.depth;
    m_path.start(std::move(task.fd), task.id);
    enterLevel();
    m_path.back().data.item = task.item;

    Name name;
    while (!m_path.empty()) {
        // Once per step: a step reads at most one batch or enters one folder.
        if (m_walk.cancelled()) {
            clearTask();
            return;
        }
        if (popName(name)) {
            descend(name);
            continue;
        }
        Path::Level& top = m_path.back();
        if (!top.data.eof) {
            readBatch(top);
            share();
            report();
            continue;
        }
        ascend();
    }
}

// The current level has just been entered: its names start here.
void Worker::enterLevel()
{
    Level& level = m_path.back().data;
    level.recsBase = m_recs.size();
    level.shareHint = level.recsBase;
}

void Worker::copyName(const NameRecord& rec, Name& out) const
{
    out.id = rec.id;
    out.item = rec.item;
    std::memcpy(out.bytes, &m_names[rec.nameAt], rec.length);
    out.bytes[rec.length] = '\0';
}

// Pops the top level's next subfolder name, dropping those handed away.
bool Worker::popName(Name& out)
{
    const std::size_t base = m_path.back().data.recsBase;
    while (m_recs.size() > base) {
        const NameRecord rec = m_recs.back();
        if (!rec.taken) {
            copyName(rec, out);
            --m_pending;
        }
        m_recs.pop_back();
        m_names.resize(rec.nameAt);
        Level& top = m_path.back().data;
        top.shareHint = std::min(top.shareHint, m_recs.size());
        if (!rec.taken)
            return true;
    }
    return false;
}

void Worker::pushName(const char* name, std::size_t length, const MountIdentity& id, std::uint32_t item)
{
    NameRecord rec;
    rec.id = id;
    rec.item = item;
    rec.nameAt = static_cast<std::uint32_t>(m_names.size());
    rec.length = static_cast<std::uint8_t>(length);
    m_recs.push_back(rec);
    m_names.insert(m_names.end(), name, name + length); // within the reserved cap
    ++m_pending;
}

void Worker::descend(const Name& name)
{
    const int error = m_path.descend(name.bytes, name.id);
    if (error != 0) {
        if (outOfDescriptors(error)) {
            m_walk.shortOfDescriptors();
            giveUp(error);
        } else if (!replaced(error)) {
            ++m_result.errors;
        }
        return;
    }
    enterLevel();
    m_path.back().data.item = name.item;
    if (m_walk.options().onFolderEntered)
        m_walk.options().onFolderEntered(m_taskDepth + m_path.size() - 1);
}

void Worker::readBatch(Path::Level& path)
{
    Level& level = path.data;
    if (path.reopened) {
        path.reopened = false;
        level.seek = true;
    }
    if (level.seek) {
        if (::lseek(path.fd.get(), level.cookie, SEEK_SET) < 0) {
            ++m_result.errors;
            level.eof = true;
            return;
        }
        level.seek = false;
    }
    const DirEntries& entries = *m_entries;
    if (!m_entries->read(path.fd.get())) {
        if (errno != 0 && !vanished(errno))
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
        measureSorted(path.fd.get());
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
        measure(path.fd.get(), e.name);
        lastOff = e.next;
    }
    level.cookie = lastOff;
}

// The ring is opened on the first batch big enough to use it, so small
// walks never pay for its setup. It is a speed-up only: without one (no
// descriptor or no memory for it), every entry is stat'ed with plain calls.
StatxRing* Worker::ring()
{
    if (!m_ringTried && m_walk.plan().rings) {
        m_ringTried = true;
        try {
            m_ring = StatxRing::open();
        } catch (const std::bad_alloc&) {
            m_ring.reset();
        }
    }
    return m_ring.get();
}

// Measures the batch noted in m_order, through the ring when there is one.
void Worker::measureSorted(int dirfd)
{
    const DirEntries& entries = *m_entries;
    StatxRing* const r = m_order.size() >= kRingMinBatch ? ring() : nullptr;
    if (!r) {
        for (const auto& [ino, at] : m_order)
            measure(dirfd, entries.nameAt(at));
        return;
    }
    for (std::size_t first = 0; first < m_order.size(); first += StatxRing::kCapacity) {
        const auto n = static_cast<unsigned>(std::min<std::size_t>(StatxRing::kCapacity, m_order.size() - first));
        for (unsigned i = 0; i < n; ++i)
            m_batchNames[i] = entries.nameAt(m_order[first + i].second);
        r->stat(dirfd, m_batchNames.data(), n, kStatxFlags, kStatxMask);
        for (unsigned i = 0; i < n; ++i)
            count(r->error(i), r->result(i), m_batchNames[i]);
    }
    if (r->broken())
        m_ring.reset();
}

void Worker::measure(int dirfd, const char* name)
{
    struct statx sx;
    const int error = ::statx(dirfd, name, kStatxFlags, kStatxMask, &sx) == 0 ? 0 : errno;
    count(error, sx, name);
}

void Worker::count(int error, const struct statx& sx, const char* name)
{
    if (error != 0) {
        if (!vanished(error))
            ++m_result.errors;
        return;
    }
    const MountIdentity id = MountIdentity::of(sx);
    if (m_walk.root().sameMount(id)) {
        const std::uint64_t allocated = allocatedBytes(sx);
        m_result.bytes = saturatingAdd(m_result.bytes, sx.stx_size);
        m_result.allocated = saturatingAdd(m_result.allocated, allocated);
        m_result.entries = saturatingAdd(m_result.entries, 1);
        const std::uint32_t item = m_walk.options().items ? toItem(name, sx, allocated) : kNoItem;
        if (S_ISDIR(sx.stx_mode))
            pushName(name, std::strlen(name), id, item);
    }
}

// Counts the entry to its item; returns what the entries below it, if it is
// a folder, count to.
std::uint32_t Worker::toItem(const char* name, const struct statx& sx, std::uint64_t allocated)
{
    const std::uint32_t item = m_path.back().data.item;
    if (item == kNewItems)
        return m_walk.newItem(name, sx, allocated);
    if (item != kNoItem) {
        addToItem(item, sx.stx_size, allocated);
        return item;
    }
    // In the root itself, when the items lie one folder down.
    const std::string& itemsIn = m_walk.options().itemsIn;
    if (m_taskDepth == 0 && m_path.size() == 1 && S_ISDIR(sx.stx_mode) && itemsIn == name)
        return kNewItems;
    return kNoItem;
}

void Worker::addToItem(std::uint32_t item, std::uint64_t bytes, std::uint64_t allocated)
{
    if (item != m_item) {
        handOverItem();
        m_item = item;
    }
    m_itemBytes = saturatingAdd(m_itemBytes, bytes);
    m_itemAllocated = saturatingAdd(m_itemAllocated, allocated);
}

// Adds the sums of the item being summed to it. Called on moving to another
// item and at the end of each task, while m_taskDepth is still the task's.
void Worker::handOverItem()
{
    if (m_item == kNoItem)
        return;
    try {
        m_walk.addToItem(m_item, m_itemBytes, m_itemAllocated, m_taskDepth == 0);
    } catch (const std::bad_alloc&) {
        if (m_result.incomplete == 0)
            m_result.incomplete = ENOMEM;
    }
    m_item = kNoItem;
    m_itemBytes = m_itemAllocated = 0;
}

void Worker::ascend()
{
    if (m_path.size() == 1) {
        m_path.clear(); // the subtree is done
        return;
    }
    const int error = m_path.ascend();
    if (error == 0)
        return;
    if (outOfDescriptors(error)) {
        m_walk.shortOfDescriptors();
        giveUp(error);
        return;
    }
    // The folder was moved or replaced while we were below it: the closed
    // part of the path is out of reach. The walk goes on from the
    // subtree's own folder if that is still open.
    ++m_result.errors;
    dropUnreachable();
}

void Worker::dropUnreachable()
{
    const std::size_t firstDropped = m_path[1].data.recsBase;
    m_path.dropUnreachable();
    if (m_path.empty()) {
        clearTask();
        return;
    }
    if (firstDropped < m_recs.size()) {
        m_names.resize(m_recs[firstDropped].nameAt);
        m_recs.resize(firstDropped);
    }
    m_pending = 0;
    for (const NameRecord& rec : m_recs)
        m_pending += rec.taken ? 0 : 1;
}

// No worker can go on with the subtree: what is left of it is not counted,
// and the result says so.
void Worker::giveUp(int error)
{
    if (m_result.incomplete == 0)
        m_result.incomplete = error;
    clearTask();
}

// Forgets the subtree's levels and names, closing their descriptors.
void Worker::clearTask()
{
    m_path.clear();
    m_recs.clear();
    m_names.clear();
    m_pending = 0;
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
    for (std::size_t i = 0; i < m_path.size(); ++i) {
        Path::Level& path = m_path[i];
        if (!path.fd)
            continue;
        Level& level = path.data;
        const std::size_t end = i + 1 < m_path.size() ? m_path[i + 1].data.recsBase : m_recs.size();
        std::size_t r = std::max(level.shareHint, level.recsBase);
        // The items' folder stays with this worker: only it makes items.
        while (r < end && (m_recs[r].taken || m_recs[r].item == kNewItems))
            ++r;
        level.shareHint = r;
        if (r >= end)
            continue;
        Name name;
        copyName(m_recs[r], name);
        Task task{openListedFolder(path.fd.get(), name.bytes, name.id), name.id, m_taskDepth + i + 1, name.item};
        if (!task.fd) {
            if (outOfDescriptors(errno)) {
                m_walk.shortOfDescriptors();
                return false; // keep it; this worker will enter it itself
            }
            if (!replaced(errno))
                ++m_result.errors;
        } else if (!m_walk.give(task)) {
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

// `owned`, when given, holds `dirfd`: it is closed as soon as the root is
// open, so that the walk has that descriptor too.
WalkResult walkFrom(int dirfd, const std::string& name, const WalkOptions& options, UniqueFd* owned = nullptr)
{
    WalkResult none;
    // A trailing slash would make the stat and the open follow a final link.
    const std::string root = withoutTrailingSlashes(name);
    struct statx sx {};
    if (::statx(dirfd, root.c_str(), kStatxFlags, kStatxMask, &sx) != 0) {
        if (errno != ENOENT && errno != ENOTDIR)
            ++none.errors;
        return none;
    }
    if (!S_ISDIR(sx.stx_mode))
        return none; // a link or a file: nothing below it
    const MountIdentity rootId = MountIdentity::of(sx);
    UniqueFd fd = openListedFolder(dirfd, root.c_str(), rootId);
    if (owned)
        owned->reset();
    if (!fd) {
        if (outOfDescriptors(errno))
            none.incomplete = errno;
        else if (!replaced(errno))
            ++none.errors;
        return none;
    }

    const work::WalkPlan plan = work::walkPlan(options.threads, options.maxOpenFolders, options.batchStat);
    Walk walk(rootId, options, plan);
    walk.seed({std::move(fd), rootId, 0, options.items && options.itemsIn.empty() ? kNewItems : kNoItem});

    std::vector<std::thread> helpers;
    try {
        helpers.reserve(plan.threads - 1);
    } catch (const std::bad_alloc&) {
    }
    for (unsigned i = 1; i < plan.threads; ++i) {
        try {
            helpers.emplace_back([&walk] { Worker(walk).run(); });
        } catch (...) {
            walk.dropWorker();
        }
    }
    Worker(walk).run();
    for (std::thread& t : helpers)
        t.join();
    return walk.total();
}

WalkResult walkOrSayOutOfMemory(int dirfd, const std::string& name, const WalkOptions& options, UniqueFd* owned)
{
    try {
        return walkFrom(dirfd, name, options, owned);
    } catch (const std::bad_alloc&) {
        // Before any worker started: nothing was measured.
        WalkResult none;
        none.incomplete = ENOMEM;
        return none;
    }
}

} // namespace

WalkResult measureTreeAt(int dirfd, const std::string& name, const WalkOptions& options)
{
    return walkOrSayOutOfMemory(dirfd, name, options, nullptr);
}

WalkResult measureTreeAt(UniqueFd dirfd, const std::string& name, const WalkOptions& options)
{
    return walkOrSayOutOfMemory(dirfd.get(), name, options, &dirfd);
}

WalkResult measureTree(const std::string& path, const WalkOptions& options)
{
    OpenedLocation at = openPathParent(path);
    if (!at.parent) {
        WalkResult none; // not there measures 0; anything else could not be measured
        none.errors = at.error == ENOENT || at.error == ENOTDIR ? 0 : 1;
        return none;
    }
    return measureTreeAt(std::move(at.parent), at.leaf, options);
}

std::uint64_t getSize(const std::string& path)
{
    return measureTree(path).bytes;
}

} // namespace headroom
