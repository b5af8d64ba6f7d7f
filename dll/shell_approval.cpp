#include "shell_approval.h"

#include "handles.h"

using orrelin::UniqueHKey;

namespace {

constexpr wchar_t kShellExtensionsKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions";
constexpr wchar_t kApprovedKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
constexpr wchar_t kClassIdText[] = L"{B0EC6BBF-49C8-11D5-901D-00B0D064D823}";
// The value's text is the one earlier releases wrote; installers and clean-up tools look for it.
constexpr wchar_t kApprovalText[] = L"CTxtInfoShlExt extension";

// The shell's list of approved extensions exists only on NT systems.
bool IsNtFamily()
{
    return (GetVersion() & 0x80000000u) == 0;
}

bool KeyIsEmpty(HKEY root, const wchar_t* path)
{
    UniqueHKey key;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
    DWORD subkeys = 0;
    DWORD values = 0;
    return RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                            nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
}

}  // namespace

HRESULT ApproveShellExtension(const RegistrationScope& scope) noexcept
{
    if (!IsNtFamily()) return S_OK;
    UniqueHKey approved;
    LONG status = scope.ForUser()
                      ? RegCreateKeyExW(HKEY_CURRENT_USER, kApprovedKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_SET_VALUE, nullptr, approved.put(), nullptr)
                      : RegOpenKeyExW(HKEY_LOCAL_MACHINE, kApprovedKey, 0, KEY_SET_VALUE, approved.put());
    if (status == ERROR_SUCCESS)
        status = RegSetValueExW(approved.get(), kClassIdText, 0, REG_SZ, reinterpret_cast<const BYTE*>(kApprovalText),
                                sizeof(kApprovalText));
    if (scope.ForUser()) return HRESULT_FROM_WIN32(status);
    return status == ERROR_SUCCESS ? S_OK : E_ACCESSDENIED;
}

void WithdrawShellExtensionApproval(const RegistrationScope& scope) noexcept
{
    if (!IsNtFamily()) return;
    const HKEY root = scope.ListsRoot();
    {
        UniqueHKey approved;
        if (RegOpenKeyExW(root, kApprovedKey, 0, KEY_SET_VALUE, approved.put()) != ERROR_SUCCESS) return;
        RegDeleteValueW(approved.get(), kClassIdText);
    }
    if (!scope.ForUser()) return;
    if (KeyIsEmpty(root, kApprovedKey)) RegDeleteKeyW(root, kApprovedKey);
    if (KeyIsEmpty(root, kShellExtensionsKey)) RegDeleteKeyW(root, kShellExtensionsKey);
}
