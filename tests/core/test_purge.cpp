// The purge tool as the core runs it (its status, waited for through
// signals), and headroom-purge itself: who it refuses and how it asks for
// root through pkexec.

#include "core/Platform.h"
#include "core/Process.h"
#include "core/PurgeTool.h"
#include "tests/support/Seams.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

using headroom::test::helper;
using headroom::test::readFile;
using headroom::test::TempTree;
using headroom::test::writeFile;

// A shell script `name` below `tmp` (its folders made first) that runs `body`.
std::string script(const TempTree& tmp, const char* name, const std::string& body)
{
    writeFile(tmp / name, "#!/bin/sh\n" + body);
    ::chmod((tmp / name).c_str(), 0755);
    return tmp / name;
}

// Runs headroom-purge with at most one argument and only `env`, as nobody
// unless `asRoot`, with its standard error captured in `tmp`/err.
std::pair<int, std::string> runPurge(const TempTree& tmp, std::vector<std::string> env, const char* arg = nullptr,
                                     bool asRoot = false)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(::open((tmp / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666), STDERR_FILENO);
        constexpr uid_t kNobody = 65534;
        // Root gives up every capability by becoming nobody; make sure it
        // cannot take root back.
        if (!asRoot
            && (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0
                || ::setresuid(kNobody, kNobody, kNobody) != 0 || ::geteuid() != kNobody || ::setuid(0) == 0))
            ::_exit(99);
        std::vector<char*> envp;
        for (std::string& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        char* argv[] = {const_cast<char*>(HEADROOM_PURGE_PATH), const_cast<char*>(arg), nullptr};
        ::execve(HEADROOM_PURGE_PATH, argv, envp.data());
        ::_exit(98);
    }
    const int status = headroom::process::waitFor(pid);
    EXPECT_NE(status, 99) << "could not give up root";
    return {status, readFile(tmp / "err")};
}

TEST(PurgeTool, StatusOfTheToolIsPassedOnAndNoDescriptorIsLeft)
{
    const headroom::test::SeamReset seams;
    const TempTree tmp;
    tmp.makeFile("not-executable", 10, 0644); // no execute bit at all: not even root runs it
    const auto status = [](const std::string& tool) {
        headroom::platform::setPurgeToolPathForTesting(tool);
        testing::internal::CaptureStderr();
        const int status = headroom::purgeRAM();
        testing::internal::GetCapturedStderr();
        return status;
    };
    const int descriptors = headroom::test::openDescriptors();
    EXPECT_EQ(status("/bin/true"), 0);
    EXPECT_EQ(status(helper("purge-fails.sh")), 3);
    EXPECT_EQ(status(helper("purge-killed.sh")), 128 + SIGKILL);
    EXPECT_EQ(status(tmp / "missing"), -1);
    EXPECT_EQ(status(tmp / "not-executable"), -1);
    EXPECT_EQ(headroom::test::openDescriptors(), descriptors);
}

TEST(PurgeTool, SlowToolIsWaitedForThroughSignalsWithNoArgumentsAndTheCallersEnvironment)
{
    const TempTree tmp;
    const std::string tool =
        script(tmp, "tool", "sleep 1\necho \"$#:$HEADROOM_TEST_VALUE\" > \"" + (tmp / "marker") + "\"\n");
    ::setenv("HEADROOM_TEST_VALUE", "from the caller", 1); // NOLINT(concurrency-mt-unsafe): one thread
    struct sigaction sa {};
    struct sigaction old {};
    sa.sa_handler = [](int) {}; // no SA_RESTART: waitpid sees EINTR
    ::sigemptyset(&sa.sa_mask);
    ASSERT_EQ(::sigaction(SIGALRM, &sa, &old), 0);
    itimerval every{{0, 50000}, {0, 50000}}, off{};
    ::setitimer(ITIMER_REAL, &every, nullptr);
    const int status = headroom::process::runAndWait(tool);
    ::setitimer(ITIMER_REAL, &off, nullptr);
    ::sigaction(SIGALRM, &old, nullptr);
    ::unsetenv("HEADROOM_TEST_VALUE"); // NOLINT(concurrency-mt-unsafe): one thread
    EXPECT_EQ(status, 0);
    EXPECT_EQ(readFile(tmp / "marker"), "0:from the caller\n");
}

