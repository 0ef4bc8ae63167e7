#include "core/PageCounters.h"
#include "core/Platform.h"
#include "core/VmStatParse.h"

#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <random>
#include <string>

#include <unistd.h>

using headroom::parseProcVmstat;
using headroom::VMStatSchema;
using headroom::vm_stat;

namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

// A /proc/vmstat excerpt in the kernel's own order, with unrelated lines
// around the counters that are read.
const std::string kSample =
    "nr_free_pages 1184708\n"
    "nr_zone_inactive_anon 1453\n"
    "nr_zone_active_anon 10\n"
    "nr_inactive_anon 1473\n"
    "nr_active_anon 11\n"
    "nr_inactive_file 1042\n"
    "nr_active_file 1750\n"
    "nr_unevictable 4015\n"
    "nr_slab_reclaimable 4120\n"
    "nr_slab_unreclaimable 5358\n"
    "nr_mlock 3290\n"
    "nr_kernel_stack 1528\n"
    "nr_page_table_pages 391\n"
    "pgpgin 2637484\n"
    "pgpgout 1048577\n"
    "pgfault 98765432109\n"
    "pgactivate 73112\n"
    "pgdeactivate 100\n";

VMStatSchema parsed(const std::string& text)
{
    const auto record = parseProcVmstat(text);
    EXPECT_TRUE(record.has_value()) << text;
    return record.value_or(VMStatSchema{});
}

// Restores the page-counter source after a test that points it elsewhere.
struct VmstatPathGuard {
    ~VmstatPathGuard() { headroom::platform::setVmstatPathForTesting({}); }
};

std::string writeTempFile(const std::string& contents)
{
    char name[] = "/tmp/headroom-vmstat-XXXXXX";
    const int fd = ::mkstemp(name);
    EXPECT_GE(fd, 0);
    if (fd >= 0) {
        EXPECT_EQ(::write(fd, contents.data(), contents.size()), static_cast<ssize_t>(contents.size()));
        ::close(fd);
    }
    return name;
}

} // namespace

// --- The record -----------------------------------------------------------

TEST(VMStatSchema, TotalIsTheFourDisplayedCategoriesOnly)
{
    VMStatSchema r;
    EXPECT_EQ(r.getTotalMemory(), 0u);
    r.setPagesFree(100);
    r.setPagesWiredDown(200);
    r.setPagesActive(300);
    r.setPagesInactive(400);
    r.setPagesSpeculative(50);
    r.setTranslationFaults(7);
    r.setPageins(9);
    EXPECT_EQ(r.getTotalMemory(), 1000u);
}

TEST(VMStatSchema, TotalOfFull32BitCountersDoesNotWrap)
{
    VMStatSchema r;
    r.setPagesFree(4294967295u);
    r.setPagesWiredDown(4294967295u);
    r.setPagesActive(4294967295u);
    r.setPagesInactive(4294967295u);
    EXPECT_EQ(r.getTotalMemory(), 17179869180u);
}

// --- /proc/vmstat ---------------------------------------------------------

TEST(ProcVmstat, MapsTheKernelCountersWithTheirUnits)
{
    const VMStatSchema r = parsed(kSample);
    EXPECT_EQ(r.pagesFree(), 1184708u);
    EXPECT_EQ(r.pagesActive(), 11u + 1750u);
    EXPECT_EQ(r.pagesInactive(), 1473u + 1042u);
    // unevictable + unreclaimable slab + page tables (pages) + kernel stacks
    // (1528 KiB = 382 pages).
    EXPECT_EQ(r.pagesWiredDown(), 4015u + 5358u + 391u + 382u);
    EXPECT_EQ(r.translationFaults(), 98765432109u); // beyond 32 bits, kept
    EXPECT_EQ(r.pagesReactivated(), 73112u);
    EXPECT_EQ(r.pageins(), 2637484u / 4);
    EXPECT_EQ(r.pageouts(), 262144u); // 1048577 KiB, the partial page dropped
    EXPECT_EQ(r.pagesSpeculative(), 0u);
    EXPECT_EQ(r.pagesCopyOnWrite(), 0u);
    EXPECT_EQ(r.pagesZeroFilled(), 0u);
}

