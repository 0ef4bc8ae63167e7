// Runs a command with io_uring_setup refused (EPERM), as a container's
// seccomp profile or kernel.io_uring_disabled=2 refuses it, so that the
// same headroom-cli binary can be timed with and without its statx ring.
//
// usage: no_io_uring COMMAND [ARG]...
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s COMMAND [ARG]...\n", argv[0]);
        return 2;
    }
#if defined(__x86_64__)
    constexpr std::uint32_t kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    constexpr std::uint32_t kArch = AUDIT_ARCH_AARCH64;
#else
    std::fprintf(stderr, "no_io_uring: this architecture is not supported\n");
    return 1;
#endif
    constexpr auto at = [](std::size_t offset) { return static_cast<std::uint32_t>(offset); };
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, at(offsetof(struct seccomp_data, arch))),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, at(offsetof(struct seccomp_data, nr))),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_io_uring_setup, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog prog{static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0
        || ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &prog) != 0) {
        std::fprintf(stderr, "no_io_uring: cannot install the filter: %s\n", std::strerror(errno));
        return 1;
    }
    ::execvp(argv[1], argv + 1);
    std::fprintf(stderr, "no_io_uring: %s: %s\n", argv[1], std::strerror(errno));
    return 127;
}
