#include "tool_selection.h"

#include <algorithm>

#include "download_command.h"
#include "handles.h"
#include "hresult.h"
#include "tool_jobs.h"

namespace orrelin {

HRESULT SelectedPaths(IShellItemArray* items, std::vector<std::wstring>& paths)
{
    paths.clear();
    if (items == nullptr) return E_INVALIDARG;
    DWORD count = 0;
    if (FAILED(items->GetCount(&count)) || count == 0) return E_INVALIDARG;
    for (DWORD i = 0; i < count; ++i) {
        ComPtr<IShellItem> item;
        if (FAILED(items->GetItemAt(i, item.put())) || !item) return E_INVALIDARG;
        wchar_t* name = nullptr;
        if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &name)) || name == nullptr) return E_INVALIDARG;
        const UniqueCoTaskMemory owner(name);
        if (*name == L'\0') return E_INVALIDARG;
        paths.emplace_back(name);
    }
    return S_OK;
}

bool SelectionOffers(IShellItemArray* items, ToolCommand command)
{
    std::vector<std::wstring> paths;
    if (FAILED(SelectedPaths(items, paths))) return false;
    const std::vector<ToolCommand> offered = ToolCommandsFor(paths);
    return std::find(offered.begin(), offered.end(), command) != offered.end();
}

HRESULT ToolEntryState(IShellItemArray* items, std::initializer_list<ToolCommand> offered, EXPCMDSTATE* state)
{
    if (state == nullptr) return E_POINTER;
    *state = ECS_HIDDEN;
    for (ToolCommand command : offered)
        if (SelectionOffers(items, command)) *state = ECS_ENABLED;
    return S_OK;
}

HRESULT InvokeTool(ToolCommand command, IShellItemArray* items, IUnknown* site)
{
    std::vector<std::wstring> paths;
    RETURN_IF_FAILED(SelectedPaths(items, paths));
    return StartToolCommand(command, paths, SiteWindow(site), false);
}

}  // namespace orrelin
