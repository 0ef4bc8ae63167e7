#pragma once

// A check that holds in every build type (the fuzz build may define
// NDEBUG): on failure it says what and where, then aborts so libFuzzer
// keeps the input as a crash artifact.

#include <cstdio>
#include <cstdlib>
#include <string>

namespace headroom::fuzz {

[[noreturn]] inline void checkFailed(const char* file, int line, const char* what, const std::string& detail)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n%s\n", file, line, what, detail.c_str());
    std::abort();
}

// Printable form of raw bytes for failure messages.
inline std::string visible(const std::string& bytes)
{
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
    }
    return out;
}

} // namespace headroom::fuzz

#define FUZZ_CHECK(cond, detail)                                                                                       \
    do {                                                                                                               \
        if (!(cond))                                                                                                   \
            ::headroom::fuzz::checkFailed(__FILE__, __LINE__, #cond, (detail));                                        \
    } while (false)
