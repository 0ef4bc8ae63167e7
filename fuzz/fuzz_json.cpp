// JSON quoting of any bytes: the output must be one strict JSON string
// literal (RFC 8259, and valid UTF-8 as a whole) on one line, and decoding
// it the way Python's surrogateescape does must give back the input bytes.

#include "FuzzCheck.h"
#include "cli/Json.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace {

// Decodes one UTF-8 sequence strictly; absent when malformed.
std::optional<std::uint32_t> nextCodePoint(const std::string& s, std::size_t& i)
{
    const auto byte = [&s](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
    const std::uint8_t lead = byte(i);
    int extra = 0;
    std::uint32_t cp = 0;
    if (lead < 0x80) {
        cp = lead;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        cp = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        cp = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        cp = lead & 0x07u;
    } else {
        return std::nullopt;
    }
    if (i + static_cast<std::size_t>(extra) >= s.size())
        return std::nullopt;
    for (int k = 1; k <= extra; ++k) {
        const std::uint8_t b = byte(i + static_cast<std::size_t>(k));
        if ((b & 0xC0) != 0x80)
            return std::nullopt;
        cp = (cp << 6) | (b & 0x3Fu);
    }
    static const std::uint32_t least[] = {0, 0x80, 0x800, 0x10000};
    if (cp < least[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return std::nullopt;
    i += static_cast<std::size_t>(extra) + 1;
    return cp;
}

void appendUtf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The bytes a strict reader with surrogateescape gets from `literal`, or
// the reason it is not acceptable.
bool decode(const std::string& literal, std::string& bytes, std::string& why)
{
    if (literal.size() < 2 || literal.front() != '"' || literal.back() != '"') {
        why = "not enclosed in quotes";
        return false;
    }
    std::size_t i = 1;
    const std::size_t end = literal.size() - 1;
    while (i < end) {
        const char c = literal[i];
        if (c == '"') {
            why = "unescaped quote inside at " + std::to_string(i);
            return false;
        }
        if (c != '\\') {
            const auto cp = nextCodePoint(literal, i);
            if (!cp || i > end) {
                why = "not valid UTF-8 at " + std::to_string(i);
                return false;
            }
            if (*cp < 0x20) {
                why = "raw control character at " + std::to_string(i);
                return false;
            }
            appendUtf8(bytes, *cp);
            continue;
        }
        if (i + 1 >= end) {
            why = "escape runs into the closing quote";
            return false;
        }
        const char e = literal[i + 1];
        i += 2;
        switch (e) {
        case '"': bytes += '"'; continue;
        case '\\': bytes += '\\'; continue;
        case '/': bytes += '/'; continue;
        case 'b': bytes += '\b'; continue;
        case 'f': bytes += '\f'; continue;
        case 'n': bytes += '\n'; continue;
        case 'r': bytes += '\r'; continue;
        case 't': bytes += '\t'; continue;
        case 'u': break;
        default: why = std::string("unknown escape \\") + e; return false;
        }
        if (i + 4 > end) {
            why = "short \\u escape";
            return false;
        }
        std::uint32_t unit = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const int h = hexValue(literal[i + k]);
            if (h < 0) {
                why = "bad hex digit in \\u escape";
                return false;
            }
            unit = unit * 16 + static_cast<std::uint32_t>(h);
        }
        i += 4;
        if (unit >= 0xDC80 && unit <= 0xDCFF) {
            bytes += static_cast<char>(unit - 0xDC00); // surrogateescape: one raw byte
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            why = "surrogate \\u escape that surrogateescape cannot take back";
            return false;
        } else {
            appendUtf8(bytes, unit);
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string quoted = headroom::cli::jsonQuote(input);
    FUZZ_CHECK(quoted.find('\n') == std::string::npos && quoted.find('\r') == std::string::npos,
               headroom::fuzz::visible(quoted));
    std::string decoded;
    std::string why;
    FUZZ_CHECK(decode(quoted, decoded, why), why + "\n" + headroom::fuzz::visible(quoted));
    FUZZ_CHECK(decoded == input, "in  " + headroom::fuzz::visible(input) + "\nout " + headroom::fuzz::visible(decoded));
    return 0;
}
