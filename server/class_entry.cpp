#include "class_entry.h"

#include <string>

#include "handles.h"
#include "hresult.h"

using orrelin::UniqueHKey;

namespace {

std::wstring ClassIdText(REFCLSID classId)
{
    wchar_t text[40];
    StringFromGUID2(classId, text, 40);
    return text;
}

// The key's default value, empty when there is none or it is not text.
std::wstring NamedClass(HKEY key)
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

}  // namespace

HRESULT ClaimClassEntry(HKEY root, const wchar_t* key, REFCLSID classId) noexcept
{
    return orrelin::GuardComBoundary([&] {
        UniqueHKey entry;
        RETURN_IF_WIN32_ERROR(
            RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, entry.put(), nullptr));
        const std::wstring named = NamedClass(entry.get());
        if (!named.empty() && !NamesClass(named, classId)) return S_OK;
        const std::wstring ours = ClassIdText(classId);
        RETURN_IF_WIN32_ERROR(RegSetValueExW(entry.get(), nullptr, 0, REG_SZ,
                                             reinterpret_cast<const BYTE*>(ours.c_str()),
                                             static_cast<DWORD>((ours.size() + 1) * sizeof(wchar_t))));
        return S_OK;
    });
}

HRESULT ReleaseClassEntry(HKEY root, const wchar_t* key, REFCLSID classId) noexcept
{
    return orrelin::GuardComBoundary([&] {
        bool empty = false;
        {
            UniqueHKey entry;
            if (RegOpenKeyExW(root, key, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, entry.put()) != ERROR_SUCCESS) return S_OK;
            if (!NamesClass(NamedClass(entry.get()), classId)) return S_OK;
            RETURN_IF_WIN32_ERROR(RegDeleteValueW(entry.get(), nullptr));
            DWORD subkeys = 0, values = 0;
            empty = RegQueryInfoKeyW(entry.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                                     nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                    subkeys == 0 && values == 0;
        }
        if (empty) RegDeleteKeyW(root, key);
        return S_OK;
    });
}
