#include "tools/VmStatParse.h"
// STUB: to be implemented
