#include "DFUToolsMenu.h"

#include "background_work.h"
#include "compare_window.h"
#include "failure_trace.h"
#include "hresult.h"
#include "make_dialog.h"
#include "module.h"
#include "module_state.h"
#include "registration_scope.h"
#include "resource.h"
#include "selection.h"
#include "string_table.h"
#include "tool_commands.h"

#include <memory>

using orrelin::BackgroundJob;
using orrelin::GuardComBoundary;
using orrelin::ModuleStateGuard;
using orrelin::ToolCommand;
using orrelin::WorkProgress;

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

std::wstring NameOf(const std::wstring& path)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

BackgroundJob JobFor(ToolCommand command, const std::vector<std::wstring>& paths, HWND owner, bool quiet)
{
    BackgroundJob job;
    job.owner = owner;
    job.quiet = quiet;
    const std::wstring first = paths[0];
    switch (command) {
    case ToolCommand::kMakeDfu: {
        job.title = orrelin::LoadResString(IDS_TOOLS_MAKE_TITLE);
        auto request = std::make_shared<orrelin::MakeRequest>();
        job.before = [paths, request](HWND dialogOwner) {
            return orrelin::ShowMakeDfuDialog(dialogOwner, paths, *request) == S_OK;
        };
        job.work = [request](WorkProgress& progress, std::wstring& error) {
            return orrelin::MakeDfuFile(*request, progress, error);
        };
        break;
    }
    case ToolCommand::kExtract:
        job.title = orrelin::LoadResString(IDS_TOOLS_EXTRACT_TITLE);
        job.work = [first, owner, quiet, title = job.title](WorkProgress& progress, std::wstring& error) {
            // Without leave to ask, a file that is not intact is not taken apart.
            const orrelin::ConfirmDamaged confirm = [&](const std::wstring& reason) {
                if (quiet) return false;
                const std::wstring text = orrelin::FormatResString(IDS_TOOLS_DAMAGED_CONFIRM, {NameOf(first), reason});
                return MessageBoxW(owner, text.c_str(), title.c_str(), MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) ==
                       IDYES;
            };
            std::wstring folder;
            return orrelin::ExtractFirmware(first, confirm, progress, folder, error);
        };
        break;
    case ToolCommand::kCopySha256:
        job.title = orrelin::LoadResString(IDS_TOOLS_HASH_TITLE);
        job.work = [first](WorkProgress& progress, std::wstring& error) {
            std::wstring digest;
            RETURN_IF_FAILED(orrelin::HashFile(first, progress, digest, error));
            return orrelin::PutOnClipboard(digest, error);
        };
        break;
    case ToolCommand::kCompare: {
        job.title = orrelin::LoadResString(IDS_TOOLS_COMPARE_TITLE);
        const std::wstring second = paths[1];
        auto text = std::make_shared<std::wstring>();
        job.work = [first, second, text](WorkProgress& progress, std::wstring& error) {
            return orrelin::CompareFiles(first, second, progress, *text, error);
        };
        const std::wstring caption =
            orrelin::FormatResString(IDS_TOOLS_COMPARE_CAPTION, {NameOf(first), NameOf(second)});
        job.afterwards = [caption, text](HWND windowOwner) { orrelin::ShowCompareWindow(windowOwner, caption, *text); };
        break;
    }
    }
    return job;
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
        // The make's values come from the user alone: without leave to ask, nothing is made.
        if (quiet && command == ToolCommand::kMakeDfu) return HRESULT_FROM_WIN32(ERROR_CANCELLED);
        return orrelin::StartBackgroundWork(JobFor(command, m_paths, info->hwnd, quiet));
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
