// The module-wide objects a test program needs when it links the COM machinery directly:
// objects and class factories lock and unlock the current module.
#include "module.h"

ComModuleRecord g_comModuleRecord;
CComModule g_module;
