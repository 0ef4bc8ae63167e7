// Faults from outside: the platform seam's figures failing, the purge tool
// missing, slow or failing, the process out of descriptors, and listing a
// folder failing with EIO or ENOMEM. Each case must end in the usual sound
// state (absent figures read as 0, a zero sample, unreadable parts measured
// as nothing, removals passed over) and hold no descriptor afterwards.

#include "core/DiskText.h"
#include "core/MemoryText.h"
#include "tests/support/ChildExpect.h"
#include "tests/support/TempTree.h"
#include "core/Location.h"
#include "core/PageCounters.h"
#include "core/PurgeTool.h"
#include "core/VolumeFigures.h"
#include "core/Platform.h"
#include "core/TreeRemover.h"
#include "core/TreeWalker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

namespace {

using headroom::test::ChildOutcome;
using headroom::test::helper;
using headroom::test::openDescriptors;
using headroom::test::TempTree;

// Fails the test when the descriptors open at the end of a scope differ
// from those at its start.
class DescriptorCount {
public:
    DescriptorCount() : m_before(openDescriptors()) {}
    ~DescriptorCount() { EXPECT_EQ(openDescriptors(), m_before) << "descriptors leaked"; }
    DescriptorCount(const DescriptorCount&) = delete;
    DescriptorCount& operator=(const DescriptorCount&) = delete;

private:
    int m_before;
};

// Every entry below `root` by relative path, with its size and inode.
std::map<std::string, std::pair<std::uintmax_t, ino_t>> inventory(const std::string& root)
{
    std::map<std::string, std::pair<std::uintmax_t, ino_t>> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        struct stat st {};
        if (::lstat(e.path().c_str(), &st) == 0)
            out[e.path().lexically_relative(root).string()] = {static_cast<std::uintmax_t>(st.st_size), st.st_ino};
    }
    return out;
}

// ---------------------------------------------------------------------------
// The platform seam.

class SeamFaults : public ::testing::Test {
protected:
    void TearDown() override
    {
        headroom::platform::setVolumeQueryForTesting({});
        headroom::platform::setVmstatPathForTesting({});
        headroom::platform::setPurgeToolPathForTesting({});
    }
};

TEST_F(SeamFaults, failed_volume_figures_are_absent_and_never_divided_by)
{
    const DescriptorCount fds;
    headroom::platform::setVolumeQueryForTesting([] { return std::optional<headroom::platform::VolumeStats>{}; });
    const auto total = headroom::getDiskTotalSize();
    const auto free = headroom::getDiskAvailableSize();
    EXPECT_FALSE(total.has_value());
    EXPECT_FALSE(free.has_value());
    const auto percent = headroom::diskPercentages(total.value_or(0), free.value_or(0));
    EXPECT_EQ(percent.used, 0);
    EXPECT_EQ(percent.free, 0);
}

