// headroom-purge: writes back dirty pages, then asks the kernel to drop its
// clean caches (page cache, dentries and inodes). That needs root; run by
// anyone else it asks for root through pkexec and the org.headroom.purge
// polkit action. Exit status 0 on success; otherwise non-zero and exactly one
// line on standard error: pkexec's own status when it refused, 125 when
// there is no pkexec (core/PurgeStatus.h). HEADROOM_DROP_CACHES_PATH names a stand-in for the
// kernel's file, for tests, when root runs it unelevated (see below).

#include "core/Process.h"
#include "core/PurgeStatus.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The thread-safe strerror (GNU form, which returns the text to use).
std::string describeError(int error)
{
    char buffer[256];
    return ::strerror_r(error, buffer, sizeof buffer);
}

constexpr const char* kDropCaches = "/proc/sys/vm/drop_caches";

int fail(const std::string& message, int status = 1)
{
    std::string line = "headroom-purge: " + message;
    for (char& c : line) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    line += '\n';
    ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
    (void)ignored;
    return status;
}

std::string findInPath(const char* program)
{
    const char* path = std::getenv("PATH"); // NOLINT(concurrency-mt-unsafe): one thread, nothing sets the environment
    std::string dirs = path && *path ? path : "/usr/bin:/bin";
    std::size_t pos = 0;
    while (pos <= dirs.size()) {
        std::size_t colon = dirs.find(':', pos);
        if (colon == std::string::npos)
            colon = dirs.size();
        std::string dir = dirs.substr(pos, colon - pos);
        pos = colon + 1;
        if (dir.empty() || dir[0] != '/')
            continue; // a relative PATH entry is never trusted here
        std::string candidate = dir + "/" + program;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

// Runs `pkexec <this program>` and passes its outcome on. pkexec and the
// polkit agent may write several lines; only the first non-empty one is kept.
int elevate()
{
    if (std::getenv("PKEXEC_UID")) // NOLINT(concurrency-mt-unsafe): one thread, nothing sets the environment
        return fail("pkexec did not grant root privileges");
    const std::string pkexec = findInPath("pkexec");
    if (pkexec.empty())
        return fail("root privileges are needed to drop the caches, and pkexec was not found",
                    headroom::purge::kNoPkexec);
    const std::string self = headroom::process::executablePath();
    if (self.empty())
        return fail(std::string("cannot find this program's own path: ") + describeError(errno));

    int pipefd[2];
    if (::pipe2(pipefd, O_CLOEXEC) != 0)
        return fail(std::string("cannot start pkexec: ") + describeError(errno));
    int spawnError = 0;
    const pid_t pid = headroom::process::spawn({pkexec, self}, spawnError, {-1, -1, pipefd[1]});
    ::close(pipefd[1]);
    if (pid < 0) {
        ::close(pipefd[0]);
        return fail("cannot start " + pkexec + ": " + describeError(spawnError));
    }

    std::string output;
    std::array<char, 4096> buf{};
    for (;;) {
        ssize_t n = ::read(pipefd[0], buf.data(), buf.size());
        if (n > 0) {
            if (output.size() < std::size_t{64} * 1024)
                output.append(buf.data(), static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    ::close(pipefd[0]);

    const int code = headroom::process::waitFor(pid);
    if (code < 0)
        return fail(std::string("cannot wait for pkexec: ") + describeError(errno));
    if (code == 0)
        return 0;

    std::string first;
    std::size_t pos = 0;
    while (pos < output.size() && first.empty()) {
        std::size_t nl = output.find('\n', pos);
        if (nl == std::string::npos)
            nl = output.size();
        first = output.substr(pos, nl - pos);
        if (first.find_first_not_of(" \t\r") == std::string::npos)
            first.clear();
        pos = nl + 1;
    }
    const std::string prefix = "headroom-purge: ";
    if (first.compare(0, prefix.size(), prefix) == 0)
        first.erase(0, prefix.size());
    if (first.empty())
        first = "pkexec ended with status " + std::to_string(code);
    return fail(first, code);
}

// Whether anything gave this process more rights than its caller has: a
// set-user-ID or set-group-ID bit or file capabilities (AT_SECURE; the real
// and effective ids then may differ too), or an elevating program that says
// so in the environment: pkexec (PKEXEC_UID), sudo and run0 (SUDO_UID),
// doas (DOAS_USER).
bool elevated()
{
    // NOLINTNEXTLINE(concurrency-mt-unsafe): one thread, nothing sets the environment
    const bool told = std::getenv("PKEXEC_UID") || std::getenv("SUDO_UID") || std::getenv("DOAS_USER");
    return told || ::getauxval(AT_SECURE) != 0 || ::getuid() != ::geteuid() || ::getgid() != ::getegid();
}

// The file the caches are dropped through: the kernel's, or the stand-in a
// test names in HEADROOM_DROP_CACHES_PATH where the kernel's is read-only
// (containers, CI), to read back what was written. This runs as root, so
// the stand-in is honoured only when nothing elevated this process: its
// caller is root then and could write that file without us, while an
// elevated caller must never choose a file for root to write. Real pkexec
// clears the environment anyway. Absent (and the run fails rather than
// writing elsewhere) when the variable is set but not honoured.
std::optional<std::string> dropCachesPath()
{
    const char* standIn = std::getenv("HEADROOM_DROP_CACHES_PATH"); // NOLINT(concurrency-mt-unsafe): as above
    if (standIn == nullptr)
        return std::string(kDropCaches);
    if (elevated())
        return std::nullopt;
    return std::string(standIn);
}

int dropCaches()
{
    const std::optional<std::string> path = dropCachesPath();
    if (!path)
        return fail("HEADROOM_DROP_CACHES_PATH is refused in an elevated run");
    ::sync(); // dirty pages are not dropped: write them back first
    // The file must exist (no O_CREAT) and be a regular file reached without
    // following a last symbolic link; O_NONBLOCK makes a FIFO with no reader
    // fail at once instead of hanging. /proc/sys files are regular files.
    const int fd = ::open(path->c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return fail("cannot open " + *path + ": " + describeError(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail("cannot write " + *path + ": not a regular file");
    }
    ssize_t n;
    do {
        n = ::write(fd, "3\n", 2);
    } while (n < 0 && errno == EINTR);
    int saved = errno;
    ::close(fd);
    if (n != 2)
        return fail("cannot write " + *path + ": " + describeError(n < 0 ? saved : EIO));
    return 0;
}

} // namespace

int main(int argc, char**)
{
    if (argc > 1)
        return fail("takes no arguments", 2);
    if (::geteuid() != 0)
        return elevate();
    return dropCaches();
}
