#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace headroom::cli {

// `headroom-cli scan [--json] HOME`, `clean HOME ROW...`, `release`.
// `args` holds the words after the command's name. Return the exit status;
// a usage error writes one line to `err` and returns 2.
int scanCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int cleanCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int releaseCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace headroom::cli
