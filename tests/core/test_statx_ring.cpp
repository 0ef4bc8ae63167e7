#include "core/StatxRing.h"
#include "core/TreeWalker.h"

#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

using headroom::StatxRing;
using headroom::test::ChildOutcome;
using headroom::test::TempTree;

namespace {

constexpr int kFlags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT;
constexpr unsigned kMask = STATX_TYPE | STATX_SIZE | STATX_INO | STATX_MNT_ID;

std::unique_ptr<StatxRing> openRingOrSay()
{
    std::unique_ptr<StatxRing> ring = StatxRing::open();
    if (!ring)
        std::fprintf(stderr, "*** statx_ring: this kernel refuses io_uring; only the plain path is tested\n");
    return ring;
}

// A folder opened for the test, closed however the test ends.
struct Folder {
    int fd;
    explicit Folder(const std::string& path) : fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
    ~Folder()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
};

// In this (child) process, makes system call `nr` fail with `error`.
bool refuseSyscall(long nr, int error)
{
#if defined(__x86_64__)
    struct sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<std::uint32_t>(offsetof(struct seccomp_data, arch))),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<std::uint32_t>(offsetof(struct seccomp_data, nr))),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<std::uint32_t>(nr), 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (static_cast<std::uint32_t>(error) & SECCOMP_RET_DATA)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    struct sock_fprog prog {};
    prog.len = static_cast<unsigned short>(sizeof code / sizeof code[0]);
    prog.filter = code;
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &prog) == 0;
#else
    (void)nr;
    (void)error;
    return false;
#endif
}

// One folder holding a bit of everything a statx can answer, and more
// entries than one batch takes.
struct Batch {
    TempTree tree;
    std::vector<std::string> names;

    Batch()
    {
        tree.makeDir("d");
        for (unsigned i = 0; i < StatxRing::kCapacity + 37; ++i) {
            const std::string name = "f" + std::to_string(i);
            tree.makeFile("d/" + name, static_cast<std::size_t>(i) * 7);
            names.push_back(name);
        }
        tree.makeDir("d/sub");
        tree.makeSymlink("d/link-to-folder", "sub");
        tree.makeSymlink("d/dangling", "nowhere/at/all");
        tree.makeFile(std::string("d/\xff\xfe not text\n"), 4321);
        tree.makeFile("d/" + std::string(255, 'L'), 12);
        // The answers the kernel gives without a file behind the name.
        for (const std::string& n : {std::string("sub"), std::string("link-to-folder"), std::string("dangling"),
                                     std::string("\xff\xfe not text\n"), std::string(255, 'L'), std::string("missing"),
                                     std::string(256, 'X'), std::string("f1/below-a-file"), std::string("."),
                                     std::string("..")})
            names.insert(names.begin() + static_cast<std::ptrdiff_t>(names.size() / 3), n);
    }
};

// Every answer of `ring` for names[first..first+count) against plain statx.
void expectSameAsPlain(StatxRing& ring, int dirfd, const std::vector<std::string>& names, std::size_t first,
                       unsigned count)
{
    std::vector<const char*> pointers;
    for (unsigned i = 0; i < count; ++i)
        pointers.push_back(names[first + i].c_str());
    ring.stat(dirfd, pointers.data(), count, kFlags, kMask);
    for (unsigned i = 0; i < count; ++i) {
        struct statx want {};
        const int wantError = ::statx(dirfd, pointers[i], kFlags, kMask, &want) == 0 ? 0 : errno;
        const std::string& name = names[first + i];
        ASSERT_EQ(ring.error(i), wantError) << "name " << name;
        if (wantError != 0)
            continue;
        const struct statx& got = ring.result(i);
        EXPECT_EQ(got.stx_size, want.stx_size) << name;
        EXPECT_EQ(got.stx_mode, want.stx_mode) << name;
        EXPECT_EQ(got.stx_ino, want.stx_ino) << name;
        EXPECT_EQ(got.stx_mnt_id, want.stx_mnt_id) << name;
    }
}

} // namespace

TEST(statx_ring, answers_each_name_of_full_and_partial_batches_like_plain_statx)
{
    Batch b;
    std::unique_ptr<StatxRing> ring = openRingOrSay();
    if (!ring)
        GTEST_SKIP() << "no io_uring here";
    const Folder folder(b.tree / "d");
    const int dirfd = folder.fd;
    ASSERT_GE(dirfd, 0);
    // A full batch, then the rest, then single names: the ring is reused
    // and no answer of one batch leaks into the next.
    expectSameAsPlain(*ring, dirfd, b.names, 0, StatxRing::kCapacity);
    expectSameAsPlain(*ring, dirfd, b.names, StatxRing::kCapacity,
                      static_cast<unsigned>(b.names.size() - StatxRing::kCapacity));
    for (std::size_t i = b.names.size() - 3; i < b.names.size(); ++i)
        expectSameAsPlain(*ring, dirfd, b.names, i, 1);
    EXPECT_FALSE(ring->broken());
}

