#include "tests/support/TempTree.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace headroom::test {
namespace {

[[noreturn]] void fail(const std::string& what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

// Runs a program with the given arguments, returns its exit status and,
// when `out` is given, what it wrote to standard output.
int runProgram(const std::vector<std::string>& argv, std::string* out)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        fail("pipe2");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    std::string text;
    if (rc == 0) {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
            if (n > 0)
                text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    if (rc != 0)
        return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (out)
        *out = std::move(text);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Mount points at or below `root`, deepest first (from /proc/self/mountinfo,
// whose paths escape blanks, tabs, newlines and backslashes as octal).
std::vector<std::string> mountsBelow(const std::string& root)
{
    std::vector<std::string> found;
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, devno, fsroot, point;
        fields >> id >> parent >> devno >> fsroot >> point;
        std::string decoded;
        for (std::size_t i = 0; i < point.size(); ++i) {
            if (point[i] == '\\' && i + 3 < point.size()) {
                decoded += static_cast<char>(std::stoi(point.substr(i + 1, 3), nullptr, 8));
                i += 3;
            } else {
                decoded += point[i];
            }
        }
        if (decoded == root || decoded.rfind(root + "/", 0) == 0)
            found.push_back(decoded);
    }
    std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    return found;
}

void writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

// Exit codes of the child, past any code a crash handler would use.
constexpr int kPassed = 0;
constexpr int kFailed = 71;
constexpr int kRefused = 77;

ChildOutcome forkAndRun(const std::function<ChildOutcome()>& prepare, const std::function<ChildOutcome()>& fn)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return ChildOutcome::fail(std::string("pipe2: ") + std::strerror(errno));
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return ChildOutcome::fail(std::string("fork: ") + std::strerror(errno));
    }
    if (pid == 0) {
        ::close(pipeFds[0]);
        ChildOutcome outcome;
        try {
            outcome = prepare();
            if (outcome.status == ChildOutcome::Status::Passed)
                outcome = fn();
        } catch (const std::exception& e) {
            outcome = ChildOutcome::fail(std::string("exception: ") + e.what());
        } catch (...) {
            outcome = ChildOutcome::fail("unknown exception");
        }
        writeAll(pipeFds[1], outcome.message);
        ::close(pipeFds[1]);
        // _exit: no atexit handlers or test-framework teardown in the child.
        ::_exit(outcome.status == ChildOutcome::Status::Passed    ? kPassed
                : outcome.status == ChildOutcome::Status::Refused ? kRefused
                                                                  : kFailed);
    }
    ::close(pipeFds[1]);
    std::string message;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            message.append(buf, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status))
        return ChildOutcome::fail("child killed by signal " + std::to_string(WTERMSIG(status)) + " " + message);
    if (!WIFEXITED(status))
        return ChildOutcome::fail("child ended abnormally " + message);
    switch (WEXITSTATUS(status)) {
    case kPassed:
        return ChildOutcome::pass();
    case kRefused:
        return ChildOutcome::refuse(message);
    default:
        return ChildOutcome::fail("child exit " + std::to_string(WEXITSTATUS(status)) + ": " + message);
    }
}

ChildOutcome dropDacCapabilities()
{
    __user_cap_header_struct header {};
    header.version = _LINUX_CAPABILITY_VERSION_3;
    header.pid = 0;
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return ChildOutcome::refuse(std::string("capget: ") + std::strerror(errno));
    for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
        const auto bit = 1u << (cap % 32);
        data[cap / 32].effective &= ~bit;
        data[cap / 32].permitted &= ~bit;
        data[cap / 32].inheritable &= ~bit;
    }
    if (::syscall(SYS_capset, &header, data) != 0)
        return ChildOutcome::refuse(std::string("capset: ") + std::strerror(errno));
    // Make sure the kernel really applies the drop: a folder with no
    // permission bits must now refuse us.
    __user_cap_data_struct check[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, check) != 0)
        return ChildOutcome::fail(std::string("capget after capset: ") + std::strerror(errno));
    for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
        if (check[cap / 32].effective & (1u << (cap % 32)))
            return ChildOutcome::fail("capability " + std::to_string(cap) + " still effective after capset");
    return ChildOutcome::pass();
}

ChildOutcome privateMounts()
{
    if (::unshare(CLONE_NEWNS) != 0)
        return ChildOutcome::refuse(std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno));
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return ChildOutcome::refuse(std::string("mount --make-rprivate /: ") + std::strerror(errno));
    return ChildOutcome::pass();
}

} // namespace

TempTree::TempTree(const std::string& base)
{
    const char* dir = std::getenv("TMPDIR");
    const std::string parent = !base.empty() ? base : (dir && *dir) ? dir : "/tmp";
    std::string pattern = parent + "/headroom-walk-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data()))
        fail("mkdtemp " + pattern);
    m_path = buf.data();
}

