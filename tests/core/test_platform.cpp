#include "core/PurgeTool.h"
#include "core/TreeWalker.h"
#include "core/VolumeFigures.h"
#include "core/Platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace platform = headroom::platform;
using headroom::getDiskAvailableSize;
using headroom::getDiskTotalSize;
using headroom::getSize;
using headroom::purgeRAM;

namespace {

constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();

// Puts every seam back to the real system after a test.
struct SeamGuard {
    ~SeamGuard()
    {
        platform::setVolumeQueryForTesting({});
        platform::setVmstatPathForTesting({});
        platform::setPurgeToolPathForTesting({});
    }
};

std::string runningExecutableDir()
{
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    std::string path(buffer, static_cast<std::size_t>(n));
    return path.substr(0, path.rfind('/'));
}

std::string makeScript(const std::string& path, const std::string& body, mode_t mode)
{
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    ::chmod(path.c_str(), mode);
    return path;
}

} // namespace

TEST(Volume, RootVolumeIsReadFromTheSystem)
{
    SeamGuard guard;
    const auto stats = platform::queryRootVolume();
    ASSERT_TRUE(stats.has_value());
    EXPECT_GT(stats->size, 0u);
    EXPECT_LE(stats->available, stats->size);
    const auto total = getDiskTotalSize();
    const auto available = getDiskAvailableSize();
    ASSERT_TRUE(total.has_value());
    ASSERT_TRUE(available.has_value());
    EXPECT_EQ(static_cast<std::uint64_t>(*total), stats->size);
    EXPECT_LE(*available, *total);
}

TEST(Volume, FiguresComeFromTheSeamUnchanged)
{
    SeamGuard guard;
    platform::setVolumeQueryForTesting([] { return platform::VolumeStats{500107862016, 250790436864}; });
    EXPECT_EQ(getDiskTotalSize(), std::optional<std::int64_t>(500107862016));
    EXPECT_EQ(getDiskAvailableSize(), std::optional<std::int64_t>(250790436864));
}

TEST(Volume, UnreadableVolumeGivesAbsentFigures)
{
    SeamGuard guard;
    platform::setVolumeQueryForTesting([] { return std::optional<platform::VolumeStats>(); });
    EXPECT_FALSE(getDiskTotalSize().has_value());
    EXPECT_FALSE(getDiskAvailableSize().has_value());
    // An empty query puts the real one back.
    platform::setVolumeQueryForTesting({});
    EXPECT_TRUE(getDiskTotalSize().has_value());
}

TEST(Volume, FiguresBeyondTheSignedRangeClamp)
{
    SeamGuard guard;
    const std::uint64_t huge = std::numeric_limits<std::uint64_t>::max();
    platform::setVolumeQueryForTesting([=] {
        return platform::VolumeStats{huge, static_cast<std::uint64_t>(kInt64Max) + 1};
    });
    EXPECT_EQ(getDiskTotalSize(), std::optional<std::int64_t>(kInt64Max));
    EXPECT_EQ(getDiskAvailableSize(), std::optional<std::int64_t>(kInt64Max));
    platform::setVolumeQueryForTesting([] {
        return platform::VolumeStats{static_cast<std::uint64_t>(kInt64Max), 0};
    });
    EXPECT_EQ(getDiskTotalSize(), std::optional<std::int64_t>(kInt64Max));
    EXPECT_EQ(getDiskAvailableSize(), std::optional<std::int64_t>(0));
}

TEST(Vmstat, PathDefaultsToProcAndCanBeRedirected)
{
    SeamGuard guard;
    EXPECT_EQ(platform::vmstatPath(), "/proc/vmstat");
    platform::setVmstatPathForTesting("/tmp/elsewhere");
    EXPECT_EQ(platform::vmstatPath(), "/tmp/elsewhere");
    platform::setVmstatPathForTesting({});
    EXPECT_EQ(platform::vmstatPath(), "/proc/vmstat");
}

