#include "tools/PurgeTool.h"
// STUB: to be implemented
