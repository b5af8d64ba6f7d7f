// What the tests of shell commands share: a selection as the shell hands it over (a shell
// item array), a site that names the owning window, a folder's files and their bytes, and
// waiting until a library's work is done.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <map>
#include <string>
#include <vector>

#include "handles.h"

namespace orrelin::test {

// A site as Explorer gives one: it names the window that owns the menu.
class WindowSite : public IOleWindow {
public:
    explicit WindowSite(HWND window) : m_window(window) {}
    STDMETHOD(QueryInterface)(REFIID iid, void** object) override
    {
        *object = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleWindow) ? this : nullptr;
        return *object != nullptr ? S_OK : E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return 2; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD(GetWindow)(HWND* window) override
    {
        *window = m_window;
        return S_OK;
    }
    STDMETHOD(ContextSensitiveHelp)(BOOL) override { return E_NOTIMPL; }

private:
    HWND m_window;
};

// A shell item array of existing files, in order; null when one cannot be parsed.
ComPtr<IShellItemArray> ShellItemArrayOf(const std::vector<std::wstring>& paths);

// Names in `folder` (with its closing backslash) and their bytes ("" for a folder).
std::map<std::wstring, std::string> FolderListing(const std::wstring& folder);

// Removes `folder` (with its closing backslash) and all it holds.
void RemoveFolderTree(const std::wstring& folder);

// True once `library`'s DllCanUnloadNow answers S_OK (no object, no work left), pumping
// this thread's messages while it waits.
bool WaitUntilUnloadable(const std::wstring& library, DWORD milliseconds);

}  // namespace orrelin::test
