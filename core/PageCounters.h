#pragma once

#include "core/VMStatSchema.h"

namespace headroom {

// One sample of the page counters. Never fails: when the counters cannot be
// read it writes "Failed to get VM statistics." to standard error and
// returns a record of zeros. Any thread may call it.
VMStatSchema vm_stat();

} // namespace headroom
