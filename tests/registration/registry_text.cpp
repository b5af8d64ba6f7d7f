#include "registry_text.h"

#include <algorithm>
#include <vector>

namespace {

std::wstring ValueText(DWORD type, const BYTE* data, DWORD size)
{
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        std::wstring text(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
        if (!text.empty() && text.back() == L'\0') text.pop_back();
        return std::wstring(type == REG_SZ ? L"REG_SZ \"" : L"REG_EXPAND_SZ \"") + text + L"\"";
    }
    case REG_DWORD: {
        wchar_t number[32];
        swprintf(number, 32, L"REG_DWORD 0x%08lX", size == 4 ? *reinterpret_cast<const DWORD*>(data) : 0ul);
        return number;
    }
    default: {
        std::wstring text = L"type " + std::to_wstring(type) + L":";
        wchar_t byte[4];
        for (DWORD i = 0; i < size; ++i) {
            swprintf(byte, 4, L"%02X", data[i]);
            text += byte;
        }
        return text;
    }
    }
}

void AppendTree(HKEY key, const std::wstring& name, std::wstring& out)
{
    out += name + L"\n";
    std::vector<std::pair<std::wstring, std::wstring>> values;
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[16384];
        DWORD nameLength = 16384;
        BYTE data[8192];
        DWORD size = sizeof(data);
        DWORD type = 0;
        if (RegEnumValueW(key, index, valueName, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
        values.emplace_back(nameLength == 0 ? L"@" : valueName, ValueText(type, data, size));
    }
    std::sort(values.begin(), values.end());
    for (const auto& value : values) out += L"  " + value.first + L" = " + value.second + L"\n";

    std::vector<std::wstring> subkeys;
    for (DWORD index = 0;; ++index) {
        wchar_t subkey[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, index, subkey, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subkeys.emplace_back(subkey);
    }
    std::sort(subkeys.begin(), subkeys.end(),
              [](const std::wstring& a, const std::wstring& b) { return lstrcmpiW(a.c_str(), b.c_str()) < 0; });
    for (const auto& subkey : subkeys) {
        HKEY child = nullptr;
        if (RegOpenKeyExW(key, subkey.c_str(), 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
        AppendTree(child, name + L"\\" + subkey, out);
        RegCloseKey(child);
    }
}

}  // namespace

std::wstring RegistryTreeText(HKEY root, const wchar_t* rootName, const std::wstring& path)
{
    HKEY key = nullptr;
    const std::wstring name = std::wstring(rootName) + L"\\" + path;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return name + L" (absent)\n";
    std::wstring out;
    AppendTree(key, name, out);
    RegCloseKey(key);
    return out;
}

std::wstring RegistryValueText(HKEY root, const std::wstring& path, const wchar_t* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return L"(absent)";
    BYTE data[8192];
    DWORD size = sizeof(data);
    DWORD type = 0;
    const LONG status = RegQueryValueExW(key, name, nullptr, &type, data, &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? ValueText(type, data, size) : L"(absent)";
}
