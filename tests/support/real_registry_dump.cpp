#include "real_registry_dump.h"

#include "case_fold.h"
#include "reg_types.h"
#include "registry_dump.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace orrelin::test {

namespace {

struct Value {
    std::u16string name;
    DWORD type = 0;
    std::vector<std::uint8_t> data;
};

using regscript::CompareNoCase;
using regscript::FormatKeyLine;
using regscript::FormatValueLine;

bool NameLess(const std::u16string& a, const std::u16string& b)
{
    return CompareNoCase(a, b) < 0;
}

std::vector<Value> ReadValues(HKEY key)
{
    std::vector<Value> values;
    std::vector<wchar_t> name(16384);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD type = 0;
        DWORD size = 0;
        if (RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        Value value;
        value.name = Portable(std::wstring_view(name.data(), nameLength));
        value.type = type;
        value.data.resize(size);
        const std::wstring wideName = Wide(value.name);
        if (RegQueryValueExW(key, wideName.c_str(), nullptr, &type, value.data.data(), &size) == ERROR_SUCCESS)
            value.data.resize(size);
        values.push_back(std::move(value));
    }
    std::sort(values.begin(), values.end(), [](const Value& a, const Value& b) { return NameLess(a.name, b.name); });
    return values;
}

std::vector<std::u16string> ReadSubkeyNames(HKEY key)
{
    std::vector<std::u16string> names;
    std::vector<wchar_t> name(32768);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        if (RegEnumKeyExW(key, index, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.push_back(Portable(std::wstring_view(name.data(), nameLength)));
    }
    std::sort(names.begin(), names.end(), NameLess);
    return names;
}

}  // namespace

std::string DumpRealKey(HKEY key, const std::u16string& displayPath)
{
    std::string out = FormatKeyLine(displayPath);
    for (const Value& value : ReadValues(key))
        out += FormatValueLine(value.name, value.type, value.data.data(), value.data.size());
    for (const std::u16string& name : ReadSubkeyNames(key)) {
        HKEY subkey = nullptr;
        const std::wstring wideName = Wide(name);
        if (RegOpenKeyExW(key, wideName.c_str(), 0, KEY_READ, &subkey) != ERROR_SUCCESS) {
            out += "  <cannot open " + regscript::EscapeText(name) + ">\n";
            continue;
        }
        out += DumpRealKey(subkey, displayPath + u"\\" + name);
        RegCloseKey(subkey);
    }
    return out;
}

std::string DumpRealKey(HKEY root, const std::u16string& rootName, const std::u16string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, Wide(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
    std::string out = DumpRealKey(key, rootName + u"\\" + path);
    RegCloseKey(key);
    return out;
}

std::string DumpRealValue(HKEY root, const std::wstring& path, const wchar_t* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
    DWORD type = 0;
    DWORD size = 0;
    std::vector<std::uint8_t> data;
    LONG status = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        data.resize(size);
        status = RegQueryValueExW(key, name, nullptr, &type, data.data(), &size);
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return {};
    return FormatValueLine(Portable(name == nullptr ? L"" : name), type, data.data(), size);
}

}  // namespace orrelin::test
