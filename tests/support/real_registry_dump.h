// The real registry read back in the text form of registry_dump.h, names in the order the
// in-memory registry keeps them, so the two, or the real registry and the keys the stored
// script writes, can be compared as a whole.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace orrelin::test {

// `key` and everything under it, its line showing `displayPath`.
std::string DumpRealKey(HKEY key, const std::u16string& displayPath);
// The key at `path` under `root` and everything under it, its line showing the path under
// `rootName`; empty when there is no such key.
std::string DumpRealKey(HKEY root, const std::u16string& rootName, const std::u16string& path);
// The line of one value (an empty or null name is the default value); empty when it is absent.
std::string DumpRealValue(HKEY root, const std::wstring& path, const wchar_t* name);

// The platform's wide text and the registrar's portable text hold the same UTF-16 units.
inline std::u16string Portable(std::wstring_view text)
{
    return std::u16string(text.begin(), text.end());
}
inline std::wstring Wide(std::u16string_view text)
{
    return std::wstring(text.begin(), text.end());
}

}  // namespace orrelin::test
