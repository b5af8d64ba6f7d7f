// What the tests of a registered library share: the folder of the test program (which holds
// the library), regsvr32 of the program's own bitness, and a registry value as text.
#pragma once

#include <windows.h>

#include <string>

namespace orrelin::test {

// The folder of this program's file, with its closing backslash.
std::wstring ProgramFolder();

// Runs regsvr32 /s with `arguments` (System32 is the 32-bit one for a 32-bit caller) and
// answers its exit code, or -1 when it could not be started.
DWORD Regsvr32(const std::wstring& arguments);

// A REG_SZ value, or "(absent)".
std::wstring RegistryText(HKEY root, const std::wstring& key, const wchar_t* name);

}  // namespace orrelin::test
