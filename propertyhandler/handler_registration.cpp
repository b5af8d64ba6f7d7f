#include "handler_registration.h"

#include <propsys.h>

#include <string>

#include "handles.h"
#include "hresult.h"
#include "module_file_name.h"
#include "module_state.h"
#include "path.h"

namespace orrelin {

const wchar_t kDfuPropertyHandlerKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PropertySystem\\PropertyHandlers\\.dfu";

namespace {

constexpr wchar_t kSchemaFile[] = L"Orrelin.propdesc";

std::wstring ClassIdText(REFCLSID classId)
{
    wchar_t text[40];
    StringFromGUID2(classId, text, 40);
    return text;
}

// The key's default value, empty when there is none or it is not text.
std::wstring NamedHandler(HKEY key)
{
    wchar_t text[64] = {};
    DWORD type = 0;
    DWORD size = sizeof(text) - sizeof(wchar_t);
    if (RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::wstring();
    return text;
}

bool NamesClass(const std::wstring& named, REFCLSID classId)
{
    CLSID parsed;
    return !named.empty() && SUCCEEDED(CLSIDFromString(named.c_str(), &parsed)) && IsEqualCLSID(parsed, classId);
}

HRESULT SchemaPath(std::wstring& path) noexcept
{
    return GuardComBoundary([&] {
        std::wstring module;
        RETURN_IF_FAILED(GetModuleFileNameWhole(ThisModule(), module));
        path = SplitPath(module).folder + kSchemaFile;
        return S_OK;
    });
}

}  // namespace

HRESULT RegisterPropertyHandlerEntry(REFCLSID classId) noexcept
{
    return GuardComBoundary([&] {
        UniqueHKey key;
        RETURN_IF_WIN32_ERROR(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kDfuPropertyHandlerKey, 0, nullptr, 0,
                                              KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, key.put(), nullptr));
        const std::wstring named = NamedHandler(key.get());
        if (!named.empty() && !NamesClass(named, classId)) return S_OK;
        const std::wstring ours = ClassIdText(classId);
        RETURN_IF_WIN32_ERROR(RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(ours.c_str()),
                                             static_cast<DWORD>((ours.size() + 1) * sizeof(wchar_t))));
        return S_OK;
    });
}

HRESULT UnregisterPropertyHandlerEntry(REFCLSID classId) noexcept
{
    return GuardComBoundary([&] {
        bool empty = false;
        {
            UniqueHKey key;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDfuPropertyHandlerKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                              key.put()) != ERROR_SUCCESS)
                return S_OK;
            if (!NamesClass(NamedHandler(key.get()), classId)) return S_OK;
            RETURN_IF_WIN32_ERROR(RegDeleteValueW(key.get(), nullptr));
            DWORD subkeys = 0, values = 0;
            empty = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                                     nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                    subkeys == 0 && values == 0;
        }
        if (empty) RegDeleteKeyW(HKEY_LOCAL_MACHINE, kDfuPropertyHandlerKey);
        return S_OK;
    });
}

HRESULT RegisterPropertySchema() noexcept
{
    std::wstring path;
    RETURN_IF_FAILED(SchemaPath(path));
    // Checked first: a registration that cannot find its schema must not report success.
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return HResultFromLastError();
    return PSRegisterPropertySchema(path.c_str());
}

HRESULT UnregisterPropertySchema() noexcept
{
    std::wstring path;
    RETURN_IF_FAILED(SchemaPath(path));
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return S_OK;
    const HRESULT hr = PSUnregisterPropertySchema(path.c_str());
    // A property system that cannot unregister schemas (Wine's) cannot have kept ours.
    return hr == E_NOTIMPL ? S_OK : hr;
}

}  // namespace orrelin
