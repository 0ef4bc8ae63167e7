#include "tests/support/TempTree.h"

#include "core/Process.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace headroom::test {
namespace {

[[noreturn]] void fail(const std::string& what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

// Exit codes of the child, past any code a crash handler would use.
constexpr int kPassed = 0;
constexpr int kFailed = 71;
constexpr int kRefused = 77;

ChildOutcome forkAndRun(const std::function<ChildOutcome()>& prepare, const std::function<ChildOutcome()>& fn)
{
    // The child's message goes to an unnamed file, read once it has ended.
    const int messageFd = ::memfd_create("child-message", MFD_CLOEXEC);
    if (messageFd < 0)
        return ChildOutcome::fail(std::string("memfd_create: ") + std::strerror(errno));
    const pid_t pid = ::fork();
    if (pid == 0) {
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
        [[maybe_unused]] const ssize_t n = ::write(messageFd, outcome.message.data(), outcome.message.size());
        // _exit: no atexit handlers or test-framework teardown in the child.
        ::_exit(outcome.status == ChildOutcome::Status::Passed    ? kPassed
                : outcome.status == ChildOutcome::Status::Refused ? kRefused
                                                                  : kFailed);
    }
    const int status = pid < 0 ? -1 : process::waitFor(pid); // 128 + the signal when one ended it
    const std::string message = pid < 0 ? std::string("fork: ") + std::strerror(errno) : process::readFrom(messageFd);
    ::close(messageFd);
    if (status == kPassed)
        return ChildOutcome::pass();
    if (status == kRefused)
        return ChildOutcome::refuse(message);
    return ChildOutcome::fail("child ended with status " + std::to_string(status) + ": " + message);
}

ChildOutcome dropDacCapabilities()
{
    constexpr int kCaps[] = {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER};
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return ChildOutcome::refuse(std::string("capget: ") + std::strerror(errno));
    for (const int cap : kCaps) {
        const auto bit = 1u << (cap % 32);
        data[cap / 32].effective &= ~bit;
        data[cap / 32].permitted &= ~bit;
        data[cap / 32].inheritable &= ~bit;
    }
    if (::syscall(SYS_capset, &header, data) != 0)
        return ChildOutcome::refuse(std::string("capset: ") + std::strerror(errno));
    // Read back what the kernel applied: a test that believes permission
    // bits bind it while one of these is still in effect proves nothing.
    if (::syscall(SYS_capget, &header, data) != 0)
        return ChildOutcome::fail(std::string("capget after capset: ") + std::strerror(errno));
    for (const int cap : kCaps)
        if (data[cap / 32].effective & (1u << (cap % 32)))
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

TempTree::TempTree()
{
    // temp_directory_path: $TMPDIR, else /tmp.
    std::string pattern = std::filesystem::temp_directory_path().string() + "/headroom-walk-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        fail("mkdtemp " + pattern);
    m_path = pattern;
}

TempTree::~TempTree()
{
    try {
        // Tests mount only in children with a private mount namespace, so
        // no mount outlives them; should one be left below all the same,
        // --one-file-system keeps rm from reaching through it into another
        // tree. rm handles any depth. An unprivileged run cannot remove a tree
        // that a test made unreadable until it is made readable again.
        const std::vector<std::string> rm{"rm", "-rf", "--one-file-system", "--", m_path};
        if (process::runCapturing(rm) != 0) {
            process::runCapturing({"chmod", "-R", "u+rwx", "--", m_path});
            process::runCapturing(rm);
        }
    } catch (...) {
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
    if (::mkdir(p.c_str(), mode) != 0 || ::chmod(p.c_str(), mode) != 0) // umask may have masked bits
        fail("mkdir " + p);
}

void TempTree::makeFile(std::string_view relative, std::size_t bytes, unsigned mode) const
{
    const std::string p = *this / relative;
    std::ofstream out(p, std::ios::binary);
    out << std::string(bytes, 'h');
    if (!out.flush() || ::chmod(p.c_str(), mode) != 0)
        fail("write " + p);
}

// The std::filesystem calls below throw filesystem_error, a runtime_error
// that names the paths.
void TempTree::makeSparseFile(std::string_view relative, std::uint64_t size) const
{
    std::ofstream(*this / relative).close(); // an empty file, then its apparent size
    std::filesystem::resize_file(*this / relative, size);
}

void TempTree::makeSymlink(std::string_view relative, std::string_view target) const
{
    std::filesystem::create_symlink(target, *this / relative);
}

void TempTree::makeHardLink(std::string_view existing, std::string_view relative) const
{
    std::filesystem::create_hard_link(*this / existing, *this / relative);
}

void TempTree::makeChain(std::string_view relative, std::size_t depth, std::string_view name,
                         std::size_t fileBytes) const
{
    const std::string level(name);
    int fd = ::open((*this / relative).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::size_t made = 0;
    for (; fd >= 0 && made < depth; ++made) {
        const int next = ::mkdirat(fd, level.c_str(), 0755) == 0
                             ? ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                             : -1;
        ::close(fd);
        fd = next;
        // The folder's /proc/self/fd link is short however deep the folder is.
        const std::string file = "/proc/self/fd/" + std::to_string(fd) + "/f";
        if (fd >= 0 && fileBytes > 0
            && !(std::ofstream(file, std::ios::binary) << std::string(fileBytes, 'c') << std::flush)) {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0)
        fail("chain at depth " + std::to_string(made) + " below " + (*this / relative));
    ::close(fd);
}

std::uint64_t entrySize(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        fail("lstat " + path);
    return static_cast<std::uint64_t>(st.st_size);
}

std::optional<std::uint64_t> duApparentBytes(const std::string& path, bool allocated)
{
    std::string out;
    const char* how = allocated ? "-sl" : "-sbl";
    if (process::runCapturing({"du", how, "--block-size=1", "--", path}, &out) != 0 || out.empty() || out[0] < '0'
        || out[0] > '9')
        return std::nullopt;
    return std::stoull(out);
}

std::optional<std::uint64_t> duBelow(const std::string& path, bool allocated)
{
    const auto all = duApparentBytes(path, allocated);
    struct stat st {};
    if (allocated && ::lstat(path.c_str(), &st) != 0)
        fail("lstat " + path);
    const std::uint64_t own = allocated ? static_cast<std::uint64_t>(st.st_blocks) * 512 : entrySize(path);
    return all ? std::optional(*all - own) : std::nullopt;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
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
    const char* dir =
        std::getenv("HEADROOM_TEST_HELPERS"); // NOLINT(concurrency-mt-unsafe): read before any thread starts
    return std::string(dir ? dir : "tests/helpers") + "/" + name;
}

int openDescriptors()
{
    std::error_code error;
    const auto n = std::distance(std::filesystem::directory_iterator("/proc/self/fd", error), {});
    return error ? -1 : static_cast<int>(n);
}

Inventory inventory(const std::string& root)
{
    Inventory out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        struct stat st {};
        if (::lstat(e.path().c_str(), &st) != 0)
            continue;
        std::string& what = out[e.path().lexically_relative(root).string()];
        what =
            std::to_string(st.st_mode & S_IFMT) + " " + std::to_string(st.st_size) + " #" + std::to_string(st.st_ino);
        if (S_ISREG(st.st_mode))
            what += " " + readFile(e.path());
        else if (S_ISLNK(st.st_mode))
            what += " -> " + std::filesystem::read_symlink(e.path()).string();
    }
    return out;
}

Canary::Canary(const TempTree& tree, const std::string& name) : dir(tree / name), file(tree / (name + ".txt"))
{
    writeFile(dir + "/a", "alpha");
    writeFile(dir + "/inner/b", "beta");
    writeFile(file, "file canary");
    std::filesystem::create_symlink("..", dir + "/inner/up");
    m_made = inventory(dir);
}

std::string Canary::damage() const
{
    const Inventory now = inventory(dir);
    if (now == m_made && readFile(file) == "file canary")
        return {};
    std::string found = "canary changed; " + file + " reads \"" + readFile(file) + "\", below " + dir + ":";
    for (const auto& [path, what] : now)
        found += " " + path + (m_made.count(path) != 0 && m_made.at(path) == what ? "" : " (changed)");
    return found;
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

ChildOutcome runOnScratch(const TempTree& tree, const std::function<ChildOutcome()>& fn)
{
    const ChildOutcome outcome = runInPrivateMounts([&] {
        return ::mount("headroom-test", tree.path().c_str(), "tmpfs", 0, "size=512m") == 0
                   ? fn()
                   : ChildOutcome::refuse("tmpfs");
    });
    return outcome.status == ChildOutcome::Status::Refused ? runInChild(fn) : outcome;
}

} // namespace headroom::test