TEST_F(SeamFaults, unreadable_counters_give_a_zero_sample_and_the_one_diagnostic)
{
    const TempTree tree;
    tree.makeDir("folder");
    tree.makeFile("empty", 0);
    tree.makeFile("garbage", 0);
    {
        FILE* f = std::fopen((tree / "garbage").c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs("nr_free_pages -1\nnot a counter\n\xff\xfe\n", f);
        std::fclose(f);
    }
    // Missing, a folder (read fails with EISDIR), empty, and text with no
    // readable counter.
    for (const std::string& source : {tree / "missing", tree / "folder", tree / "empty", tree / "garbage"}) {
        SCOPED_TRACE(source);
        const DescriptorCount fds;
        headroom::platform::setVmstatPathForTesting(source);
        ::testing::internal::CaptureStderr();
        const headroom::VMStatSchema sample = headroom::vm_stat();
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(said, "Failed to get VM statistics.");
        EXPECT_EQ(sample.getTotalMemory(), 0u);
        EXPECT_EQ(sample.translationFaults(), 0u);
        EXPECT_EQ(sample.pageins(), 0u);
        const headroom::MemoryFigures figures = headroom::memoryFigures(sample);
        for (const auto& category : figures.categories)
            EXPECT_EQ(category.percent, 0) << category.key;
    }
}

TEST_F(SeamFaults, purge_tool_missing_failing_or_slow_is_waited_for_and_reported)
{
    const TempTree tree;
    {
        const DescriptorCount fds;
        headroom::platform::setPurgeToolPathForTesting(tree / "no-such-tool");
        EXPECT_EQ(headroom::purgeRAM(), -1);
    }
    {
        const DescriptorCount fds;
        headroom::platform::setPurgeToolPathForTesting(helper("purge-fails.sh"));
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(headroom::purgeRAM(), 3);
        ::testing::internal::GetCapturedStderr();
    }
    {
        // The slow tool leaves its mark last; the call must not come back
        // before it has.
        const DescriptorCount fds;
        const std::string marker = tree / "marker";
        ASSERT_EQ(::setenv("HEADROOM_TEST_MARKER", marker.c_str(), 1), 0); // NOLINT(concurrency-mt-unsafe): no other thread runs
        headroom::platform::setPurgeToolPathForTesting(helper("purge-sleeps.sh"));
        EXPECT_EQ(headroom::purgeRAM(), 0);
        ::unsetenv("HEADROOM_TEST_MARKER"); // NOLINT(concurrency-mt-unsafe): no other thread runs
        struct stat st {};
        EXPECT_EQ(::stat(marker.c_str(), &st), 0) << "purgeRAM returned before the tool had ended";
    }
}

// ---------------------------------------------------------------------------
// Out of descriptors: a child whose RLIMIT_NOFILE leaves only a few free.

// A tree that needs many descriptors at once to walk in one go.
void makeBushyTree(const TempTree& tree)
{
    tree.makeDir("loc");
    tree.makeDir("loc/chain");
    tree.makeChain("loc/chain", 300, "d", 3);
    for (int i = 0; i < 40; ++i) {
        const std::string dir = "loc/wide" + std::to_string(i);
        tree.makeDir(dir);
        tree.makeChain(dir, 20, "x", 7);
    }
    tree.makeDir("canary");
    tree.makeFile("canary/keep", 11);
    tree.makeSymlink("loc/out", "../canary");
}

TEST(DescriptorFaults, walker_with_almost_no_descriptors_counts_what_it_reached)
{
    const TempTree tree;
    makeBushyTree(tree);
    const auto du = headroom::test::duBelow(tree / "loc");
    ASSERT_TRUE(du.has_value());

    const ChildOutcome outcome = headroom::test::runInChild([&]() -> ChildOutcome {
        for (const unsigned spare : {1u, 2u, 3u, 5u, 8u}) {
            const int before = openDescriptors();
            // Descriptors are numbered from 0, so the limit is the lowest
            // free number plus the spare ones.
            const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
            ::close(probe);
            struct rlimit rl {};
            ::getrlimit(RLIMIT_NOFILE, &rl);
            const struct rlimit saved = rl;
            rl.rlim_cur = static_cast<rlim_t>(probe) + spare;
            if (::setrlimit(RLIMIT_NOFILE, &rl) != 0)
                return ChildOutcome::refuse("setrlimit");
            headroom::WalkOptions options;
            // One thread while only one or two descriptors are free: under
            // AddressSanitizer starting a thread itself needs a descriptor
            // (the runtime reads /proc/self/maps), which is not the walker's.
            options.threads = spare >= 3 ? 1 + spare % 3 : 1;
            const headroom::WalkResult r = headroom::measureTree(tree / "loc", options);
            ::setrlimit(RLIMIT_NOFILE, &saved);
            if (openDescriptors() != before)
                return ChildOutcome::fail("descriptors leaked with " + std::to_string(spare) + " spare");
            // Whatever could not be opened is missing from the sum and
            // counted as an error; nothing is ever counted twice.
            if (r.bytes > *du || (r.errors == 0 && r.bytes != *du))
                return ChildOutcome::fail("spare " + std::to_string(spare) + ": " + std::to_string(r.bytes)
                                          + " bytes, " + std::to_string(r.errors) + " errors, du " + std::to_string(*du));
        }
        // With the limit back, the same tree measures in full.
        const headroom::WalkResult full = headroom::measureTree(tree / "loc");
        if (full.bytes != *du || full.errors != 0)
            return ChildOutcome::fail("after the limit was raised: " + std::to_string(full.bytes));
        return ChildOutcome::pass();
    });
    headroom::test::expectChildPassed(outcome);
}

TEST(DescriptorFaults, removal_with_almost_no_descriptors_passes_over_and_touches_nothing_outside)
{
    const TempTree tree;
    makeBushyTree(tree);
    const auto canary = inventory(tree / "canary");

    const ChildOutcome outcome = headroom::test::runInChild([&]() -> ChildOutcome {
        const int before = openDescriptors();
        const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ::close(probe);
        struct rlimit rl {};
        ::getrlimit(RLIMIT_NOFILE, &rl);
        const struct rlimit saved = rl;
        // The parent folder, the location and one more: enough to start,
        // too few to hold the remover's usual descriptors.
        rl.rlim_cur = static_cast<rlim_t>(probe) + 3;
        if (::setrlimit(RLIMIT_NOFILE, &rl) != 0)
            return ChildOutcome::refuse("setrlimit");
        const headroom::RemoveResult first = headroom::removeLocation(tree.path(), "loc");
        ::setrlimit(RLIMIT_NOFILE, &saved);
        if (openDescriptors() != before)
            return ChildOutcome::fail("descriptors leaked");
        if (!first.locationGone && first.failed == 0)
            return ChildOutcome::fail("location left behind with no failure reported");
        // A second removal with the usual limit finishes the job.
        const headroom::RemoveResult second = headroom::removeLocation(tree.path(), "loc");
        if (!second.locationGone || second.failed != 0)
            return ChildOutcome::fail("second removal: " + std::to_string(second.failed) + " failed");
        return ChildOutcome::pass();
    });
    headroom::test::expectChildPassed(outcome);
    EXPECT_EQ(inventory(tree / "canary"), canary);
}

// ---------------------------------------------------------------------------
// Listing a folder fails: getdents64 on one chosen folder returns EIO or
// ENOMEM. A seccomp filter in a child traps every getdents64 call with an
// even byte count; the SIGSYS handler fails the call when its descriptor is
// the chosen folder and otherwise makes the real call with the count less
// one (odd counts pass the filter). Neither the walker nor the remover is
// changed for this.

std::atomic<ino_t> g_failIno{0};
std::atomic<dev_t> g_failDev{0};
std::atomic<int> g_failErrno{0};
std::atomic<unsigned> g_failed{0};

void onSigsys(int, siginfo_t* info, void* context)
{
    auto* uc = static_cast<ucontext_t*>(context);
    greg_t* regs = uc->uc_mcontext.gregs;
    if (info->si_syscall != SYS_getdents64) {
        regs[REG_RAX] = -ENOSYS;
        return;
    }
    const int fd = static_cast<int>(regs[REG_RDI]);
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_ino == g_failIno.load() && st.st_dev == g_failDev.load()) {
        g_failed.fetch_add(1);
        regs[REG_RAX] = -g_failErrno.load();
        return;
    }
    const long n = ::syscall(SYS_getdents64, fd, reinterpret_cast<void*>(regs[REG_RSI]), // NOLINT(performance-no-int-to-ptr): a saved register
                             static_cast<unsigned long>(regs[REG_RDX]) - 1);
    regs[REG_RAX] = n < 0 ? -errno : n;
}

