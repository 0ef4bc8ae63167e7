#include "tools/PurgeTool.h"

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace headroom {

int runAndWait(const std::string& program)
{
    // argv[0] only: the tool is given no arguments.
    std::string arg0 = program;
    char* argv[] = {arg0.data(), nullptr};
    pid_t pid = 0;
    // glibc's posix_spawn reports a failed exec as its result, so a missing
    // or non-executable tool never looks like a tool that ran and failed.
    if (program.empty() || ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0)
        return -1;

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

} // namespace headroom