TEST(statx_ring, names_relative_to_another_folder_and_a_closed_one)
{
    TempTree t;
    t.makeDir("a");
    t.makeDir("b");
    t.makeFile("a/same", 100);
    t.makeFile("b/same", 200);
    std::unique_ptr<StatxRing> ring = openRingOrSay();
    if (!ring)
        GTEST_SKIP() << "no io_uring here";
    const char* names[] = {"same"};
    for (const char* name : {"a", "b"}) {
        int fd = -1;
        {
            const Folder folder(t / name);
            fd = folder.fd;
            ASSERT_GE(fd, 0);
            ring->stat(fd, names, 1, kFlags, kMask);
            ASSERT_EQ(ring->error(0), 0);
            EXPECT_EQ(ring->result(0).stx_size, name[0] == 'a' ? 100u : 200u);
        }
        // The descriptor is gone: an answer, not a hang or a stale result.
        ring->stat(fd, names, 1, kFlags, kMask);
        EXPECT_EQ(ring->error(0), EBADF);
    }
}

// A kernel (or container) that refuses the ring, at setup or later at
// submission: every answer still comes, from plain statx, and the walker
// measures what du measures.
TEST(statx_ring, refused_ring_falls_back_to_plain_statx)
{
    Batch b;
    for (int extra = 0; extra < 300; ++extra)
        b.tree.makeFile("d/sub/g" + std::to_string(extra), static_cast<std::size_t>(extra) * 3);
    const auto du = headroom::test::duBelow(b.tree / "d");
    ASSERT_TRUE(du);

    struct Case {
        long nr;
        int error;
        const char* what;
    };
    for (const Case c : {Case{SYS_io_uring_setup, EPERM, "setup refused"},
                         Case{SYS_io_uring_enter, ENOMEM, "submission refused"},
                         Case{SYS_io_uring_enter, EBUSY, "submission busy"}}) {
        const ChildOutcome outcome = headroom::test::runInChild([&]() -> ChildOutcome {
            std::unique_ptr<StatxRing> ring;
            if (c.nr == SYS_io_uring_enter) {
                ring = StatxRing::open();
                if (!ring)
                    return ChildOutcome::refuse("no io_uring here");
            }
            if (!refuseSyscall(c.nr, c.error))
                return ChildOutcome::refuse("seccomp filter not allowed");
            if (c.nr == SYS_io_uring_setup && StatxRing::open())
                return ChildOutcome::fail("a ring opened although setup is refused");
            if (ring) {
                const Folder folder(b.tree / "d");
                const int dirfd = folder.fd;
                std::vector<const char*> pointers;
                for (unsigned i = 0; i < 40; ++i)
                    pointers.push_back(b.names[i].c_str());
                ring->stat(dirfd, pointers.data(), 40, kFlags, kMask);
                for (unsigned i = 0; i < 40; ++i) {
                    struct statx want {};
                    const int wantError = ::statx(dirfd, pointers[i], kFlags, kMask, &want) == 0 ? 0 : errno;
                    if (ring->error(i) != wantError || (wantError == 0 && ring->result(i).stx_size != want.stx_size))
                        return ChildOutcome::fail(std::string("wrong answer for ") + pointers[i]);
                }
                if (!ring->broken())
                    return ChildOutcome::fail("the refused ring does not say it is broken");
            }
            for (unsigned threads : {1u, 4u}) {
                headroom::WalkOptions options;
                options.threads = threads;
                const headroom::WalkResult r = headroom::measureTree(b.tree / "d", options);
                if (r.bytes != *du || r.errors != 0)
                    return ChildOutcome::fail("walker measured " + std::to_string(r.bytes) + " with "
                                              + std::to_string(r.errors) + " errors, du " + std::to_string(*du));
            }
            return ChildOutcome::pass();
        });
        if (outcome.status == ChildOutcome::Status::Refused) {
            std::fprintf(stderr, "*** statx_ring SKIPPED %s: %s\n", c.what, outcome.message.c_str());
            continue;
        }
        EXPECT_EQ(outcome.status, ChildOutcome::Status::Passed) << c.what << ": " << outcome.message;
    }
}
