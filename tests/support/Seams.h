#pragma once

#include "core/Platform.h"

namespace headroom::test {

// Puts every system seam (volume query, page-counter file, page size, purge
// tool) back to the real system when made and when it goes out of scope, so
// no test leaves a stand-in behind for the next one.
class SeamReset {
public:
    SeamReset() { reset(); }
    ~SeamReset() { reset(); }
    SeamReset(const SeamReset&) = delete;
    SeamReset& operator=(const SeamReset&) = delete;

    static void reset()
    {
        platform::setVolumeQueryForTesting({});
        platform::setVmstatPathForTesting({});
        platform::setPageSizeForTesting(0);
        platform::setPurgeToolPathForTesting({});
    }
};

} // namespace headroom::test
