#include "core/Location.h"
#include "core/TreeRemover.h"
#include "core/TreeWalker.h"

#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <linux/capability.h>
#include <linux/fs.h>
#include <mutex>
#include <sched.h>
#include <set>
#include <string>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using headroom::RemoveResult;
using headroom::removeLocation;
using headroom::removeTreeAt;
using headroom::test::exists;
using headroom::test::openDescriptors;
using headroom::test::readFile;

// A temporary folder of this test alone; every removal below is pointed
// into it and nowhere else.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "headroom-remover-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
        fd_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    ~TempDir()
    {
        ::close(fd_);
        // Give back write permission anywhere a test took it away.
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(path_, fs::directory_options::skip_permission_denied, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (it->is_directory(ec) && !it->is_symlink(ec))
                ::chmod(it->path().c_str(), 0700);
        }
        ::chmod(path_.c_str(), 0700);
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    int fd() const { return fd_; }
    std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

private:
    std::string path_;
    int fd_ = -1;
};

void writeFile(const std::string& path, const std::string& content)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path << ": " << std::strerror(errno);
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
}

bool isLink(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// Entries below `path`, never following a link.
std::size_t countEntries(const std::string& path)
{
    std::size_t n = 0;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        ++n;
    return n;
}

// A canary outside every location: a folder with two files and a subfolder.
struct Canary {
    std::string dir;
    std::string file;
    explicit Canary(const TempDir& tmp, const std::string& name = "canary")
        : dir(tmp / name), file(tmp / (name + ".txt"))
    {
        fs::create_directories(dir + "/inner");
        writeFile(dir + "/a", "alpha");
        writeFile(dir + "/inner/b", "beta");
        writeFile(file, "file canary");
    }
    void expectIntact() const
    {
        EXPECT_EQ(readFile(dir + "/a"), "alpha");
        EXPECT_EQ(readFile(dir + "/inner/b"), "beta");
        EXPECT_EQ(readFile(file), "file canary");
        EXPECT_EQ(countEntries(dir), 3u);
    }
};

// Builds a chain of `depth` nested folders "d" below dirfd/name, through
// descriptors (the path is far longer than PATH_MAX), with a file at the end.
void makeChain(int dirfd, const std::string& name, int depth)
{
    ASSERT_EQ(::mkdirat(dirfd, name.c_str(), 0700), 0);
    int fd = ::openat(dirfd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; fd >= 0 && i < depth; ++i) {
        const int next = ::mkdirat(fd, "d", 0700) == 0 ? ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        ::close(fd);
        fd = next;
    }
    ASSERT_GE(fd, 0) << "cannot build the chain: " << std::strerror(errno);
    const int file = ::openat(fd, "leaf", O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ::close(fd);
    ASSERT_GE(file, 0);
    ::close(file);
}

// Runs `fn` in a forked child (this process has no other thread at that
// point) and returns what it reports: "" for success, "SKIP: why" when the
// child could not set itself up, anything else is a failure text.
std::string inChild(const std::function<std::string()>& fn)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return "pipe failed";
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string report = fn();
        ssize_t ignored = ::write(fds[1], report.data(), report.size());
        (void)ignored;
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string report;
    char buf[512];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        report.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "child ended abnormally: " + report;
    return report;
}

// As root, permission checks are skipped; these three capabilities are what
// lets root ignore them.
std::string dropDacCapabilities()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return std::string("SKIP: capget refused: ") + std::strerror(errno);
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
        data[cap / 32].effective &= ~(1u << (cap % 32));
        data[cap / 32].permitted &= ~(1u << (cap % 32));
        data[cap / 32].inheritable &= ~(1u << (cap % 32));
    }
    if (::syscall(SYS_capset, &header, data) != 0)
        return std::string("SKIP: capset refused: ") + std::strerror(errno);
    return {};
}

void reportOrSkip(const std::string& report)
{
    if (report.rfind("SKIP:", 0) == 0)
        GTEST_SKIP() << "NOT TESTED: " << report;
    EXPECT_EQ(report, "");
}

// ---------------------------------------------------------------------------

