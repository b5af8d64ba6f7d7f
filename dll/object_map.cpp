// The library's module-wide objects, in the one order they are constructed in (and
// destroyed in reverse): the COM module record, the module object, the object map and
// the application object.
#include "object_map.h"

#include "DFUExplorerCommand.h"
#include "DFUMakeCommand.h"
#include "DFUPreviewHandler.h"
#include "DFUPropertyHandler.h"
#include "DFUShellExt.h"
#include "DFUThumbnailProvider.h"
#include "DFUToolsCommand.h"
#include "DFUToolsMenu.h"
#include "orrelin_app.h"

ComModuleRecord g_comModuleRecord;
CComModule g_module;

// One class a line, in map order.
// clang-format off
ObjectMapEntry g_objectMap[] = {
    ObjectMapEntryFor<DFUShellExt>(),
    ObjectMapEntryFor<DFUPropertyHandler>(),
    ObjectMapEntryFor<DFUPreviewHandler>(),
    ObjectMapEntryFor<DFUExplorerCommand>(),
    ObjectMapEntryFor<DFUThumbnailProvider>(),
    ObjectMapEntryFor<DFUToolsMenu>(),
    ObjectMapEntryFor<DFUToolsCommand>(),
    ObjectMapEntryFor<DFUMakeCommand>(),
    kObjectMapEnd,
};

const ClassRegistration g_classRegistrations[] = {
    ClassRegistrationFor<DFUShellExt>(),
    ClassRegistrationFor<DFUPropertyHandler>(),
    ClassRegistrationFor<DFUPreviewHandler>(),
    ClassRegistrationFor<DFUExplorerCommand>(),
    ClassRegistrationFor<DFUThumbnailProvider>(),
    ClassRegistrationFor<DFUToolsMenu>(),
    ClassRegistrationFor<DFUToolsCommand>(),
    ClassRegistrationFor<DFUMakeCommand>(),
    kClassRegistrationEnd,
};
// clang-format on

COrrelinApp g_orrelinApp;
