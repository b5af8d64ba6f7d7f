// One entry under "DFU file tools" in Windows 11's first menu: a tools command of the classic
// tools menu, shown for the selections that menu offers it for. Not registered; the parent
// command creates it for the shell.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include "class_factory.h"
#include "handles.h"
#include "tools_menu.h"

class ToolSubCommand : public CComObjectRootEx<CComMultiThreadModel>, public IExplorerCommand, public IObjectWithSite {
public:
    ToolSubCommand() = default;
    ToolSubCommand(const ToolSubCommand&) = delete;
    ToolSubCommand& operator=(const ToolSubCommand&) = delete;

    static const InterfaceMapEntry* GetInterfaceMap() noexcept;
    // A new entry for `command`, sited where its parent is; its IExplorerCommand face.
    static HRESULT Create(orrelin::ToolCommand command, IUnknown* site, IExplorerCommand** entry);

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
    orrelin::ToolCommand m_command = orrelin::ToolCommand::kExtract;
    orrelin::ComPtr<IUnknown> m_site;
};
