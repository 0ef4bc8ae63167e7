// The page counters read from the text of /proc/vmstat (each field's
// counters and unit, saturation, the line rules), and one sample of this
// machine or of a source that cannot be read.

#include "core/PageCounters.h"
#include "core/Platform.h"
#include "core/VmStatParse.h"
#include "tests/support/Seams.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace headroom {
namespace {

using namespace std::string_literals;

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

// KiB counters and the byte counter become pages of the kernel's size; sums
// saturate; garbled lines are passed over; the first occurrence wins.
TEST(VmStatParse, FieldsFromTheirCountersInPages)
{
    const test::SeamReset seams;
    const auto parse = [](std::string_view text, std::uint64_t pageKiB = 4) {
        platform::setPageSizeForTesting(pageKiB * 1024);
        constexpr std::uint64_t kNone = 424242; // in every field when nothing was read
        return parseProcVmstat(text).value_or(VMStatSchema{kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone});
    };
    const std::string wired = "nr_unevictable 4015\nnr_slab_unreclaimable 5358\nnr_page_table_pages 391\n";
    EXPECT_EQ(parse("nr_active_anon 11\nnr_active_file 1750\n", 64).pagesActive, 1761u);
    EXPECT_EQ(parse("nr_inactive_anon 1473\nnr_inactive_file 1042\n").pagesInactive, 2515u);
    EXPECT_EQ(parse(wired + "nr_kernel_stack 1528\n").pagesWiredDown, 4015u + 5358 + 391 + 382);
    EXPECT_EQ(parse(wired + "nr_kernel_stack 1528\n", 64).pagesWiredDown, 4015u + 5358 + 391 + 23);
    EXPECT_EQ(parse("nr_slab_unreclaimable_B 40960\nnr_slab_unreclaimable 7\n").pagesWiredDown, 7u);
    EXPECT_EQ(parse("nr_kernel_stack 8\nnr_slab_unreclaimable_B 8192\n", 16).pagesWiredDown, 1u);
    EXPECT_EQ(parse("pgactivate 73112\n").pagesReactivated, 73112u);
    EXPECT_EQ(parse("pgpgin 2637484\n").pageins, 659371u);
    EXPECT_EQ(parse("pgpgout 1048577\n", 64).pageouts, 16384u);
    EXPECT_EQ(parse("pgfault 18446744073709551615\n").translationFaults, kMax);
    EXPECT_EQ(parse("nr_active_anon 18446744073709551615\nnr_active_file 5\n").pagesActive, kMax);
    EXPECT_EQ(parse("nr_inactive_anon 18446744073709551610\nnr_inactive_file 9\n").pagesInactive, kMax);
    EXPECT_EQ(parse("nr_unevictable 18446744073709551615\nnr_kernel_stack 8\n", 64).pagesWiredDown, kMax / 64);
    EXPECT_EQ(parse("nr_free_pages 12", 16).pagesFree, 12u);
    EXPECT_EQ(parse("nr_free_pages\t12\r\npgfault 3\r\n").pagesFree, 12u);
    EXPECT_EQ(parse("nr_free_pages   12  \n").pagesFree, 12u);
    EXPECT_EQ(parse("nr_free_pages 1\nnr_free_pages 2\n").pagesFree, 1u);
    EXPECT_EQ(parse("nr_free_pages -1\nnr_free_pages 0x3\nnr_free_pages 4\n").pagesFree, 4u);
    EXPECT_EQ(parse("nr_free_pages 1\0002\nnr_free\000pages 9\npgfault 4\n"s).pagesFree, 0u);
}

TEST(VmStatParse, AbsentWhenNothingIsReadable)
{
    EXPECT_FALSE(parseProcVmstat(""));
    EXPECT_FALSE(parseProcVmstat("nr_dirty 5\nnuma_hit 7\n"));
    EXPECT_FALSE(parseProcVmstat("nr_free_pages \n"));
    EXPECT_FALSE(parseProcVmstat("nr_free_pages 12abc\n"));
    EXPECT_FALSE(parseProcVmstat(" nr_free_pages 5\n"));
    EXPECT_FALSE(parseProcVmstat("nr_free_pages5\n"));
    EXPECT_FALSE(parseProcVmstat("nr_free_pages_x 5\n"));
    EXPECT_FALSE(parseProcVmstat("pgfault 99999999999999999999999\n"));
}

TEST(VmStat, ThisMachineIsReadQuietlyAndAnUnreadableSourceGivesZerosAndOneDiagnostic)
{
    const test::SeamReset seams;
    testing::internal::CaptureStderr();
    const VMStatSchema real = vm_stat();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_GT(real.pagesFree, 0u);
    EXPECT_GT(real.pagesWiredDown, 0u);
    EXPECT_GT(real.pagesActive + real.pagesInactive, 0u);

    const test::TempTree tmp;
    test::writeFile(tmp / "garbage", "no counters in here\n");
    const int descriptors = test::openDescriptors();
    for (const std::string& source : {tmp / "missing", tmp / "garbage", tmp.path(), "/dev/zero"s}) {
        SCOPED_TRACE(source); // missing, garbled, a folder, a device that never ends
        platform::setVmstatPathForTesting(source);
        testing::internal::CaptureStderr();
        const VMStatSchema r = vm_stat();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to get VM statistics.");
        EXPECT_EQ(r.getTotalMemory() + r.translationFaults + r.pagesReactivated + r.pageins + r.pageouts, 0u);
    }
    EXPECT_EQ(test::openDescriptors(), descriptors);
}

} // namespace
} // namespace headroom
