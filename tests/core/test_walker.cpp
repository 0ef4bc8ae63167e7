#include "core/TreeWalker.h"

#include "tests/support/ChildExpect.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

using headroom::measureTree;
using headroom::measureTreeAt;
using headroom::WalkOptions;
using headroom::WalkResult;
using headroom::test::ChildOutcome;
using headroom::test::duBelow;
using headroom::test::expectChildPassed;
using headroom::test::entrySize;
using headroom::test::TempTree;

namespace {

WalkOptions withThreads(unsigned threads, unsigned maxOpenFolders = 0)
{
    WalkOptions o;
    o.threads = threads;
    o.maxOpenFolders = maxOpenFolders;
    return o;
}

std::string mismatch(const char* what, std::uint64_t got, std::uint64_t want)
{
    return std::string(what) + ": walker " + std::to_string(got) + ", expected " + std::to_string(want);
}

// A tree with a bit of everything: nested folders, empty folders, files of
// many sizes, sparse files, hard links, links to files, to folders, to
// nowhere and to an ancestor, and names that are not text.
void buildMixedTree(const TempTree& t, unsigned seed)
{
    std::mt19937 rng(seed);
    auto pick = [&rng](unsigned n) { return static_cast<unsigned>(rng() % n); };
    std::vector<std::string> folders{""};
    std::vector<std::string> files;
    const std::vector<std::string> odd{"\xff\xfe bytes", "new\nline", "-rf", " lead", "tab\there", "\x01\x7f",
                                       std::string(255, 'L'), ".hidden", "..dots", "\xc3\x28"};
    // One folder wide enough to be measured in several batches of statx.
    t.makeDir("wide");
    for (unsigned i = 0; i < 700; ++i) {
        const std::string rel = "wide/w" + std::to_string(i);
        if (i % 50 == 0)
            t.makeSymlink(rel, "../wide");
        else
            t.makeFile(rel, pick(3) == 0 ? 0 : pick(9000));
    }
    for (unsigned i = 0; i < 160; ++i) {
        const std::string& parent = folders[pick(static_cast<unsigned>(folders.size()))];
        const std::string base = (i % 9 == 0) ? odd[(i / 9) % odd.size()] : "e" + std::to_string(i);
        const std::string rel = parent.empty() ? base : parent + "/" + base;
        switch (pick(8)) {
        case 0:
        case 1:
            t.makeDir(rel);
            folders.push_back(rel);
            break;
        case 2:
            t.makeSparseFile(rel, 1 + (std::uint64_t{pick(1000)} << 20));
            files.push_back(rel);
            break;
        case 3:
            if (!files.empty()) {
                t.makeHardLink(files[pick(static_cast<unsigned>(files.size()))], rel);
                break;
            }
            [[fallthrough]];
        case 4: {
            const std::vector<std::string> targets{"/", "/etc/passwd", "nowhere", "..", "../..", ".", t.path()};
            t.makeSymlink(rel, targets[pick(static_cast<unsigned>(targets.size()))]);
            break;
        }
        default:
            t.makeFile(rel, pick(5) == 0 ? 0 : pick(70000));
            files.push_back(rel);
        }
    }
}

} // namespace

// ---------------------------------------------------------------------------
// What is counted

TEST(walker_test, empty_folder_measures_zero_and_one_file_measures_its_size)
{
    TempTree t;
    t.makeDir("empty");
    t.makeDir("one");
    t.makeFile("one/five", 5);
    EXPECT_EQ(measureTree(t / "empty").bytes, 0u);
    EXPECT_EQ(measureTree(t / "empty").entries, 0u);
    EXPECT_EQ(measureTree(t / "one").bytes, 5u);
    EXPECT_EQ(measureTree(t / "one").entries, 1u);
}

