#include "win_bench_support.h"

#include <psapi.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "bench_stats.h"
#include "module_file_name.h"
#include "path.h"

namespace orrelin::bench {

double Seconds()
{
    static const double frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return static_cast<double>(value.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / frequency;
}

void Fail(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::fprintf(stderr, "bench (%s): ", ArchName());
    std::vfprintf(stderr, format, arguments);
    std::fprintf(stderr, "\n");
    va_end(arguments);
    std::exit(1);
}

void FailIfFailed(HRESULT hr, const char* what)
{
    if (FAILED(hr)) Fail("%s failed (0x%08lX)", what, static_cast<unsigned long>(hr));
}

const char* ArchName()
{
    return sizeof(void*) == 8 ? "x86_64" : "i686";
}

std::string Narrow(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(size > 0 ? static_cast<size_t>(size) : 1, '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &narrow[0], size, nullptr, nullptr);
    narrow.resize(narrow.size() - 1);
    return narrow;
}

std::uint64_t FileSizeOf(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) Fail("%s: not found", Narrow(path).c_str());
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::wstring ProgramFolder()
{
    std::wstring name;
    FailIfFailed(GetModuleFileNameWhole(nullptr, name), "GetModuleFileNameW");
    return SplitPath(name).folder;
}

void SelectionDataObject(const std::wstring& path, IDataObject** data)
{
    PIDLIST_ABSOLUTE item = nullptr;
    FailIfFailed(SHParseDisplayName(path.c_str(), nullptr, &item, 0, nullptr), "SHParseDisplayName");
    ComPtr<IShellFolder> parent;
    PCUITEMID_CHILD child = nullptr;
    const HRESULT bound = SHBindToParent(item, IID_IShellFolder, parent.put_void(), &child);
    HRESULT hr = bound;
    if (SUCCEEDED(hr))
        hr = parent->GetUIObjectOf(nullptr, 1, &child, IID_IDataObject, nullptr, reinterpret_cast<void**>(data));
    CoTaskMemFree(item);
    FailIfFailed(hr, "the shell's data object for the selection");
}

MenuRun RightClick(IShellExtInit* handler, IDataObject* selection)
{
    constexpr UINT kFirstId = 1;
    constexpr UINT kLastId = 0x7FFF;
    ComPtr<IContextMenu> menu;
    FailIfFailed(handler->QueryInterface(IID_IContextMenu, menu.put_void()), "QueryInterface(IContextMenu)");
    HMENU popup = CreatePopupMenu();
    wchar_t help[1024];

    MenuRun run;
    const double start = Seconds();
    HRESULT hr = handler->Initialize(nullptr, selection, nullptr);
    if (SUCCEEDED(hr)) hr = menu->QueryContextMenu(popup, 0, kFirstId, kLastId, CMF_NORMAL);
    const UINT entries = SUCCEEDED(hr) ? HRESULT_CODE(hr) : 0;
    bool allHelp = true;
    for (UINT offset = 0; SUCCEEDED(hr) && offset < entries; ++offset) {
        help[0] = L'\0';
        hr = menu->GetCommandString(offset, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(help), 1024);
        allHelp = allHelp && help[0] != L'\0';
    }
    run.seconds = Seconds() - start;

    const int shown = GetMenuItemCount(popup);
    DestroyMenu(popup);
    FailIfFailed(hr, "the right-click (Initialize, QueryContextMenu, GetCommandString)");
    if (entries == 0 || shown != static_cast<int>(entries) || !allHelp)
        Fail("the menu has %u entries (%d shown), %s help texts", entries, shown,
             allHelp ? "all with" : "not all with");
    run.entries = entries;
    return run;
}

double Hover(IPersistFile* handler, const std::wstring& path, const std::wstring& mustContain)
{
    ComPtr<IQueryInfo> query;
    FailIfFailed(handler->QueryInterface(IID_IQueryInfo, query.put_void()), "QueryInterface(IQueryInfo)");
    WCHAR* tip = nullptr;
    const double start = Seconds();
    HRESULT hr = handler->Load(path.c_str(), STGM_READ);
    if (SUCCEEDED(hr)) hr = query->GetInfoTip(QITIPF_DEFAULT, &tip);
    const double seconds = Seconds() - start;
    FailIfFailed(hr, "the info tip (Load, GetInfoTip)");
    const bool named = tip != nullptr && std::wcsstr(tip, mustContain.c_str()) != nullptr;
    CoTaskMemFree(tip);
    if (!named) Fail("the info tip does not name \"%s\"", Narrow(mustContain).c_str());
    return seconds;
}

std::uint64_t PeakWorkingSet()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return counters.PeakWorkingSetSize;
}

std::string Megabytes(std::uint64_t bytes)
{
    return Fixed(static_cast<double>(bytes) / (1024.0 * 1024.0), 1) + " MiB";
}

}  // namespace orrelin::bench
