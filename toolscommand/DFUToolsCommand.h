// DFUToolsCommand: "DFU file tools" in Windows 11's first context menu, with the classic tools
// menu's commands of .dfu files under it: Extract firmware and Copy SHA-256 for one file,
// Compare for two. Explorer reaches it through the package that declares it for .dfu files.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include "class_factory.h"
#include "handles.h"

class RegistrationScope;

// {6C13E1E5-7B27-4C32-BD58-89F04DCDB02B}
extern const CLSID CLSID_DFUToolsCommand;

class DFUToolsCommand : public CComObjectRootEx<CComMultiThreadModel>,
                        public CComCoClass<DFUToolsCommand, &CLSID_DFUToolsCommand>,
                        public IExplorerCommand,
                        public IObjectWithSite {
public:
    DFUToolsCommand() = default;
    DFUToolsCommand(const DFUToolsCommand&) = delete;
    DFUToolsCommand& operator=(const DFUToolsCommand&) = delete;

    static const InterfaceMapEntry* GetInterfaceMap() noexcept;
    // The class alone: as a verb of a file type it would show under the classic menu too.
    static HRESULT WINAPI UpdateRegistry(BOOL doRegister) noexcept;
    static HRESULT UpdateRegistryIn(const RegistrationScope& scope, BOOL doRegister) noexcept;

    // IExplorerCommand
    STDMETHOD(GetTitle)(IShellItemArray* items, LPWSTR* name) override;
    STDMETHOD(GetIcon)(IShellItemArray* items, LPWSTR* icon) override;
    STDMETHOD(GetToolTip)(IShellItemArray* items, LPWSTR* tip) override;
    STDMETHOD(GetCanonicalName)(GUID* name) override;
    STDMETHOD(GetState)(IShellItemArray* items, BOOL okToBeSlow, EXPCMDSTATE* state) override;
    STDMETHOD(Invoke)(IShellItemArray* items, IBindCtx* context) override;
    STDMETHOD(GetFlags)(EXPCMDFLAGS* flags) override;
    STDMETHOD(EnumSubCommands)(IEnumExplorerCommand** commands) override;

    // IObjectWithSite
    STDMETHOD(SetSite)(IUnknown* site) override;
    STDMETHOD(GetSite)(REFIID iid, void** site) override;

private:
    orrelin::ComPtr<IUnknown> m_site;
};
