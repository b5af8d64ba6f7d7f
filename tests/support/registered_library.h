// What the Windows tests share: the test program's file and folder (which holds the library),
// the temporary folder, regsvr32 of the program's own bitness and a path quoted for it, an
// export of a loaded library, a registry value as text, and wide text for a test's messages.
#pragma once

#include <windows.h>

#include <string>

namespace orrelin::test {

// This program's file.
std::wstring ProgramPath();
// The folder of this program's file, with its closing backslash.
std::wstring ProgramFolder();
// The temporary folder, with its closing backslash.
std::wstring TemporaryFolder();

// A path in double quotes, as one argument of a command line.
std::wstring Quoted(const std::wstring& path);

// Runs regsvr32 /s with `arguments` (System32 is the 32-bit one for a 32-bit caller) and
// answers its exit code, or -1 when it could not be started.
DWORD Regsvr32(const std::wstring& arguments);

// The export `name` of `module` as the function type `Fn`, or null.
template <typename Fn>
Fn ProcAs(HMODULE module, const char* name)
{
    // Through void(*)(), the one function type any other may be cast from without a warning.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// A REG_SZ value, or "(absent)".
std::wstring RegistryText(HKEY root, const std::wstring& key, const wchar_t* name);

// ASCII as it is, '?' for any other character: wide text in a test's message.
std::string Narrow(const std::wstring& text);

}  // namespace orrelin::test
