#include "core/VmStatParse.h"

#include "core/Platform.h"
#include "core/Saturating.h"

#include <array>
#include <cstdint>
#include <limits>

// Page counters from /proc/vmstat.
//
// The record counts pages of the kernel's page size, as /proc/vmstat does
// (4 KiB on most machines, 16 or 64 KiB on some arm64 and ppc64el kernels;
// platform::pageSize(), P KiB below). Every /proc/vmstat counter is read as
// an unsigned 64-bit number and the record's fields stay 64-bit; sums
// saturate at 2^64 - 1 instead of wrapping.
//
//   pagesFree          nr_free_pages                                  pages
//   pagesActive        nr_active_anon + nr_active_file                pages
//   pagesInactive      nr_inactive_anon + nr_inactive_file            pages
//   pagesWiredDown     memory the kernel can neither page out nor reclaim:
//                        nr_unevictable (mlocked pages included)      pages
//                      + nr_slab_unreclaimable                        pages
//                        (or nr_slab_unreclaimable_B, bytes, where a kernel
//                        prints the byte counter; the page counter wins
//                        when both appear)
//                      + nr_page_table_pages                          pages
//                      + nr_kernel_stack                              KiB
//                      summed in KiB and divided by P (fraction dropped),
//                      so sub-page remainders of the KiB and byte counters
//                      are not lost to rounding each one separately
//   translationFaults  pgfault                                        events
//   pagesReactivated   pgactivate                                     events
//   pageins            pgpgin / P                                     KiB -> pages
//   pageouts           pgpgout / P                                    KiB -> pages
//
// Reading rules: one "name value" pair a line, separated by blanks or tabs;
// the value is plain decimal digits, optionally followed by blanks, tabs or
// a carriage return. A line that does not fit (garbled, NUL bytes, a sign, a
// value beyond 2^64 - 1) is passed over. The first readable occurrence of
// a name counts; a later repeat is ignored. The last line needs no line end. The
// result is absent only when no counter of the table above was read.

namespace headroom {

namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

enum Counter : std::size_t {
    FreePages,
    ActiveAnon,
    ActiveFile,
    InactiveAnon,
    InactiveFile,
    Unevictable,
    SlabUnreclaimablePages,
    SlabUnreclaimableBytes,
    PageTablePages,
    KernelStackKiB,
    PgFault,
    PgActivate,
    PgPgIn,
    PgPgOut,
    CounterCount
};

constexpr std::string_view kNames[CounterCount] = {
    "nr_free_pages",
    "nr_active_anon",
    "nr_active_file",
    "nr_inactive_anon",
    "nr_inactive_file",
    "nr_unevictable",
    "nr_slab_unreclaimable",
    "nr_slab_unreclaimable_B",
    "nr_page_table_pages",
    "nr_kernel_stack",
    "pgfault",
    "pgactivate",
    "pgpgin",
    "pgpgout",
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Plain decimal digits, then only trailing blanks or '\r'. Absent when the
// text is anything else or the number does not fit in 64 bits.
std::optional<std::uint64_t> parseValue(std::string_view text)
{
    std::size_t i = 0;
    std::uint64_t value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        const auto digit = static_cast<std::uint64_t>(text[i] - '0');
        if (value > (kMax - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
        ++i;
    }
    if (i == 0)
        return std::nullopt;
    for (; i < text.size(); ++i) {
        if (!isBlank(text[i]) && text[i] != '\r')
            return std::nullopt;
    }
    return value;
}

void readLine(std::string_view line, std::array<std::optional<std::uint64_t>, CounterCount>& seen)
{
    std::size_t split = 0;
    while (split < line.size() && !isBlank(line[split]))
        ++split;
    const std::string_view name = line.substr(0, split);
    std::size_t start = split;
    while (start < line.size() && isBlank(line[start]))
        ++start;
    if (start == split)
        return; // no separator: not a "name value" line
    for (std::size_t c = 0; c < CounterCount; ++c) {
        if (name != kNames[c])
            continue;
        if (!seen[c])
            seen[c] = parseValue(line.substr(start));
        return;
    }
}

} // namespace

std::optional<VMStatSchema> parseProcVmstat(std::string_view text)
{
    std::array<std::optional<std::uint64_t>, CounterCount> seen{};
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        readLine(text.substr(0, end), seen);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }

    bool any = false;
    for (const auto& value : seen)
        any = any || value.has_value();
    if (!any)
        return std::nullopt;

    const auto get = [&seen](Counter c) { return seen[c].value_or(0); };

    VMStatSchema record;
    record.pagesFree = get(FreePages);
    record.pagesActive = saturatingAdd(get(ActiveAnon), get(ActiveFile));
    record.pagesInactive = saturatingAdd(get(InactiveAnon), get(InactiveFile));

    const std::uint64_t pageKiB = platform::pageSize() / 1024;
    std::uint64_t wiredKiB = saturatingMultiply(saturatingAdd(get(Unevictable), get(PageTablePages)), pageKiB);
    if (seen[SlabUnreclaimablePages])
        wiredKiB = saturatingAdd(wiredKiB, saturatingMultiply(get(SlabUnreclaimablePages), pageKiB));
    else
        wiredKiB = saturatingAdd(wiredKiB, get(SlabUnreclaimableBytes) / 1024);
    wiredKiB = saturatingAdd(wiredKiB, get(KernelStackKiB));
    record.pagesWiredDown = wiredKiB / pageKiB;

    record.translationFaults = get(PgFault);
    record.pagesReactivated = get(PgActivate);
    record.pageins = get(PgPgIn) / pageKiB;
    record.pageouts = get(PgPgOut) / pageKiB;
    return record;
}

} // namespace headroom
