// DFUExplorerCommand: the download entries in Windows 11's first context menu. Explorer
// reaches it through the package that declares it for .dfu files; it offers what the
// classic menu offers, built from the same targets, and starts the same wizard.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include "class_factory.h"
#include "handles.h"

class RegistrationScope;

// {B7519896-B511-4AD6-9793-39C91847C169}
extern const CLSID CLSID_DFUExplorerCommand;

class DFUExplorerCommand : public CComObjectRootEx<CComMultiThreadModel>,
                           public CComCoClass<DFUExplorerCommand, &CLSID_DFUExplorerCommand>,
                           public IExplorerCommand,
                           public IObjectWithSite {
public:
    DFUExplorerCommand() = default;
    DFUExplorerCommand(const DFUExplorerCommand&) = delete;
    DFUExplorerCommand& operator=(const DFUExplorerCommand&) = delete;

    static const InterfaceMapEntry* GetInterfaceMap() noexcept;
    // The class's registry script: the class alone. It is never a verb of the file type,
    // which would list the entries a second time under the classic menu.
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
