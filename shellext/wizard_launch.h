// Finding the upgrade wizard and starting it for the chosen download entry.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "string_list.h"

namespace orrelin {

// The upgrade wizard Brannoc.exe in the folder of this library's own file, or the empty
// string when it is not there (or the library's file name cannot be had whole).
std::wstring GetWizardPath();

// Starts the upgrade wizard with the command line of the chosen entry.
HRESULT LaunchDownloadEntry(const StringList& commandLines, const CMINVOKECOMMANDINFO* info);

// Starts the upgrade wizard with `commandLine`, without waiting for it. A start that fails is
// answered as its HRESULT when the caller wants no user interface; otherwise the user is told
// why in a warning owned by `owner` (may be null), and the answer is S_OK.
HRESULT StartWizard(const std::wstring& commandLine, HWND owner, bool noUserInterface);

// Why a start failed: the system's message for `error`, whose %1 stands for the program
// path, or the library's own "unable to determine" text when the system has none.
std::wstring StartFailureReason(DWORD error, const std::wstring& programPath);

}  // namespace orrelin
