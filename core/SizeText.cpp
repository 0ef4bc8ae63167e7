
#include <charconv>
#include <system_error>

namespace headroom {

namespace {

// Fixed-point text of `value` with `precision` digits after the point.
// std::to_chars never consults the locale, so the separator is always ".",
// and it rounds the exact binary value to nearest exactly as printf's "%.*f"
// does in the "C" locale.
std::string fixed(double value, int precision)
{
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
    // The largest quotient (2^64 / 2^30 = 2^34) needs 14 characters.
    if (ec != std::errc())
        return {};
    return std::string(buffer, end);
}

} // namespace

std::string convertBytes(std::uint64_t bytes)
{
    constexpr std::uint64_t kKB = 1024;
    constexpr std::uint64_t kMB = kKB * 1024;
    constexpr std::uint64_t kGB = kMB * 1024;
    // Thresholds are each unit's least value and the first matching row wins,
    // so 1048575 bytes reads "1024.0 KB" rather than "1.0 MB".
    const auto value = static_cast<double>(bytes);
    if (bytes >= kGB)
        return fixed(value / 1073741824.0, 2) + " GB";
    if (bytes >= kMB)
        return fixed(value / 1048576.0, 1) + " MB";
    if (bytes >= kKB)
        return fixed(value / 1024.0, 1) + " KB";
    return std::to_string(bytes) + " Bytes";
}

} // namespace headroom
