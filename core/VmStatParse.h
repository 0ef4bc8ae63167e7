#pragma once

#include "core/VMStatSchema.h"

#include <optional>
#include <string_view>

namespace headroom {

// Fills a record from the text of /proc/vmstat. Takes any bytes without
// crashing and fills what it can; absent when none of the counters the
// record needs could be read. (Mapping and units documented in the .cpp.)
std::optional<VMStatSchema> parseProcVmstat(std::string_view text);

} // namespace headroom
