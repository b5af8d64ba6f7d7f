// The download entries of the context menu: building them, their help texts, and starting
// the upgrade wizard for the chosen one. Plain functions over the shell extension object's
// two lists, so they can be exercised without the COM machinery.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "string_list.h"

namespace orrelin {

// The upgrade wizard Brannoc.exe in the folder of this library's own file, or the empty
// string when it is not there (or the library's file name cannot be had whole).
std::wstring GetWizardPath();

// Empties both lists, then adds one entry per download target to `menu` and records its
// command line and help text at its command offset. Returns the number of entries added.
HRESULT BuildDownloadMenu(const std::wstring& selectedPath, StringList& commandLines, StringList& helpTexts,
                          HMENU menu, UINT index, UINT firstId, UINT lastId, UINT flags);

// The help text of the entry at `offset`, wide or narrow as `type` asks.
HRESULT CopyHelpText(const StringList& helpTexts, UINT_PTR offset, UINT type, char* buffer, UINT size);

// Starts the upgrade wizard with the command line of the chosen entry.
HRESULT LaunchDownloadEntry(const StringList& commandLines, const CMINVOKECOMMANDINFO* info);

// The steps of the above that the tests also reach on their own.

// Where the wizard would stand beside a module file of this name: the name's folder with
// its closing backslash, then Brannoc.exe (Brannoc.exe alone when the name has no folder).
std::wstring WizardPathBeside(const std::wstring& moduleFileName);

enum class DownloadTarget { Default, Serial, Usb };

// The wizard's command line for one entry; `target` is ignored for the default entry. The
// target and the file reach the wizard's standard argument parsing as exactly one argument
// each, whatever quotes or backslashes they hold.
std::wstring DownloadCommandLine(DownloadTarget kind, const std::wstring& wizardPath, const std::wstring& target,
                                 const std::wstring& file);

// CopyHelpText with the conversion code page of narrow requests given.
HRESULT CopyHelpTextInCodePage(const StringList& helpTexts, UINT_PTR offset, UINT type, char* buffer, UINT size,
                               UINT codePage);

// The program path at the head of a command line: the text between a leading double quote
// and the next one, else the text before the first blank.
std::wstring ProgramPathOf(const std::wstring& commandLine);

// Why a start failed: the system's message for `error`, whose %1 stands for the program
// path, or the library's own "unable to determine" text when the system has none.
std::wstring StartFailureReason(DWORD error, const std::wstring& programPath);

}  // namespace orrelin
