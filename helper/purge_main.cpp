// headroom-purge: writes back dirty pages, then asks the kernel to drop its
// clean caches (page cache, dentries and inodes). That needs root; run by
// anyone else it asks for root through pkexec and the org.headroom.purge
// polkit action. Exit status 0 on success; otherwise non-zero and exactly one
// line on standard error.

#include "core/Process.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
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
        return fail("root privileges are needed to drop the caches, and pkexec was not found");
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

int dropCaches()
{
    ::sync();
    int fd = ::open(kDropCaches, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return fail(std::string("cannot open ") + kDropCaches + ": " + describeError(errno));
    ssize_t n;
    do {
        n = ::write(fd, "3\n", 2);
    } while (n < 0 && errno == EINTR);
    int saved = errno;
    ::close(fd);
    if (n != 2)
        return fail(std::string("cannot write ") + kDropCaches + ": " + describeError(n < 0 ? saved : EIO));
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