TEST(walker_test, subfolder_adds_its_own_entry_and_root_is_not_counted)
{
    TempTree t;
    t.makeDir("root");
    t.makeDir("root/sub");
    t.makeFile("root/sub/five", 5);
    const WalkResult r = measureTree(t / "root");
    EXPECT_EQ(r.bytes, 5u + entrySize(t / "root/sub"));
    EXPECT_EQ(r.entries, 2u);
    EXPECT_EQ(r.errors, 0u);
}

TEST(walker_test, missing_file_or_link_root_measures_zero)
{
    TempTree t;
    t.makeDir("real");
    t.makeFile("real/data", 4096);
    t.makeFile("plain", 1000);
    t.makeSymlink("link", "real");
    ASSERT_GT(measureTree(t / "real").bytes, 0u);
    EXPECT_EQ(measureTree(t / "missing").bytes, 0u);
    EXPECT_EQ(measureTree(t / "missing/deeper").bytes, 0u);
    EXPECT_EQ(measureTree(t / "plain").bytes, 0u);
    EXPECT_EQ(measureTree(t / "link").bytes, 0u);
    // A trailing slash must not turn the link into its target either.
    EXPECT_EQ(measureTree(t / "link/").bytes, 0u);
    EXPECT_EQ(measureTree(t / "link//").bytes, 0u);
    EXPECT_EQ(measureTree("").bytes, 0u);
}

TEST(walker_test, links_in_the_middle_of_the_root_path_are_followed)
{
    TempTree t;
    t.makeDir("real");
    t.makeDir("real/sub");
    t.makeFile("real/sub/data", 777);
    t.makeSymlink("via", "real");
    EXPECT_EQ(measureTree(t / "via/sub").bytes, 777u);
    EXPECT_EQ(measureTree(t / "real/sub/").bytes, 777u);
}

TEST(walker_test, links_count_their_own_size_and_are_never_followed)
{
    TempTree t;
    t.makeDir("outside");
    t.makeFile("outside/big", 1 << 20);
    t.makeDir("root");
    t.makeSymlink("root/to-file", "../outside/big");
    t.makeSymlink("root/to-folder", "../outside");
    t.makeSymlink("root/loop", ".");
    t.makeSymlink("root/up", "..");
    t.makeSymlink("root/dangling", "no/such/thing");
    const WalkResult r = measureTree(t / "root");
    const std::uint64_t linkSizes = entrySize(t / "root/to-file") + entrySize(t / "root/to-folder")
        + entrySize(t / "root/loop") + entrySize(t / "root/up") + entrySize(t / "root/dangling");
    EXPECT_EQ(r.bytes, linkSizes);
    EXPECT_EQ(r.entries, 5u);
    const auto du = duBelow(t / "root");
    ASSERT_TRUE(du);
    EXPECT_EQ(r.bytes, *du);
}

TEST(walker_test, hard_links_count_each_time)
{
    TempTree t;
    t.makeDir("root");
    t.makeDir("root/a");
    t.makeFile("root/a/file", 3000);
    t.makeHardLink("root/a/file", "root/a/again");
    t.makeHardLink("root/a/file", "root/third");
    const WalkResult r = measureTree(t / "root");
    EXPECT_EQ(r.bytes, std::uint64_t{3} * 3000u + entrySize(t / "root/a"));
    const auto du = duBelow(t / "root");
    ASSERT_TRUE(du);
    EXPECT_EQ(r.bytes, *du);
}

TEST(walker_test, sparse_file_counts_its_apparent_size)
{
    TempTree t;
    t.makeDir("root");
    const std::uint64_t size = (std::uint64_t{1} << 40) + 3; // far beyond the disk
    t.makeSparseFile("root/hole", size);
    EXPECT_EQ(measureTree(t / "root").bytes, size);
}

