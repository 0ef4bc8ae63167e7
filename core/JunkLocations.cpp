#include "core/JunkLocations.h"

namespace headroom {

namespace {

const JunkTable kJunkTable{{
    {"caches", ".cache", "Caches"},
    {"logs", "Logs", "Logs"},
    {"downloads", "Downloads", "Downloads"},
    {"mail-downloads", "Mail Downloads", "Mail Download"},
    {"trash", ".local/share/Trash", "Trash"},
}};

} // namespace

const JunkTable& junkTable()
{
    return kJunkTable;
}

} // namespace headroom
