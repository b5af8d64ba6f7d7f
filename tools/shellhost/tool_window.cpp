#include "tool_window.h"

#include <shlobj.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>

#include "handles.h"
#include "png_file.h"
#include "resource.h"

using orrelin::ComPtr;
using orrelin::UniqueCoTaskMemory;
using orrelin::UniqueGdiObject;
using orrelin::UniqueHKey;
using orrelin::UniqueMemoryDc;
using orrelin::UniqueMenu;

namespace {

constexpr UINT kFirstId = 1;
constexpr UINT kLastId = 0x7FFF;
// The comparison is worked out before its window opens; a large file takes a while.
constexpr DWORD kWindowTimeout = 30000;
constexpr DWORD kCloseTimeout = 10000;

void Fail(const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    fwprintf(stderr, L"dfushell: ");
    vfwprintf(stderr, format, arguments);
    fwprintf(stderr, L"\n");
    va_end(arguments);
}

std::wstring ClassesDefault(const std::wstring& key)
{
    wchar_t value[512];
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return std::wstring();
    return value;
}

std::wstring FolderOf(const std::wstring& path)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring ExtensionOf(const std::wstring& path)
{
    const std::size_t dot = path.find_last_of(L".\\/");
    return dot == std::wstring::npos || path[dot] != L'.' ? std::wstring() : path.substr(dot);
}

// The shell's own data object for files of one folder, as Explorer hands a selection to
// context-menu handlers.
HRESULT SelectionDataObject(const std::vector<std::wstring>& files, IDataObject** data, PIDLIST_ABSOLUTE* folderId)
{
    *folderId = nullptr;
    std::vector<UniqueCoTaskMemory> items;
    std::vector<PCUITEMID_CHILD> children;
    ComPtr<IShellFolder> parent;
    for (const std::wstring& file : files) {
        PIDLIST_ABSOLUTE itemId = nullptr;
        HRESULT hr = SHParseDisplayName(file.c_str(), nullptr, &itemId, 0, nullptr);
        if (FAILED(hr)) return hr;
        items.emplace_back(itemId);
        PCUITEMID_CHILD child = nullptr;
        if (!parent) {
            hr = SHBindToParent(itemId, IID_IShellFolder, parent.put_void(), &child);
            if (FAILED(hr)) return hr;
        } else {
            child = ILFindLastID(itemId);
        }
        children.push_back(child);
    }
    const HRESULT hr = parent->GetUIObjectOf(nullptr, static_cast<UINT>(children.size()), children.data(),
                                             IID_IDataObject, nullptr, reinterpret_cast<void**>(data));
    if (SUCCEEDED(hr)) {
        *folderId = ILClone(static_cast<PIDLIST_ABSOLUTE>(items[0].get()));
        ILRemoveLastID(*folderId);
    }
    return hr;
}

// Where Explorer looks for the context-menu handlers of a file type: under its ProgID and
// under SystemFileAssociations, beside whoever owns the association.
std::vector<std::wstring> HandlerKeys(const std::wstring& extension)
{
    std::vector<std::wstring> keys;
    const std::wstring progId = ClassesDefault(extension);
    if (!progId.empty()) keys.push_back(progId + L"\\ShellEx\\ContextMenuHandlers");
    keys.push_back(L"SystemFileAssociations\\" + extension + L"\\ShellEx\\ContextMenuHandlers");
    return keys;
}

// A context-menu handler, initialised with the selection, whose menu offers `verb`.
struct OfferedCommand {
    ComPtr<IContextMenu> menu;
    UINT offset = 0;
    std::wstring server;
};

bool FindCommand(const std::vector<std::wstring>& files, const wchar_t* verb, OfferedCommand& found)
{
    for (const std::wstring& key : HandlerKeys(ExtensionOf(files[0]))) {
        UniqueHKey handlers;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, handlers.put()) != ERROR_SUCCESS) continue;
        wchar_t name[256];
        for (DWORD index = 0;; ++index) {
            DWORD length = 256;
            if (RegEnumKeyExW(handlers.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            std::wstring handler = ClassesDefault(key + L"\\" + name);
            if (handler.empty()) handler = name;
            CLSID classId;
            if (CLSIDFromString(const_cast<LPOLESTR>(handler.c_str()), &classId) != S_OK) continue;
            ComPtr<IShellExtInit> init;
            if (FAILED(CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, init.put_void())))
                continue;
            ComPtr<IDataObject> data;
            PIDLIST_ABSOLUTE folderIdList = nullptr;
            HRESULT hr = SelectionDataObject(files, reinterpret_cast<IDataObject**>(data.put_void()), &folderIdList);
            const UniqueCoTaskMemory folderId(folderIdList);
            if (SUCCEEDED(hr)) hr = init->Initialize(folderIdList, data.get(), nullptr);
            ComPtr<IContextMenu> menu;
            if (SUCCEEDED(hr)) hr = init->QueryInterface(IID_IContextMenu, menu.put_void());
            if (FAILED(hr)) continue;
            const UniqueMenu popup(CreatePopupMenu());
            hr = menu->QueryContextMenu(popup.get(), 0, kFirstId, kLastId, CMF_NORMAL);
            const UINT added = SUCCEEDED(hr) ? HRESULT_CODE(hr) : 0;
            for (UINT offset = 0; offset < added; ++offset) {
                wchar_t offered[128] = {};
                if (FAILED(menu->GetCommandString(offset, GCS_VERBW, nullptr, reinterpret_cast<char*>(offered), 128)))
                    continue;
                if (_wcsicmp(offered, verb) != 0) continue;
                found.menu = std::move(menu);
                found.offset = offset;
                found.server = ClassesDefault(L"CLSID\\" + handler + L"\\InprocServer32");
                return true;
            }
        }
    }
    return false;
}