TEST(walker_test, names_that_are_not_text_are_measured_like_du)
{
    TempTree t;
    t.makeDir("root");
    const std::vector<std::string> names{"\xff\xfe\xfd", "line\nbreak", "-n", "--", " ", "back\\slash",
                                         std::string(255, 'x'), "\xe2\x82", "a\x1b[31mred", "...", "*"};
    std::uint64_t sum = 0;
    std::size_t i = 1;
    for (const std::string& n : names) {
        t.makeDir("root/" + n);
        t.makeFile("root/" + n + "/" + n, i);
        sum += i++ + entrySize(t / ("root/" + n));
    }
    const WalkResult r = measureTree(t / "root");
    EXPECT_EQ(r.bytes, sum);
    EXPECT_EQ(r.errors, 0u);
    const auto du = duBelow(t / "root");
    ASSERT_TRUE(du);
    EXPECT_EQ(r.bytes, *du);
}

// ---------------------------------------------------------------------------
// Agreement with du across thread counts and descriptor bounds

TEST(walker_test, mixed_trees_match_du_for_any_thread_count_and_descriptor_bound)
{
    for (unsigned seed : {1u, 2u, 3u}) {
        TempTree t;
        buildMixedTree(t, seed);
        const auto du = duBelow(t.path());
        ASSERT_TRUE(du) << "seed " << seed;
        for (unsigned threads : {1u, 2u, 3u, 8u}) {
            for (unsigned bound : {0u, 1u, 2u, 5u}) {
                for (bool batch : {true, false}) {
                    WalkOptions o = withThreads(threads, bound);
                    o.batchStat = batch;
                    const WalkResult r = measureTree(t.path(), o);
                    EXPECT_EQ(r.bytes, *du) << "seed " << seed << " threads " << threads << " bound " << bound
                                            << " batch " << batch;
                    EXPECT_EQ(r.errors, 0u) << "seed " << seed << " threads " << threads << " bound " << bound
                                            << " batch " << batch;
                }
            }
        }
        EXPECT_EQ(measureTree(t.path()).bytes, *du) << "default options, seed " << seed;
    }
}

TEST(walker_test, wide_folder_of_long_named_subfolders_matches_du)
{
    // About 700 KiB of subfolder names in one folder, more than a worker
    // keeps noted at once, so the folder is read in several resumed passes.
    TempTree t;
    t.makeDir("root");
    for (int i = 0; i < 2800; ++i) {
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "%05d", i);
        const std::string name = prefix + std::string(245, 'w');
        t.makeDir("root/" + name);
        if (i % 7 == 0)
            t.makeFile("root/" + name + "/f", static_cast<std::size_t>(i));
    }
    const auto du = duBelow(t / "root");
    ASSERT_TRUE(du);
    for (unsigned threads : {1u, 2u, 4u}) {
        for (unsigned bound : {0u, 1u}) {
            const WalkResult r = measureTree(t / "root", withThreads(threads, bound));
            EXPECT_EQ(r.bytes, *du) << "threads " << threads << " bound " << bound;
            EXPECT_EQ(r.entries, 2800u + 400u) << "threads " << threads << " bound " << bound;
        }
    }
}

TEST(walker_test, cancel_flag_stops_every_worker_before_its_next_folder)
{
    // 1 + 40 * (1 + 10 * 2) entries; the flag goes up on the third folder.
    TempTree t;
    for (int i = 0; i < 40; ++i) {
        const std::string top = "d" + std::to_string(i);
        t.makeDir(top);
        for (int j = 0; j < 10; ++j) {
            const std::string sub = top + "/s" + std::to_string(j);
            t.makeDir(sub);
            t.makeFile(sub + "/f", 100);
        }
    }
    t.makeFile("top-file", 10);
    const std::uint64_t allEntries = 1 + 40 * (1 + 10 * 2);
    constexpr unsigned kCancelAt = 3;

    for (unsigned threads : {1u, 4u}) {
        std::atomic<bool> cancel{false};
        std::atomic<unsigned> entered{0};
        WalkOptions o = withThreads(threads);
        o.cancel = &cancel;

        const WalkResult whole = measureTree(t.path(), o);
        EXPECT_FALSE(whole.cancelled) << "threads " << threads;
        EXPECT_EQ(whole.entries, allEntries) << "threads " << threads;

        // Each worker raises the flag itself once the count is reached, so
        // every worker enters at most one folder from then on.
        o.onFolderEntered = [&](std::size_t) {
            if (entered.fetch_add(1) + 1 >= kCancelAt)
                cancel.store(true);
        };
        const WalkResult r = measureTree(t.path(), o);
        EXPECT_TRUE(r.cancelled) << "threads " << threads;
        EXPECT_GE(entered.load(), kCancelAt) << "threads " << threads;
        EXPECT_LE(entered.load(), kCancelAt - 1 + threads) << "threads " << threads;
        EXPECT_LT(r.entries, allEntries / 2) << "threads " << threads;
    }
}

