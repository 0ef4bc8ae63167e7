// Load and races at the core's level: scans and cleans of the junk
// locations of one home, interleaved many times while another thread keeps
// changing what is inside them; and trees far larger than a home usually
// holds (200,000 entries in one folder, a chain 50,000 deep), measured and
// removed in a child under the default limit of 1,024 open files and a cap
// on the memory they may take.

#include "core/JunkLocations.h"
#include "tests/support/ChildExpect.h"
#include "tests/support/TempTree.h"
#include "core/Location.h"
#include "core/TreeRemover.h"
#include "core/TreeWalker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <cstdio>

#include <functional>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using headroom::test::ChildOutcome;
using headroom::test::openDescriptors;
using headroom::test::TempTree;

struct Snapshot {
    std::map<std::string, std::pair<std::uintmax_t, ino_t>> entries;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(const std::string& root)
{
    Snapshot s;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        struct stat st {};
        if (::lstat(e.path().c_str(), &st) == 0)
            s.entries[e.path().lexically_relative(root).string()] = {static_cast<std::uintmax_t>(st.st_size), st.st_ino};
    }
    return s;
}

// ---------------------------------------------------------------------------
// Scans and cleans against a tree that keeps changing.

// What a scan measures for one location, through the same calls the junk
// scan makes.
headroom::WalkResult scanLocation(const std::string& home, std::string_view relative)
{
    headroom::OpenedLocation where = headroom::openLocationParent(home, relative);
    if (where.parentFd < 0)
        return {};
    const headroom::WalkResult r = headroom::measureTreeAt(where.parentFd, where.leaf);
    ::close(where.parentFd);
    return r;
}

headroom::RemoveResult cleanLocation(const std::string& home, std::string_view relative)
{
    headroom::OpenedLocation where = headroom::openLocationParent(home, relative);
    if (where.parentFd < 0)
        return {};
    const headroom::RemoveResult r = headroom::removeTreeAt(where.parentFd, where.leaf);
    ::close(where.parentFd);
    return r;
}

// Keeps changing the locations: new files and folders, renames, removals,
// and folders swapped for links to the canary outside the home (and back).
class Mutator {
public:
    Mutator(std::string home, std::string canary, unsigned seed)
        : m_home(std::move(home)), m_canary(std::move(canary)), m_rng(seed)
    {
    }

    void run(const std::atomic<bool>& stop)
    {
        while (!stop.load(std::memory_order_relaxed))
            step();
    }

    std::uint64_t changes() const { return m_changes; }
    std::uint64_t swaps() const { return m_swaps; }

private:
    std::string pick(std::size_t bound)
    {
        return std::to_string(std::uniform_int_distribution<std::size_t>(0, bound)(m_rng));
    }

    // This thread is the only one that makes links, so a folder found
    // real here stays a folder (or vanishes) until this thread's next step:
    // the paths below never lead the mutator itself into the canary.
    static bool realDir(const std::string& path)
    {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }

