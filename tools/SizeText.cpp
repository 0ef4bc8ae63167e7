#include "tools/MiscTool.h"
// STUB: to be implemented
namespace headroom {
std::string MiscTool::convertBytes(std::uint64_t bytes) { return std::to_string(bytes) + " Bytes"; }
} // namespace headroom
