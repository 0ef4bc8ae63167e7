#pragma once

// Starting a program and waiting for it, and finding the running program's
// own path. Header-only: the purge helper uses it without linking anything
// of ours, so a privileged process carries no more code than it needs.

#include <cerrno>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace headroom::process {

// The absolute path of the running executable; empty when it cannot be read.
inline std::string executablePath()
{
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n <= 0)
            return {};
        if (static_cast<std::size_t>(n) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(n));
        buffer.resize(buffer.size() * 2); // possibly truncated: try larger
    }
}

// Starts argv[0] with the given words as its arguments (argv[0] included),
// the caller's environment, working folder and streams; standard error goes
// to `stderrFd` when it is not -1. Returns the child's pid, or -1 with the
// error in `error`. glibc's posix_spawn reports a failed exec as its result,
// so a missing or non-executable program never looks like one that ran and
// failed.
inline pid_t spawn(const std::vector<std::string>& argv, int& error, int stderrFd = -1)
{
    error = EINVAL;
    if (argv.empty() || argv.front().empty())
        return -1;
    std::vector<std::string> words = argv;
    std::vector<char*> pointers;
    for (std::string& word : words)
        pointers.push_back(word.data());
    pointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stderrFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stderrFd, STDERR_FILENO);
    pid_t pid = -1;
    error = ::posix_spawn(&pid, words.front().c_str(), &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

// Waits for `pid` with no time limit. Returns its exit status, 128 + the
// signal that killed it, or -1 (errno set) when it cannot be waited for.
inline int waitFor(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

// Runs `program` with no arguments and waits for it: its exit status, or -1
// when it could not be started or waited for.
inline int runAndWait(const std::string& program)
{
    int error = 0;
    const pid_t pid = spawn({program}, error);
    return pid < 0 ? -1 : waitFor(pid);
}

} // namespace headroom::process
