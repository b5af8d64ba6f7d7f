#include "download_command.h"

#include <shlwapi.h>

#include "Korvex.h"
#include "KorvexLayout.h"
#include "handles.h"
#include "hresult.h"
#include "module_file_name.h"
#include "module_state.h"
#include "wizard_command_line.h"
#include "wizard_launch.h"

namespace orrelin {
namespace {

// Whether the wizard stood beside this library at the latest check in this process: the fast
// answer may not look for it, since that would touch a file.
enum : LONG { kWizardUnknown = 0, kWizardPresent = 1, kWizardAbsent = 2 };
LONG g_wizardSeen = kWizardUnknown;

}  // namespace

HRESULT SingleSelectedPath(IShellItemArray* items, std::wstring& path)
{
    if (items == nullptr) return E_INVALIDARG;
    DWORD count = 0;
    if (FAILED(items->GetCount(&count)) || count != 1) return E_INVALIDARG;
    ComPtr<IShellItem> item;
    if (FAILED(items->GetItemAt(0, item.put())) || !item) return E_INVALIDARG;
    wchar_t* name = nullptr;
    if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &name)) || name == nullptr) return E_INVALIDARG;
    const UniqueCoTaskMemory owner(name);
    if (*name == L'\0') return E_INVALIDARG;
    path = name;
    return S_OK;
}

CommandVisibility VisibilityFromMemory(const std::wstring& path)
{
    switch (KorvexRememberedValidity(path.c_str())) {
    case 0:
        return CommandVisibility::kHidden;
    case 1:
        return InterlockedCompareExchange(&g_wizardSeen, 0, 0) == kWizardPresent ? CommandVisibility::kShown
                                                                                 : CommandVisibility::kUnknown;
    default:
        return CommandVisibility::kUnknown;
    }
}

CommandVisibility VisibilityByCheck(const std::wstring& path)
{
    const bool wizard = !GetWizardPath().empty();
    InterlockedExchange(&g_wizardSeen, wizard ? kWizardPresent : kWizardAbsent);
    if (!wizard) return CommandVisibility::kHidden;
    CStringX comment;
    return Korvex::IsDFUFileValid(path.c_str(), comment) ? CommandVisibility::kShown : CommandVisibility::kHidden;
}

size_t DownloadTargetCount()
{
    size_t count = 0;
    ForEachDownloadTarget([] { return true; }, [&](const DownloadTargetEntry&) { ++count; });
    return count;
}

HRESULT StartDownload(const DownloadTargetEntry& target, const std::wstring& file, HWND owner)
{
    // Where the classic menu finds the wizard. Should it have gone since the command was
    // shown, the start fails and the user is told so, naming this path.
    std::wstring moduleName;
    RETURN_IF_FAILED(GetModuleFileNameWhole(ThisModule(), moduleName));
    return StartWizard(DownloadEntryCommandLine(target, WizardPathBeside(moduleName), file), owner, false);
}

HWND SiteWindow(IUnknown* site) noexcept
{
    HWND window = nullptr;
    if (site == nullptr || FAILED(IUnknown_GetWindow(site, &window))) return nullptr;
    return window;
}

}  // namespace orrelin