class PurgeHelper : public testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "NOT TESTED: needs root to run the helper as another user";
        ::chmod(tmp.path().c_str(), 0777);
    }
    TempTree tmp;
};

TEST_F(PurgeHelper, RefusalsAreOneLineAndOnlyUnelevatedRootWritesTheStandIn)
{
    tmp.makeDir("empty-bin");
    script(tmp, "bin/pkexec", "echo ran > \"" + (tmp / "ran") + "\"\n");
    writeFile(tmp / "drop", "");
    ASSERT_EQ(::symlink((tmp / "drop").c_str(), (tmp / "link").c_str()), 0);
    ASSERT_EQ(::mkfifo((tmp / "fifo").c_str(), 0600), 0);
    const std::string seam = "HEADROOM_DROP_CACHES_PATH=" + tmp.path() + "/";
    // Each refused with one line that names the reason; only root, unelevated,
    // writes "3\n" to the stand-in for /proc/sys/vm/drop_caches. The case,
    // the environment, the argument, whether root runs it, the status (-1:
    // any but 0) and what the line names.
    const std::tuple<const char*, std::vector<std::string>, const char*, bool, int, std::string> cases[] = {
        {"an argument, even from root", {"PATH=/usr/bin:/bin"}, "--now", true, 2, ""},
        {"not root, no pkexec", {"PATH=" + (tmp / "empty-bin")}, nullptr, false, 125, "pkexec"},
        {"run by pkexec yet not root", {"PATH=" + (tmp / "bin"), "PKEXEC_UID=1000"}, nullptr, false, -1, ""},
        {"stand-in is a link", {seam + "link"}, nullptr, true, 1, tmp / "link"},
        {"stand-in missing", {seam + "missing"}, nullptr, true, 1, tmp / "missing"},
        {"stand-in is a FIFO", {seam + "fifo"}, nullptr, true, 1, tmp / "fifo"},
        {"elevated by pkexec", {seam + "drop", "PKEXEC_UID=0"}, nullptr, true, 1, "refused"},
        {"elevated by sudo", {seam + "drop", "SUDO_UID=1000"}, nullptr, true, 1, "refused"},
        {"unelevated root", {seam + "drop"}, nullptr, true, 0, ""},
    };
    for (const auto& [name, env, arg, asRoot, expected, named] : cases) {
        SCOPED_TRACE(name);
        const auto [status, err] = runPurge(tmp, env, arg, asRoot);
        EXPECT_TRUE(expected < 0 ? status != 0 : status == expected) << status << ": " << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), expected == 0 ? 0 : 1) << err;
        EXPECT_NE(err.find(named), std::string::npos) << err;
        EXPECT_EQ(readFile(tmp / "drop"), expected == 0 ? "3\n" : "") << err;
    }
    EXPECT_EQ(readFile(tmp / "ran"), "<missing>") << "pkexec must not be run again";
}

TEST_F(PurgeHelper, NotRootRunsItselfThroughPkexecAndPassesOnItsStatusAndFirstNonEmptyLine)
{
    // The same chatter when pkexec succeeds must not be passed on.
    const std::string chatter = "echo >&2\necho ' ' >&2\n"
                                "echo 'Error executing command as another user: Not authorized' >&2\n"
                                "echo 'This incident has been reported.' >&2\n";
    script(tmp, "bin/pkexec", "echo \"$#:$1\" > \"" + (tmp / "args") + "\"\n" + chatter + "exit $STATUS\n");
    const std::string path = "PATH=" + (tmp / "bin");
    EXPECT_EQ(runPurge(tmp, {path, "STATUS=0"}), std::pair(0, std::string()));
    EXPECT_EQ(readFile(tmp / "args"), "1:" + std::filesystem::canonical(HEADROOM_PURGE_PATH).string() + "\n");
    EXPECT_EQ(runPurge(tmp, {path, "STATUS=127"}),
              std::pair(127, std::string("headroom-purge: Error executing command as another user: Not authorized\n")));
}

} // namespace
