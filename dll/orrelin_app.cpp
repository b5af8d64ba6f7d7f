#include "orrelin_app.h"

#include "Korvex.h"
#include "Orrelin_i.h"
#include "module.h"
#include "object_map.h"

bool COrrelinApp::InitInstance()
{
    g_module.Init(g_objectMap, LibraryInstance(), &LIBID_ORRELINLib);
    Korvex::InitDLL();
    return Application::InitInstance();
}

int COrrelinApp::ExitInstance()
{
    g_module.Term();
    return Application::ExitInstance();
}
