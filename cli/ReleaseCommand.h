#pragma once

#include <ostream>

namespace headroom::cli {

// `headroom-cli release`: prints the memory lines, runs the purge tool,
// prints them again; returns the tool's status, or 127 when it cannot be
// started.
int releaseCommand(std::ostream& out, std::ostream& err);

} // namespace headroom::cli
