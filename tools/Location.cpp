#include "tools/Location.h"
// STUB: to be implemented
