#include "preview_registration.h"

#include <string>

#include "class_entry.h"
#include "handles.h"
#include "hresult.h"
#include "registration_scope.h"

namespace orrelin {

const wchar_t kDfuPreviewEntryKey[] = L"dfufile\\shellex\\{8895b1c6-b41f-4c1c-a562-0d564250836f}";
const wchar_t kPreviewHandlerListKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PreviewHandlers";

namespace {

constexpr wchar_t kNativeHost[] = L"{6d2b5079-2f0b-48dd-ab7f-97cec514d30b}";
constexpr wchar_t kWow64Host[] = L"{534A1E02-D58F-44f0-B58B-36CBED287C7C}";

std::wstring ClassIdText(REFCLSID classId)
{
    wchar_t text[40];
    StringFromGUID2(classId, text, 40);
    return text;
}

}  // namespace

const wchar_t* PreviewHostAppId() noexcept
{
#if defined(_WIN64)
    return kNativeHost;
#else
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64 ? kWow64Host : kNativeHost;
#endif
}

HRESULT RegisterPreviewHandlerEntries(const RegistrationScope& scope, REFCLSID classId,
                                      const wchar_t* displayName) noexcept
{
    RETURN_IF_FAILED(scope.status());
    RETURN_IF_FAILED(ClaimClassEntry(scope.ClassesRoot(), kDfuPreviewEntryKey, classId));
    return GuardComBoundary([&] {
        UniqueHKey list;
        RETURN_IF_WIN32_ERROR(RegCreateKeyExW(scope.ListsRoot(), kPreviewHandlerListKey, 0, nullptr, 0, KEY_SET_VALUE,
                                              nullptr, list.put(), nullptr));
        const std::wstring name = ClassIdText(classId);
        RETURN_IF_WIN32_ERROR(RegSetValueExW(list.get(), name.c_str(), 0, REG_SZ,
                                             reinterpret_cast<const BYTE*>(displayName),
                                             static_cast<DWORD>((wcslen(displayName) + 1) * sizeof(wchar_t))));
        return S_OK;
    });
}

HRESULT UnregisterPreviewHandlerEntries(const RegistrationScope& scope, REFCLSID classId) noexcept
{
    RETURN_IF_FAILED(scope.status());
    const HRESULT listed = GuardComBoundary([&] {
        UniqueHKey list;
        if (RegOpenKeyExW(scope.ListsRoot(), kPreviewHandlerListKey, 0, KEY_SET_VALUE, list.put()) != ERROR_SUCCESS)
            return S_OK;
        const LONG error = RegDeleteValueW(list.get(), ClassIdText(classId).c_str());
        return error == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(error);
    });
    const HRESULT entry = ReleaseClassEntry(scope.ClassesRoot(), kDfuPreviewEntryKey, classId);
    RETURN_IF_FAILED(listed);
    return entry;
}

}  // namespace orrelin
