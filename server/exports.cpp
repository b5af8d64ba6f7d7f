// The four exports of an in-process COM server.
#include <windows.h>

#include "module.h"

STDAPI DllCanUnloadNow()
{
    return CanUnloadModuleNow();
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, void** object)
{
    return _Module.GetClassObject(classId, iid, object);
}

STDAPI DllRegisterServer()
{
    // Registration from the class's registry script arrives with the registrar.
    return E_NOTIMPL;
}

STDAPI DllUnregisterServer()
{
    return E_NOTIMPL;
}
