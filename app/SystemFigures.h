#pragma once

#include "core/PageCounters.h"
#include "core/VolumeFigures.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace headroom {

// Where the controller's figures come from. Each call measures afresh and may
// run on any thread; tests give fixed figures.
struct SystemFigures {
    std::function<std::optional<std::int64_t>()> diskTotal;
    std::function<std::optional<std::int64_t>()> diskAvailable;
    std::function<VMStatSchema()> vmStat;

    static SystemFigures live()
    {
        return {&getDiskTotalSize, &getDiskAvailableSize, &vm_stat};
    }
};

} // namespace headroom
