#include "tools/TreeWalker.h"
// STUB: to be implemented
