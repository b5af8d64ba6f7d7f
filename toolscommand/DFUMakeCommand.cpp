#include "DFUMakeCommand.h"

#include <shlwapi.h>

#include "failure_trace.h"
#include "hresult.h"
#include "module.h"
#include "module_state.h"
#include "registration_scope.h"
#include "resource.h"
#include "tool_selection.h"

using orrelin::ComPtr;
using orrelin::GuardComBoundary;
using orrelin::ModuleStateGuard;
using orrelin::ToolCommand;

const CLSID CLSID_DFUMakeCommand = {0xB737F20E, 0x416C, 0x4C0B, {0xA2, 0xD5, 0x07, 0x1A, 0xF9, 0x58, 0x42, 0x7B}};

const InterfaceMapEntry* DFUMakeCommand::GetInterfaceMap() noexcept
{
    static const InterfaceMapEntry map[] = {
        {&IID_IExplorerCommand, FaceOffset<IExplorerCommand, DFUMakeCommand>(), kPlainFaceRow},
        {&IID_IObjectWithSite, FaceOffset<IObjectWithSite, DFUMakeCommand>(), kPlainFaceRow},
        {nullptr, 0, 0},
    };
    return map;
}

STDMETHODIMP DFUMakeCommand::GetTitle(IShellItemArray*, LPWSTR* name)
{
    if (name == nullptr) return TRACE_FAILURE(E_POINTER);
    *name = nullptr;
    return TRACE_FAILURE(GuardComBoundary([&] {
        ModuleStateGuard guard;
        return SHStrDupW(orrelin::ToolText(ToolCommand::kMakeDfu).c_str(), name);
    }));
}

STDMETHODIMP DFUMakeCommand::GetIcon(IShellItemArray*, LPWSTR* icon)
{
    if (icon != nullptr) *icon = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP DFUMakeCommand::GetToolTip(IShellItemArray*, LPWSTR* tip)
{
    if (tip != nullptr) *tip = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP DFUMakeCommand::GetCanonicalName(GUID* name)
{
    if (name == nullptr) return TRACE_FAILURE(E_POINTER);
    *name = CLSID_DFUMakeCommand;
    return S_OK;
}

STDMETHODIMP DFUMakeCommand::GetState(IShellItemArray* items, BOOL, EXPCMDSTATE* state)
{
    // Decided by the names alone, so the quick question gets the full answer.
    return TRACE_FAILURE(
        GuardComBoundary([&] { return orrelin::ToolEntryState(items, {ToolCommand::kMakeDfu}, state); }));
}

STDMETHODIMP DFUMakeCommand::Invoke(IShellItemArray* items, IBindCtx*)
{
    return TRACE_FAILURE(GuardComBoundary([&] {
        ModuleStateGuard guard;
        return orrelin::InvokeTool(ToolCommand::kMakeDfu, items, m_site.get());
    }));
}

STDMETHODIMP DFUMakeCommand::GetFlags(EXPCMDFLAGS* flags)
{
    if (flags == nullptr) return TRACE_FAILURE(E_POINTER);
    *flags = ECF_DEFAULT;
    return S_OK;
}

STDMETHODIMP DFUMakeCommand::EnumSubCommands(IEnumExplorerCommand** commands)
{
    if (commands != nullptr) *commands = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP DFUMakeCommand::SetSite(IUnknown* site)
{
    if (site != nullptr) site->AddRef();
    m_site = ComPtr<IUnknown>::Attach(site);
    return S_OK;
}

STDMETHODIMP DFUMakeCommand::GetSite(REFIID iid, void** site)
{
    if (site == nullptr) return TRACE_FAILURE(E_POINTER);
    *site = nullptr;
    if (!m_site) return E_FAIL;
    return m_site->QueryInterface(iid, site);
}

HRESULT WINAPI DFUMakeCommand::UpdateRegistry(BOOL doRegister) noexcept
{
    return UpdateRegistryIn(RegistrationScope::Machine(), doRegister);
}

HRESULT DFUMakeCommand::UpdateRegistryIn(const RegistrationScope& scope, BOOL doRegister) noexcept
{
    return g_currentModule->UpdateRegistryFromScriptIn(scope, IDR_DFUMAKECOMMAND, doRegister, nullptr);
}
