#pragma once

#include "tools/VMStatSchema.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace headroom {

// Fills a record from the text of /proc/vmstat. Takes any bytes without
// crashing and fills what it can; absent when none of the counters the
// record needs could be read. (Mapping and units documented in the .cpp.)
std::optional<VMStatSchema> parseProcVmstat(std::string_view text);

// The 15 32-bit words of the Mach host VM statistics block (HOST_VM_INFO),
// mapped word by word onto the record. Words 10 to 13 are not used.
VMStatSchema fromHostVmInfo(const std::array<std::uint32_t, 15>& words);

} // namespace headroom