TempTree::~TempTree()
{
    try {
        // Detach whatever a failed test left mounted below, so the removal
        // can never reach through a bind mount into another tree.
        for (const std::string& point : mountsBelow(m_path))
            ::umount2(point.c_str(), MNT_DETACH);
        // rm handles any depth. An unprivileged run cannot remove a tree
        // that a test made unreadable until it is made readable again.
        const std::vector<std::string> rm{"rm", "-rf", "--one-file-system", "--", m_path};
        if (runProgram(rm, nullptr) != 0) {
            runProgram({"chmod", "-R", "u+rwx", "--", m_path}, nullptr);
            runProgram(rm, nullptr);
        }
    } catch (...) {
        // Out of memory while cleaning up: the folder stays behind in /tmp.
        std::fputs("TempTree: could not remove a test folder\n", stderr);
    }
}

std::string TempTree::operator/(std::string_view relative) const
{
    return m_path + "/" + std::string(relative);
}

void TempTree::makeDir(std::string_view relative, unsigned mode) const
{
    const std::string p = *this / relative;
    if (::mkdir(p.c_str(), mode) != 0)
        fail("mkdir " + p);
    if (::chmod(p.c_str(), mode) != 0) // umask may have masked bits
        fail("chmod " + p);
}

void TempTree::makeFile(std::string_view relative, std::size_t bytes, unsigned mode) const
{
    const std::string p = *this / relative;
    const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        fail("open " + p);
    std::string block(std::min<std::size_t>(bytes, 65536), 'h');
    std::size_t left = bytes;
    while (left > 0) {
        const ssize_t n = ::write(fd, block.data(), std::min(left, block.size()));
        if (n <= 0) {
            ::close(fd);
            fail("write " + p);
        }
        left -= static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (::chmod(p.c_str(), mode) != 0)
        fail("chmod " + p);
}

void TempTree::makeSparseFile(std::string_view relative, std::uint64_t size) const
{
    const std::string p = *this / relative;
    const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        fail("open " + p);
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        ::close(fd);
        fail("ftruncate " + p);
    }
    ::close(fd);
}

void TempTree::makeSymlink(std::string_view relative, std::string_view target) const
{
    const std::string p = *this / relative;
    if (::symlink(std::string(target).c_str(), p.c_str()) != 0)
        fail("symlink " + p);
}

void TempTree::makeHardLink(std::string_view existing, std::string_view relative) const
{
    const std::string from = *this / existing;
    const std::string to = *this / relative;
    if (::link(from.c_str(), to.c_str()) != 0)
        fail("link " + to);
}

void TempTree::makeChain(std::string_view relative, std::size_t depth, std::string_view name,
                         std::size_t fileBytes) const
{
    const std::string start = *this / relative;
    int fd = ::open(start.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        fail("open " + start);
    const std::string level(name);
    const std::string content(fileBytes, 'c');
    for (std::size_t i = 0; i < depth; ++i) {
        if (::mkdirat(fd, level.c_str(), 0755) != 0) {
            ::close(fd);
            fail("mkdirat at depth " + std::to_string(i));
        }
        const int next = ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        if (next < 0)
            fail("openat at depth " + std::to_string(i));
        fd = next;
        if (fileBytes > 0) {
            const int file = ::openat(fd, "f", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (file < 0 || ::write(file, content.data(), content.size()) != static_cast<ssize_t>(content.size())) {
                if (file >= 0)
                    ::close(file);
                ::close(fd);
                fail("file at depth " + std::to_string(i));
            }
            ::close(file);
        }
    }
    ::close(fd);
}

std::uint64_t entrySize(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        fail("lstat " + path);
    return static_cast<std::uint64_t>(st.st_size);
}

std::optional<std::uint64_t> duApparentBytes(const std::string& path)
{
    std::string out;
    if (runProgram({"du", "-sbl", "--", path}, &out) != 0)
        return std::nullopt;
    std::size_t digits = 0;
    while (digits < out.size() && out[digits] >= '0' && out[digits] <= '9')
        ++digits;
    if (digits == 0)
        return std::nullopt;
    return std::stoull(out.substr(0, digits));
}

std::optional<std::uint64_t> duBelow(const std::string& path)
{
    const auto all = duApparentBytes(path);
    if (!all)
        return std::nullopt;
    return *all - entrySize(path);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "<missing>";
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& content)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

bool exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string helper(const char* name)
{
    const char* dir = std::getenv("HEADROOM_TEST_HELPERS"); // NOLINT(concurrency-mt-unsafe): read before any thread starts
    return std::string(dir ? dir : "tests/helpers") + "/" + name;
}

int openDescriptors()
{
    DIR* d = ::opendir("/proc/self/fd");
    if (!d)
        return -1;
    int n = 0;
    while (const dirent* e = ::readdir(d))
        if (e->d_name[0] != '.')
            ++n;
    ::closedir(d);
    return n;
}

ChildOutcome runInChild(const std::function<ChildOutcome()>& fn)
{
    return forkAndRun([] { return ChildOutcome::pass(); }, fn);
}

ChildOutcome runWithoutDacCapabilities(const std::function<ChildOutcome()>& fn)
{
    return forkAndRun(dropDacCapabilities, fn);
}

ChildOutcome runInPrivateMounts(const std::function<ChildOutcome()>& fn)
{
    return forkAndRun(privateMounts, fn);
}

} // namespace headroom::test
