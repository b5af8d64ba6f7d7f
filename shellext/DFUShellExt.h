// DFUShellExt: the one component class the shell talks to, as the info tip handler of .dfu
// files and the context-menu handler of the dfufile class.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "Orrelin_i.h"
#include "class_factory.h"
#include "dispatch.h"
#include "string_list.h"

class DFUShellExt : public CComObjectRootEx<CComSingleThreadModel>,
                    public CComCoClass<DFUShellExt, &CLSID_DFUShellExt>,
                    public IDispatchImpl<IDFUShellExt, &IID_IDFUShellExt, &LIBID_ORRELINLib, 1, 0, CComTypeInfoHolder>,
                    public IShellExtInit,
                    public IContextMenu,
                    public IPersistFile,
                    public IQueryInfo {
public:
    DFUShellExt() = default;
    DFUShellExt(const DFUShellExt&) = delete;
    DFUShellExt& operator=(const DFUShellExt&) = delete;

    // Faces in map order; IUnknown is answered from the first.
    static const InterfaceMapEntry* GetInterfaceMap() noexcept;
    // Runs the class's registry script in the given direction, for the machine.
    static HRESULT WINAPI UpdateRegistry(BOOL doRegister) noexcept;
    // The same in `scope`.
    static HRESULT UpdateRegistryIn(const RegistrationScope& scope, BOOL doRegister) noexcept;

    // IShellExtInit
    STDMETHOD(Initialize)(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY progIdKey) override;

    // IContextMenu
    STDMETHOD(QueryContextMenu)(HMENU menu, UINT index, UINT firstId, UINT lastId, UINT flags) override;
    STDMETHOD(InvokeCommand)(CMINVOKECOMMANDINFO* info) override;
    STDMETHOD(GetCommandString)(UINT_PTR offset, UINT type, UINT* reserved, CHAR* buffer, UINT size) override;

    // IPersistFile
    STDMETHOD(GetClassID)(CLSID* classId) override;
    STDMETHOD(IsDirty)() override;
    STDMETHOD(Load)(LPCOLESTR fileName, DWORD mode) override;
    STDMETHOD(Save)(LPCOLESTR fileName, BOOL remember) override;
    STDMETHOD(SaveCompleted)(LPCOLESTR fileName) override;
    STDMETHOD(GetCurFile)(LPOLESTR* fileName) override;

    // IQueryInfo
    STDMETHOD(GetInfoTip)(DWORD flags, WCHAR** tip) override;
    STDMETHOD(GetInfoFlags)(DWORD* flags) override;

    // The file Initialize kept, for the tests that check which one it keeps.
    const std::wstring& SelectedFilePath() const noexcept { return m_selectedPath; }

private:
    std::wstring m_selectedPath;
    orrelin::StringList m_commandLines;
    orrelin::StringList m_helpTexts;
};
