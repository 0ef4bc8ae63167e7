// The /proc/vmstat reader with any bytes, against a reference reader
// written from the documented rules alone (string searches and 128-bit
// sums instead of the reader's byte loop and saturating steps).

#include "FuzzCheck.h"
#include "core/Platform.h"
#include "core/VmStatParse.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>

using headroom::VMStatSchema;

namespace {

__extension__ typedef unsigned __int128 Wide;
constexpr Wide kMax64 = ~std::uint64_t{0};

const char* const kNames[] = {
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

std::optional<Wide> readValue(std::string text)
{
    const std::size_t last = text.find_last_not_of(" \t\r");
    if (last == std::string::npos)
        return std::nullopt;
    text.resize(last + 1);
    if (text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    Wide v = 0;
    for (const char c : text) {
        v = v * 10 + static_cast<unsigned>(c - '0');
        if (v > kMax64)
            return std::nullopt;
    }
    return v;
}

std::map<std::string, Wide> readCounters(const std::string& text)
{
    std::map<std::string, Wide> found;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t gap = line.find_first_of(" \t");
        if (gap == std::string::npos || gap == 0)
            continue; // no "name value" shape (an empty name matches nothing)
        const std::string name = line.substr(0, gap);
        bool wanted = false;
        for (const char* n : kNames)
            wanted = wanted || name == n;
        if (!wanted || found.count(name) != 0)
            continue;
        const std::size_t valueAt = line.find_first_not_of(" \t", gap);
        if (valueAt == std::string::npos)
            continue;
        if (const auto value = readValue(line.substr(valueAt)))
            found[name] = *value;
    }
    return found;
}

std::uint64_t clamp(Wide v)
{
    return static_cast<std::uint64_t>(v > kMax64 ? kMax64 : v);
}

std::optional<VMStatSchema> reference(const std::string& text)
{
    const std::map<std::string, Wide> c = readCounters(text);
    if (c.empty())
        return std::nullopt;
    const auto get = [&c](const char* name) -> Wide {
        const auto it = c.find(name);
        return it == c.end() ? 0 : it->second;
    };
    const Wide pageKiB = headroom::platform::pageSize() / 1024;
    VMStatSchema r;
    r.pagesFree = clamp(get("nr_free_pages"));
    r.pagesActive = clamp(get("nr_active_anon") + get("nr_active_file"));
    r.pagesInactive = clamp(get("nr_inactive_anon") + get("nr_inactive_file"));
    const Wide slabKiB = c.count("nr_slab_unreclaimable") != 0 ? get("nr_slab_unreclaimable") * pageKiB
                                                               : get("nr_slab_unreclaimable_B") / 1024;
    const Wide wiredKiB =
        (get("nr_unevictable") + get("nr_page_table_pages")) * pageKiB + slabKiB + get("nr_kernel_stack");
    r.pagesWiredDown = static_cast<std::uint64_t>(clamp(wiredKiB) / pageKiB);
    r.translationFaults = clamp(get("pgfault"));
    r.pagesReactivated = clamp(get("pgactivate"));
    r.pageins = static_cast<std::uint64_t>(clamp(get("pgpgin")) / pageKiB);
    r.pageouts = static_cast<std::uint64_t>(clamp(get("pgpgout")) / pageKiB);
    return r;
}

std::array<std::uint64_t, 8> fields(const VMStatSchema& r)
{
    return {r.pagesFree,         r.pagesActive,      r.pagesInactive, r.pagesWiredDown,
            r.translationFaults, r.pagesReactivated, r.pageins,       r.pageouts};
}

std::string describe(const VMStatSchema& r)
{
    std::string s;
    for (const std::uint64_t v : fields(r))
        s += std::to_string(v) + " ";
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    // Pages of 4, 16 or 64 KiB, as the kernel may count them.
    headroom::platform::setPageSizeForTesting(std::uint64_t{4096} << (2 * (size % 3)));
    const std::optional<VMStatSchema> got = headroom::parseProcVmstat(text);
    const std::optional<VMStatSchema> want = reference(text);
    FUZZ_CHECK(got.has_value() == want.has_value(), headroom::fuzz::visible(text));
    if (got) {
        FUZZ_CHECK(fields(*got) == fields(*want),
                   "got " + describe(*got) + "\nwant " + describe(*want) + "\n" + headroom::fuzz::visible(text));
    }
    return 0;
}