TEST(ProcVmstat, UnreclaimableSlabInBytes)
{
    // Some kernels print the byte counter instead of the page counter.
    EXPECT_EQ(parsed("nr_slab_unreclaimable_B 40960\n").pagesWiredDown(), 10u);
    // When both appear the page counter is used, not both.
    EXPECT_EQ(parsed("nr_slab_unreclaimable_B 40960\nnr_slab_unreclaimable 7\n").pagesWiredDown(), 7u);
    // KiB and byte remainders are summed before dividing: 2 KiB of stack and
    // 2048 bytes of slab make one page.
    EXPECT_EQ(parsed("nr_kernel_stack 2\nnr_slab_unreclaimable_B 2048\n").pagesWiredDown(), 1u);
}

TEST(ProcVmstat, MissingCountersReadAsZeroAndTheRestIsKept)
{
    const VMStatSchema r = parsed("pgfault 12\n");
    EXPECT_EQ(r.translationFaults(), 12u);
    EXPECT_EQ(r.getTotalMemory(), 0u);
    EXPECT_EQ(parsed("nr_active_file 5\n").pagesActive(), 5u);
    EXPECT_EQ(parsed("nr_inactive_anon 6\n").pagesInactive(), 6u);
}

TEST(ProcVmstat, NothingUsefulIsAbsent)
{
    EXPECT_FALSE(parseProcVmstat("").has_value());
    EXPECT_FALSE(parseProcVmstat("\n\n\n").has_value());
    EXPECT_FALSE(parseProcVmstat("garbage").has_value());
    EXPECT_FALSE(parseProcVmstat("nr_dirty 5\nnuma_hit 7\n").has_value());
    EXPECT_FALSE(parseProcVmstat("nr_free_pages\n").has_value());
    EXPECT_FALSE(parseProcVmstat("nr_free_pages \n").has_value());
    EXPECT_FALSE(parseProcVmstat("nr_free_pages -5\n").has_value());
    EXPECT_FALSE(parseProcVmstat("nr_free_pages 12abc\n").has_value());
    EXPECT_FALSE(parseProcVmstat("nr_free_pages 0x10\n").has_value());
    EXPECT_FALSE(parseProcVmstat(" nr_free_pages 5\n").has_value());
    EXPECT_FALSE(parseProcVmstat("nr_free_pages5\n").has_value());
    EXPECT_FALSE(parseProcVmstat("nr_free_pages_x 5\n").has_value());
}

TEST(ProcVmstat, LineFormsTheKernelOrAToolMightProduce)
{
    EXPECT_EQ(parsed("nr_free_pages 12").pagesFree(), 12u);          // no line end
    EXPECT_EQ(parsed("nr_free_pages\t12\n").pagesFree(), 12u);       // tab
    EXPECT_EQ(parsed("nr_free_pages   12  \n").pagesFree(), 12u);    // extra blanks
    EXPECT_EQ(parsed("nr_free_pages 12\r\npgfault 3\r\n").pagesFree(), 12u); // CRLF
    EXPECT_EQ(parsed("nr_free_pages 0\n").pagesFree(), 0u);
}

TEST(ProcVmstat, FirstReadableOccurrenceWins)
{
    EXPECT_EQ(parsed("nr_free_pages 1\nnr_free_pages 2\n").pagesFree(), 1u);
    EXPECT_EQ(parsed("nr_free_pages x\nnr_free_pages 2\n").pagesFree(), 2u);
}

TEST(ProcVmstat, NulBytesSpoilOnlyTheirLine)
{
    static const char raw[] = "nr_free_pages 1\0" "2\nnr_free\0pages 9\npgfault 4\n";
    const std::string withNul(raw, sizeof raw - 1);
    const VMStatSchema r = parsed(withNul);
    EXPECT_EQ(r.pagesFree(), 0u);
    EXPECT_EQ(r.translationFaults(), 4u);
}