TEST(remover_links, location_that_is_a_link_loses_only_the_link)
{
    TempDir tmp;
    Canary canary(tmp);
    ASSERT_EQ(::symlink(canary.dir.c_str(), (tmp / "to-dir").c_str()), 0);
    ASSERT_EQ(::symlink(canary.file.c_str(), (tmp / "to-file").c_str()), 0);

    RemoveResult dirLink = removeTreeAt(tmp.fd(), "to-dir");
    RemoveResult fileLink = removeTreeAt(tmp.fd(), "to-file");

    EXPECT_FALSE(exists(tmp / "to-dir"));
    EXPECT_FALSE(exists(tmp / "to-file"));
    EXPECT_EQ(dirLink.removed, 1u);
    EXPECT_EQ(fileLink.removed, 1u);
    EXPECT_TRUE(dirLink.locationGone);
    canary.expectIntact();
}

TEST(remover_links, links_inside_go_and_their_targets_stay)
{
    TempDir tmp;
    Canary canary(tmp);
    fs::create_directories(tmp / "loc/sub");
    ASSERT_EQ(::symlink(canary.dir.c_str(), (tmp / "loc/dir-link").c_str()), 0);
    ASSERT_EQ(::symlink(canary.file.c_str(), (tmp / "loc/sub/file-link").c_str()), 0);
    ASSERT_EQ(::symlink("..", (tmp / "loc/sub/up").c_str()), 0);
    ASSERT_EQ(::symlink("/nonexistent/target", (tmp / "loc/dangling").c_str()), 0);
    ASSERT_EQ(::symlink("../../canary/", (tmp / "loc/sub/relative-slash").c_str()), 0);

    RemoveResult r = removeTreeAt(tmp.fd(), "loc");

    EXPECT_FALSE(exists(tmp / "loc"));
    EXPECT_TRUE(r.locationGone);
    EXPECT_EQ(r.failed, 0u);
    canary.expectIntact();
}

TEST(remover_links, trailing_slashes_never_follow_a_link)
{
    TempDir tmp;
    Canary canary(tmp);
    fs::create_directories(tmp / "home");
    ASSERT_EQ(::symlink(canary.dir.c_str(), (tmp / "home/Downloads").c_str()), 0);

    // userDir with a trailing "/", location named with a trailing "/": the
    // mistake of `rm -rf link/` would empty the canary.
    RemoveResult r = removeLocation(tmp / "home/", "Downloads/");
    EXPECT_FALSE(exists(tmp / "home/Downloads"));
    EXPECT_EQ(r.removed, 1u);
    canary.expectIntact();

    // A link in an intermediate component is refused, whatever the slashes.
    fs::create_directories(tmp / "home/real");
    ASSERT_EQ(::symlink(canary.dir.c_str(), (tmp / "home/.local").c_str()), 0);
    RemoveResult through = removeLocation(tmp / "home//", ".local//inner/");
    EXPECT_EQ(through.removed, 0u);
    EXPECT_TRUE(isLink(tmp / "home/.local"));
    canary.expectIntact();
}

TEST(remover_links, hard_link_inside_leaves_the_outside_name)
{
    TempDir tmp;
    Canary canary(tmp);
    fs::create_directories(tmp / "loc");
    ASSERT_EQ(::link(canary.file.c_str(), (tmp / "loc/hard").c_str()), 0);

    removeTreeAt(tmp.fd(), "loc");

    EXPECT_FALSE(exists(tmp / "loc"));
    canary.expectIntact();
}

// ---------------------------------------------------------------------------

TEST(remover_shape, every_kind_of_entry_and_awkward_names_go)
{
    TempDir tmp;
    const std::vector<std::string> names = {
        "plain", "-rf", "--", "-", "line\nbreak", "tab\there", "back\\slash", "bad\xff\xfeutf8", " leading space",
        "trailing space ", ".hidden", "..dots", std::string(255, 'x')};
    fs::create_directories(tmp / "loc/nested/empty");
    std::size_t expected = 3; // loc, nested, empty
    for (const std::string& n : names) {
        writeFile(tmp / ("loc/" + n), "data");
        fs::create_directories(tmp / ("loc/nested/" + n));
        writeFile(tmp / ("loc/nested/" + n + "/" + n), "more");
        expected += 3;
    }
    ASSERT_EQ(::mkfifo((tmp / "loc/fifo").c_str(), 0600), 0);
    ++expected;

    RemoveResult r = removeTreeAt(tmp.fd(), "loc");

    EXPECT_FALSE(exists(tmp / "loc"));
    EXPECT_TRUE(r.locationGone);
    EXPECT_EQ(r.failed, 0u);
    EXPECT_EQ(r.removed, expected);
}

