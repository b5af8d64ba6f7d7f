// What the tests of shell commands share: a selection as the shell hands it over (a shell
// item array), a folder's files and their bytes, and waiting until a library's work is done.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <map>
#include <string>
#include <vector>

#include "handles.h"

namespace orrelin::test {

// A shell item array of existing files, in order; null when one cannot be parsed.
ComPtr<IShellItemArray> ShellItemArrayOf(const std::vector<std::wstring>& paths);

// Names in `folder` (with its closing backslash) and their bytes ("" for a folder).
std::map<std::wstring, std::string> FolderListing(const std::wstring& folder);

// Removes `folder` (with its closing backslash) and all it holds.
void RemoveFolderTree(const std::wstring& folder);

// True once `library`'s DllCanUnloadNow answers S_OK (no object, no work left), pumping
// this thread's messages while it waits.
bool WaitUntilUnloadable(const std::wstring& library, DWORD milliseconds);

}  // namespace orrelin::test
