#include "core/Process.h"

#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <grp.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using headroom::test::helper;
using headroom::test::readFile;
using headroom::test::TempTree;
using headroom::process::runAndWait;

void writeScript(const std::string& path, const std::string& body)
{
    std::ofstream(path) << "#!/bin/sh\n" << body;
    ::chmod(path.c_str(), 0755);
}

std::size_t lineCount(const std::string& text)
{
    std::size_t n = 0;
    for (char c : text)
        n += c == '\n';
    return n;
}

// Scoped environment variable.
struct EnvVar {
    std::string name;
    EnvVar(std::string n, const std::string& value) : name(std::move(n)) { ::setenv(name.c_str(), value.c_str(), 1); }
    ~EnvVar() { ::unsetenv(name.c_str()); }
};

// ---------------------------------------------------------------------------

TEST(purge_run, exit_status_is_passed_on)
{
    EXPECT_EQ(runAndWait(helper("purge-fails.sh")), 3);
    EXPECT_EQ(runAndWait("/bin/true"), 0);
}

TEST(purge_run, tool_that_cannot_start_gives_minus_one)
{
    TempTree tmp;
    EXPECT_EQ(runAndWait(tmp / "missing-tool"), -1);
    EXPECT_EQ(runAndWait(""), -1);
    std::ofstream(tmp / "not-executable") << "#!/bin/sh\nexit 0\n";
    ::chmod((tmp / "not-executable").c_str(), 0644);
    EXPECT_EQ(runAndWait(tmp / "not-executable"), -1); // no execute bit at all: not even root runs it
    EXPECT_EQ(runAndWait(tmp.path()), -1); // a folder
}

TEST(purge_run, killed_tool_reports_the_signal)
{
    EXPECT_EQ(runAndWait(helper("purge-killed.sh")), 128 + SIGKILL);
}

TEST(purge_run, waits_until_the_tool_has_ended)
{
    TempTree tmp;
    EnvVar marker("HEADROOM_TEST_MARKER", tmp / "marker");
    EXPECT_EQ(runAndWait(helper("purge-sleeps.sh")), 0);
    EXPECT_EQ(readFile(tmp / "marker"), "done\n");
}

void onAlarm(int) {}

TEST(purge_run, signals_while_waiting_do_not_end_the_wait)
{
    TempTree tmp;
    EnvVar marker("HEADROOM_TEST_MARKER", tmp / "marker");
    struct sigaction sa {};
    struct sigaction old {};
    sa.sa_handler = onAlarm; // no SA_RESTART: waitpid sees EINTR
    ::sigemptyset(&sa.sa_mask);
    ASSERT_EQ(::sigaction(SIGALRM, &sa, &old), 0);
    itimerval every{{0, 50000}, {0, 50000}};
    ::setitimer(ITIMER_REAL, &every, nullptr);

    const int status = runAndWait(helper("purge-sleeps.sh"));

    itimerval off{};
    ::setitimer(ITIMER_REAL, &off, nullptr);
    ::sigaction(SIGALRM, &old, nullptr);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(readFile(tmp / "marker"), "done\n");
}

