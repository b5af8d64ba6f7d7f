// DFUToolsMenu: the second context-menu handler of the dfufile class, with the commands that
// take a .dfu file apart, copy its SHA-256 and compare two files. Each command's work runs
// off Explorer's thread.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "class_factory.h"
#include "tools_menu.h"

class RegistrationScope;

// {65BEA47A-ACF5-4577-922F-280646AC6C5D}
extern const CLSID CLSID_DFUToolsMenu;

class DFUToolsMenu : public CComObjectRootEx<CComSingleThreadModel>,
                     public CComCoClass<DFUToolsMenu, &CLSID_DFUToolsMenu>,
                     public IShellExtInit,
                     public IContextMenu {
public:
    DFUToolsMenu() = default;
    DFUToolsMenu(const DFUToolsMenu&) = delete;
    DFUToolsMenu& operator=(const DFUToolsMenu&) = delete;

    static const InterfaceMapEntry* GetInterfaceMap() noexcept;
    static HRESULT WINAPI UpdateRegistry(BOOL doRegister) noexcept;
    static HRESULT UpdateRegistryIn(const RegistrationScope& scope, BOOL doRegister) noexcept;

    // IShellExtInit
    STDMETHOD(Initialize)(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY progIdKey) override;

    // IContextMenu
    STDMETHOD(QueryContextMenu)(HMENU menu, UINT index, UINT firstId, UINT lastId, UINT flags) override;
    STDMETHOD(InvokeCommand)(CMINVOKECOMMANDINFO* info) override;
    STDMETHOD(GetCommandString)(UINT_PTR offset, UINT type, UINT* reserved, CHAR* buffer, UINT size) override;

private:
    std::vector<std::wstring> m_paths;
    std::vector<orrelin::ToolCommand> m_added;
};
