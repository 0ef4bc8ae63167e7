#include "l10n/StringTable.h"

#include <QtGlobal>

namespace headroom {

// lupdate reads this list to keep the .ts files in step with the code.
const char* const kStringKeys[] = {
    // Menu items and tabs
    QT_TRANSLATE_NOOP("Headroom", "Authorize"),
    QT_TRANSLATE_NOOP("Headroom", "Disk"),
    QT_TRANSLATE_NOOP("Headroom", "Check"),
    QT_TRANSLATE_NOOP("Headroom", "Clean"),
    QT_TRANSLATE_NOOP("Headroom", "Memory"),
    QT_TRANSLATE_NOOP("Headroom", "Release"),
    QT_TRANSLATE_NOOP("Headroom", "Show"),
    QT_TRANSLATE_NOOP("Headroom", "Hide"),
    QT_TRANSLATE_NOOP("Headroom", "About"),
    QT_TRANSLATE_NOOP("Headroom", "Quit"),
    // Folder grant
    QT_TRANSLATE_NOOP("Headroom", "Authorization"),
    QT_TRANSLATE_NOOP("Headroom", "Authorization Need"),
    QT_TRANSLATE_NOOP("Headroom", "Authorized"),
    QT_TRANSLATE_NOOP("Headroom", "Not Authorized"),
    // Disk overview and junk rows
    QT_TRANSLATE_NOOP("Headroom", "Total"),
    QT_TRANSLATE_NOOP("Headroom", "FreeDisk"),
    QT_TRANSLATE_NOOP("Headroom", "Folder Disk"),
    QT_TRANSLATE_NOOP("Headroom", "Caches"),
    QT_TRANSLATE_NOOP("Headroom", "Logs"),
    QT_TRANSLATE_NOOP("Headroom", "Downloads"),
    QT_TRANSLATE_NOOP("Headroom", "Mail Download"),
    QT_TRANSLATE_NOOP("Headroom", "Trash"),
    QT_TRANSLATE_NOOP("Headroom", "Permission Alert"),
    QT_TRANSLATE_NOOP("Headroom", "Permission Info"),
    QT_TRANSLATE_NOOP("Headroom", "Percent Used"),
    // Reports after a clean and a release
    QT_TRANSLATE_NOOP("Headroom", "Clean Freed"),
    QT_TRANSLATE_NOOP("Headroom", "Clean Removed"),
    QT_TRANSLATE_NOOP("Headroom", "Clean Held"),
    QT_TRANSLATE_NOOP("Headroom", "Clean Unmeasured"),
    QT_TRANSLATE_NOOP("Headroom", "Rows Unmeasured"),
    QT_TRANSLATE_NOOP("Headroom", "Clean Short"),
    QT_TRANSLATE_NOOP("Headroom", "Left Link"),
    QT_TRANSLATE_NOOP("Headroom", "Left Mount"),
    QT_TRANSLATE_NOOP("Headroom", "Left Mount Inside"),
    QT_TRANSLATE_NOOP("Headroom", "Left Read Only"),
    QT_TRANSLATE_NOOP("Headroom", "Left Permission"),
    QT_TRANSLATE_NOOP("Headroom", "Left In Use"),
    QT_TRANSLATE_NOOP("Headroom", "Left Failed"),
    QT_TRANSLATE_NOOP("Headroom", "Release Freed"),
    QT_TRANSLATE_NOOP("Headroom", "Release Nothing"),
    QT_TRANSLATE_NOOP("Headroom", "Release Failed"),
    QT_TRANSLATE_NOOP("Headroom", "Release Unmeasured"),
    QT_TRANSLATE_NOOP("Headroom", "Release No Helper"),
    QT_TRANSLATE_NOOP("Headroom", "Release No Pkexec"),
    QT_TRANSLATE_NOOP("Headroom", "Release Cancelled"),
    QT_TRANSLATE_NOOP("Headroom", "Release Refused"),
    // Work under way: "%1" is a junk row's label, or a count of entries;
    // "%2" a size text
    QT_TRANSLATE_NOOP("Headroom", "Progress Measuring"),
    QT_TRANSLATE_NOOP("Headroom", "Progress Removing"),
    QT_TRANSLATE_NOOP("Headroom", "Progress Measured"),
    QT_TRANSLATE_NOOP("Headroom", "Progress Removed"),
    QT_TRANSLATE_NOOP("Headroom", "Releasing"),
    QT_TRANSLATE_NOOP("Headroom", "Release Waiting"),
    // Items inside a junk row: "%1" is a count of items, a size text or
    // a date
    QT_TRANSLATE_NOOP("Headroom", "Items Show"),
    QT_TRANSLATE_NOOP("Headroom", "Item Name"),
    QT_TRANSLATE_NOOP("Headroom", "Item Size"),
    QT_TRANSLATE_NOOP("Headroom", "Item On Disk"),
    QT_TRANSLATE_NOOP("Headroom", "Item Share"),
    QT_TRANSLATE_NOOP("Headroom", "Items Rest"),
    QT_TRANSLATE_NOOP("Headroom", "Items Rest Tip"),
    QT_TRANSLATE_NOOP("Headroom", "Item Keep Tip"),
    QT_TRANSLATE_NOOP("Headroom", "Row On Disk"),
    QT_TRANSLATE_NOOP("Headroom", "Item Deleted"),
    // Memory
    QT_TRANSLATE_NOOP("Headroom", "Free"),
    QT_TRANSLATE_NOOP("Headroom", "Wired"),
    QT_TRANSLATE_NOOP("Headroom", "Active"),
    QT_TRANSLATE_NOOP("Headroom", "Inactive"),
    // Application
    QT_TRANSLATE_NOOP("Headroom", "About Text"),
    QT_TRANSLATE_NOOP("Headroom", "Licence"),
    QT_TRANSLATE_NOOP("Headroom", "No Tray Hint"),
    QT_TRANSLATE_NOOP("Headroom", "No Display"),
    QT_TRANSLATE_NOOP("Headroom", "Busy"),
};

const std::size_t kStringKeyCount = std::size(kStringKeys);

} // namespace headroom
