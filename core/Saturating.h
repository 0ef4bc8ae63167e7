#pragma once

// Unsigned 64-bit sums and products that stop at 2^64 - 1 instead of
// wrapping: a figure that overflows shows as the largest one, never as a
// small one.

#include <cstdint>
#include <limits>

namespace headroom {

constexpr std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b)
{
    return a > std::numeric_limits<std::uint64_t>::max() - b ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

constexpr std::uint64_t saturatingMultiply(std::uint64_t a, std::uint64_t b)
{
    return b != 0 && a > std::numeric_limits<std::uint64_t>::max() / b ? std::numeric_limits<std::uint64_t>::max()
                                                                       : a * b;
}

} // namespace headroom
