#pragma once

// Starting a program and waiting for it, and finding the running program's
// own path. Header-only: the purge helper uses it without linking anything
// of ours, so a privileged process carries no more code than it needs.

#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
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

// Descriptors a started program gets as its standard input, output and
// error; -1 leaves the caller's own in place.
struct Streams {
    int in = -1;
    int out = -1;
    int err = -1;
};

// Starts argv[0] with the given words as its arguments (argv[0] included),
// the caller's environment and working folder, and `streams`; argv[0] is
// looked up in PATH only when `searchPath` is set. Returns the child's pid,
// or -1 with the error in `error`. glibc's posix_spawn reports a failed exec
// as its result, so a missing or non-executable program never looks like
// one that ran and failed.
inline pid_t spawn(const std::vector<std::string>& argv, int& error, Streams streams = {}, bool searchPath = false)
{
    error = EINVAL;
    if (argv.empty() || argv.front().empty())
        return -1;
    std::vector<std::string> words = argv;
    std::vector<char*> pointers;
    pointers.reserve(words.size() + 1);
    for (std::string& word : words)
        pointers.push_back(word.data());
    pointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (const auto& [fd, target] :
         {std::pair{streams.in, STDIN_FILENO}, {streams.out, STDOUT_FILENO}, {streams.err, STDERR_FILENO}})
        if (fd >= 0)
            posix_spawn_file_actions_adddup2(&actions, fd, target);
    pid_t pid = -1;
    const auto start = searchPath ? ::posix_spawnp : ::posix_spawn;
    error = start(&pid, words.front().c_str(), &actions, nullptr, pointers.data(), environ);
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

// Everything in the file `fd` from its start, whatever its offset.
inline std::string readFrom(int fd)
{
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    for (off_t at = 0; (n = ::pread(fd, buffer, sizeof buffer, at)) > 0; at += n)
        text.append(buffer, static_cast<std::size_t>(n));
    return text;
}

// Runs argv, looked up in PATH, with no standard input, and waits for it.
// What it writes to its standard output and error goes to `out` and `err`
// when they are given (through unnamed files, read once it has ended, so a
// full pipe can never stall it). Returns what waitFor does, or -1 when it
// could not be started.
inline int runCapturing(const std::vector<std::string>& argv, std::string* out = nullptr, std::string* err = nullptr)
{
    const auto capture = [](const std::string* text) { return text ? ::memfd_create("output", MFD_CLOEXEC) : -1; };
    const Streams streams{::open("/dev/null", O_RDONLY | O_CLOEXEC), capture(out), capture(err)};
    int error = 0;
    const pid_t pid = spawn(argv, error, streams, true);
    const int status = pid < 0 ? -1 : waitFor(pid);
    for (const auto& [fd, text] : {std::pair{streams.out, out}, {streams.err, err}})
        if (fd >= 0)
            *text = readFrom(fd);
    for (const int fd : {streams.in, streams.out, streams.err})
        if (fd >= 0)
            ::close(fd);
    return status;
}

} // namespace headroom::process
