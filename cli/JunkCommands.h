#pragma once

#include <ostream>
#include <span>
#include <string>

namespace headroom::cli {

// `headroom-cli scan [--json] HOME` and `clean HOME ROW...`, with their
// words already parsed. Each returns the exit status.

// Prints every junk row below `home`.
int scanCommand(const std::string& home, bool json, std::ostream& out);

// Removes the named rows below `home`, then prints every row as scan does.
// An unknown row is a usage error, found before anything is removed.
int cleanCommand(const std::string& home, std::span<const std::string> rows, std::ostream& out, std::ostream& err);

} // namespace headroom::cli
