#include "core/StatxRing.h"
#include "core/TreeWalker.h"

#include "tests/support/ChildExpect.h"
#include "tests/support/Faults.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

using headroom::StatxRing;
using headroom::test::ChildOutcome;
using headroom::test::TempTree;

namespace {

constexpr int kFlags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT;
constexpr unsigned kMask = STATX_TYPE | STATX_SIZE | STATX_INO | STATX_MNT_ID;

int openFolder(const std::string& path)
{
    return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// One folder holding a bit of everything a statx can answer, and more
// entries than one batch takes; `names` also holds names with no file
// behind them.
struct Batch {
    TempTree tree;
    std::vector<std::string> names;

    Batch()
    {
        tree.makeDir("d");
        for (unsigned i = 0; i < StatxRing::kCapacity + 37; ++i) {
            names.push_back("f" + std::to_string(i));
            tree.makeFile("d/" + names.back(), static_cast<std::size_t>(i) * 7);
        }
        tree.makeDir("d/sub");
        tree.makeSymlink("d/link-to-folder", "sub");
        tree.makeSymlink("d/dangling", "nowhere/at/all");
        tree.makeFile(std::string("d/\xff\xfe not text\n"), 4321);
        tree.makeFile("d/" + std::string(255, 'L'), 12);
        for (std::string n :
             {"sub", "link-to-folder", "dangling", "\xff\xfe not text\n", "missing", "f1/below-a-file", ".", ".."})
            names.insert(names.begin() + static_cast<std::ptrdiff_t>(names.size() / 3), n);
        names.insert(names.begin() + 100, {std::string(255, 'L'), std::string(256, 'X')});
    }
};

// What differs between the ring's answers for names[first..first+count)
// and plain statx's, field by field; empty when nothing does.
std::string differences(StatxRing& ring, int dirfd, const std::vector<std::string>& names, std::size_t first,
                        unsigned count)
{
    std::vector<const char*> pointers;
    for (unsigned i = 0; i < count; ++i)
        pointers.push_back(names[first + i].c_str());
    ring.stat(dirfd, pointers.data(), count, kFlags, kMask);
    std::string out;
    for (unsigned i = 0; i < count; ++i) {
        struct statx want {};
        const int wantError = ::statx(dirfd, pointers[i], kFlags, kMask, &want) == 0 ? 0 : errno;
        const struct statx& got = ring.result(i);
        if (ring.error(i) != wantError)
            out += names[first + i] + ": error " + std::to_string(ring.error(i)) + ", plain "
                   + std::to_string(wantError) + "; ";
        else if (wantError == 0
                 && (got.stx_size != want.stx_size || got.stx_mode != want.stx_mode || got.stx_ino != want.stx_ino
                     || got.stx_mnt_id != want.stx_mnt_id || got.stx_dev_major != want.stx_dev_major
                     || got.stx_dev_minor != want.stx_dev_minor))
            out += names[first + i] + ": fields differ; ";
    }
    return out;
}

struct Refusal {
    const char* name;
    long syscall; // 0: nothing refused
    int error;
};

void PrintTo(const Refusal& r, std::ostream* os)
{
    *os << r.name;
}

class StatxRingRefused : public testing::TestWithParam<Refusal> {};

} // namespace

// Also where a kernel (or container) refuses the ring, at setup or later
// at submission: every answer still comes, from plain statx, and the walker
// measures what du measures. Each case runs in a child, as a refusal cannot
// be undone.
TEST_P(StatxRingRefused, AnswersEveryNameLikePlainStatx)
{
    const long nr = GetParam().syscall;
    const int error = GetParam().error;
    Batch b;
    for (int extra = 0; extra < 300; ++extra)
        b.tree.makeFile("d/sub/g" + std::to_string(extra), static_cast<std::size_t>(extra) * 3);
    const auto du = headroom::test::duBelow(b.tree / "d");
    ASSERT_TRUE(du);
    headroom::test::expectChildPassed(headroom::test::runInChild([&]() -> ChildOutcome {
        std::unique_ptr<StatxRing> ring;
        if (nr != SYS_io_uring_setup && !(ring = StatxRing::open()))
            return ChildOutcome::refuse("no io_uring here");
        if (nr != 0 && !headroom::test::refuseSyscall(nr, error))
            return ChildOutcome::refuse("seccomp filter not allowed");
        if (nr == SYS_io_uring_setup && StatxRing::open())
            return ChildOutcome::fail("a ring opened although setup is refused");
        if (ring) {
            // A full batch, then the rest, then single names: the ring is
            // reused and no answer of one batch leaks into the next. A
            // refused submission breaks the ring at once.
            const int fd = openFolder(b.tree / "d");
            const auto rest = static_cast<unsigned>(b.names.size() - StatxRing::kCapacity);
            std::string wrong = differences(*ring, fd, b.names, 0, StatxRing::kCapacity);
            wrong += ring->broken() == (nr != 0) ? "" : "first batch: broken() wrong; ";
            wrong += differences(*ring, fd, b.names, StatxRing::kCapacity, rest);
            for (std::size_t i = b.names.size() - 3; i < b.names.size(); ++i)
                wrong += differences(*ring, fd, b.names, i, 1);
            // Relative to a descriptor closed meanwhile: an answer, not a
            // hang or a stale result.
            ::close(fd);
            const char* one[] = {"f1"};
            ring->stat(fd, one, 1, kFlags, kMask);
            if (!wrong.empty() || ring->error(0) != EBADF || ring->broken() != (nr != 0))
                return ChildOutcome::fail(wrong + " error on a closed descriptor " + std::to_string(ring->error(0))
                                          + (ring->broken() ? ", broken" : ", not broken"));
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
    }));
}

INSTANTIATE_TEST_SUITE_P(StatxRing, StatxRingRefused,
                         testing::Values(Refusal{"Allowed", 0, 0}, Refusal{"SetupRefused", SYS_io_uring_setup, EPERM},
                                         Refusal{"SubmissionRefused", SYS_io_uring_enter, ENOMEM},
                                         Refusal{"SubmissionBusy", SYS_io_uring_enter, EBUSY}),
                         [](const testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });
