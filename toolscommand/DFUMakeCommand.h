// DFUMakeCommand: "Make DFU file..." in Windows 11's first context menu on Intel HEX,
// S-record and binary files, doing what the classic tools menu's entry does. Explorer reaches
// it through the package that declares it for those file types.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include "class_factory.h"
#include "handles.h"

class RegistrationScope;

// {B737F20E-416C-4C0B-A2D5-071AF958427B}
extern const CLSID CLSID_DFUMakeCommand;

class DFUMakeCommand : public CComObjectRootEx<CComMultiThreadModel>,
                       public CComCoClass<DFUMakeCommand, &CLSID_DFUMakeCommand>,
                       public IExplorerCommand,
                       public IObjectWithSite {
public:
    DFUMakeCommand() = default;
    DFUMakeCommand(const DFUMakeCommand&) = delete;
    DFUMakeCommand& operator=(const DFUMakeCommand&) = delete;

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
