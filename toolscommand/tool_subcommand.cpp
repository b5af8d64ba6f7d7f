#include "tool_subcommand.h"

#include <shlwapi.h>

#include "failure_trace.h"
#include "hresult.h"
#include "module_state.h"
#include "tool_selection.h"

using orrelin::ComPtr;
using orrelin::GuardComBoundary;
using orrelin::ModuleStateGuard;

const InterfaceMapEntry* ToolSubCommand::GetInterfaceMap() noexcept
{
    static const InterfaceMapEntry map[] = {
        {&IID_IExplorerCommand, FaceOffset<IExplorerCommand, ToolSubCommand>(), kPlainFaceRow},
        {&IID_IObjectWithSite, FaceOffset<IObjectWithSite, ToolSubCommand>(), kPlainFaceRow},
        {nullptr, 0, 0},
    };
    return map;
}

HRESULT ToolSubCommand::Create(orrelin::ToolCommand command, IUnknown* site, IExplorerCommand** entry)
{
    *entry = nullptr;
    auto* instance = NewObject<CComObject<ToolSubCommand>>();
    if (instance == nullptr) return E_OUTOFMEMORY;
    ComPtr<IExplorerCommand> created;
    RETURN_IF_FAILED(QueryNewObject(instance, IID_IExplorerCommand, created.put_void()));
    instance->m_command = command;
    instance->SetSite(site);
    *entry = created.detach();
    return S_OK;
}

STDMETHODIMP ToolSubCommand::GetTitle(IShellItemArray*, LPWSTR* name)
{
    if (name == nullptr) return TRACE_FAILURE(E_POINTER);
    *name = nullptr;
    return TRACE_FAILURE(GuardComBoundary([&] {
        ModuleStateGuard guard;
        return SHStrDupW(orrelin::ToolText(m_command).c_str(), name);
    }));
}

STDMETHODIMP ToolSubCommand::GetIcon(IShellItemArray*, LPWSTR* icon)
{
    // The classic menu's entries have no pictures either.
    if (icon != nullptr) *icon = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ToolSubCommand::GetToolTip(IShellItemArray*, LPWSTR* tip)
{
    if (tip != nullptr) *tip = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ToolSubCommand::GetCanonicalName(GUID* name)
{
    if (name != nullptr) *name = GUID_NULL;
    return E_NOTIMPL;
}

STDMETHODIMP ToolSubCommand::GetState(IShellItemArray* items, BOOL, EXPCMDSTATE* state)
{
    // Decided by the names alone, so the quick question gets the full answer.
    return TRACE_FAILURE(GuardComBoundary([&] { return orrelin::ToolEntryState(items, {m_command}, state); }));
}

STDMETHODIMP ToolSubCommand::Invoke(IShellItemArray* items, IBindCtx*)
{
    return TRACE_FAILURE(GuardComBoundary([&] {
        ModuleStateGuard guard;
        return orrelin::InvokeTool(m_command, items, m_site.get());
    }));
}

STDMETHODIMP ToolSubCommand::GetFlags(EXPCMDFLAGS* flags)
{
    if (flags == nullptr) return TRACE_FAILURE(E_POINTER);
    *flags = ECF_DEFAULT;
    return S_OK;
}

STDMETHODIMP ToolSubCommand::EnumSubCommands(IEnumExplorerCommand** commands)
{
    if (commands != nullptr) *commands = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ToolSubCommand::SetSite(IUnknown* site)
{
    if (site != nullptr) site->AddRef();
    m_site = ComPtr<IUnknown>::Attach(site);
    return S_OK;
}

STDMETHODIMP ToolSubCommand::GetSite(REFIID iid, void** site)
{
    if (site == nullptr) return TRACE_FAILURE(E_POINTER);
    *site = nullptr;
    if (!m_site) return E_FAIL;
    return m_site->QueryInterface(iid, site);
}
