// The library's module-wide objects, in the one order they are constructed in (and
// destroyed in reverse): the COM module record, the module object, the object map and
// the application object.
#include "DFUShellExt.h"
#include "app.h"
#include "module.h"

ComModuleRecord _ComModule;
CComModule _Module;

ObjectMapEntry ObjectMap[] = {
    ObjectMapEntryFor<DFUShellExt>(),
    kObjectMapEnd,
};

COrrelinApp theApp;
