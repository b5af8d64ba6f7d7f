#include "DFUToolsCommand.h"

#include <shlwapi.h>

#include <vector>

#include "download_subcommands.h"
#include "failure_trace.h"
#include "hresult.h"
#include "module.h"
#include "module_state.h"
#include "registration_scope.h"
#include "resource.h"
#include "string_table.h"
#include "tool_selection.h"
#include "tool_subcommand.h"

using orrelin::ComPtr;
using orrelin::GuardComBoundary;
using orrelin::ModuleStateGuard;
using orrelin::ToolCommand;

const CLSID CLSID_DFUToolsCommand = {0x6C13E1E5, 0x7B27, 0x4C32, {0xBD, 0x58, 0x89, 0xF0, 0x4D, 0xCD, 0xB0, 0x2B}};

namespace {

// The entries under the command, in the classic tools menu's order.
constexpr ToolCommand kEntries[] = {ToolCommand::kExtract, ToolCommand::kCopySha256, ToolCommand::kCompare};

}  // namespace

const InterfaceMapEntry* DFUToolsCommand::GetInterfaceMap() noexcept
{
    static const InterfaceMapEntry map[] = {
        {&IID_IExplorerCommand, FaceOffset<IExplorerCommand, DFUToolsCommand>(), kPlainFaceRow},
        {&IID_IObjectWithSite, FaceOffset<IObjectWithSite, DFUToolsCommand>(), kPlainFaceRow},
        {nullptr, 0, 0},
    };
    return map;
}

STDMETHODIMP DFUToolsCommand::GetTitle(IShellItemArray*, LPWSTR* name)
{
    if (name == nullptr) return TRACE_FAILURE(E_POINTER);
    *name = nullptr;
    return TRACE_FAILURE(GuardComBoundary([&] {
        ModuleStateGuard guard;
        return SHStrDupW(orrelin::LoadResString(IDS_TOOLS_COMMAND).c_str(), name);
    }));
}

STDMETHODIMP DFUToolsCommand::GetIcon(IShellItemArray*, LPWSTR* icon)
{
    if (icon != nullptr) *icon = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP DFUToolsCommand::GetToolTip(IShellItemArray*, LPWSTR* tip)
{
    if (tip != nullptr) *tip = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP DFUToolsCommand::GetCanonicalName(GUID* name)
{
    if (name == nullptr) return TRACE_FAILURE(E_POINTER);
    *name = CLSID_DFUToolsCommand;
    return S_OK;
}

STDMETHODIMP DFUToolsCommand::GetState(IShellItemArray* items, BOOL, EXPCMDSTATE* state)
{
    // Shown when an entry under it would show; the names decide, so no file is read.
    return TRACE_FAILURE(GuardComBoundary([&] {
        return orrelin::ToolEntryState(items, {kEntries[0], kEntries[1], kEntries[2]}, state);
    }));
}

STDMETHODIMP DFUToolsCommand::Invoke(IShellItemArray*, IBindCtx*)
{
    // The shell opens the entries under it instead.
    return E_NOTIMPL;
}

STDMETHODIMP DFUToolsCommand::GetFlags(EXPCMDFLAGS* flags)
{
    if (flags == nullptr) return TRACE_FAILURE(E_POINTER);
    *flags = ECF_HASSUBCOMMANDS;
    return S_OK;
}

STDMETHODIMP DFUToolsCommand::EnumSubCommands(IEnumExplorerCommand** commands)
{
    if (commands == nullptr) return TRACE_FAILURE(E_POINTER);
    *commands = nullptr;
    return TRACE_FAILURE(GuardComBoundary([&] {
        // All of them: the shell asks each entry's state with the selection, which this
        // question does not get.
        std::vector<ComPtr<IExplorerCommand>> entries;
        for (ToolCommand command : kEntries) {
            ComPtr<IExplorerCommand> entry;
            RETURN_IF_FAILED(ToolSubCommand::Create(command, m_site.get(), entry.put()));
            entries.push_back(std::move(entry));
        }
        return DownloadSubCommands::Create(std::move(entries), 0, commands);
    }));
}

STDMETHODIMP DFUToolsCommand::SetSite(IUnknown* site)
{
    if (site != nullptr) site->AddRef();
    m_site = ComPtr<IUnknown>::Attach(site);
    return S_OK;
}

STDMETHODIMP DFUToolsCommand::GetSite(REFIID iid, void** site)
{
    if (site == nullptr) return TRACE_FAILURE(E_POINTER);
    *site = nullptr;
    if (!m_site) return E_FAIL;
    return m_site->QueryInterface(iid, site);
}

HRESULT WINAPI DFUToolsCommand::UpdateRegistry(BOOL doRegister) noexcept
{
    return UpdateRegistryIn(RegistrationScope::Machine(), doRegister);
}

HRESULT DFUToolsCommand::UpdateRegistryIn(const RegistrationScope& scope, BOOL doRegister) noexcept
{
    return g_currentModule->UpdateRegistryFromScriptIn(scope, IDR_DFUTOOLSCOMMAND, doRegister, nullptr);
}
