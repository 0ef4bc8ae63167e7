#pragma once

#include <string>
#include <vector>

// What one run of headroom-cli left behind.
struct CliResult {
    int exitCode = -1; // exit status; 128 + the signal when one ended it
    std::string out;
    std::string err;
};

// Runs the built headroom-cli with `args` in the folder `dir` (the test's
// own when empty) and waits for it. Its environment is the test's, with the
// "NAME=VALUE" words of `env` set. Its standard input is empty. If it cannot
// be started the current test fails.
CliResult runCli(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                 const std::string& dir = {});

// The same words through headroom::cli::run in this process, so that the
// system seams can stand in for the machine.
CliResult runInProcess(const std::vector<std::string>& args);

// LANG set to `lang`, and the variables that would beat it emptied (an
// empty locale variable counts as unset).
inline std::vector<std::string> languageEnv(const std::string& lang)
{
    return {"LANG=" + lang, "LC_ALL=", "LC_MESSAGES=", "LANGUAGE="};
}

// The one line a usage error writes, for `message`.
inline std::string usageLine(const std::string& message)
{
    return "headroom-cli: " + message + " (try 'headroom-cli --help')\n";
}
