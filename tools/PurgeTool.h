#pragma once

#include <string>

namespace headroom {

// Starts `program` with no arguments, the caller's environment, working
// folder and standard streams, and waits for it with no time limit.
// Returns its exit status (128 + signal when killed), or -1 when it could
// not be started at all.
int runAndWait(const std::string& program);

} // namespace headroom