    void step()
    {
        const auto& table = headroom::junkTable();
        const std::string loc = headroom::joinPath(m_home, table[m_rng() % table.size()].relativePath);
        const std::string a = loc + "/d" + pick(3);
        const std::string b = a + "/e" + pick(3);
        const std::string elsewhere = loc + "/d" + pick(3);
        const unsigned op = m_rng() % 9;
        if (op > 0 && !realDir(loc))
            return;
        if ((op == 2 || op == 3 || op == 4 || op == 6) && !realDir(a))
            return;
        if ((op == 3 || op == 6) && !realDir(b))
            return;
        if (op == 4 && !realDir(elsewhere))
            return;
        int rc = -1;
        switch (op) {
        case 0: rc = ::mkdir(loc.c_str(), 0755); break;
        case 1: rc = ::mkdir(a.c_str(), 0755); break;
        case 2: rc = ::mkdir(b.c_str(), 0755); break;
        case 3: {
            const int fd = ::open((b + "/f" + pick(5)).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd >= 0) {
                rc = ::write(fd, "0123456789", 1 + m_rng() % 10) > 0 ? 0 : -1;
                ::close(fd);
            }
            break;
        }
        case 4: rc = ::rename(b.c_str(), (elsewhere + "/e" + pick(3)).c_str()); break;
        case 5: rc = ::rename(a.c_str(), (loc + "/d" + pick(3)).c_str()); break;
        case 6: rc = ::unlink((b + "/f" + pick(5)).c_str()); break;
        case 7: {
            // A folder (now and then the location itself) swapped for a link
            // to the canary in one step: the folder lives on under the
            // link's old name.
            const std::string& victim = m_rng() % 8 == 0 ? loc : a;
            const std::string link = loc + "/swap" + pick(1000000);
            if (::symlink(m_canary.c_str(), link.c_str()) == 0) {
                rc = ::renameat2(AT_FDCWD, link.c_str(), AT_FDCWD, victim.c_str(), RENAME_EXCHANGE);
                if (rc != 0)
                    ::unlink(link.c_str());
                else
                    ++m_swaps;
            }
            break;
        }
        default: {
            // ... and back: a fresh folder exchanged for whatever is there.
            const std::string fresh = loc + "/fresh" + pick(1000000);
            if (::mkdir(fresh.c_str(), 0755) == 0) {
                rc = ::renameat2(AT_FDCWD, fresh.c_str(), AT_FDCWD, a.c_str(), RENAME_EXCHANGE);
                if (rc != 0)
                    ::rmdir(fresh.c_str());
            }
            break;
        }
        }
        if (rc == 0)
            ++m_changes;
    }

    std::string m_home;
    std::string m_canary;
    std::mt19937 m_rng;
    std::uint64_t m_changes = 0;
    std::uint64_t m_swaps = 0;
};

TEST(stress, scans_and_cleans_interleaved_with_a_changing_tree)
{
    const TempTree tree;
    tree.makeDir("home");
    tree.makeDir("home/Documents");
    tree.makeFile("home/Documents/keep.txt", 321);
    tree.makeDir("canary");
    tree.makeFile("canary/precious", 1234);
    tree.makeDir("canary/inner");
    tree.makeFile("canary/inner/also", 55);
    for (const auto& row : headroom::junkTable())
        std::filesystem::create_directories(headroom::joinPath(tree / "home", row.relativePath));
    const std::string home = tree / "home";
    const Snapshot canaryBefore = snapshot(tree / "canary");
    const Snapshot documentsBefore = snapshot(tree / "home/Documents");
    const int fdsBefore = openDescriptors();

    constexpr int kRounds = 400;
    std::atomic<bool> stop{false};
    Mutator mutator(home, tree / "canary", 20240601);
    std::thread changer([&] { mutator.run(stop); });

    // Two requesters, as two quick clicks would give: each round one scans
    // every location while the other cleans some, in varying order.
    std::atomic<std::uint64_t> scans{0};
    std::atomic<std::uint64_t> cleans{0};
    std::atomic<std::uint64_t> removedEntries{0};
    const auto requester = [&](unsigned seed) {
        std::mt19937 rng(seed);
        const auto& table = headroom::junkTable();
        for (int round = 0; round < kRounds; ++round) {
            const auto& row = table[rng() % table.size()];
            if (rng() % 2 == 0) {
                headroom::WalkOptions options;
                options.threads = 1 + rng() % 4;
                options.maxOpenFolders = rng() % 2 == 0 ? 0 : 2 + rng() % 3;
                headroom::OpenedLocation where = headroom::openLocationParent(home, row.relativePath);
                if (where.parentFd >= 0) {
                    headroom::measureTreeAt(where.parentFd, where.leaf, options);
                    ::close(where.parentFd);
                }
                ++scans;
            } else {
                removedEntries += cleanLocation(home, row.relativePath).removed;
                ++cleans;
            }
        }
    };
    std::thread first(requester, 1u);
    std::thread second(requester, 2u);
    first.join();
    second.join();
    stop = true;
    changer.join();

    // Nothing outside the locations was touched, and nothing is held open.
    EXPECT_EQ(snapshot(tree / "canary"), canaryBefore);
    EXPECT_EQ(snapshot(tree / "home/Documents"), documentsBefore);
    EXPECT_EQ(openDescriptors(), fdsBefore);

    // Once the tree holds still, a scan gives what du gives, and a clean
    // leaves every location gone and measuring 0.
    for (const auto& row : headroom::junkTable()) {
        SCOPED_TRACE(std::string(row.relativePath));
        const std::string path = headroom::joinPath(home, row.relativePath);
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            const auto du = headroom::test::duBelow(path);
            ASSERT_TRUE(du.has_value());
            const headroom::WalkResult r = scanLocation(home, row.relativePath);
            EXPECT_EQ(r.bytes, *du);
            EXPECT_EQ(r.errors, 0u);
        }
        const headroom::RemoveResult removed = cleanLocation(home, row.relativePath);
        EXPECT_EQ(removed.failed, 0u);
        EXPECT_EQ(::lstat(path.c_str(), &st), -1);
        EXPECT_EQ(scanLocation(home, row.relativePath).bytes, 0u);
    }
    EXPECT_EQ(snapshot(tree / "canary"), canaryBefore);
    EXPECT_EQ(snapshot(tree / "home/Documents"), documentsBefore);
    EXPECT_EQ(openDescriptors(), fdsBefore);

    std::cout << "[ figures  ] " << scans.load() << " scans, " << cleans.load() << " cleans ("
              << removedEntries.load() << " entries removed) against " << mutator.changes() << " changes, "
              << mutator.swaps() << " of them folders swapped for links\n";
}

