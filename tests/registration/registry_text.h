// Registry trees as text, so a test can compare what registration left as a whole.
#pragma once

#include <windows.h>

#include <string>

// Every key under root\path (the key itself first), one line per key and one per value:
//   HKCR\Orrelin.DFUShellExt\CLSID
//     @ = REG_SZ "{...}"
// Subkeys and values in name order; "(absent)" when the key does not exist.
std::wstring RegistryTreeText(HKEY root, const wchar_t* rootName, const std::wstring& path);

// One value as text, or "(absent)".
std::wstring RegistryValueText(HKEY root, const std::wstring& path, const wchar_t* name);
