#pragma once

#include <cstdint>
#include <string>

namespace headroom {

// The size text: "%.2f GB", "%.1f MB", "%.1f KB" or "%lld Bytes" with
// divisors of 1024 and "." as decimal separator under every locale.
std::string convertBytes(std::uint64_t bytes);

} // namespace headroom
