// The four exports of an in-process COM server.
#include <windows.h>

#include "application.h"
#include "module.h"
#include "module_state.h"

STDAPI DllCanUnloadNow()
{
    orrelin::ModuleStateGuard guard;
    if (orrelin::ApplicationCanUnloadNow() != S_OK) return S_FALSE;
    return _Module.GetLockCount() == 0 ? S_OK : S_FALSE;
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
