#include "RunCli.h"

#include "cli/Cli.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <sstream>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

CliResult runCli(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& dir)
{
    // env(1) sets and removes the variables and changes the folder.
    std::vector<std::string> words{"env"};
    if (!dir.empty())
        words.insert(words.end(), {"-C", dir});
    for (const std::string& change : env) {
        if (change.find('=') == std::string::npos)
            words.insert(words.begin() + 1, {"-u", change}); // options before the assignments
        else
            words.push_back(change);
    }
    words.push_back(HEADROOM_CLI_PATH);
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    // The outputs go to files, read once the child has ended.
    const headroom::test::TempTree files;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    for (const int fd : {1, 2})
        posix_spawn_file_actions_addopen(&actions, fd, (files / std::to_string(fd)).c_str(), O_WRONLY | O_CREAT, 0600);
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, "env", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || ::waitpid(pid, &status, 0) != pid) {
        ADD_FAILURE() << "cannot run " << HEADROOM_CLI_PATH;
        return {};
    }
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), headroom::test::readFile(files / "1"),
            headroom::test::readFile(files / "2")};
}

CliResult runInProcess(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    const int status = headroom::cli::run(args, out, err);
    return {status, out.str(), err.str()};
}
