#pragma once

#include <string>
#include <vector>

// What one run of headroom-cli left behind.
struct CliResult {
    int exitCode = -1; // exit status; -1 when it did not exit normally
    int signal = 0;    // the signal that ended it; 0 when it exited
    std::string out;   // all of standard output
    std::string err;   // all of standard error
};

// Runs the built headroom-cli with `args` and waits for it. Its environment
// is the test's own, changed by `env`: "NAME=VALUE" sets NAME, a bare "NAME"
// removes it. `stdinText` is its whole standard input. If it cannot be
// started the current test fails and exitCode is -1.
CliResult runCli(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                 const std::string& stdinText = {});