// Installs the trap in this (child) process; false when the kernel refuses.
bool trapListing(const std::string& folder, int error)
{
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0)
        return false;
    g_failIno = st.st_ino;
    g_failDev = st.st_dev;
    g_failErrno = error;
    struct sigaction sa {};
    sa.sa_sigaction = onSigsys;
    sa.sa_flags = SA_SIGINFO;
    if (::sigaction(SIGSYS, &sa, nullptr) != 0)
        return false;
    struct sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<std::uint32_t>(offsetof(struct seccomp_data, arch))),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<std::uint32_t>(offsetof(struct seccomp_data, nr))),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_getdents64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        // The low word of the third argument, the byte count.
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<std::uint32_t>(offsetof(struct seccomp_data, args[2]))),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, 1, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRAP),
    };
    struct sock_fprog prog {};
    prog.len = static_cast<unsigned short>(sizeof code / sizeof code[0]);
    prog.filter = code;
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return false;
    return ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &prog) == 0;
}

class ListingFaults : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
#if defined(HEADROOM_TSAN) || !defined(__x86_64__)
        GTEST_SKIP() << "the syscall trap needs x86-64 and no ThreadSanitizer";
#endif
        tree.makeDir("loc");
        tree.makeFile("loc/a", 100);
        tree.makeDir("loc/good");
        tree.makeFile("loc/good/b", 200);
        tree.makeDir("loc/good/bad");
        tree.makeFile("loc/good/bad/hidden", 4000);
        tree.makeDir("loc/good/bad/inner");
        tree.makeFile("loc/good/bad/inner/deeper", 5000);
        tree.makeChain("loc/good", 30, "c", 1);
        tree.makeDir("canary");
        tree.makeFile("canary/keep", 9);
        tree.makeSymlink("loc/good/out", "../../canary");
    }

    TempTree tree;
};

