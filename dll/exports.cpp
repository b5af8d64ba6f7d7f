// The four exports of an in-process COM server.
#include <windows.h>

#include "hresult.h"
#include "module.h"
#include "shell_approval.h"

STDAPI DllCanUnloadNow()
{
    return CanUnloadModuleNow();
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, void** object)
{
    return g_module.GetClassObject(classId, iid, object);
}

STDAPI DllRegisterServer()
{
    // Without the rights to approve the extension, nothing else is registered either.
    RETURN_IF_FAILED(ApproveShellExtension());
    return g_module.RegisterClasses(TRUE);
}

STDAPI DllUnregisterServer()
{
    WithdrawShellExtensionApproval();
    return g_module.UnregisterClasses(TRUE);
}
