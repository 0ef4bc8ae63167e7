#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace headroom {

// Looks a localisation key up in the string table; a missing key reads as
// the key itself. Returns UTF-8. The text composition takes one of these so
// that it never depends on where the table comes from.
using KeyLookup = std::function<std::string(std::string_view key)>;

} // namespace headroom
