#include "tests/support/Faults.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <initializer_list>
#include <new>
#include <vector>

#include <pthread.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#if defined(__x86_64__)
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <ucontext.h>
#endif

namespace headroom::test {
namespace {

std::atomic<ino_t> g_failIno{0};
std::atomic<dev_t> g_failDev{0};
std::atomic<int> g_failErrno{0};
std::atomic<unsigned> g_failed{0};

std::atomic<std::size_t> g_bigAllocation{0}; // 0: allocations do not fail
std::atomic<long> g_spared{0};
std::atomic<bool> g_otherThreadsOnly{false};
std::atomic<pthread_t> g_sparedThread{};

bool allocationFails(std::size_t size)
{
    const std::size_t big = g_bigAllocation.load(std::memory_order_relaxed);
    if (big == 0 || size < big)
        return false;
    if (g_otherThreadsOnly.load() && ::pthread_equal(::pthread_self(), g_sparedThread.load()))
        return false;
    return g_spared.fetch_sub(1) <= 0;
}

void* allocate(std::size_t size)
{
    void* p = allocationFails(size) ? nullptr : std::malloc(size == 0 ? 1 : size);
    if (!p)
        throw std::bad_alloc();
    return p;
}

#if defined(__x86_64__)
// The filter traps getdents64 calls with an even byte count. The handler
// fails the call on the chosen folder and otherwise makes it again with the
// count less one, which the filter lets through.
void onSigsys(int, siginfo_t* info, void* context)
{
    greg_t* regs = static_cast<ucontext_t*>(context)->uc_mcontext.gregs;
    const int fd = static_cast<int>(regs[REG_RDI]);
    struct stat st {};
    if (info->si_syscall != SYS_getdents64) {
        regs[REG_RAX] = -ENOSYS;
    } else if (::fstat(fd, &st) == 0 && st.st_ino == g_failIno.load() && st.st_dev == g_failDev.load()) {
        g_failed.fetch_add(1);
        regs[REG_RAX] = -g_failErrno.load();
    } else {
        const long n =
            ::syscall(SYS_getdents64, fd,
                      reinterpret_cast<void*>(regs[REG_RSI]), // NOLINT(performance-no-int-to-ptr): a saved register
                      static_cast<unsigned long>(regs[REG_RDX]) - 1);
        regs[REG_RAX] = n < 0 ? -errno : n;
    }
}

// Lets every system call but `nr` through, and `nr` on to `tail`.
bool installFilter(long nr, std::initializer_list<sock_filter> tail)
{
    constexpr auto at = [](std::size_t offset) { return static_cast<std::uint32_t>(offset); };
    std::vector<sock_filter> code{
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, at(offsetof(struct seccomp_data, arch))),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, at(offsetof(struct seccomp_data, nr))),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<std::uint32_t>(nr), 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    code.insert(code.end(), tail);
    const sock_fprog prog{static_cast<unsigned short>(code.size()), code.data()};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0
           && ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &prog) == 0;
}
#endif

} // namespace

bool refuseSyscall(long nr, int error)
{
#if defined(__x86_64__)
    return installFilter(nr, {BPF_STMT(BPF_RET | BPF_K,
                                       SECCOMP_RET_ERRNO | (static_cast<std::uint32_t>(error) & SECCOMP_RET_DATA))});
#else
    (void)nr;
    (void)error;
    return false;
#endif
}

bool failListingOf(const std::string& folder, int error)
{
#if defined(__x86_64__)
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0)
        return false;
    g_failIno = st.st_ino;
    g_failDev = st.st_dev;
    g_failErrno = error;
    struct sigaction sa {};
    sa.sa_sigaction = onSigsys;
    sa.sa_flags = SA_SIGINFO;
    return ::sigaction(SIGSYS, &sa, nullptr) == 0
           && installFilter(SYS_getdents64,
                            {
                                BPF_STMT(BPF_LD | BPF_W | BPF_ABS,
                                         static_cast<std::uint32_t>(
                                             offsetof(struct seccomp_data, args[2]))), // the count's low word
                                BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, 1, 0, 1),
                                BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
                                BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRAP),
                            });
#else
    (void)folder;
    (void)error;
    return false;
#endif
}

unsigned failedListings()
{
    return g_failed.load();
}

void failBigAllocations(std::size_t bytes, unsigned spared, bool otherThreadsOnly)
{
    g_spared = spared;
    g_otherThreadsOnly = otherThreadsOnly;
    g_sparedThread = ::pthread_self();
    g_bigAllocation = bytes;
}

DescriptorLimit::DescriptorLimit(unsigned spare)
{
    // Descriptors are numbered from 0: the limit is the lowest free number
    // plus the spare ones.
    const int lowest = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ::close(lowest);
    rlimit lowered{};
    if (lowest < 0 || ::getrlimit(RLIMIT_NOFILE, &m_saved) != 0)
        return;
    lowered = m_saved;
    lowered.rlim_cur = static_cast<rlim_t>(lowest) + spare;
    m_applied = ::setrlimit(RLIMIT_NOFILE, &lowered) == 0;
}

void DescriptorLimit::restore()
{
    if (m_applied)
        ::setrlimit(RLIMIT_NOFILE, &m_saved);
    m_applied = false;
}

} // namespace headroom::test

// Every allocating form of operator new goes through allocate(), and every
// form of delete frees what it got, so the sanitizers see one allocator.
void* operator new(std::size_t size)
{
    return headroom::test::allocate(size);
}
void* operator new[](std::size_t size)
{
    return headroom::test::allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return headroom::test::allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
    return ::operator new(size, tag);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
