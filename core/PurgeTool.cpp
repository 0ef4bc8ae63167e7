#include "core/PurgeTool.h"

#include "core/Platform.h"
#include "core/Process.h"

namespace headroom {

int purgeRAM()
{
    return process::runAndWait(platform::purgeToolPath());
}

} // namespace headroom
