#include "core/SizeText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <limits>
#include <locale>
#include <string>
#include <vector>

using headroom::convertBytes;

namespace {

constexpr std::uint64_t kKB = 1024;
constexpr std::uint64_t kMB = 1024 * kKB;
constexpr std::uint64_t kGB = 1024 * kMB;
constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

// The size text as printf renders it in the "C" locale.
std::string printfReference(std::uint64_t n)
{
    char buffer[64];
    if (n >= kGB)
        std::snprintf(buffer, sizeof buffer, "%.2f GB", static_cast<double>(n) / 1073741824.0);
    else if (n >= kMB)
        std::snprintf(buffer, sizeof buffer, "%.1f MB", static_cast<double>(n) / 1048576.0);
    else if (n >= kKB)
        std::snprintf(buffer, sizeof buffer, "%.1f KB", static_cast<double>(n) / 1024.0);
    else
        std::snprintf(buffer, sizeof buffer, "%llu Bytes", static_cast<unsigned long long>(n));
    return buffer;
}

} // namespace

TEST(SizeText, MatchesPrintfInTheCLocale)
{
    ASSERT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    std::vector<std::uint64_t> values{kMax, kMax - 1};
    // Around every power of two (each unit's threshold from both sides: the
    // value just below shows 1024 of the smaller unit), at the decimal
    // rounding points of each unit (k + d/20 and k + d/200 of it, binary
    // halves that printf rounds to even among them). Counts of every length at
    // random are the size text fuzz target's; the worked examples of the texts
    // are pinned in the disk and memory text tests.
    for (int bit = 0; bit < 64; ++bit)
        for (std::uint64_t delta = 0; delta < 4; ++delta)
            values.insert(values.end(), {(std::uint64_t{1} << bit) + delta, (std::uint64_t{1} << bit) - delta});
    for (const std::uint64_t unit : {kKB, kMB, kGB})
        for (std::uint64_t k = 1; k < 2048; k += 37)
            for (std::uint64_t d = 0; d < 200; ++d) {
                const std::uint64_t tie = k * unit + unit * d / (d < 20 ? 20 : 200);
                values.insert(values.end(), {tie - 1, tie, tie + 1});
            }

    int mismatches = 0;
    for (const std::uint64_t n : values) {
        if (convertBytes(n) != printfReference(n) && ++mismatches <= 10)
            ADD_FAILURE() << n << ": \"" << convertBytes(n) << "\", printf: \"" << printfReference(n) << "\"";
    }
    EXPECT_EQ(mismatches, 0) << "of " << values.size() << " values";
}

TEST(SizeText, KeepsThePointUnderACommaDecimalLocale)
{
    // Not skipped when the locale is missing: scripts/setup-deps.sh makes it.
    const std::string savedC = std::setlocale(LC_ALL, nullptr);
    const std::locale savedCpp;
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "de_DE.UTF-8 is missing: run scripts/setup-deps.sh";
    std::locale::global(std::locale("de_DE.UTF-8"));
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    const std::vector<std::string> got{convertBytes(kKB + 512), convertBytes(kGB), convertBytes(1000 * kKB * kGB)};
    std::locale::global(savedCpp);
    std::setlocale(LC_ALL, savedC.c_str());

    EXPECT_STREQ(probe, "1,5") << "the locale should use a decimal comma";
    EXPECT_EQ(got, (std::vector<std::string>{"1.5 KB", "1.00 GB", "1024000.00 GB"}));
}