TEST_P(ListingFaults, walker_counts_the_folder_entry_but_nothing_inside)
{
    const auto all = headroom::test::duBelow(tree / "loc");
    const auto hidden = headroom::test::duBelow(tree / "loc/good/bad");
    ASSERT_TRUE(all && hidden);
    const int error = GetParam();
    const ChildOutcome outcome = headroom::test::runInChild([&]() -> ChildOutcome {
        if (!trapListing(tree / "loc/good/bad", error))
            return ChildOutcome::refuse("seccomp filter not allowed");
        for (const unsigned threads : {1u, 4u}) {
            const int before = openDescriptors();
            headroom::WalkOptions options;
            options.threads = threads;
            const headroom::WalkResult r = headroom::measureTree(tree / "loc", options);
            if (openDescriptors() != before)
                return ChildOutcome::fail("descriptors leaked");
            if (g_failed.load() == 0)
                return ChildOutcome::fail("the chosen folder was never listed");
            if (r.bytes != *all - *hidden || r.errors == 0)
                return ChildOutcome::fail(std::to_string(r.bytes) + " bytes, " + std::to_string(r.errors)
                                          + " errors; want " + std::to_string(*all - *hidden));
        }
        // The folder that fails as the root: nothing below it, an error.
        const headroom::WalkResult root = headroom::measureTree(tree / "loc/good/bad");
        if (root.bytes != 0 || root.errors == 0)
            return ChildOutcome::fail("failing root measured " + std::to_string(root.bytes));
        return ChildOutcome::pass();
    });
    headroom::test::expectChildPassed(outcome);
}

TEST_P(ListingFaults, removal_passes_over_the_folder_and_removes_the_rest)
{
    const auto canary = inventory(tree / "canary");
    const auto kept = inventory(tree / "loc/good/bad");
    const int error = GetParam();
    const ChildOutcome outcome = headroom::test::runInChild([&]() -> ChildOutcome {
        if (!trapListing(tree / "loc/good/bad", error))
            return ChildOutcome::refuse("seccomp filter not allowed");
        const int before = openDescriptors();
        const headroom::RemoveResult r = headroom::removeLocation(tree.path(), "loc");
        if (openDescriptors() != before)
            return ChildOutcome::fail("descriptors leaked");
        if (r.locationGone || r.failed == 0)
            return ChildOutcome::fail("a folder that could not be listed must be reported and kept");
        return ChildOutcome::pass();
    });
    if (outcome.status == ChildOutcome::Status::Refused) {
        GTEST_SKIP() << outcome.message;
    }
    ASSERT_EQ(outcome.status, ChildOutcome::Status::Passed) << outcome.message;
    // Only the unlistable folder and the folders that hold it are left.
    EXPECT_EQ(inventory(tree / "loc/good/bad"), kept);
    std::map<std::string, int> left;
    for (const auto& e : std::filesystem::recursive_directory_iterator(tree / "loc"))
        ++left[e.path().lexically_relative(tree.path()).string()];
    std::map<std::string, int> expected{{"loc/good", 1}, {"loc/good/bad", 1}};
    for (const auto& [path, info] : kept)
        expected["loc/good/bad/" + path] = 1;
    EXPECT_EQ(left, expected);
    EXPECT_EQ(inventory(tree / "canary"), canary);
}

INSTANTIATE_TEST_SUITE_P(Errors, ListingFaults, ::testing::Values(EIO, ENOMEM),
                         [](const ::testing::TestParamInfo<int>& info) { return std::string(info.param == EIO ? "EIO" : "ENOMEM"); });

} // namespace