// ---------------------------------------------------------------------------
// Very large trees, in a child with the default limit on open files. The
// memory cap is on the growth of the child's peak resident size while it
// measures and removes: neither may keep a list of the tree.

// ThreadSanitizer keeps several bytes of shadow and history for every byte
// the program touches, so its cap is scaled by that factor.
#ifdef HEADROOM_TSAN
constexpr long kMemoryCapKiB = 4L * 32 * 1024;
#else
constexpr long kMemoryCapKiB = 32L * 1024;
#endif

long peakKiB()
{
    struct rusage ru {};
    ::getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

ChildOutcome measureAndRemove(const std::string& parent, const std::string& name, std::uint64_t entries,
                              std::uint64_t bytes)
{
    struct rlimit rl {};
    ::getrlimit(RLIMIT_NOFILE, &rl);
    rl.rlim_cur = std::min<rlim_t>(1024, rl.rlim_max);
    if (::setrlimit(RLIMIT_NOFILE, &rl) != 0)
        return ChildOutcome::refuse("setrlimit");
    const int parentFd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0)
        return ChildOutcome::fail("open parent");
    const int fds = openDescriptors();
    const long base = peakKiB();

    const headroom::WalkResult walked = headroom::measureTreeAt(parentFd, name);
    if (walked.entries != entries || walked.bytes != bytes || walked.errors != 0)
        return ChildOutcome::fail("measured " + std::to_string(walked.entries) + " entries, "
                                  + std::to_string(walked.bytes) + " bytes, " + std::to_string(walked.errors)
                                  + " errors; want " + std::to_string(entries) + ", " + std::to_string(bytes));
    const long afterWalk = peakKiB();

    const headroom::RemoveResult removed = headroom::removeTreeAt(parentFd, name);
    if (!removed.locationGone || removed.failed != 0 || removed.removed != entries + 1)
        return ChildOutcome::fail("removed " + std::to_string(removed.removed) + ", failed "
                                  + std::to_string(removed.failed));
    const long afterRemove = peakKiB();
    ::close(parentFd);
    if (openDescriptors() != fds - 1)
        return ChildOutcome::fail("descriptors leaked");
    std::cout << "[ figures  ] peak resident growth: walk " << (afterWalk - base) << " KiB, removal "
              << (afterRemove - base) << " KiB" << std::endl; // flushed: the child ends with _exit
    if (afterRemove - base > kMemoryCapKiB)
        return ChildOutcome::fail("peak resident size grew by " + std::to_string(afterRemove - base) + " KiB");
    return ChildOutcome::pass();
}

