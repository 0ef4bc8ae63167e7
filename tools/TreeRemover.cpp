#include "tools/TreeRemover.h"
// STUB: to be implemented
