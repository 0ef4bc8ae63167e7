#include "core/VMStatSchema.h"

namespace headroom {

std::uint64_t VMStatSchema::getTotalMemory() const
{
    return pagesFree_ + pagesWiredDown_ + pagesActive_ + pagesInactive_;
}

} // namespace headroom
