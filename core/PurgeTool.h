#pragma once

namespace headroom {

// Runs the purge tool with no arguments and waits, with no time limit, until
// it has ended. Returns its exit status (128 + signal when killed), or -1
// when it could not be started at all.
int purgeRAM();

} // namespace headroom
