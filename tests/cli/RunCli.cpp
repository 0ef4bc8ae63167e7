#include "RunCli.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

struct Pipe {
    int read = -1;
    int write = -1;
    Pipe()
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) == 0) {
            read = fds[0];
            write = fds[1];
        }
    }
    ~Pipe()
    {
        closeRead();
        closeWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    void closeRead()
    {
        if (read >= 0)
            ::close(read);
        read = -1;
    }
    void closeWrite()
    {
        if (write >= 0)
            ::close(write);
        write = -1;
    }
};

std::vector<std::string> childEnvironment(const std::vector<std::string>& changes)
{
    std::vector<std::string> result;
    for (char** e = environ; e && *e; ++e)
        result.emplace_back(*e);
    for (const std::string& change : changes) {
        const std::size_t eq = change.find('=');
        const std::string name = change.substr(0, eq);
        std::erase_if(result, [&](const std::string& entry) {
            return entry.compare(0, name.size(), name) == 0 && entry.size() > name.size() && entry[name.size()] == '=';
        });
        if (eq != std::string::npos)
            result.push_back(change);
    }
    return result;
}

std::vector<char*> pointers(std::vector<std::string>& words)
{
    std::vector<char*> result;
    for (std::string& w : words)
        result.push_back(w.data());
    result.push_back(nullptr);
    return result;
}

} // namespace

CliResult runCli(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& stdinText)
{
    CliResult result;
    // Writing to a child that has already closed its input must not kill
    // the test; the child itself gets the default disposition back below.
    ::signal(SIGPIPE, SIG_IGN);

    Pipe in, out, err;
    if (in.read < 0 || out.read < 0 || err.read < 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return result;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.read, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out.write, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.write, STDERR_FILENO);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    sigset_t noneBlocked;
    sigemptyset(&noneBlocked);
    posix_spawnattr_setsigmask(&attr, &noneBlocked);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<std::string> argv{HEADROOM_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> envp = childEnvironment(env);
    std::vector<char*> argvPointers = pointers(argv);
    std::vector<char*> envPointers = pointers(envp);

    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, HEADROOM_CLI_PATH, &actions, &attr, argvPointers.data(), envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << HEADROOM_CLI_PATH << ": " << std::strerror(spawned);
        return result;
    }
    in.closeRead();
    out.closeWrite();
    err.closeWrite();

    // Feed the input and drain both outputs together, so that no pipe can
    // fill up and stall the child.
    std::size_t written = 0;
    if (stdinText.empty())
        in.closeWrite();
    else
        ::fcntl(in.write, F_SETFL, O_NONBLOCK);
    while (out.read >= 0 || err.read >= 0) {
        pollfd fds[3];
        nfds_t n = 0;
        const auto watch = [&](int fd, short events) {
            if (fd >= 0)
                fds[n++] = pollfd{fd, events, 0};
        };
        watch(out.read, POLLIN);
        watch(err.read, POLLIN);
        watch(in.write, POLLOUT);
        if (::poll(fds, n, -1) < 0) {
            if (errno == EINTR)
                continue;
            ADD_FAILURE() << "poll: " << std::strerror(errno);
            break;
        }
        for (nfds_t i = 0; i < n; ++i) {
            if (fds[i].revents == 0)
                continue;
            if (fds[i].fd == in.write) {
                const ssize_t w = ::write(in.write, stdinText.data() + written, stdinText.size() - written);
                if (w > 0)
                    written += static_cast<std::size_t>(w);
                // Done when all is written, or when the child stopped reading.
                const bool childStopped = w < 0 && errno != EAGAIN && errno != EINTR;
                if (childStopped || written == stdinText.size())
                    in.closeWrite();
                continue;
            }
            Pipe& source = fds[i].fd == out.read ? out : err;
            std::string& sink = fds[i].fd == out.read ? result.out : result.err;
            char buffer[65536];
            const ssize_t r = ::read(source.read, buffer, sizeof buffer);
            if (r > 0)
                sink.append(buffer, static_cast<std::size_t>(r));
            else if (r == 0 || (errno != EINTR && errno != EAGAIN))
                source.closeRead();
        }
    }
    in.closeWrite();

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            ADD_FAILURE() << "waitpid: " << std::strerror(errno);
            return result;
        }
    }
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    return result;
}
