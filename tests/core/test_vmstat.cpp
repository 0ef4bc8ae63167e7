#include "core/PageCounters.h"
#include "core/Platform.h"
#include "core/VmStatParse.h"
#include "tests/support/Seams.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <string_view>
#include <tuple>

using headroom::parseProcVmstat;
using headroom::VMStatSchema;
using namespace std::string_literals;

namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
using Field = std::uint64_t VMStatSchema::*;

// Mapping and units (KiB counters and the byte counter become pages of the
// kernel's size, the last column), saturation, line forms, garbled lines
// passed over, first occurrence wins.
const std::tuple<std::string, Field, std::uint64_t, std::uint64_t> kCases[] = {
    {"nr_active_anon 11\nnr_active_file 1750\n", &VMStatSchema::pagesActive, 1761, 65536},
    {"nr_inactive_anon 1473\nnr_inactive_file 1042\n", &VMStatSchema::pagesInactive, 2515, 4096},
    {"nr_unevictable 4015\nnr_slab_unreclaimable 5358\nnr_page_table_pages 391\nnr_kernel_stack 1528\n",
     &VMStatSchema::pagesWiredDown, 4015 + 5358 + 391 + 382, 4096},
    {"nr_unevictable 4015\nnr_slab_unreclaimable 5358\nnr_page_table_pages 391\nnr_kernel_stack 1528\n",
     &VMStatSchema::pagesWiredDown, 4015 + 5358 + 391 + 23, 65536},
    {"nr_slab_unreclaimable_B 40960\nnr_slab_unreclaimable 7\n", &VMStatSchema::pagesWiredDown, 7, 4096},
    {"nr_kernel_stack 8\nnr_slab_unreclaimable_B 8192\n", &VMStatSchema::pagesWiredDown, 1, 16384},
    {"pgactivate 73112\n", &VMStatSchema::pagesReactivated, 73112, 4096},
    {"pgpgin 2637484\n", &VMStatSchema::pageins, 659371, 4096},
    {"pgpgout 1048577\n", &VMStatSchema::pageouts, 16384, 65536},
    {"pgfault 18446744073709551615\n", &VMStatSchema::translationFaults, kMax, 4096},
    {"nr_active_anon 18446744073709551615\nnr_active_file 5\n", &VMStatSchema::pagesActive, kMax, 4096},
    {"nr_inactive_anon 18446744073709551610\nnr_inactive_file 9\n", &VMStatSchema::pagesInactive, kMax, 4096},
    {"nr_unevictable 18446744073709551615\nnr_kernel_stack 8\n", &VMStatSchema::pagesWiredDown, kMax / 64, 65536},
    {"nr_free_pages 12", &VMStatSchema::pagesFree, 12, 16384},
    {"nr_free_pages\t12\r\npgfault 3\r\n", &VMStatSchema::pagesFree, 12, 4096},
    {"nr_free_pages   12  \n", &VMStatSchema::pagesFree, 12, 4096},
    {"nr_free_pages 1\nnr_free_pages 2\n", &VMStatSchema::pagesFree, 1, 4096},
    {"nr_free_pages -1\nnr_free_pages 0x3\nnr_free_pages 4\n", &VMStatSchema::pagesFree, 4, 4096},
    {"nr_free_pages 1\0002\nnr_free\000pages 9\npgfault 4\n"s, &VMStatSchema::pagesFree, 0, 4096},
    {"nr_free_pages 1\0002\nnr_free\000pages 9\npgfault 4\n"s, &VMStatSchema::translationFaults, 4, 4096},
};

} // namespace

TEST(VmStatParse, FieldsUnitsAndLineRules)
{
    const headroom::test::SeamReset seams;
    for (const auto& [text, field, expected, pageSize] : kCases) {
        headroom::platform::setPageSizeForTesting(pageSize);
        const auto record = parseProcVmstat(text);
        ASSERT_TRUE(record.has_value()) << text;
        EXPECT_EQ((*record).*field, expected) << text;
    }
}

TEST(VmStatParse, AbsentWhenNothingIsReadable)
{
    for (const char* text : {"", "\n\n", "garbage", "nr_dirty 5\nnuma_hit 7\n", "nr_free_pages\n", "nr_free_pages \n",
                             "nr_free_pages -5\n", "nr_free_pages 12abc\n", " nr_free_pages 5\n", "nr_free_pages5\n",
                             "nr_free_pages_x 5\n", "pgfault 99999999999999999999999\n"})
        EXPECT_FALSE(parseProcVmstat(text).has_value()) << text;
}

TEST(VmStatParse, VmStatReadsThisMachineQuietly)
{
    // A redirected source is read the same way: the failure test below and
    // the headroom-cli memory test read theirs.
    headroom::test::SeamReset seams;
    testing::internal::CaptureStderr();
    const VMStatSchema real = headroom::vm_stat();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_GT(real.pagesFree, 0u);
    EXPECT_GT(real.pagesWiredDown, 0u);
    EXPECT_GT(real.pagesActive + real.pagesInactive, 0u);
}

TEST(VmStatParse, VmStatFailureWritesTheOneDiagnosticAndGivesZeros)
{
    headroom::test::SeamReset seams;
    const headroom::test::TempTree tmp;
    headroom::test::writeFile(tmp / "garbage", "no counters in here\n");
    // Missing, garbled, a folder, and a device that never ends; no
    // descriptor is left open after any of them.
    const int descriptors = headroom::test::openDescriptors();
    for (const std::string& source : {tmp / "missing", tmp / "garbage", tmp.path(), "/dev/zero"s}) {
        headroom::platform::setVmstatPathForTesting(source);
        testing::internal::CaptureStderr();
        const VMStatSchema r = headroom::vm_stat();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to get VM statistics.") << source;
        EXPECT_EQ(r.getTotalMemory() + r.translationFaults + r.pagesReactivated + r.pageins + r.pageouts, 0u)
            << source;
    }
    EXPECT_EQ(headroom::test::openDescriptors(), descriptors);
}
