#pragma once

#include <string>
#include <string_view>

namespace headroom::cli {

// A JSON string literal (quotes included) for any bytes. Valid UTF-8 is kept
// as is; control characters, '"' and '\\' are escaped; every byte that is not
// part of valid UTF-8 is written as the lone surrogate \udcXX (XX = the
// byte), as Python's "surrogateescape" does, so the original bytes can be
// recovered and the output stays one line.
std::string jsonQuote(std::string_view bytes);

} // namespace headroom::cli
