#include "download_subcommands.h"

#include <shlwapi.h>

#include <utility>

#include "download_command.h"
#include "failure_trace.h"
#include "hresult.h"
#include "module_state.h"

using orrelin::ComPtr;
using orrelin::GuardComBoundary;
using orrelin::ModuleStateGuard;

const InterfaceMapEntry* DownloadSubCommand::GetInterfaceMap() noexcept
{
    static const InterfaceMapEntry map[] = {
        {&IID_IExplorerCommand, FaceOffset<IExplorerCommand, DownloadSubCommand>(), kPlainFaceRow},
        {&IID_IObjectWithSite, FaceOffset<IObjectWithSite, DownloadSubCommand>(), kPlainFaceRow},
        {nullptr, 0, 0},
    };
    return map;
}

HRESULT DownloadSubCommand::Create(const orrelin::DownloadTargetEntry& target, IUnknown* site,
                                   IExplorerCommand** command)
{
    *command = nullptr;
    auto* instance = NewObject<CComObject<DownloadSubCommand>>();
    if (instance == nullptr) return E_OUTOFMEMORY;
    ComPtr<IExplorerCommand> created;
    RETURN_IF_FAILED(QueryNewObject(instance, IID_IExplorerCommand, created.put_void()));
    instance->m_target = target;  // the object now belongs to `created`, which frees it on a throw
    instance->SetSite(site);
    *command = created.detach();
    return S_OK;
}

STDMETHODIMP DownloadSubCommand::GetTitle(IShellItemArray*, LPWSTR* name)
{
    if (name == nullptr) return TRACE_FAILURE(E_POINTER);
    *name = nullptr;
    return TRACE_FAILURE(GuardComBoundary([&] {
        ModuleStateGuard guard;
        return SHStrDupW(orrelin::DownloadEntryText(m_target).c_str(), name);
    }));
}

STDMETHODIMP DownloadSubCommand::GetIcon(IShellItemArray*, LPWSTR* icon)
{
    // The classic menu's entries have no pictures either; the command above them has one.
    if (icon != nullptr) *icon = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP DownloadSubCommand::GetToolTip(IShellItemArray*, LPWSTR* tip)
{
    if (tip != nullptr) *tip = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP DownloadSubCommand::GetCanonicalName(GUID* name)
{
    if (name != nullptr) *name = GUID_NULL;
    return E_NOTIMPL;
}

STDMETHODIMP DownloadSubCommand::GetState(IShellItemArray*, BOOL, EXPCMDSTATE* state)
{
    // The command above decided whether the entries are offered at all.
    if (state == nullptr) return TRACE_FAILURE(E_POINTER);
    *state = ECS_ENABLED;
    return S_OK;
}

STDMETHODIMP DownloadSubCommand::Invoke(IShellItemArray* items, IBindCtx*)
{
    return TRACE_FAILURE(GuardComBoundary([&] {
        ModuleStateGuard guard;
        std::wstring path;
        RETURN_IF_FAILED(orrelin::SingleSelectedPath(items, path));
        return orrelin::StartDownload(m_target, path, orrelin::SiteWindow(m_site.get()));
    }));
}

STDMETHODIMP DownloadSubCommand::GetFlags(EXPCMDFLAGS* flags)
{
    if (flags == nullptr) return TRACE_FAILURE(E_POINTER);
    *flags = ECF_DEFAULT;
    return S_OK;
}

STDMETHODIMP DownloadSubCommand::EnumSubCommands(IEnumExplorerCommand** commands)
{
    if (commands != nullptr) *commands = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP DownloadSubCommand::SetSite(IUnknown* site)
{
    if (site != nullptr) site->AddRef();
    m_site = ComPtr<IUnknown>::Attach(site);
    return S_OK;
}

STDMETHODIMP DownloadSubCommand::GetSite(REFIID iid, void** site)
{
    if (site == nullptr) return TRACE_FAILURE(E_POINTER);
    *site = nullptr;
    if (!m_site) return E_FAIL;
    return m_site->QueryInterface(iid, site);
}

const InterfaceMapEntry* DownloadSubCommands::GetInterfaceMap() noexcept
{
    static const InterfaceMapEntry map[] = {
        {&IID_IEnumExplorerCommand, FaceOffset<IEnumExplorerCommand, DownloadSubCommands>(), kPlainFaceRow},
        {nullptr, 0, 0},
    };
    return map;
}

HRESULT DownloadSubCommands::Create(std::vector<ComPtr<IExplorerCommand>> commands, size_t next,
                                    IEnumExplorerCommand** enumeration)
{
    *enumeration = nullptr;
    auto* instance = NewObject<CComObject<DownloadSubCommands>>();
    if (instance == nullptr) return E_OUTOFMEMORY;
    instance->m_commands = std::move(commands);
    instance->m_next = next < instance->m_commands.size() ? next : instance->m_commands.size();
    return QueryNewObject(instance, IID_IEnumExplorerCommand, reinterpret_cast<void**>(enumeration));
}

STDMETHODIMP DownloadSubCommands::Next(ULONG count, IExplorerCommand** commands, ULONG* fetched)
{
    if (fetched != nullptr) *fetched = 0;
    if (commands == nullptr) return TRACE_FAILURE(E_POINTER);
    // One at a time, the enumeration protocol allows no count past 1 without `fetched`.
    if (count > 1 && fetched == nullptr) return TRACE_FAILURE(E_INVALIDARG);
    ULONG given = 0;
    while (given < count && m_next < m_commands.size()) {
        ComPtr<IExplorerCommand> command = m_commands[m_next++];
        commands[given++] = command.detach();
    }
    if (fetched != nullptr) *fetched = given;
    return given == count ? S_OK : S_FALSE;
}

STDMETHODIMP DownloadSubCommands::Skip(ULONG count)
{
    const size_t left = m_commands.size() - m_next;
    if (count > left) {
        m_next = m_commands.size();
        return S_FALSE;
    }
    m_next += count;
    return S_OK;
}

STDMETHODIMP DownloadSubCommands::Reset()
{
    m_next = 0;
    return S_OK;
}

STDMETHODIMP DownloadSubCommands::Clone(IEnumExplorerCommand** enumeration)
{
    if (enumeration == nullptr) return TRACE_FAILURE(E_POINTER);
    *enumeration = nullptr;
    return TRACE_FAILURE(GuardComBoundary([&] { return Create(m_commands, m_next, enumeration); }));
}
