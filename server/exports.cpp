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

namespace {

constexpr wchar_t kApprovedKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
constexpr wchar_t kClassIdText[] = L"{B0EC6BBF-49C8-11D5-901D-00B0D064D823}";
constexpr wchar_t kApprovalText[] = L"CTxtInfoShlExt extension";

// The shell's list of approved extensions exists only on NT systems.
bool IsNtFamily()
{
    return (GetVersion() & 0x80000000u) == 0;
}

}  // namespace

STDAPI DllRegisterServer()
{
    if (IsNtFamily()) {
        // The list's key is opened, never created: without the rights to write it (no
        // administrator), nothing else is registered either.
        HKEY approved = nullptr;
        LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kApprovedKey, 0, KEY_SET_VALUE, &approved);
        if (status == ERROR_SUCCESS) {
            status = RegSetValueExW(approved, kClassIdText, 0, REG_SZ, reinterpret_cast<const BYTE*>(kApprovalText),
                                    sizeof(kApprovalText));
            RegCloseKey(approved);
        }
        if (status != ERROR_SUCCESS) return E_ACCESSDENIED;
    }
    return _Module.RegisterClasses(TRUE);
}

STDAPI DllUnregisterServer()
{
    if (IsNtFamily()) {
        HKEY approved = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kApprovedKey, 0, KEY_SET_VALUE, &approved) == ERROR_SUCCESS) {
            RegDeleteValueW(approved, kClassIdText);
            RegCloseKey(approved);
        }
    }
    return _Module.UnregisterClasses(TRUE);
}
