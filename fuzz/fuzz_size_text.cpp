// The size text against a reference that shares nothing with it: no
// floating point at all. The nearest double to the count and the decimal
// rounding of the exact quotient are both worked out in integers, so a
// disagreement points at the conversion, the division or the rounding.
// printf in the "C" locale is checked as a second witness.

#include "FuzzCheck.h"
#include "core/SizeText.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

__extension__ typedef unsigned __int128 Wide;

int bitLength(std::uint64_t n)
{
    int bits = 0;
    while (n != 0) {
        ++bits;
        n >>= 1;
    }
    return bits;
}

// The double nearest to n (ties to the even significand), as an exact
// integer: a 53-bit significand shifted left.
Wide nearestDouble(std::uint64_t n)
{
    const int bits = bitLength(n);
    if (bits <= 53)
        return n;
    const int shift = bits - 53;
    std::uint64_t significand = n >> shift;
    const std::uint64_t rest = n & ((std::uint64_t{1} << shift) - 1);
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    if (rest > half || (rest == half && (significand & 1) != 0))
        ++significand; // may carry into bit 53: still exact as a Wide
    return static_cast<Wide>(significand) << shift;
}

std::string decimal(Wide v)
{
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
        v /= 10;
    } while (v != 0);
    return digits;
}

// value / 2^shift with `places` digits after the point, the exact quotient
// rounded to nearest and a tie to the even last digit.
std::string fixedPoint(Wide value, int shift, int places)
{
    Wide scale = 1;
    for (int i = 0; i < places; ++i)
        scale *= 10;
    const Wide scaled = value * scale;
    Wide whole = scaled >> shift;
    const Wide rest = scaled & ((Wide{1} << shift) - 1);
    const Wide half = Wide{1} << (shift - 1);
    if (rest > half || (rest == half && (whole & 1) != 0))
        ++whole;
    std::string digits = decimal(whole);
    while (digits.size() < static_cast<std::size_t>(places) + 1)
        digits.insert(digits.begin(), '0');
    digits.insert(digits.end() - places, '.');
    return digits;
}

std::string reference(std::uint64_t n)
{
    if (bitLength(n) > 30)
        return fixedPoint(nearestDouble(n), 30, 2) + " GB";
    if (bitLength(n) > 20)
        return fixedPoint(nearestDouble(n), 20, 1) + " MB";
    if (bitLength(n) > 10)
        return fixedPoint(nearestDouble(n), 10, 1) + " KB";
    return decimal(n) + " Bytes";
}

std::string printfText(std::uint64_t n)
{
    char buffer[64];
    const auto d = static_cast<double>(n);
    if (n >= (std::uint64_t{1} << 30))
        std::snprintf(buffer, sizeof buffer, "%.2f GB", d / 1073741824.0);
    else if (n >= (std::uint64_t{1} << 20))
        std::snprintf(buffer, sizeof buffer, "%.1f MB", d / 1048576.0);
    else if (n >= (std::uint64_t{1} << 10))
        std::snprintf(buffer, sizeof buffer, "%.1f KB", d / 1024.0);
    else
        std::snprintf(buffer, sizeof buffer, "%llu Bytes", static_cast<unsigned long long>(n));
    return buffer;
}

void checkOne(std::uint64_t n)
{
    const std::string text = headroom::convertBytes(n);
    const std::string expected = reference(n);
    FUZZ_CHECK(text == expected, "n=" + std::to_string(n) + " got '" + text + "' want '" + expected + "'");
    FUZZ_CHECK(text == printfText(n), "n=" + std::to_string(n) + " printf gives '" + printfText(n) + "'");
}

} // namespace

// Every count below 1 MiB + 1 KiB once: all of Bytes and KB, and the start
// of MB. The fuzzer then roams the rest of the 64-bit range.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    for (std::uint64_t n = 0; n < (std::uint64_t{1} << 20) + 1024; ++n)
        checkOne(n);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::uint64_t raw = 0;
    std::memcpy(&raw, data, size < sizeof raw ? size : sizeof raw);
    // The ninth byte, when there is one, shifts the value down so every
    // magnitude is reached equally often, not mostly the top of the range.
    const std::uint64_t n = size > 8 ? raw >> (data[8] % 64) : raw;
    checkOne(n);
    checkOne(n - 1);
    checkOne(n + 1);
    // The same count on either side of each unit's threshold scale.
    checkOne(n | (std::uint64_t{1} << 30));
    checkOne(n & ((std::uint64_t{1} << 30) - 1));
    return 0;
}