TEST(ProcVmstat, HugeNumbersNeverWrap)
{
    // The largest 64-bit value is read; one more is refused, not wrapped.
    EXPECT_EQ(parsed("pgfault 18446744073709551615\n").translationFaults(), kMax);
    const VMStatSchema big = parsed("pgfault 18446744073709551616\nnr_free_pages 3\n");
    EXPECT_EQ(big.translationFaults(), 0u);
    EXPECT_EQ(big.pagesFree(), 3u);
    EXPECT_FALSE(parseProcVmstat("pgfault 99999999999999999999999999999999\n").has_value());
    // Sums and unit conversions saturate.
    EXPECT_EQ(parsed("nr_active_anon 18446744073709551615\nnr_active_file 5\n").pagesActive(), kMax);
    EXPECT_EQ(parsed("nr_inactive_anon 18446744073709551610\nnr_inactive_file 9\n").pagesInactive(), kMax);
    const std::uint64_t wired = parsed("nr_unevictable 18446744073709551615\nnr_kernel_stack 8\n").pagesWiredDown();
    EXPECT_EQ(wired, kMax / 4);
}

TEST(ProcVmstat, AnyBytesAreTakenWithoutCrashing)
{
    // Truncations, byte flips and random insertions of a real text; run
    // under the sanitizers this catches any read out of bounds.
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        std::string text = kSample;
        switch (round % 3) {
        case 0:
            text.resize(random() % (text.size() + 1));
            break;
        case 1:
            for (int k = 0; k < 8; ++k)
                text[random() % text.size()] = static_cast<char>(random() % 256);
            break;
        default:
            for (int k = 0; k < 8; ++k)
                text.insert(random() % text.size(), 1, static_cast<char>(random() % 256));
            break;
        }
        (void)parseProcVmstat(text);
    }
    std::string noise(4096, '\0');
    for (char& c : noise)
        c = static_cast<char>(random() % 256);
    (void)parseProcVmstat(noise);
}

TEST(ProcVmstat, ThisMachinesCountersAreRead)
{
    std::ifstream file("/proc/vmstat");
    if (!file)
        GTEST_SKIP() << "no /proc/vmstat here";
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const auto record = parseProcVmstat(text);
    ASSERT_TRUE(record.has_value());
    EXPECT_GT(record->pagesFree(), 0u);
    EXPECT_GT(record->pagesWiredDown(), 0u);
    EXPECT_GT(record->pagesActive() + record->pagesInactive(), 0u);
    EXPECT_GT(record->translationFaults(), 0u);
}

// --- vm_stat ----------------------------------------------------

TEST(VmStat, ReadsThePageCounterSource)
{
    VmstatPathGuard guard;
    const std::string path = writeTempFile(kSample);
    headroom::platform::setVmstatPathForTesting(path);
    testing::internal::CaptureStderr();
    const VMStatSchema r = vm_stat();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(r.pagesFree(), 1184708u);
    EXPECT_EQ(r.translationFaults(), 98765432109u);
    ::unlink(path.c_str());
}

TEST(VmStat, FailureWritesTheOneDiagnosticAndGivesZeros)
{
    VmstatPathGuard guard;
    const std::string garbage = writeTempFile("no counters in here\n");
    for (const std::string& source : {std::string("/nonexistent/vmstat"), garbage, std::string("/tmp"),
                                      std::string("/dev/zero")}) {
        headroom::platform::setVmstatPathForTesting(source);
        testing::internal::CaptureStderr();
        const VMStatSchema r = vm_stat();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to get VM statistics.") << source;
        EXPECT_EQ(r.getTotalMemory(), 0u) << source;
        EXPECT_EQ(r.translationFaults(), 0u) << source;
        EXPECT_EQ(r.pageins(), 0u) << source;
    }
    ::unlink(garbage.c_str());
}