TEST(walker_test, measure_at_starts_from_the_given_folder_descriptor)
{
    TempTree t;
    t.makeDir("base");
    t.makeDir("base/-x");
    t.makeFile("base/-x/f", 123);
    t.makeSymlink("base/lnk", "-x");
    const int fd = ::open((t / "base").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // cppcheck-suppress resourceLeak ; nothing is open when this fails
    ASSERT_GE(fd, 0);
    EXPECT_EQ(measureTreeAt(fd, "-x").bytes, 123u);
    EXPECT_EQ(measureTreeAt(fd, "lnk").bytes, 0u);
    EXPECT_EQ(measureTreeAt(fd, "none").bytes, 0u);
    EXPECT_EQ(measureTreeAt(fd, ".").bytes, measureTree(t / "base").bytes);
    ::close(fd);
}

// ---------------------------------------------------------------------------
// Depth and descriptors

namespace {

ChildOutcome measureChainUnderLimit(const std::string& root, std::uint64_t expected, rlim_t limit, unsigned threads)
{
    struct rlimit rl {};
    if (::getrlimit(RLIMIT_NOFILE, &rl) != 0)
        return ChildOutcome::fail("getrlimit");
    rl.rlim_cur = limit;
    if (::setrlimit(RLIMIT_NOFILE, &rl) != 0)
        return ChildOutcome::fail(std::string("setrlimit: ") + std::strerror(errno));
    const WalkResult r = measureTree(root, withThreads(threads));
    if (r.bytes != expected)
        return ChildOutcome::fail(mismatch("bytes", r.bytes, expected));
    if (r.errors != 0)
        return ChildOutcome::fail("errors: " + std::to_string(r.errors));
    return ChildOutcome::pass();
}

} // namespace

TEST(walker_test, chain_ten_thousand_deep_under_1024_descriptors)
{
    TempTree t;
    t.makeDir("root");
    t.makeChain("root", 10000, "d", 3);
    const auto du = duBelow(t / "root");
    ASSERT_TRUE(du);
    expectChildPassed(headroom::test::runInChild([&] { return measureChainUnderLimit(t / "root", *du, 1024, 0); }));
}

TEST(walker_test, chain_fifty_thousand_deep_under_64_descriptors)
{
    // In memory where possible: building and removing 50,000 levels on a
    // disk takes longer than the walk by far. tmpfs also brings its own
    // directory cookies to the reopen-and-seek path.
    struct statfs fs {};
    const bool shm = ::statfs("/dev/shm", &fs) == 0 && fs.f_type == TMPFS_MAGIC && ::access("/dev/shm", W_OK) == 0;
    TempTree t(shm ? "/dev/shm" : "");
    t.makeDir("root");
    t.makeChain("root", 50000, "level", 0);
    const auto du = duBelow(t / "root");
    ASSERT_TRUE(du);
    expectChildPassed(headroom::test::runInChild([&] { return measureChainUnderLimit(t / "root", *du, 64, 4); }));
}

TEST(walker_test, folder_moved_away_while_walked_below_it_is_not_climbed_out_of)
{
    // The walk holds only the current folder open, so it climbs back up
    // through "..". Moving an ancestor out of the tree while the walk is
    // below it makes ".." lead outside: that must end the branch, not walk
    // the outside folder.
    TempTree t;
    t.makeDir("root");
    t.makeChain("root", 6, "c", 10);
    t.makeDir("outside");
    const std::size_t big = 1 << 20;
    t.makeFile("outside/big", big);
    bool moved = false;
    WalkOptions o = withThreads(1, 1);
    o.onFolderEntered = [&](std::size_t depth) {
        if (depth == 6 && !moved) {
            moved = true;
            ASSERT_EQ(std::rename((t / "root/c/c/c").c_str(), (t / "outside/moved").c_str()), 0);
        }
    };
    const WalkResult r = measureTree(t / "root", o);
    ASSERT_TRUE(moved);
    EXPECT_LT(r.bytes, big);
    EXPECT_GE(r.errors, 1u);
}

// ---------------------------------------------------------------------------
// Permissions (root ignores them, so these run without the DAC capabilities)

TEST(walker_test, unreadable_folder_adds_its_entry_but_nothing_inside)
{
    TempTree t;
    t.makeDir("root");
    t.makeFile("root/before", 111);
    t.makeDir("root/locked");
    t.makeFile("root/locked/secret", 5000);
    t.makeDir("root/locked/sub");
    t.makeFile("root/locked/sub/deeper", 7000);
    t.makeDir("root/after");
    t.makeFile("root/after/file", 222);
    const auto all = duBelow(t / "root");
    const auto inside = duBelow(t / "root/locked");
    ASSERT_TRUE(all && inside);
    ASSERT_EQ(::chmod((t / "root/locked").c_str(), 0), 0);
    const std::uint64_t expected = *all - *inside;
    expectChildPassed(headroom::test::runWithoutDacCapabilities([&] {
        const WalkResult r = measureTree(t / "root", withThreads(2));
        if (r.bytes != expected)
            return ChildOutcome::fail(mismatch("bytes", r.bytes, expected));
        if (r.errors < 1)
            return ChildOutcome::fail("the unreadable folder was not reported as an error");
        return ChildOutcome::pass();
    }));
}

TEST(walker_test, listable_but_unsearchable_folder_adds_nothing_inside)
{
    TempTree t;
    t.makeDir("root");
    t.makeFile("root/kept", 99);
    t.makeDir("root/noexec");
    // Enough entries for a batched statx, which runs on kernel threads
    // that must be refused just the same.
    for (int i = 0; i < 40; ++i)
        t.makeFile("root/noexec/f" + std::to_string(i), 1000 + static_cast<std::size_t>(i));
    t.makeDir("root/noexec/c");
    const auto all = duBelow(t / "root");
    const auto inside = duBelow(t / "root/noexec");
    ASSERT_TRUE(all && inside);
    ASSERT_EQ(::chmod((t / "root/noexec").c_str(), 0444), 0);
    const std::uint64_t expected = *all - *inside;
    expectChildPassed(headroom::test::runWithoutDacCapabilities([&] {
        for (bool batch : {true, false}) {
            WalkOptions o = withThreads(1);
            o.batchStat = batch;
            const WalkResult r = measureTree(t / "root", o);
            if (r.bytes != expected)
                return ChildOutcome::fail(mismatch("bytes", r.bytes, expected));
            if (r.errors < 41)
                return ChildOutcome::fail("each entry that could not be measured is an error; got " +
                                          std::to_string(r.errors));
        }
        return ChildOutcome::pass();
    }));
}

TEST(walker_test, unreadable_root_measures_zero_and_unreadable_files_still_count)
{
    TempTree t;
    t.makeDir("locked", 0);
    t.makeDir("open");
    t.makeFile("open/private", 4321, 0);
    expectChildPassed(headroom::test::runWithoutDacCapabilities([&] {
        // The probe first: if the drop did not take, these tests prove nothing.
        if (::access((t / "open/private").c_str(), R_OK) == 0)
            return ChildOutcome::fail("a mode-0 file is still readable: capabilities not dropped");
        const WalkResult locked = measureTree(t / "locked");
        if (locked.bytes != 0 || locked.errors != 1)
            return ChildOutcome::fail("unreadable root: bytes " + std::to_string(locked.bytes) + ", errors " +
                                      std::to_string(locked.errors));
        // Measuring needs no read permission on the file itself.
        const WalkResult open = measureTree(t / "open");
        if (open.bytes != 4321)
            return ChildOutcome::fail(mismatch("mode-0 file", open.bytes, 4321));
        return ChildOutcome::pass();
    }));
}

// ---------------------------------------------------------------------------
// Mounts (in a private mount namespace of a child, so nothing outlives it)

namespace {

ChildOutcome bindMount(const std::string& source, const std::string& target)
{
    if (::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0)
        return ChildOutcome::refuse("mount --bind " + source + " " + target + ": " + std::strerror(errno));
    return ChildOutcome::pass();
}

ChildOutcome expectMeasure(const std::string& root, std::uint64_t expected, const char* what)
{
    for (unsigned threads : {1u, 2u, 4u}) {
        const WalkResult r = measureTree(root, withThreads(threads));
        if (r.bytes != expected)
            return ChildOutcome::fail(std::string(what) + ", threads " + std::to_string(threads) + ": " +
                                      mismatch("bytes", r.bytes, expected));
    }
    return ChildOutcome::pass();
}

} // namespace

TEST(walker_test, bind_mount_inside_is_neither_entered_nor_its_entry_counted)
{
    TempTree t;
    t.makeDir("elsewhere");
    t.makeFile("elsewhere/big", 1 << 20);
    t.makeDir("root");
    t.makeFile("root/file", 500);
    t.makeDir("root/mnt");
    t.makeDir("root/sub");
    t.makeFile("root/sub/file", 600);
    const auto before = duBelow(t / "root");
    ASSERT_TRUE(before);
    // A clean could not remove the mount point, so its entry goes too.
    const std::uint64_t expected = *before - entrySize(t / "root/mnt");
    expectChildPassed(headroom::test::runInPrivateMounts([&] {
        if (auto m = bindMount(t / "elsewhere", t / "root/mnt"); m.status != ChildOutcome::Status::Passed)
            return m;
        return expectMeasure(t / "root", expected, "folder bind mount");
    }));
}

TEST(walker_test, bind_mount_of_an_ancestor_inside_the_tree_does_not_loop)
{
    TempTree t;
    t.makeDir("root");
    t.makeDir("root/a");
    t.makeDir("root/a/b");
    t.makeFile("root/a/b/file", 700);
    t.makeDir("root/a/b/cycle");
    const auto before = duBelow(t / "root");
    ASSERT_TRUE(before);
    const std::uint64_t expected = *before - entrySize(t / "root/a/b/cycle");
    expectChildPassed(headroom::test::runInPrivateMounts([&] {
        // root/a/b/cycle shows root again: an endless tree if entered.
        if (auto m = bindMount(t / "root", t / "root/a/b/cycle"); m.status != ChildOutcome::Status::Passed)
            return m;
        return expectMeasure(t / "root", expected, "ancestor bind mount");
    }));
}

TEST(walker_test, file_bind_mount_and_other_file_system_are_not_counted)
{
    TempTree t;
    t.makeFile("source", 9000);
    t.makeDir("root");
    t.makeFile("root/target", 10);
    t.makeFile("root/kept", 20);
    t.makeDir("root/tmpfs");
    const auto before = duBelow(t / "root");
    ASSERT_TRUE(before);
    const std::uint64_t expected = *before - entrySize(t / "root/target") - entrySize(t / "root/tmpfs");
    expectChildPassed(headroom::test::runInPrivateMounts([&] {
        if (auto m = bindMount(t / "source", t / "root/target"); m.status != ChildOutcome::Status::Passed)
            return m;
        if (::mount("tmpfs", (t / "root/tmpfs").c_str(), "tmpfs", 0, "size=4m") != 0)
            return ChildOutcome::refuse(std::string("mount tmpfs: ") + std::strerror(errno));
        const int fd = ::open((t / "root/tmpfs/inside").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, "0123456789", 10) != 10)
            return ChildOutcome::fail("write into the tmpfs");
        ::close(fd);
        return expectMeasure(t / "root", expected, "file bind mount and tmpfs");
    }));
}