TEST(remover_shape, missing_location_removes_nothing)
{
    TempDir tmp;
    writeFile(tmp / "other", "stays");
    RemoveResult r = removeTreeAt(tmp.fd(), "absent");
    EXPECT_EQ(r.removed, 0u);
    EXPECT_EQ(r.failed, 0u);
    EXPECT_TRUE(r.locationGone);
    EXPECT_EQ(readFile(tmp / "other"), "stays");

    RemoveResult viaLocation = removeLocation(tmp.path(), "not/there");
    EXPECT_EQ(viaLocation.removed, 0u);
    EXPECT_TRUE(viaLocation.locationGone);
}

TEST(remover_shape, names_that_address_anything_else_are_refused)
{
    TempDir tmp;
    fs::create_directories(tmp / "loc/inner");
    writeFile(tmp / "loc/inner/f", "x");
    for (const char* bad : {"", ".", "..", "loc/inner", "/"}) {
        RemoveResult r = removeTreeAt(tmp.fd(), bad);
        EXPECT_EQ(r.removed, 0u) << "name '" << bad << "'";
    }
    EXPECT_EQ(readFile(tmp / "loc/inner/f"), "x");
}

TEST(remover_shape, ten_thousand_deep_chain_goes)
{
    TempDir tmp;
    makeChain(tmp.fd(), "loc", 10000);
    const int before = openDescriptors();

    RemoveResult r = removeTreeAt(tmp.fd(), "loc");

    EXPECT_TRUE(r.locationGone);
    EXPECT_FALSE(exists(tmp / "loc"));
    EXPECT_EQ(r.failed, 0u);
    EXPECT_EQ(r.removed, 10002u); // loc, 10,000 folders, the file
    EXPECT_EQ(openDescriptors(), before);
}

TEST(remover_bound, deep_chain_within_a_small_descriptor_limit)
{
    TempDir tmp;
    makeChain(tmp.fd(), "loc", 10000);
    // A wide level deep down too, so reopening a parent meets siblings.
    writeFile(tmp / "loc/d/d/side", "x");

    std::string report = inChild([&]() -> std::string {
        rlimit limit{64, 64};
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0)
            return std::string("SKIP: setrlimit refused: ") + std::strerror(errno);
        const int before = openDescriptors();
        int most = 0;
        RemoveResult r = removeTreeAt(tmp.fd(), "loc", [&](int, const char*) {
            static int calls = 0;
            if (++calls % 97 == 0)
                most = std::max(most, openDescriptors());
        });
        std::string problems;
        if (!r.locationGone || r.failed != 0)
            problems += "chain not removed under a limit of 64 (failed " + std::to_string(r.failed) + "); ";
        if (openDescriptors() != before)
            problems += "descriptors leaked; ";
        if (most - before > 32)
            problems += "held " + std::to_string(most - before) + " descriptors at once; ";
        return problems;
    });
    reportOrSkip(report);
    EXPECT_FALSE(exists(tmp / "loc"));
}

// ---------------------------------------------------------------------------

TEST(remover_permissions, entries_that_cannot_go_are_passed_over)
{
    TempDir tmp;
    fs::create_directories(tmp / "loc/locked/deeper");
    fs::create_directories(tmp / "loc/unreadable/content");
    fs::create_directories(tmp / "loc/unreadable-empty");
    fs::create_directories(tmp / "loc/fine/sub");
    writeFile(tmp / "loc/locked/kept", "0123456789");
    writeFile(tmp / "loc/locked/deeper/kept2", "abc");
    writeFile(tmp / "loc/fine/sub/gone", "x");
    writeFile(tmp / "loc/zz-after", "x");
    ASSERT_EQ(::chmod((tmp / "loc/locked").c_str(), 0555), 0);
    ASSERT_EQ(::chmod((tmp / "loc/unreadable").c_str(), 0000), 0);
    ASSERT_EQ(::chmod((tmp / "loc/unreadable-empty").c_str(), 0000), 0);

    std::string report = inChild([&]() -> std::string {
        if (std::string why = dropDacCapabilities(); !why.empty())
            return why;
        RemoveResult r = removeTreeAt(tmp.fd(), "loc");
        std::string problems;
        if (r.locationGone)
            problems += "location reported gone; ";
        if (r.failed == 0)
            problems += "no failure counted; ";
        // What is left is exactly what could not go, and the scan sees it.
        const std::uint64_t left = headroom::measureTreeAt(tmp.fd(), "loc").bytes;
        if (left == 0)
            problems += "the scan shows nothing left; ";
        return problems;
    });
    reportOrSkip(report);
    if (HasFatalFailure() || IsSkipped())
        return;

    EXPECT_EQ(readFile(tmp / "loc/locked/kept"), "0123456789");
    EXPECT_TRUE(exists(tmp / "loc/locked/deeper")); // emptied: its own folder was writable
    EXPECT_FALSE(exists(tmp / "loc/locked/deeper/kept2"));
    EXPECT_TRUE(exists(tmp / "loc/unreadable"));
    EXPECT_FALSE(exists(tmp / "loc/unreadable-empty"));
    EXPECT_FALSE(exists(tmp / "loc/fine"));
    EXPECT_FALSE(exists(tmp / "loc/zz-after"));
}