// Waits as Explorer's thread waits: answering what other threads send or post to it (the
// shell's progress window counts on that).
void Pump(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        const DWORD passed = GetTickCount() - start;
        if (passed >= milliseconds) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - passed, QS_ALLINPUT);
    }
}

bool IsMakeDialog(HWND window)
{
    return GetDlgItem(window, IDC_MAKE_VENDOR) != nullptr && GetDlgItem(window, IDC_MAKE_OUTPUT) != nullptr;
}

// The comparison: a frame of its own (not a dialog, as the progress window is) around its text.
bool IsComparison(HWND window)
{
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    return std::wcscmp(className, L"#32770") != 0 && FindWindowExW(window, nullptr, L"Edit", nullptr) != nullptr;
}

struct Search {
    ToolWindow which;
    HWND found;
};

BOOL CALLBACK Visit(HWND window, LPARAM context)
{
    auto& search = *reinterpret_cast<Search*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    if (!(search.which == ToolWindow::kMakeDialog ? IsMakeDialog(window) : IsComparison(window))) return TRUE;
    search.found = window;
    return FALSE;
}

// What this process shows instead of the window looked for: a message box says why, in
// its static text.
BOOL CALLBACK ListWindow(HWND window, LPARAM)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    wchar_t className[64] = {}, caption[256] = {}, text[512] = {};
    GetClassNameW(window, className, 64);
    GetWindowTextW(window, caption, 256);
    fwprintf(stderr, L"  open instead: \"%ls\" (%ls)\n", caption, className);
    for (HWND label = nullptr; (label = FindWindowExW(window, label, L"Static", nullptr)) != nullptr;)
        if (GetWindowTextW(label, text, 512) > 0) fwprintf(stderr, L"    %ls\n", text);
    return TRUE;
}

// The command's window: opened by the work's own thread, so found from here by looking.
HWND WaitForToolWindow(ToolWindow which)
{
    const DWORD start = GetTickCount();
    for (;;) {
        Search search{which, nullptr};
        EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr || GetTickCount() - start > kWindowTimeout) return search.found;
        Pump(50);
    }
}

// Typed as a user would: the dialog sees each field change and checks it.
void FillMakeDialog(HWND dialog)
{
    SetDlgItemTextW(dialog, IDC_MAKE_VENDOR, L"0483");
    SetDlgItemTextW(dialog, IDC_MAKE_PRODUCT, L"DF11");
    SetDlgItemTextW(dialog, IDC_MAKE_RELEASE, L"0200");
    SendDlgItemMessageW(dialog, IDC_MAKE_PLAIN, BM_SETCHECK, BST_UNCHECKED, 0);
    SendDlgItemMessageW(dialog, IDC_MAKE_DFUSE, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_MAKE_DFUSE, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_MAKE_DFUSE)));
    SetDlgItemTextW(dialog, IDC_MAKE_TARGET_NAME, L"Internal Flash");
    SetDlgItemTextW(dialog, IDC_MAKE_ALTERNATE, L"0");
}

