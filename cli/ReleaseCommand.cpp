#include "cli/ReleaseCommand.h"

#include "core/MemoryText.h"
#include "core/PageCounters.h"
#include "core/Platform.h"
#include "core/PurgeTool.h"
#include "l10n/StringTable.h"

namespace headroom::cli {

int releaseCommand(std::ostream& out, std::ostream& err)
{
    const KeyLookup tr = StringTable::lookup(StringTable::forSystemLocale());
    auto printMemory = [&] {
        const MemoryFigures figures = memoryFigures(vm_stat());
        out << memoryStatusLine1(tr, figures) << '\n' << memoryStatusLine2(tr, figures) << '\n';
    };
    printMemory();
    out.flush();
    const int status = purgeRAM();
    printMemory();
    if (status < 0) {
        // As a shell reports a command it cannot run.
        err << "release: cannot start the purge tool " << platform::purgeToolPath() << '\n';
        return 127;
    }
    return status;
}

} // namespace headroom::cli