TEST(remover_permissions, immutable_file_is_passed_over)
{
    TempDir tmp;
    fs::create_directories(tmp / "loc/a");
    writeFile(tmp / "loc/a/stuck", "immutable");
    writeFile(tmp / "loc/a/free", "x");
    writeFile(tmp / "loc/b", "x");

    // Closed however the test leaves, and the flag taken off again first, so
    // the temporary folder can go.
    struct ImmutableFile {
        int fd = -1;
        int original = 0;
        bool set = false;
        ~ImmutableFile()
        {
            if (set)
                ::ioctl(fd, FS_IOC_SETFLAGS, &original);
            if (fd >= 0)
                ::close(fd);
        }
    } file;
    file.fd = ::open((tmp / "loc/a/stuck").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(file.fd, 0);
    if (::ioctl(file.fd, FS_IOC_GETFLAGS, &file.original) != 0)
        GTEST_SKIP() << "NOT TESTED: this file system has no inode flags (" << std::strerror(errno) << ")";
    int flags = file.original | FS_IMMUTABLE_FL;
    if (::ioctl(file.fd, FS_IOC_SETFLAGS, &flags) != 0)
        GTEST_SKIP() << "NOT TESTED: cannot set the immutable flag (" << std::strerror(errno) << ")";
    file.set = true;

    RemoveResult r = removeTreeAt(tmp.fd(), "loc");

    EXPECT_GE(r.failed, 1u);
    EXPECT_FALSE(r.locationGone);
    EXPECT_EQ(readFile(tmp / "loc/a/stuck"), "immutable");
    EXPECT_FALSE(exists(tmp / "loc/a/free"));
    EXPECT_FALSE(exists(tmp / "loc/b"));
}

// ---------------------------------------------------------------------------

// Mounts in a child of its own mount namespace, so nothing outlives it.
// Descriptors opened before still look at the old namespace: open afresh.
std::string inMountNamespace(const std::function<std::string()>& fn)
{
    return inChild([&]() -> std::string {
        if (::unshare(CLONE_NEWNS) != 0)
            return std::string("SKIP: unshare(CLONE_NEWNS) refused: ") + std::strerror(errno);
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return std::string("SKIP: cannot make mounts private: ") + std::strerror(errno);
        return fn();
    });
}

TEST(remover_mounts, bind_mount_of_the_same_file_system_is_left_alone)
{
    TempDir tmp;
    Canary canary(tmp);
    fs::create_directories(tmp / "loc/mnt");
    fs::create_directories(tmp / "loc/deep/er/mnt2");
    writeFile(tmp / "loc/other", "x");

    std::string report = inMountNamespace([&]() -> std::string {
        if (::mount(canary.dir.c_str(), (tmp / "loc/mnt").c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount(canary.dir.c_str(), (tmp / "loc/deep/er/mnt2").c_str(), nullptr, MS_BIND, nullptr) != 0)
            return std::string("SKIP: bind mount refused: ") + std::strerror(errno);
        RemoveResult r = headroom::removeLocation(tmp.path(), "loc");
        std::string problems;
        if (r.failed == 0)
            problems += "mount points counted as removed; ";
        if (countEntries(canary.dir) != 3 || readFile(canary.dir + "/inner/b") != "beta")
            problems += "bind-mounted contents touched; ";
        if (exists(tmp / "loc/other"))
            problems += "the location's own contents stayed; ";
        return problems;
    });
    reportOrSkip(report);
    canary.expectIntact();
}

TEST(remover_mounts, another_file_system_inside_is_left_alone)
{
    TempDir tmp;
    fs::create_directories(tmp / "loc/tmpfs");
    writeFile(tmp / "loc/other", "x");

    std::string report = inMountNamespace([&]() -> std::string {
        if (::mount("headroom-test", (tmp / "loc/tmpfs").c_str(), "tmpfs", 0, "size=1m") != 0)
            return std::string("SKIP: tmpfs mount refused: ") + std::strerror(errno);
        writeFile(tmp / "loc/tmpfs/inside", "on tmpfs");
        RemoveResult r = headroom::removeLocation(tmp.path(), "loc");
        std::string problems;
        if (readFile(tmp / "loc/tmpfs/inside") != "on tmpfs")
            problems += "the other file system was entered; ";
        if (r.failed == 0 || r.locationGone)
            problems += "mount point not counted as left; ";
        if (exists(tmp / "loc/other"))
            problems += "the location's own contents stayed; ";
        ::umount2((tmp / "loc/tmpfs").c_str(), MNT_DETACH);
        return problems;
    });
    reportOrSkip(report);
}

// ---------------------------------------------------------------------------

TEST(remover_races, folder_swapped_for_a_link_between_listing_and_opening)
{
    TempDir tmp;
    Canary canary(tmp);
    fs::create_directories(tmp / "loc/victim/sub");
    writeFile(tmp / "loc/victim/sub/f", "x");
    writeFile(tmp / "loc/file", "x");

    bool swapped = false;
    RemoveResult r = removeTreeAt(tmp.fd(), "loc", [&](int dirfd, const char* name) {
        if (swapped || std::string(name) != "victim")
            return;
        swapped = true;
        ASSERT_EQ(::renameat(dirfd, "victim", tmp.fd(), "moved-away"), 0);
        ASSERT_EQ(::symlinkat(canary.dir.c_str(), dirfd, "victim"), 0);
    });

    ASSERT_TRUE(swapped);
    canary.expectIntact();
    EXPECT_EQ(readFile(tmp / "moved-away/sub/f"), "x"); // outside now: untouched
    EXPECT_FALSE(exists(tmp / "loc"));
    EXPECT_TRUE(r.locationGone);
}

TEST(remover_races, closed_ancestor_swapped_for_a_link_deep_down)
{
    // Deeper than the descriptors held, so the way back up reopens ancestors
    // and must notice that one of them is no longer the folder it was.
    TempDir tmp;
    Canary canary(tmp);
    makeChain(tmp.fd(), "loc", 60);
    fs::create_directories(tmp / "d"); // bait, as below

    int calls = 0;
    removeTreeAt(tmp.fd(), "loc", [&](int, const char*) {
        if (++calls != 50)
            return;
        // loc/d/d/d is closed by now: move it out and leave a link instead.
        ASSERT_EQ(::rename((tmp / "loc/d/d/d").c_str(), (tmp / "moved").c_str()), 0);
        ASSERT_EQ(::symlink(canary.dir.c_str(), (tmp / "loc/d/d/d").c_str()), 0);
    });

    ASSERT_GE(calls, 50);
    canary.expectIntact();
    EXPECT_TRUE(isLink(tmp / "loc/d/d/d"));
    EXPECT_TRUE(exists(tmp / "moved")); // outside now: never removed by name
    EXPECT_TRUE(exists(tmp / "d"));
}

TEST(remover_races, branch_with_a_replaced_ancestor_is_abandoned)
{
    TempDir tmp;
    Canary canary(tmp);
    makeChain(tmp.fd(), "loc", 60);
    // Bait beside the location: a removal that took the moved folder's ".."
    // for its old parent would remove this by name.
    fs::create_directories(tmp / "d");

    int calls = 0;
    RemoveResult r = removeTreeAt(tmp.fd(), "loc", [&](int, const char*) {
        if (++calls != 50)
            return;
        // Both closed: the way back up from loc/d/d/d/d/d finds neither its
        // parent through ".." nor loc/d/d by name.
        ASSERT_EQ(::rename((tmp / "loc/d/d/d/d/d").c_str(), (tmp / "moved5").c_str()), 0);
        ASSERT_EQ(::rename((tmp / "loc/d/d").c_str(), (tmp / "moved2").c_str()), 0);
        ASSERT_EQ(::symlink(canary.dir.c_str(), (tmp / "loc/d/d").c_str()), 0);
    });

    ASSERT_GE(calls, 50);
    canary.expectIntact();
    EXPECT_GE(r.failed, 1u);
    EXPECT_FALSE(r.locationGone);
    EXPECT_TRUE(isLink(tmp / "loc/d/d"));
    EXPECT_TRUE(exists(tmp / "moved2/d/d")); // the abandoned branch, untouched
    EXPECT_TRUE(exists(tmp / "d"));
}

TEST(remover_races, entries_vanishing_meanwhile_count_as_removed)
{
    TempDir tmp;
    Canary canary(tmp);
    fs::create_directories(tmp / "loc/gone-first/x");
    fs::create_directories(tmp / "loc/kept/y");
    writeFile(tmp / "loc/kept/y/f", "x");

    RemoveResult r = removeTreeAt(tmp.fd(), "loc", [&](int dirfd, const char* name) {
        if (std::string(name) == "gone-first") {
            std::error_code ec;
            fs::remove_all(tmp / "loc/gone-first", ec);
            (void)dirfd;
        }
    });

    EXPECT_EQ(r.failed, 0u);
    EXPECT_TRUE(r.locationGone);
    EXPECT_FALSE(exists(tmp / "loc"));
    canary.expectIntact();
}

TEST(remover_races, location_itself_replaced_by_a_link_while_removed)
{
    TempDir tmp;
    Canary canary(tmp);
    fs::create_directories(tmp / "loc/a/b");
    writeFile(tmp / "loc/a/b/f", "x");

    bool swapped = false;
    removeTreeAt(tmp.fd(), "loc", [&](int, const char*) {
        if (swapped)
            return;
        swapped = true;
        ASSERT_EQ(::rename((tmp / "loc").c_str(), (tmp / "loc-moved").c_str()), 0);
        ASSERT_EQ(::symlink(canary.dir.c_str(), (tmp / "loc").c_str()), 0);
    });

    ASSERT_TRUE(swapped);
    canary.expectIntact();
    EXPECT_TRUE(isLink(tmp / "loc"));
}

TEST(remover_races, concurrent_swaps_never_reach_outside)
{
    constexpr int kRounds = 40;
    TempDir tmp;
    Canary canary(tmp);
    fs::create_directories(tmp / "parking");

    for (int round = 0; round < kRounds; ++round) {
        const std::string loc = tmp / "loc";
        for (int i = 0; i < 8; ++i) {
            const std::string sub = loc + "/s" + std::to_string(i);
            fs::create_directories(sub + "/deeper/still");
            for (int j = 0; j < 20; ++j)
                writeFile(sub + "/deeper/f" + std::to_string(j), "x");
        }

        std::atomic<bool> stop{false};
        std::thread swapper([&] {
            unsigned k = 0;
            while (!stop.load(std::memory_order_relaxed)) {
                const std::string name = "s" + std::to_string(k++ % 8);
                const std::string sub = loc + "/" + name;
                const std::string parked = tmp / ("parking/" + name + "-" + std::to_string(round) + "-" +
                                                  std::to_string(k));
                if (::rename(sub.c_str(), parked.c_str()) == 0) {
                    ::symlink(canary.dir.c_str(), sub.c_str());
                    std::this_thread::yield();
                    if (::unlink(sub.c_str()) == 0)
                        ::rename(parked.c_str(), sub.c_str());
                }
                // A link straight into the canary's own subfolder, too.
                ::symlink((canary.dir + "/inner").c_str(), (loc + "/deeplink").c_str());
            }
        });
        removeTreeAt(tmp.fd(), "loc");
        stop = true;
        swapper.join();

        canary.expectIntact();
        if (HasFailure()) {
            ADD_FAILURE() << "round " << round;
            return;
        }
        std::error_code ec;
        fs::remove_all(loc, ec);
    }
}

// ---------------------------------------------------------------------------

TEST(remover_cancel, stops_before_the_next_entry_and_leaves_the_rest)
{
    TempDir tmp;
    for (const std::string sub : {"a", "b", "c"}) {
        fs::create_directories(tmp / ("loc/" + sub + "/inner"));
        writeFile(tmp / ("loc/" + sub + "/inner/f"), "x");
    }
    writeFile(tmp / "loc/top", "x");

    // Asked to stop as the second of the three subfolders is about to be
    // opened (on one thread, so "second" is well defined).
    std::atomic<bool> cancel{false};
    std::vector<std::string> opened;
    RemoveResult r = removeTreeAt(
        tmp.fd(), "loc",
        [&](int, const char* name) {
            if (std::string(name) == "inner")
                return;
            opened.emplace_back(name);
            if (opened.size() == 2)
                cancel = true;
        },
        &cancel, 1);

    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(r.locationGone);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_FALSE(exists(tmp / ("loc/" + opened[0])));
    EXPECT_EQ(readFile(tmp / ("loc/" + opened[1] + "/inner/f")), "x");
    for (const std::string sub : {"a", "b", "c"}) {
        if (sub != opened[0] && sub != opened[1]) {
            EXPECT_EQ(readFile(tmp / ("loc/" + sub + "/inner/f")), "x");
        }
    }
    EXPECT_FALSE(exists(tmp / "loc/top")); // listed before the request
}

TEST(remover_cancel, cancelled_before_the_start_removes_nothing)
{
    TempDir tmp;
    fs::create_directories(tmp / "loc/sub");
    writeFile(tmp / "loc/sub/f", "x");
    ::symlink("loc", (tmp / "link").c_str());
    const std::atomic<bool> cancel{true};

    EXPECT_TRUE(removeLocation(tmp.path(), "loc", &cancel).cancelled);
    EXPECT_TRUE(removeLocation(tmp.path(), "link", &cancel).cancelled);
    EXPECT_EQ(readFile(tmp / "loc/sub/f"), "x");
    EXPECT_TRUE(isLink(tmp / "link"));

    const std::atomic<bool> goOn{false};
    const RemoveResult r = removeLocation(tmp.path(), "loc", &goOn);
    EXPECT_FALSE(r.cancelled);
    EXPECT_TRUE(r.locationGone);
}

} // namespace

// ---------------------------------------------------------------------------
// Several threads sharing the location's subfolders

namespace {

// loc/ with `folders` subfolders, each holding files, a nested folder, a
// link to the canary and a hard link to a canary file; returns the number
// of entries below loc.
std::size_t makeWideLocation(const TempDir& tmp, const Canary& canary, int folders, int filesEach)
{
    for (int i = 0; i < folders; ++i) {
        const std::string sub = tmp / ("loc/s" + std::to_string(i));
        fs::create_directories(sub + "/nested/deeper");
        for (int j = 0; j < filesEach; ++j)
            writeFile(sub + "/f" + std::to_string(j), "x");
        writeFile(sub + "/nested/deeper/g", "x");
        ::symlink(canary.dir.c_str(), (sub + "/to-canary").c_str());
        ::link(canary.file.c_str(), (sub + "/nested/hard").c_str());
    }
    writeFile(tmp / "loc/top", "x");
    return countEntries(tmp / "loc");
}

} // namespace

TEST(remover_parallel, subfolders_shared_among_threads_all_go_and_nothing_outside)
{
    for (unsigned threads : {1u, 2u, 3u, 8u, 0u}) {
        TempDir tmp;
        Canary canary(tmp);
        const std::size_t entries = makeWideLocation(tmp, canary, 37, 5);
        const int before = openDescriptors();
        const RemoveResult r = removeTreeAt(tmp.fd(), "loc", {}, nullptr, threads);
        EXPECT_EQ(openDescriptors(), before) << "threads " << threads;
        EXPECT_TRUE(r.locationGone) << "threads " << threads;
        EXPECT_EQ(r.removed, entries + 1) << "threads " << threads; // the location itself too
        EXPECT_EQ(r.failed, 0u) << "threads " << threads;
        canary.expectIntact();
        struct stat st {};
        ASSERT_EQ(::stat(canary.file.c_str(), &st), 0);
        EXPECT_EQ(st.st_nlink, 1u) << "every hard link inside went, the outside name stays";
    }
}

TEST(remover_parallel, cancel_midway_leaves_every_entry_not_yet_removed)
{
    TempDir tmp;
    Canary canary(tmp);
    const std::size_t entries = makeWideLocation(tmp, canary, 40, 10);
    std::atomic<bool> cancel{false};
    std::atomic<int> opened{0};
    const RemoveResult r = removeTreeAt(
        tmp.fd(), "loc",
        [&](int, const char*) {
            if (opened.fetch_add(1) == 30)
                cancel = true;
        },
        &cancel, 4);

    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(r.locationGone);
    const std::size_t left = countEntries(tmp / "loc");
    EXPECT_GT(left, 0u);
    // Nothing counted twice or lost between the threads' tallies.
    EXPECT_EQ(r.removed + left, entries);
    EXPECT_EQ(r.failed, 0u);
    for (int i = 0; i < 40; ++i) {
        const std::string sub = tmp / ("loc/s" + std::to_string(i));
        for (int j = 0; j < 10; ++j) {
            const std::string f = sub + "/f" + std::to_string(j);
            if (exists(f)) {
                EXPECT_EQ(readFile(f), "x");
            }
        }
    }
    canary.expectIntact();
}

TEST(remover_parallel, subfolders_swapped_for_links_while_threads_remove_them)
{
    TempDir tmp;
    Canary canary(tmp);
    makeWideLocation(tmp, canary, 24, 3);
    fs::create_directories(tmp / "parking");
    // Each subfolder, just before a thread opens it, is moved out and
    // replaced by a link to the canary: the link goes, the moved folder and
    // the canary stay whole.
    std::atomic<int> swapped{0};
    const RemoveResult r = removeTreeAt(
        tmp.fd(), "loc",
        [&](int dirfd, const char* name) {
            if (name[0] != 's')
                return;
            const std::string parked = tmp / ("parking/" + std::string(name));
            if (::renameat(dirfd, name, AT_FDCWD, parked.c_str()) == 0
                && ::symlinkat(canary.dir.c_str(), dirfd, name) == 0)
                swapped.fetch_add(1);
        },
        nullptr, 8);

    EXPECT_EQ(swapped.load(), 24);
    EXPECT_TRUE(r.locationGone);
    canary.expectIntact();
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(countEntries(tmp / ("parking/s" + std::to_string(i))), 3u + 5u) << i;
}

TEST(remover_parallel, few_subfolders_share_out_the_next_level)
{
    // Shaped like a trash: nearly everything below one subfolder.
    auto build = [](const TempDir& tmp) {
        for (int i = 0; i < 20; ++i) {
            const std::string sub = tmp / ("loc/files/t" + std::to_string(i));
            fs::create_directories(sub + "/inner");
            for (int j = 0; j < 4; ++j)
                writeFile(sub + "/f" + std::to_string(j), "x");
        }
        writeFile(tmp / "loc/files/loose", "x");
        fs::create_directories(tmp / "loc/info");
        writeFile(tmp / "loc/info/t0.trashinfo", "x");
        return countEntries(tmp / "loc");
    };
    {
        TempDir tmp;
        Canary canary(tmp);
        const std::size_t entries = build(tmp);
        ::symlink(canary.dir.c_str(), (tmp / "loc/files/t3/to-canary").c_str());
        std::mutex mutex;
        std::set<std::thread::id> threads;
        const int before = openDescriptors();
        const RemoveResult r = removeTreeAt(
            tmp.fd(), "loc",
            [&](int, const char* name) {
                if (name[0] != 't')
                    return;
                {
                    const std::lock_guard lock(mutex);
                    threads.insert(std::this_thread::get_id());
                }
                // Long enough for every thread to have taken a subfolder.
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
            },
            nullptr, 4);
        EXPECT_EQ(openDescriptors(), before);
        EXPECT_TRUE(r.locationGone);
        EXPECT_EQ(r.removed, entries + 2); // the link and the location too
        EXPECT_EQ(r.failed, 0u);
        EXPECT_GE(threads.size(), 2u) << "the subfolders of files/ were not shared out";
        canary.expectIntact();
    }
    {
        // Cancelled while the threads work below files/: files/ stays, and
        // nothing is counted twice or lost.
        TempDir tmp;
        Canary canary(tmp);
        const std::size_t entries = build(tmp);
        std::atomic<bool> cancel{false};
        std::atomic<int> opened{0};
        const RemoveResult r = removeTreeAt(
            tmp.fd(), "loc",
            [&](int, const char*) {
                if (opened.fetch_add(1) == 12)
                    cancel = true;
            },
            &cancel, 4);
        EXPECT_TRUE(r.cancelled);
        EXPECT_FALSE(r.locationGone);
        EXPECT_TRUE(exists(tmp / "loc/files"));
        EXPECT_EQ(r.removed + countEntries(tmp / "loc"), entries);
        EXPECT_EQ(r.failed, 0u);
        canary.expectIntact();
    }
}