// The whole window, frame and caption included, as it was last drawn on screen.
std::vector<std::uint32_t> WindowPixels(HWND window, SIZE& size)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    size = {rect.right - rect.left, rect.bottom - rect.top};
    std::vector<std::uint32_t> pixels;
    if (size.cx <= 0 || size.cy <= 0) return pixels;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = -size.cy;  // rows from the top
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HDC drawn = GetWindowDC(window);
    UniqueMemoryDc copy(CreateCompatibleDC(drawn));
    UniqueGdiObject bitmap(CreateDIBSection(drawn, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!copy || !bitmap || bits == nullptr) {
        ReleaseDC(window, drawn);
        return pixels;
    }
    const HGDIOBJ old = SelectObject(copy.get(), bitmap.get());
    const BOOL copied = BitBlt(copy.get(), 0, 0, size.cx, size.cy, drawn, 0, 0, SRCCOPY);
    ReleaseDC(window, drawn);
    if (copied) {
        GdiFlush();
        const auto* from = static_cast<const std::uint32_t*>(bits);
        pixels.assign(from, from + std::size_t(size.cx) * std::size_t(size.cy));
        for (std::uint32_t& pixel : pixels) pixel &= 0xFFFFFF;
    }
    SelectObject(copy.get(), old);
    return pixels;
}

// The work's thread holds the library until it ends; it is over when the library says it
// may be unloaded.
bool WaitUntilUnloadable(const std::wstring& server)
{
    const HMODULE module = server.empty() ? nullptr : GetModuleHandleW(server.c_str());
    if (module == nullptr) return true;
    using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
    auto canUnload =
        reinterpret_cast<CanUnloadNow>(reinterpret_cast<void (*)()>(GetProcAddress(module, "DllCanUnloadNow")));
    const DWORD start = GetTickCount();
    while (canUnload != nullptr && canUnload() != S_OK) {
        if (GetTickCount() - start > kCloseTimeout) return false;
        Pump(50);
    }
    return true;
}

}  // namespace

int PictureToolWindow(ToolWindow which, const std::vector<std::wstring>& files, const std::wstring& png)
{
    const bool make = which == ToolWindow::kMakeDialog;
    const wchar_t* const verb = make ? L"Orrelin.MakeDfuFile" : L"Orrelin.Compare";
    for (const std::wstring& file : files) {
        if (_wcsicmp(FolderOf(file).c_str(), FolderOf(files[0]).c_str()) != 0) {
            Fail(L"%ls: the files of one selection must be in one folder", file.c_str());
            return 2;
        }
    }
    OfferedCommand command;
    if (!FindCommand(files, verb, command)) {
        Fail(L"no registered context-menu handler offers %ls for this selection", verb);
        return 2;
    }
    CMINVOKECOMMANDINFOEX invoke = {};
    invoke.cbSize = sizeof(invoke);
    invoke.fMask = CMIC_MASK_UNICODE;
    invoke.lpVerb = MAKEINTRESOURCEA(command.offset);
    invoke.lpVerbW = MAKEINTRESOURCEW(command.offset);
    invoke.nShow = SW_SHOWNORMAL;
    const HRESULT hr = command.menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&invoke));
    command.menu.reset();
    if (FAILED(hr)) {
        Fail(L"%ls could not be carried out (0x%08lX)", verb, static_cast<unsigned long>(hr));
        return 1;
    }
    const HWND window = WaitForToolWindow(which);
    if (window == nullptr) {
        Fail(L"%ls opened no window within %lu seconds", verb, kWindowTimeout / 1000);
        EnumWindows(ListWindow, 0);
        return 1;
    }
    if (make) FillMakeDialog(window);
    SetForegroundWindow(window);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    // The work's thread paints; give it the moment a screen takes to show what it drew.
    Pump(250);
    SIZE size = {};
    const std::vector<std::uint32_t> pixels = WindowPixels(window, size);
    wchar_t caption[256] = {};
    GetWindowTextW(window, caption, 256);
    // Closed as a user closes it: Cancel for the dialog, the frame's close box for the comparison.
    if (make)
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, IDCANCEL)));
    else
        PostMessageW(window, WM_CLOSE, 0, 0);
    const bool ended = WaitUntilUnloadable(command.server);
    if (pixels.empty() || !WritePng(png, size.cx, size.cy, pixels)) {
        Fail(L"%ls: the window could not be read back or the picture written", png.c_str());
        return 1;
    }
    wprintf(L"Window \"%ls\": %ldx%ld pixels in %ls\n", caption, size.cx, size.cy, png.c_str());
    if (!ended) {
        Fail(L"%ls: the command's work had not ended %lu seconds after its window was closed", verb,
             kCloseTimeout / 1000);
        return 1;
    }
    return 0;
}
