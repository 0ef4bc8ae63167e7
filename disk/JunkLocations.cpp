#include "disk/JunkLocations.h"

namespace headroom {

const JunkTable kLinuxJunkTable{{
    {"caches", ".cache", "Caches"},
    {"logs", "Logs", "Logs"},
    {"downloads", "Downloads", "Downloads"},
    {"mail-downloads", "Mail Downloads", "Mail Download"},
    {"trash", ".local/share/Trash", "Trash"},
}};

const JunkTable kAppleJunkTable{{
    {"caches", "Library/Caches", "Caches"},
    {"logs", "Logs", "Logs"},
    {"downloads", "Downloads", "Downloads"},
    {"mail-downloads", "Mail Downloads", "Mail Download"},
    {"trash", ".Trash", "Trash"},
}};

const JunkTable& junkTable()
{
#ifdef __APPLE__
    return kAppleJunkTable;
#else
    return kLinuxJunkTable;
#endif
}

} // namespace headroom