TEST(purge_run, tool_gets_no_arguments_and_the_callers_environment_folder_and_streams)
{
    TempTree tmp;
    fs::create_directories(tmp / "cwd");
    EnvVar marker("HEADROOM_TEST_MARKER", tmp / "report");
    EnvVar value("HEADROOM_TEST_VALUE", "from the caller");
    const fs::path oldCwd = fs::current_path();
    fs::current_path(tmp / "cwd");

    std::fflush(stdout);
    int saved = ::dup(STDOUT_FILENO);
    int out = ::open((tmp / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ::dup2(out, STDOUT_FILENO);
    const int status = runAndWait(helper("purge-reports.sh"));
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::close(out);
    fs::current_path(oldCwd);

    EXPECT_EQ(status, 0);
    EXPECT_EQ(readFile(tmp / "report"), "args=0\ncwd=" + fs::canonical(tmp / "cwd").string() + "\nvalue=from the caller\n");
    EXPECT_EQ(readFile(tmp / "stdout"), "to-stdout\n");
}

// ---------------------------------------------------------------------------
// The headroom-purge executable.

struct PurgeRun {
    int status = -1;
    std::string err;
};

// Runs headroom-purge with `env`, as user `uid` (dropping root first when
// it is not 0), with its standard error captured.
PurgeRun runPurge(const std::vector<std::string>& args, const std::vector<std::string>& env, uid_t uid, const std::string& errFile)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        int fd = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        ::dup2(fd, STDERR_FILENO);
        if (uid != 0) {
            if (::setgroups(0, nullptr) != 0 || ::setresgid(uid, uid, uid) != 0 || ::setresuid(uid, uid, uid) != 0)
                ::_exit(99);
        }
        std::vector<std::string> argvStore{HEADROOM_PURGE_PATH};
        argvStore.insert(argvStore.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : argvStore)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> envStore = env;
        std::vector<char*> envp;
        for (auto& e : envStore)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        ::execve(HEADROOM_PURGE_PATH, argv.data(), envp.data());
        ::_exit(98);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    PurgeRun r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = readFile(errFile);
    return r;
}

constexpr uid_t kNobody = 65534;

class PurgeHelper : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "NOT TESTED: needs root to run the helper as another user";
        ::chmod(tmp.path().c_str(), 0777);
    }
    TempTree tmp;
};

TEST_F(PurgeHelper, without_root_and_without_pkexec_fails_with_one_line)
{
    fs::create_directories(tmp / "empty-bin");
    PurgeRun r = runPurge({}, {"PATH=" + (tmp / "empty-bin")}, kNobody, tmp / "err");
    ASSERT_NE(r.status, 99) << "could not become an unprivileged user";
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(lineCount(r.err), 1u) << r.err;
    EXPECT_NE(r.err.find("pkexec"), std::string::npos) << r.err;
}

TEST_F(PurgeHelper, without_root_it_runs_itself_through_pkexec)
{
    fs::create_directories(tmp / "bin");
    ::chmod((tmp / "bin").c_str(), 0755);
    writeScript(tmp / "bin/pkexec", "echo \"$#:$1\" > \"" + (tmp / "pkexec-args") + "\"\nexit 0\n");

    PurgeRun r = runPurge({}, {"PATH=" + (tmp / "bin")}, kNobody, tmp / "err");

    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(tmp / "pkexec-args"), "1:" + fs::canonical(HEADROOM_PURGE_PATH).string() + "\n");
}

TEST_F(PurgeHelper, refused_elevation_gives_one_line_and_the_status)
{
    fs::create_directories(tmp / "bin");
    ::chmod((tmp / "bin").c_str(), 0755);
    writeScript(tmp / "bin/pkexec",
                "echo 'Error executing command as another user: Not authorized' >&2\n"
                "echo >&2\necho 'This incident has been reported.' >&2\nexit 127\n");

    PurgeRun r = runPurge({}, {"PATH=" + (tmp / "bin")}, kNobody, tmp / "err");

    EXPECT_EQ(r.status, 127);
    EXPECT_EQ(lineCount(r.err), 1u) << r.err;
    EXPECT_NE(r.err.find("Not authorized"), std::string::npos) << r.err;
}

TEST_F(PurgeHelper, arguments_are_refused_with_one_line)
{
    PurgeRun r = runPurge({"--now"}, {"PATH=/usr/bin:/bin"}, 0, tmp / "err");
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(lineCount(r.err), 1u) << r.err;
}

TEST_F(PurgeHelper, as_root_drops_the_caches)
{
    if (::access("/proc/sys/vm/drop_caches", W_OK) != 0)
        GTEST_SKIP() << "NOT TESTED: /proc/sys/vm/drop_caches is not writable here";
    PurgeRun r = runPurge({}, {"PATH=/usr/bin:/bin"}, 0, tmp / "err");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
}

} // namespace
