#include "tools/MiscTool.h"
// STUB: to be implemented
namespace headroom {
std::optional<std::int64_t> MiscTool::getDiskTotalSize() { return std::nullopt; }
std::optional<std::int64_t> MiscTool::getDiskAvailableSize() { return std::nullopt; }
std::uint64_t MiscTool::getSize(const std::string&) { return 0; }
VMStatSchema MiscTool::vm_stat() { return {}; }
int MiscTool::purgeRAM() { return -1; }
} // namespace headroom
