#include "DFUExplorerCommand.h"

#include <shlwapi.h>

#include <string>
#include <vector>

#include "download_command.h"
#include "download_subcommands.h"
#include "failure_trace.h"
#include "hresult.h"
#include "module.h"
#include "module_file_name.h"
#include "module_state.h"
#include "registration_scope.h"
#include "resource.h"

using orrelin::CommandVisibility;
using orrelin::ComPtr;
using orrelin::GuardComBoundary;
using orrelin::ModuleStateGuard;

const CLSID CLSID_DFUExplorerCommand = {0xB7519896, 0xB511, 0x4AD6, {0x97, 0x93, 0x39, 0xC9, 0x18, 0x47, 0xC1, 0x69}};

const InterfaceMapEntry* DFUExplorerCommand::GetInterfaceMap() noexcept
{
    static const InterfaceMapEntry map[] = {
        {&IID_IExplorerCommand, FaceOffset<IExplorerCommand, DFUExplorerCommand>(), kPlainFaceRow},
        {&IID_IObjectWithSite, FaceOffset<IObjectWithSite, DFUExplorerCommand>(), kPlainFaceRow},
        {nullptr, 0, 0},
    };
    return map;
}

STDMETHODIMP DFUExplorerCommand::GetTitle(IShellItemArray*, LPWSTR* name)
{
    if (name == nullptr) return TRACE_FAILURE(E_POINTER);
    *name = nullptr;
    return TRACE_FAILURE(GuardComBoundary([&] {
        ModuleStateGuard guard;
        return SHStrDupW(orrelin::DownloadEntryText(orrelin::DownloadTargetEntry{}).c_str(), name);
    }));
}

STDMETHODIMP DFUExplorerCommand::GetIcon(IShellItemArray*, LPWSTR* icon)
{
    if (icon == nullptr) return TRACE_FAILURE(E_POINTER);
    *icon = nullptr;
    return TRACE_FAILURE(GuardComBoundary([&] {
        std::wstring module;
        RETURN_IF_FAILED(orrelin::GetModuleFileNameWhole(orrelin::ThisModule(), module));
        // A negative number names the icon by its resource identifier, not its position.
        return SHStrDupW((module + L",-" + std::to_wstring(IDI_DOWNLOAD)).c_str(), icon);
    }));
}

STDMETHODIMP DFUExplorerCommand::GetToolTip(IShellItemArray*, LPWSTR* tip)
{
    // The help texts name the file, which would mean reading it on the shell's UI thread.
    if (tip != nullptr) *tip = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP DFUExplorerCommand::GetCanonicalName(GUID* name)
{
    if (name == nullptr) return TRACE_FAILURE(E_POINTER);
    *name = CLSID_DFUExplorerCommand;
    return S_OK;
}

STDMETHODIMP DFUExplorerCommand::GetState(IShellItemArray* items, BOOL okToBeSlow, EXPCMDSTATE* state)
{
    if (state == nullptr) return TRACE_FAILURE(E_POINTER);
    *state = ECS_HIDDEN;
    return TRACE_FAILURE(GuardComBoundary([&] {
        ModuleStateGuard guard;
        std::wstring path;
        if (FAILED(orrelin::SingleSelectedPath(items, path))) return S_OK;
        // Asked on the shell's UI thread first: answer from memory, or have it ask again
        // where it may wait for the disk.
        const CommandVisibility visibility =
            okToBeSlow ? orrelin::VisibilityByCheck(path) : orrelin::VisibilityFromMemory(path);
        if (visibility == CommandVisibility::kUnknown) return E_PENDING;
        *state = visibility == CommandVisibility::kShown ? ECS_ENABLED : ECS_HIDDEN;
        return S_OK;
    }));
}

STDMETHODIMP DFUExplorerCommand::Invoke(IShellItemArray* items, IBindCtx*)
{
    // Reached only without subcommands: the default target is the one there is.
    return TRACE_FAILURE(GuardComBoundary([&] {
        ModuleStateGuard guard;
        std::wstring path;
        RETURN_IF_FAILED(orrelin::SingleSelectedPath(items, path));
        return orrelin::StartDownload(orrelin::DownloadTargetEntry{}, path, orrelin::SiteWindow(m_site.get()));
    }));
}

STDMETHODIMP DFUExplorerCommand::GetFlags(EXPCMDFLAGS* flags)
{
    if (flags == nullptr) return TRACE_FAILURE(E_POINTER);
    *flags = ECF_DEFAULT;
    return TRACE_FAILURE(GuardComBoundary([&] {
        if (orrelin::DownloadTargetCount() > 1) *flags = ECF_HASSUBCOMMANDS;
        return S_OK;
    }));
}

STDMETHODIMP DFUExplorerCommand::EnumSubCommands(IEnumExplorerCommand** commands)
{
    if (commands == nullptr) return TRACE_FAILURE(E_POINTER);
    *commands = nullptr;
    return TRACE_FAILURE(GuardComBoundary([&] {
        std::vector<ComPtr<IExplorerCommand>> entries;
        HRESULT hr = S_OK;
        orrelin::ForEachDownloadTarget([&] { return SUCCEEDED(hr); },
                                       [&](const orrelin::DownloadTargetEntry& target) {
                                           ComPtr<IExplorerCommand> entry;
                                           hr = DownloadSubCommand::Create(target, m_site.get(), entry.put());
                                           if (SUCCEEDED(hr)) entries.push_back(std::move(entry));
                                       });
        RETURN_IF_FAILED(hr);
        return DownloadSubCommands::Create(std::move(entries), 0, commands);
    }));
}

STDMETHODIMP DFUExplorerCommand::SetSite(IUnknown* site)
{
    if (site != nullptr) site->AddRef();
    m_site = ComPtr<IUnknown>::Attach(site);
    return S_OK;
}

STDMETHODIMP DFUExplorerCommand::GetSite(REFIID iid, void** site)
{
    if (site == nullptr) return TRACE_FAILURE(E_POINTER);
    *site = nullptr;
    if (!m_site) return E_FAIL;
    return m_site->QueryInterface(iid, site);
}

HRESULT WINAPI DFUExplorerCommand::UpdateRegistry(BOOL doRegister) noexcept
{
    return UpdateRegistryIn(RegistrationScope::Machine(), doRegister);
}

HRESULT DFUExplorerCommand::UpdateRegistryIn(const RegistrationScope& scope, BOOL doRegister) noexcept
{
    return g_currentModule->UpdateRegistryFromScriptIn(scope, IDR_DFUEXPLORERCOMMAND, doRegister, nullptr);
}
