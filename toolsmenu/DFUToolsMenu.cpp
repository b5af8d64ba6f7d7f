#include "DFUToolsMenu.h"

#include "failure_trace.h"
#include "hresult.h"
#include "module.h"
#include "module_state.h"
#include "registration_scope.h"
#include "resource.h"
#include "selection.h"
#include "tool_jobs.h"

using orrelin::GuardComBoundary;
using orrelin::ModuleStateGuard;
using orrelin::ToolCommand;

const CLSID CLSID_DFUToolsMenu = {0x65BEA47A, 0xACF5, 0x4577, {0x92, 0x2F, 0x28, 0x06, 0x46, 0xAC, 0x6C, 0x5D}};

namespace {

// Deletes the key only when nothing at all is in it, neither a subkey nor a value: whatever
// another program keeps there, even a value alone, stays.
bool DeleteIfEmpty(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD subkeys = 1, values = 1;
    const LONG asked = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                                        nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return asked == ERROR_SUCCESS && subkeys == 0 && values == 0 && RegDeleteKeyW(root, path.c_str()) == ERROR_SUCCESS;
}

// The script keeps the firmware types' keys, which other programs share; once our entry is
// gone, those it alone had made would stay behind empty.
void RemoveEmptiedFirmwareKeys(HKEY classesRoot)
{
    for (const wchar_t* type : orrelin::kFirmwareTypes) {
        const std::wstring typeKey = std::wstring(L"SystemFileAssociations\\") + type;
        if (DeleteIfEmpty(classesRoot, typeKey + L"\\ShellEx\\ContextMenuHandlers") &&
            DeleteIfEmpty(classesRoot, typeKey + L"\\ShellEx"))
            DeleteIfEmpty(classesRoot, typeKey);
    }
    DeleteIfEmpty(classesRoot, L"SystemFileAssociations");
}

}  // namespace

const InterfaceMapEntry* DFUToolsMenu::GetInterfaceMap() noexcept
{
    static const InterfaceMapEntry map[] = {
        {&IID_IShellExtInit, FaceOffset<IShellExtInit, DFUToolsMenu>(), kPlainFaceRow},
        {&IID_IContextMenu, FaceOffset<IContextMenu, DFUToolsMenu>(), kPlainFaceRow},
        {nullptr, 0, 0},
    };
    return map;
}

STDMETHODIMP DFUToolsMenu::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY)
{
    return TRACE_FAILURE(GuardComBoundary([&] {
        ModuleStateGuard guard;
        return orrelin::ReadSelectedFiles(data, m_paths);
    }));
}

STDMETHODIMP DFUToolsMenu::QueryContextMenu(HMENU menu, UINT index, UINT firstId, UINT lastId, UINT flags)
{
    return TRACE_FAILURE(GuardComBoundary([&] {
        ModuleStateGuard guard;
        return orrelin::BuildToolsMenu(orrelin::ToolCommandsFor(m_paths), menu, index, firstId, lastId, flags, m_added);
    }));
}

STDMETHODIMP DFUToolsMenu::InvokeCommand(CMINVOKECOMMANDINFO* info)
{
    return TRACE_FAILURE(GuardComBoundary([&] {
        ModuleStateGuard guard;
        // A second menu built only to carry out the first one's choice may name the verb
        // without having been asked for its entries: the selection decides what it offers.
        if (m_added.empty()) m_added = orrelin::ToolCommandsFor(m_paths);
        ToolCommand command;
        RETURN_IF_FAILED(orrelin::ResolveToolCommand(m_added, info, command));
        const bool quiet = (info->fMask & CMIC_MASK_FLAG_NO_UI) != 0;
        return orrelin::StartToolCommand(command, m_paths, info->hwnd, quiet);
    }));
}

STDMETHODIMP DFUToolsMenu::GetCommandString(UINT_PTR offset, UINT type, UINT*, CHAR* buffer, UINT size)
{
    return TRACE_FAILURE(GuardComBoundary([&] {
        ModuleStateGuard guard;
        return orrelin::CopyToolCommandString(m_added, m_paths, offset, type, buffer, size);
    }));
}

HRESULT WINAPI DFUToolsMenu::UpdateRegistry(BOOL doRegister) noexcept
{
    return UpdateRegistryIn(RegistrationScope::Machine(), doRegister);
}

HRESULT DFUToolsMenu::UpdateRegistryIn(const RegistrationScope& scope, BOOL doRegister) noexcept
{
    const HRESULT result = g_currentModule->UpdateRegistryFromScriptIn(scope, IDR_DFUTOOLSMENU, doRegister, nullptr);
    if (SUCCEEDED(result) && !doRegister) RemoveEmptiedFirmwareKeys(scope.ClassesRoot());
    return result;
}
