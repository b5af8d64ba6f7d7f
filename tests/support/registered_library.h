// What the Windows tests share: the folder of the test program (which holds the library),
// regsvr32 of the program's own bitness, a registry value as text, and wide text for a
// test's messages.
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

// ASCII as it is, '?' for any other character: wide text in a test's message.
std::string Narrow(const std::wstring& text);

}  // namespace orrelin::test