TEST(PurgeTool, OverrideWins)
{
    SeamGuard guard;
    platform::setPurgeToolPathForTesting("/opt/stand-in");
    EXPECT_EQ(platform::purgeToolPath(), "/opt/stand-in");
}

TEST(PurgeTool, HelperBesideTheRunningProgramIsFoundOnlyWhenExecutable)
{
    SeamGuard guard;
    const std::string dir = runningExecutableDir();
    ASSERT_FALSE(dir.empty());
    const std::string beside = dir + "/headroom-purge";
    struct stat st {};
    if (::lstat(beside.c_str(), &st) == 0)
        GTEST_SKIP() << beside << " already exists; not touching it";

    const std::string fallback = platform::purgeToolPath();
    EXPECT_NE(fallback, beside);
    EXPECT_EQ(fallback.front(), '/');
    EXPECT_TRUE(fallback.ends_with("/headroom-purge")) << fallback;

    makeScript(beside, "exit 0", 0644);
    EXPECT_EQ(platform::purgeToolPath(), fallback) << "a helper that cannot run is passed over";
    ::chmod(beside.c_str(), 0755);
    EXPECT_EQ(platform::purgeToolPath(), beside);
    ::unlink(beside.c_str());
    ASSERT_EQ(::mkdir(beside.c_str(), 0755), 0) << std::strerror(errno);
    EXPECT_EQ(platform::purgeToolPath(), fallback) << "a folder of that name is passed over";
    ::rmdir(beside.c_str());
}

TEST(PurgeTool, PurgeRamRunsTheToolAndReturnsItsStatus)
{
    SeamGuard guard;
    char dir[] = "/tmp/headroom-purge-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string tool = makeScript(std::string(dir) + "/tool", "exit 7", 0755);
    platform::setPurgeToolPathForTesting(tool);
    EXPECT_EQ(purgeRAM(), 7);
    platform::setPurgeToolPathForTesting(std::string(dir) + "/missing");
    EXPECT_EQ(purgeRAM(), -1);
    ::unlink(tool.c_str());
    ::rmdir(dir);
}

TEST(Seams, SafeToUseFromSeveralThreads)
{
    // Meaningful under ThreadSanitizer: readers and writers of every seam at
    // once. Each reader sees one of the values some writer set.
    SeamGuard guard;
    platform::setPurgeToolPathForTesting("/tmp/tool");
    platform::setVolumeQueryForTesting([] { return platform::VolumeStats{1000, 1}; });
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int w = 0; w < 2; ++w) {
        threads.emplace_back([&stop, w] {
            for (int i = 0; !stop.load(); ++i) {
                platform::setVmstatPathForTesting(i % 2 ? "/tmp/a" : "");
                platform::setPurgeToolPathForTesting(i % 2 ? "/tmp/tool" : "/tmp/other");
                const std::uint64_t size = 1000 + static_cast<std::uint64_t>(w);
                platform::setVolumeQueryForTesting([size] { return platform::VolumeStats{size, 1}; });
            }
        });
    }
    int odd = 0;
    for (int i = 0; i < 20000; ++i) {
        const std::string vm = platform::vmstatPath();
        const std::string tool = platform::purgeToolPath();
        const auto volume = platform::queryRootVolume();
        if (vm != "/tmp/a" && vm != "/proc/vmstat")
            ++odd;
        if (tool != "/tmp/tool" && tool != "/tmp/other")
            ++odd;
        if (!volume || (volume->size != 1000 && volume->size != 1001) || volume->available != 1)
            ++odd;
    }
    stop = true;
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(odd, 0);
}

TEST(GetSize, MeasuresTheTreeBelowAFolder)
{
    char dir[] = "/tmp/headroom-size-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string root = dir;
    EXPECT_EQ(getSize(root), 0u);
    std::ofstream(root + "/five") << "12345";
    EXPECT_EQ(getSize(root), 5u);
    EXPECT_EQ(getSize(root + "/five"), 0u) << "a file is not a folder";
    EXPECT_EQ(getSize(root + "/missing"), 0u);
    ::unlink((root + "/five").c_str());
    ::rmdir(dir);
}
