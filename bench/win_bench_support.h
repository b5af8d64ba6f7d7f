// What the two Windows benchmarks share: a clock, COM pointers, the shell's own data
// object for a selected file, one timed right-click (menu and help texts), the process's
// working set, and the rows they print.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <string>

#include "handles.h"

namespace orrelin::bench {

double Seconds();

[[noreturn]] void Fail(const char* format, ...);
void FailIfFailed(HRESULT hr, const char* what);

const char* ArchName();
std::string Narrow(const std::wstring& text);
std::uint64_t FileSizeOf(const std::wstring& path);
// The folder of this program's file, with its closing backslash.
std::wstring ProgramFolder();

// The shell's data object for one file, as Explorer hands it to context-menu handlers.
void SelectionDataObject(const std::wstring& path, IDataObject** data);

// A right-click as Explorer makes it on a fresh handler: Initialize with the selection,
// QueryContextMenu into a popup menu, then the help text of every entry added (the shell
// asks for each as the pointer passes over it). Times only the handler's calls; fails the
// run unless every call succeeds and every entry has a help text.
struct MenuRun {
    double seconds = 0.0;
    UINT entries = 0;
};
MenuRun RightClick(IShellExtInit* handler, IDataObject* selection);

// A hover: IPersistFile::Load, then IQueryInfo::GetInfoTip; the tip is checked to name
// `mustContain` and freed. Times the two calls.
double Hover(IPersistFile* handler, const std::wstring& path, const std::wstring& mustContain);

std::uint64_t PeakWorkingSet();

std::string Megabytes(std::uint64_t bytes);

}  // namespace orrelin::bench
