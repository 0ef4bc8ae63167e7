#include "tests/support/Faults.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <random>
#include <utility>

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

std::atomic<ino_t> g_failIno {0};
std::atomic<dev_t> g_failDev {0};
std::atomic<int> g_failErrno {0};
std::atomic<unsigned> g_failed {0};

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
        const long n = ::syscall(SYS_getdents64, fd, reinterpret_cast<void*>(regs[REG_RSI]), // NOLINT(performance-no-int-to-ptr): a saved register
                                 static_cast<unsigned long>(regs[REG_RDX]) - 1);
        regs[REG_RAX] = n < 0 ? -errno : n;
    }
}
#endif

bool realDir(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

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
    constexpr auto at = [](std::size_t offset) { return static_cast<std::uint32_t>(offset); };
    struct sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, at(offsetof(struct seccomp_data, arch))),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, at(offsetof(struct seccomp_data, nr))),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_getdents64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, at(offsetof(struct seccomp_data, args[2]))), // the count's low word
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, 1, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRAP),
    };
    struct sock_fprog prog {static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
    return ::sigaction(SIGSYS, &sa, nullptr) == 0 && ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0
        && ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &prog) == 0;
#else
    (void)folder;
    (void)error;
    return false;
#endif
}

unsigned failedListings() { return g_failed.load(); }

DescriptorLimit::DescriptorLimit(unsigned spare)
{
    // Descriptors are numbered from 0: the limit is the lowest free number
    // plus the spare ones.
    const int lowest = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ::close(lowest);
    rlimit lowered {};
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

LinkSwapper::LinkSwapper(std::vector<std::string> locations, std::string parking, std::string target)
    : m_locations(std::move(locations)), m_parking(std::move(parking)), m_target(std::move(target))
{
    m_thread = std::thread([this] {
        std::mt19937 random(20240601);
        for (std::uint64_t n = 0; !m_stop.load(std::memory_order_relaxed); ++n)
            step(random(), n);
    });
}

LinkSwapper::~LinkSwapper()
{
    m_stop = true;
    m_thread.join();
}

void LinkSwapper::step(unsigned random, std::uint64_t n)
{
    const std::string& loc = m_locations[random % m_locations.size()];
    random /= static_cast<unsigned>(m_locations.size());
    const std::string sub = loc + "/d" + std::to_string(random % 4);
    const std::string parked = m_parking + "/" + std::to_string(n);
    // This thread alone makes links, so a folder found real here stays a
    // folder (or vanishes) until it swaps it: it never writes through a link.
    ::mkdir(loc.c_str(), 0755);
    const bool real = realDir(loc);
    if (real && (::mkdir(sub.c_str(), 0755) == 0 || realDir(sub))) {
        const int fd = ::open((sub + "/f" + std::to_string(n % 5)).c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            [[maybe_unused]] const ssize_t written = ::write(fd, "0123456789", 1 + n % 10);
            ::close(fd);
        }
    }
    // A location found a link is swapped back; below one, nothing is done.
    const std::string& victim = !real || random % 32 < 4 ? loc : sub;
    const unsigned op = real ? (random >> 8) % 3 : 2;
    if (op == 1) { // a folder swapped for a link into the target; it lives on in parking
        if (::symlink(n % 2 ? m_target.c_str() : (m_target + "/inner").c_str(), parked.c_str()) == 0
            && ::renameat2(AT_FDCWD, parked.c_str(), AT_FDCWD, victim.c_str(), RENAME_EXCHANGE) == 0)
            m_swaps.fetch_add(1);
    } else if (op == 2 && ::mkdir(parked.c_str(), 0755) == 0) {
        // and back: a fresh folder exchanged for whatever is there
        ::renameat2(AT_FDCWD, parked.c_str(), AT_FDCWD, victim.c_str(), RENAME_EXCHANGE);
    }
}

} // namespace headroom::test
