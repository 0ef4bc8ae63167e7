#include "RunCli.h"

#include "cli/Cli.h"
#include "core/Process.h"

#include <gtest/gtest.h>

#include <sstream>

CliResult runCli(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& dir)
{
    // env(1) sets the variables and changes the folder.
    std::vector<std::string> words{"env"};
    if (!dir.empty())
        words.push_back("--chdir=" + dir);
    words.insert(words.end(), env.begin(), env.end());
    words.push_back(HEADROOM_CLI_PATH);
    words.insert(words.end(), args.begin(), args.end());
    CliResult result;
    result.exitCode = headroom::process::runCapturing(words, &result.out, &result.err);
    if (result.exitCode < 0)
        ADD_FAILURE() << "cannot run " << HEADROOM_CLI_PATH;
    return result;
}

CliResult runInProcess(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    const int status = headroom::cli::run(args, out, err);
    return {status, out.str(), err.str()};
}
