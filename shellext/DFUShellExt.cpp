#include "DFUShellExt.h"

#include "download_menu.h"
#include "failure_trace.h"
#include "help_text.h"
#include "wizard_launch.h"
#include "hresult.h"
#include "infotip.h"
#include "module.h"
#include "resource.h"
#include "module_state.h"
#include "selection.h"
#include "registration_scope.h"

using orrelin::GuardComBoundary;
using orrelin::ModuleStateGuard;

const InterfaceMapEntry* DFUShellExt::GetInterfaceMap() noexcept
{
    static const InterfaceMapEntry map[] = {
        {&IID_IDFUShellExt, FaceOffset<IDFUShellExt, DFUShellExt>(), kPlainFaceRow},
        {&IID_IDispatch, FaceOffset<IDFUShellExt, DFUShellExt>(), kPlainFaceRow},
        {&IID_IShellExtInit, FaceOffset<IShellExtInit, DFUShellExt>(), kPlainFaceRow},
        {&IID_IContextMenu, FaceOffset<IContextMenu, DFUShellExt>(), kPlainFaceRow},
        {&IID_IPersistFile, FaceOffset<IPersistFile, DFUShellExt>(), kPlainFaceRow},
        {&IID_IQueryInfo, FaceOffset<IQueryInfo, DFUShellExt>(), kPlainFaceRow},
        {nullptr, 0, 0},
    };
    return map;
}

STDMETHODIMP DFUShellExt::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY)
{
    return TRACE_FAILURE(GuardComBoundary([&] {
        ModuleStateGuard guard;
        return orrelin::ReadSingleSelectedFile(data, m_selectedPath);
    }));
}

STDMETHODIMP DFUShellExt::QueryContextMenu(HMENU menu, UINT index, UINT firstId, UINT lastId, UINT flags)
{
    return TRACE_FAILURE(GuardComBoundary([&] {
        ModuleStateGuard guard;
        return orrelin::BuildDownloadMenu(m_selectedPath, m_commandLines, m_helpTexts, menu, index, firstId, lastId,
                                          flags);
    }));
}

STDMETHODIMP DFUShellExt::InvokeCommand(CMINVOKECOMMANDINFO* info)
{
    return TRACE_FAILURE(GuardComBoundary([&] {
        ModuleStateGuard guard;
        return orrelin::LaunchDownloadEntry(m_commandLines, info);
    }));
}

STDMETHODIMP DFUShellExt::GetCommandString(UINT_PTR offset, UINT type, UINT*, CHAR* buffer, UINT size)
{
    return TRACE_FAILURE(GuardComBoundary([&] {
        ModuleStateGuard guard;
        return orrelin::CopyHelpText(m_helpTexts, offset, type, buffer, size);
    }));
}

STDMETHODIMP DFUShellExt::GetClassID(CLSID*)
{
    return E_NOTIMPL;
}

STDMETHODIMP DFUShellExt::IsDirty()
{
    return E_NOTIMPL;
}

STDMETHODIMP DFUShellExt::Load(LPCOLESTR fileName, DWORD)
{
    return TRACE_FAILURE(GuardComBoundary([&] {
        ModuleStateGuard guard;
        m_selectedPath = fileName != nullptr ? fileName : L"";
        return S_OK;
    }));
}

STDMETHODIMP DFUShellExt::Save(LPCOLESTR, BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP DFUShellExt::SaveCompleted(LPCOLESTR)
{
    return E_NOTIMPL;
}

STDMETHODIMP DFUShellExt::GetCurFile(LPOLESTR*)
{
    return E_NOTIMPL;
}

STDMETHODIMP DFUShellExt::GetInfoTip(DWORD, WCHAR** tip)
{
    // The shell never passes null; a caller that does gets an answer, not a crash.
    if (tip == nullptr) return TRACE_FAILURE(E_POINTER);
    *tip = nullptr;
    return TRACE_FAILURE(GuardComBoundary([&] {
        ModuleStateGuard guard;
        return orrelin::WriteInfoTip(m_selectedPath, tip);
    }));
}

STDMETHODIMP DFUShellExt::GetInfoFlags(DWORD*)
{
    return E_NOTIMPL;
}

HRESULT WINAPI DFUShellExt::UpdateRegistry(BOOL doRegister) noexcept
{
    return UpdateRegistryIn(RegistrationScope::Machine(), doRegister);
}

HRESULT DFUShellExt::UpdateRegistryIn(const RegistrationScope& scope, BOOL doRegister) noexcept
{
    return g_currentModule->UpdateRegistryFromScriptIn(scope, IDR_DFUSHELLEXT, doRegister, nullptr);
}
