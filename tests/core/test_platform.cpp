#include "core/Platform.h"
#include "core/Process.h"
#include "core/VolumeFigures.h"
#include "tests/support/Seams.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace platform = headroom::platform;
using headroom::getDiskAvailableSize;
using headroom::getDiskTotalSize;

TEST(Platform, VolumeFiguresComeFromTheQueryClampedOrAbsent)
{
    const headroom::test::SeamReset seams;
    ASSERT_TRUE(getDiskTotalSize() > 0 && getDiskAvailableSize() >= 0); // this machine's
    EXPECT_LE(getDiskAvailableSize(), getDiskTotalSize());
    // Figures past the signed 64-bit range read as its largest value.
    const auto figures = [](std::optional<platform::VolumeStats> stats) {
        platform::setVolumeQueryForTesting(
            [stats](const std::string& folder) { return folder == "/" ? stats : std::nullopt; });
        const headroom::DiskFigures f = headroom::measureVolume();
        return std::to_string(f.total) + " " + std::to_string(f.free) + (f.freeRead ? "" : " unread");
    };
    const std::uint64_t max = std::numeric_limits<std::uint64_t>::max(), int64Max = max / 2;
    EXPECT_EQ(figures(platform::VolumeStats{500107862016, 250790436864}), "500107862016 250790436864");
    EXPECT_EQ(figures(platform::VolumeStats{max, int64Max + 1}), "9223372036854775807 9223372036854775807");
    EXPECT_EQ(figures(platform::VolumeStats{int64Max, 0}), "9223372036854775807 0");
    EXPECT_EQ(figures(std::nullopt), "0 0 unread");
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
