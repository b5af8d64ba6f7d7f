#include "shell_selection.h"

#include <shlobj.h>

#include "registered_library.h"

namespace orrelin::test {

ComPtr<IShellItemArray> ShellItemArrayOf(const std::vector<std::wstring>& paths)
{
    std::vector<PIDLIST_ABSOLUTE> lists;
    bool parsed = true;
    for (const std::wstring& path : paths) {
        lists.push_back(ILCreateFromPathW(path.c_str()));
        parsed = parsed && lists.back() != nullptr;
    }
    ComPtr<IShellItemArray> items;
    if (parsed && !lists.empty() &&
        FAILED(SHCreateShellItemArrayFromIDLists(static_cast<UINT>(lists.size()),
                                                 const_cast<PCIDLIST_ABSOLUTE_ARRAY>(lists.data()), items.put())))
        items.reset();
    for (PIDLIST_ABSOLUTE list : lists) ILFree(list);
    return items;
}

std::map<std::wstring, std::string> FolderListing(const std::wstring& folder)
{
    std::map<std::wstring, std::string> found;
    WIN32_FIND_DATAW data;
    const HANDLE search = FindFirstFileW((folder + L"*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return found;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        std::string bytes;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            const HANDLE file =
                CreateFileW((folder + name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            char buffer[65536];
            DWORD count = 0;
            while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof buffer, &count, nullptr) && count > 0)
                bytes.append(buffer, count);
            if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        }
        found[name] = bytes;
    } while (FindNextFileW(search, &data));
    FindClose(search);
    return found;
}

void RemoveFolderTree(const std::wstring& folder)
{
    for (const auto& entry : FolderListing(folder)) {
        const std::wstring path = folder + entry.first;
        if ((GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            RemoveFolderTree(path + L"\\");
        } else {
            DeleteFileW(path.c_str());
        }
    }
    RemoveDirectoryW(folder.c_str());
}

bool WaitUntilUnloadable(const std::wstring& library, DWORD milliseconds)
{
    using CanUnload = HRESULT(STDAPICALLTYPE*)();
    const auto canUnload = ProcAs<CanUnload>(GetModuleHandleW(library.c_str()), "DllCanUnloadNow");
    if (canUnload == nullptr) return false;
    for (DWORD waited = 0;; waited += 50) {
        if (canUnload() == S_OK) return true;
        if (waited >= milliseconds) return false;
        const DWORD until = GetTickCount() + 50;
        do {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
            Sleep(10);
        } while (static_cast<LONG>(until - GetTickCount()) > 0);
    }
}

}  // namespace orrelin::test
