// The entries under the Windows 11 command when there is more than one download target:
// one command per target, and the enumeration the shell walks to list them. Neither is
// registered; the command creates them for the shell.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <vector>

#include "class_factory.h"
#include "download_targets.h"
#include "handles.h"

class DownloadSubCommand : public CComObjectRootEx<CComMultiThreadModel>,
                           public IExplorerCommand,
                           public IObjectWithSite {
public:
    DownloadSubCommand() = default;
    DownloadSubCommand(const DownloadSubCommand&) = delete;
    DownloadSubCommand& operator=(const DownloadSubCommand&) = delete;

    static const InterfaceMapEntry* GetInterfaceMap() noexcept;
    // A new command for `target`, sited where its parent is; its IExplorerCommand face.
    static HRESULT Create(const orrelin::DownloadTargetEntry& target, IUnknown* site, IExplorerCommand** command);

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
    orrelin::DownloadTargetEntry m_target;
    orrelin::ComPtr<IUnknown> m_site;
};

class DownloadSubCommands : public CComObjectRootEx<CComMultiThreadModel>, public IEnumExplorerCommand {
public:
    DownloadSubCommands() = default;
    DownloadSubCommands(const DownloadSubCommands&) = delete;
    DownloadSubCommands& operator=(const DownloadSubCommands&) = delete;

    static const InterfaceMapEntry* GetInterfaceMap() noexcept;
    // An enumeration of `commands` from position `next`; its IEnumExplorerCommand face.
    static HRESULT Create(std::vector<orrelin::ComPtr<IExplorerCommand>> commands, size_t next,
                          IEnumExplorerCommand** enumeration);

    // IEnumExplorerCommand
    STDMETHOD(Next)(ULONG count, IExplorerCommand** commands, ULONG* fetched) override;
    STDMETHOD(Skip)(ULONG count) override;
    STDMETHOD(Reset)() override;
    STDMETHOD(Clone)(IEnumExplorerCommand** enumeration) override;

private:
    std::vector<orrelin::ComPtr<IExplorerCommand>> m_commands;
    size_t m_next = 0;
};