TEST(walker_test, root_that_is_a_mount_point_is_measured_inside)
{
    TempTree t;
    t.makeDir("source");
    t.makeDir("source/sub");
    t.makeFile("source/sub/file", 4444);
    t.makeDir("mnt");
    const auto expected = duBelow(t / "source");
    ASSERT_TRUE(expected);
    expectChildPassed(headroom::test::runInPrivateMounts([&] {
        if (auto m = bindMount(t / "source", t / "mnt"); m.status != ChildOutcome::Status::Passed)
            return m;
        return expectMeasure(t / "mnt", *expected, "root on a bind mount");
    }));
}

// ---------------------------------------------------------------------------
// A tree that changes while it is walked

TEST(walker_test, tree_changing_while_walked_ends_within_bounds)
{
    TempTree t;
    t.makeDir("root");
    for (int d = 0; d < 20; ++d) {
        t.makeDir("root/s" + std::to_string(d));
        for (int f = 0; f < 30; ++f)
            t.makeFile("root/s" + std::to_string(d) + "/f" + std::to_string(f), static_cast<std::size_t>(f) * 10);
    }
    t.makeDir("root/churn");
    const auto stable = duBelow(t / "root");
    ASSERT_TRUE(stable);

    // The churn folder only ever holds small entries: at most kLive
    // folders of at most one file each, so whatever the walk sees of it
    // (even a folder seen twice through a rename) stays below this margin.
    constexpr int kLive = 8;
    const std::uint64_t margin = 2ull * kLive * (4096 * 4 + 64) + (1 << 20);

    std::atomic<bool> stop{false};
    std::atomic<int> rounds{0};
    std::thread mutator([&] {
        const std::string churn = t / "root/churn";
        const std::string stableDir = t / "root/s0";
        for (int i = 0; !stop.load() || i < 50; ++i) {
            const std::string a = churn + "/x" + std::to_string(i % kLive);
            const std::string b = churn + "/y" + std::to_string(i % kLive);
            ::mkdir(a.c_str(), 0755);
            const int fd = ::open((a + "/f").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd >= 0) {
                (void)!::write(fd, "data", 4);
                ::close(fd);
            }
            ::rename(a.c_str(), b.c_str());
            ::unlink((b + "/f").c_str());
            ::rmdir(b.c_str());
            // Renaming a stable folder away and back: it may be missed or seen
            // twice, but never more.
            ::rename(stableDir.c_str(), (churn + "/moving").c_str());
            ::rename((churn + "/moving").c_str(), stableDir.c_str());
            rounds.fetch_add(1);
        }
    });
    const std::uint64_t s0 = *duBelow(t / "root/s0") + entrySize(t / "root/s0");
    std::vector<WalkResult> results;
    for (int i = 0; i < 40; ++i)
        results.push_back(measureTree(t / "root", withThreads(1 + i % 4, i % 3 == 0 ? 1 : 0)));
    stop.store(true);
    mutator.join();
    ASSERT_GT(rounds.load(), 0);
    for (const WalkResult& r : results) {
        EXPECT_GE(r.bytes + s0, *stable);
        EXPECT_LE(r.bytes, *stable + s0 + margin);
    }
    // Once still, the tree measures exactly like du again.
    const auto after = duBelow(t / "root");
    ASSERT_TRUE(after);
    EXPECT_EQ(measureTree(t / "root").bytes, *after);
}
