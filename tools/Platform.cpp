#include "tools/Platform.h"
// STUB: to be implemented
