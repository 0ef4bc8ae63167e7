#include "core/Platform.h"
#include "core/Process.h"
#include "core/VolumeFigures.h"
#include "tests/support/Seams.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <tuple>

#include <sys/stat.h>
#include <unistd.h>

namespace platform = headroom::platform;
using headroom::getDiskAvailableSize;
using headroom::getDiskTotalSize;

namespace {
constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::uint64_t kBeyond = static_cast<std::uint64_t>(kInt64Max) + 1;
} // namespace

TEST(Platform, VolumeFiguresComeFromTheQueryClampedOrAbsent)
{
    headroom::test::SeamReset seams;
    ASSERT_TRUE(getDiskTotalSize() > 0 && getDiskAvailableSize() >= 0);
    EXPECT_LE(getDiskAvailableSize(), getDiskTotalSize());
    using Figure = std::optional<std::int64_t>;
    const std::tuple<std::optional<platform::VolumeStats>, Figure, Figure> cases[] = {
        {platform::VolumeStats{500107862016, 250790436864}, 500107862016, 250790436864},
        {platform::VolumeStats{std::numeric_limits<std::uint64_t>::max(), kBeyond}, kInt64Max, kInt64Max},
        {platform::VolumeStats{static_cast<std::uint64_t>(kInt64Max), 0}, kInt64Max, 0},
        {std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& [stats, total, available] : cases) {
        platform::setVolumeQueryForTesting([stats = stats] { return stats; });
        EXPECT_EQ(getDiskTotalSize(), total);
        EXPECT_EQ(getDiskAvailableSize(), available);
    }
}

TEST(Platform, PurgeHelperBesideTheProgramIsUsedOnlyWhenItCanRun)
{
    headroom::test::SeamReset seams;
    const std::string exe = headroom::process::executablePath();
    const std::string beside = exe.substr(0, exe.rfind('/')) + "/headroom-purge";
    struct stat st {};
    if (::lstat(beside.c_str(), &st) == 0)
        GTEST_SKIP() << beside << " already exists; not touching it";
    const std::string fallback = platform::purgeToolPath();
    EXPECT_TRUE(fallback != beside && fallback.starts_with('/') && fallback.ends_with("/headroom-purge")) << fallback;
    headroom::test::writeFile(beside, "#!/bin/sh\n");
    EXPECT_EQ(platform::purgeToolPath(), fallback) << "not executable";
    ::chmod(beside.c_str(), 0755);
    EXPECT_EQ(platform::purgeToolPath(), beside);
    ::unlink(beside.c_str());
    ASSERT_EQ(::mkdir(beside.c_str(), 0755), 0);
    EXPECT_EQ(platform::purgeToolPath(), fallback) << "a folder";
    ::rmdir(beside.c_str());
}
