// The exports of an in-process COM server: the four of every server, and DllInstall for a
// registration of the current user's own.
#include <windows.h>
#include <shlobj.h>

#include <cwchar>

#include "failure_trace.h"
#include "hresult.h"
#include "module.h"
#include "object_map.h"
#include "registration_scope.h"
#include "shell_approval.h"

namespace {

// A running Explorer shows or drops the extension without a restart.
HRESULT TellShellAssociationsChanged(HRESULT hr) noexcept
{
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return hr;
}

// Without the rights to approve the extension, nothing else is registered either.
HRESULT RegisterInUserScope(const RegistrationScope& user) noexcept
{
    RETURN_IF_FAILED(user.status());
    RETURN_IF_FAILED(ApproveShellExtension(user));
    return g_module.RegisterClassesIn(user, g_classRegistrations, TRUE);
}

HRESULT UnregisterInUserScope(const RegistrationScope& user) noexcept
{
    WithdrawShellExtensionApproval(user);
    RETURN_IF_FAILED(user.status());
    return g_module.UnregisterClassesIn(user, g_classRegistrations, TRUE);
}

}  // namespace

STDAPI DllCanUnloadNow()
{
    return CanUnloadModuleNow();
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, void** object)
{
    return TRACE_FAILURE(g_module.GetClassObject(classId, iid, object));
}

// The machine's registration is the object map's own walk.
STDAPI DllRegisterServer()
{
    const RegistrationScope machine = RegistrationScope::Machine();
    // Without the rights to approve the extension, nothing else is registered either.
    const HRESULT approved = ApproveShellExtension(machine);
    if (FAILED(approved)) return TRACE_FAILURE(approved);
    return TRACE_FAILURE(TellShellAssociationsChanged(g_module.RegisterClasses(TRUE)));
}

STDAPI DllUnregisterServer()
{
    WithdrawShellExtensionApproval(RegistrationScope::Machine());
    return TRACE_FAILURE(TellShellAssociationsChanged(g_module.UnregisterClasses(TRUE)));
}

// "user" (regsvr32 /n /i:user, and /u to remove): the same classes, handlers and approval
// for the current user only, without administrator rights. Any other request is refused.
STDAPI DllInstall(BOOL install, LPCWSTR commandLine)
{
    if (commandLine == nullptr || _wcsicmp(commandLine, L"user") != 0) return TRACE_FAILURE(E_INVALIDARG);
    const RegistrationScope user = RegistrationScope::User();
    return TRACE_FAILURE(
        TellShellAssociationsChanged(install ? RegisterInUserScope(user) : UnregisterInUserScope(user)));
}
