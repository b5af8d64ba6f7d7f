#include "app.h"

#include "Korvex.h"
#include "Orrelin_i.h"
#include "module.h"

extern ObjectMapEntry ObjectMap[];

bool COrrelinApp::InitInstance()
{
    _Module.Init(ObjectMap, LibraryInstance(), &LIBID_ORRELINLib);
    Korvex::InitDLL();
    return Application::InitInstance();
}

int COrrelinApp::ExitInstance()
{
    _Module.Term();
    return Application::ExitInstance();
}