// The tree is built in a tmpfs mounted in the child's private mount
// namespace where that is allowed (the disk's journal would otherwise set
// the pace of these tests, not the code), else in the temporary folder.
ChildOutcome inScratch(const TempTree& tree, const std::function<ChildOutcome(const std::string&)>& fn)
{
    tree.makeDir("scratch");
    const std::string scratch = tree / "scratch";
    ChildOutcome outcome = headroom::test::runInPrivateMounts([&]() -> ChildOutcome {
        if (::mount("headroom-test", scratch.c_str(), "tmpfs", 0, "size=512m") != 0)
            return ChildOutcome::refuse("tmpfs");
        return fn(scratch);
    });
    if (outcome.status == ChildOutcome::Status::Refused)
        outcome = headroom::test::runInChild([&] { return fn(scratch); });
    return outcome;
}

ChildOutcome wideTree(const std::string& scratch)
{
    const int dir = ::open(scratch.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0 || ::mkdirat(dir, "wide", 0755) != 0)
        return ChildOutcome::fail("mkdir wide");
    const int wide = ::openat(dir, "wide", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::close(dir);
    constexpr int kEntries = 200000;
    for (int i = 0; i < kEntries; ++i) {
        // Long names make the folder's listing large; every 50th entry is a
        // folder, every 1000th file holds a few bytes.
        const std::string name = "entry-with-a-rather-long-name-" + std::to_string(i);
        if (i % 50 == 0) {
            if (::mkdirat(wide, name.c_str(), 0755) != 0)
                return ChildOutcome::fail("mkdirat " + name);
            continue;
        }
        const int fd = ::openat(wide, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0)
            return ChildOutcome::fail("create " + name);
        if (i % 1000 == 1 && ::write(fd, "abc", 3) != 3)
            return ChildOutcome::fail("write");
        ::close(fd);
    }
    ::close(wide);
    const auto du = headroom::test::duBelow(scratch + "/wide");
    if (!du)
        return ChildOutcome::fail("du");
    return measureAndRemove(scratch, "wide", kEntries, *du);
}

TEST(big_trees, two_hundred_thousand_entries_in_one_folder)
{
    const TempTree tree;
    const ChildOutcome outcome = inScratch(tree, wideTree);
    headroom::test::expectChildPassed(outcome);
}

ChildOutcome deepTree(const std::string& scratch)
{
    constexpr std::size_t kDepth = 50000;
    int fd = ::open(scratch.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const char* name = "deep";
    for (std::size_t i = 0; i <= kDepth; ++i) {
        if (::mkdirat(fd, name, 0755) != 0)
            return ChildOutcome::fail("mkdirat at depth " + std::to_string(i));
        const int next = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        if (next < 0)
            return ChildOutcome::fail("open at depth " + std::to_string(i));
        fd = next;
        name = "d";
    }
    ::close(fd);
    const auto du = headroom::test::duBelow(scratch + "/deep");
    if (!du)
        return ChildOutcome::fail("du");
    return measureAndRemove(scratch, "deep", kDepth, *du);
}

TEST(big_trees, chain_fifty_thousand_deep)
{
    const TempTree tree;
    const ChildOutcome outcome = inScratch(tree, deepTree);
    headroom::test::expectChildPassed(outcome);
}

} // namespace
