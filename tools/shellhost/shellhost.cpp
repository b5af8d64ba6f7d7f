// dfushell: does with a .dfu file what Explorer does, so the registered extension can be
// seen at work without Explorer. It finds the handlers through the registry as the shell
// does, creates them in this apartment-threaded thread, shows the info tip and the context
// menu with its help texts, and on request carries out one menu entry.
//
//   dfushell [--invoke N | --invoke-default] [--no-ui] FILE.dfu
//   dfushell --properties FILE.dfu
//   dfushell --preview FILE.dfu --png OUT.png [--size WxH]
//   dfushell --thumbnail FILE.dfu --png OUT.png [--size NxN]
//   dfushell --make-dialog FIRMWARE... --png OUT.png
//   dfushell --compare A.dfu B.dfu --png OUT.png
//
// --properties creates the property handler named for .dfu files, as Explorer's Details
// view does, hands it a stream on the file and prints every property of its store.
//
// --preview creates the preview handler named for .dfu files, as Explorer's preview pane
// does (in this process, where Windows runs it in its surrogate host), gives it a stream on
// the file and a window of WxH pixels (400x600 unless told), lets it draw and saves the
// window's pixels as a PNG file.
//
// --thumbnail creates the thumbnail provider named on the .dfu extension, as Explorer's
// thumbnail process does, gives it a stream on the file, asks for a picture N pixels wide
// (256 unless told) and saves it laid over a white background, as a light folder shows it.
//
// --make-dialog and --compare choose "Make DFU file..." or "Compare" from the context menu
// the registered handlers build for the selection (files of one folder), wait for the
// window the command opens, fill the dialog with example values (vendor 0483, product
// DF11, release 0200, DfuSe, target "Internal Flash"), save the window as a PNG file and
// close it as a user would; nothing is made.
//
// Exit codes: 0 done; 1 no handler answered; 2 usage, missing file or not registered;
// 3 the chosen entry could not be carried out.
#include <windows.h>
#include <shlobj.h>
#include <thumbcache.h>
#include <shlwapi.h>
#include <propsys.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "handles.h"
#include "png_file.h"
#include "preview_host.h"
#include "propdesc_schema.h"
#include "tool_window.h"

using orrelin::ComPtr;
using orrelin::UniqueCoTaskMemory;
using orrelin::UniqueHKey;
using orrelin::UniqueMenu;

namespace {

const wchar_t kInfoTipKey[] = L".dfu\\shellex\\{00021500-0000-0000-C000-000000000046}";
constexpr UINT kFirstId = 1;
constexpr UINT kLastId = 0x7FFF;

void Fail(const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    fwprintf(stderr, L"dfushell: ");
    vfwprintf(stderr, format, arguments);
    fwprintf(stderr, L"\n");
    va_end(arguments);
}

// The default value of HKCR\<key>, or empty when the key or value is absent.
std::wstring ClassesDefault(const std::wstring& key)
{
    wchar_t value[512];
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return std::wstring();
    return value;
}

std::wstring ServerPath(const std::wstring& classId)
{
    return ClassesDefault(L"CLSID\\" + classId + L"\\InprocServer32");
}

bool ParseClassId(const std::wstring& text, CLSID& classId)
{
    return !text.empty() && CLSIDFromString(const_cast<LPOLESTR>(text.c_str()), &classId) == S_OK;
}

std::wstring Indented(const std::wstring& text)
{
    std::wstring out = L"  ";
    for (wchar_t c : text) {
        out += c;
        if (c == L'\n') out += L"  ";
    }
    return out;
}

// The info tip: the handler named under .dfu\shellex\{IQueryInfo}, given the file by
// IPersistFile::Load, asked by IQueryInfo::GetInfoTip.
bool ShowInfoTip(const std::wstring& path, std::wstring& serverSeen)
{
    const std::wstring handler = ClassesDefault(kInfoTipKey);
    CLSID classId;
    if (!ParseClassId(handler, classId)) {
        Fail(L"no info tip handler is registered for .dfu files (HKEY_CLASSES_ROOT\\%ls)", kInfoTipKey);
        return false;
    }
    serverSeen = ServerPath(handler);
    ComPtr<IPersistFile> persist;
    HRESULT hr = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile, persist.put_void());
    if (FAILED(hr)) {
        Fail(L"the info tip handler %ls could not be created (0x%08lX); is it registered for this architecture?",
             handler.c_str(), static_cast<unsigned long>(hr));
        return false;
    }
    hr = persist->Load(path.c_str(), STGM_READ);
    ComPtr<IQueryInfo> query;
    if (SUCCEEDED(hr)) hr = persist->QueryInterface(IID_IQueryInfo, query.put_void());
    WCHAR* tipText = nullptr;
    if (SUCCEEDED(hr)) hr = query->GetInfoTip(QITIPF_DEFAULT, &tipText);
    const UniqueCoTaskMemory tip(tipText);
    if (FAILED(hr) || !tip) {
        Fail(L"the info tip handler gave no tip for this file (0x%08lX)", static_cast<unsigned long>(hr));
        return false;
    }
    wprintf(L"Info tip:\n%ls\n\n", Indented(tipText).c_str());
    return true;
}

// The shell's own data object for one file, as Explorer hands it to context-menu handlers.
HRESULT SelectionDataObject(const std::wstring& path, IDataObject** data, PIDLIST_ABSOLUTE* folderId)
{
    *folderId = nullptr;
    PIDLIST_ABSOLUTE itemId = nullptr;
    HRESULT hr = SHParseDisplayName(path.c_str(), nullptr, &itemId, 0, nullptr);
    if (FAILED(hr)) return hr;
    const UniqueCoTaskMemory item(itemId);
    ComPtr<IShellFolder> parent;
    PCUITEMID_CHILD child = nullptr;
    hr = SHBindToParent(itemId, IID_IShellFolder, parent.put_void(), &child);
    if (SUCCEEDED(hr))
        hr = parent->GetUIObjectOf(nullptr, 1, &child, IID_IDataObject, nullptr, reinterpret_cast<void**>(data));
    if (SUCCEEDED(hr)) {
        *folderId = ILClone(itemId);
        ILRemoveLastID(*folderId);
    }
    return hr;
}

struct MenuEntry {
    UINT id;
    std::wstring text;
    std::wstring help;
};

std::vector<MenuEntry> ReadMenu(HMENU menu, IContextMenu* handler, UINT firstId)
{
    std::vector<MenuEntry> entries;
    const int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        wchar_t text[512] = {};
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 512;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info)) continue;
        wchar_t help[1024] = {};
        handler->GetCommandString(info.wID - firstId, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(help), 1024);
        entries.push_back({info.wID, text, help});
    }
    return entries;
}

// The context menu: each handler under HKCR\<file class>\ShellEx\ContextMenuHandlers,
// initialised with the selection and asked for its entries. As in Explorer's one menu, each
// handler's identifiers follow the previous one's, and entry N is one entry of one handler.
int ShowMenu(const std::wstring& path, long invoke, bool noUi, std::wstring& serverSeen)
{
    const std::wstring fileClass = ClassesDefault(L".dfu");
    if (fileClass.empty()) {
        Fail(L".dfu has no file class (HKEY_CLASSES_ROOT\\.dfu); is the extension registered?");
        return 2;
    }
    const std::wstring handlersKey = fileClass + L"\\ShellEx\\ContextMenuHandlers";
    UniqueHKey handlers;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, handlersKey.c_str(), 0, KEY_READ, handlers.put()) != ERROR_SUCCESS) {
        Fail(L"no context-menu handlers are registered for %ls (HKEY_CLASSES_ROOT\\%ls)", fileClass.c_str(),
             handlersKey.c_str());
        return 2;
    }
    UniqueHKey progIdKey;
    RegOpenKeyExW(HKEY_CLASSES_ROOT, fileClass.c_str(), 0, KEY_READ, progIdKey.put());

    int status = 1;
    int handlersFound = 0;
    UINT firstId = kFirstId;
    bool invoked = false;
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        if (RegEnumKeyExW(handlers.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        // The handler's class is the key's default value, or the key's own name.
        std::wstring handler = ClassesDefault(handlersKey + L"\\" + name);
        CLSID classId;
        if (!ParseClassId(handler, classId)) {
            handler = name;
            if (!ParseClassId(handler, classId)) continue;
        }
        ++handlersFound;
        if (serverSeen.empty()) serverSeen = ServerPath(handler);
        ComPtr<IShellExtInit> init;
        HRESULT hr = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, init.put_void());
        if (FAILED(hr)) {
            Fail(L"the context-menu handler %ls (%ls) could not be created (0x%08lX)", name, handler.c_str(),
                 static_cast<unsigned long>(hr));
            continue;
        }
        ComPtr<IDataObject> data;
        PIDLIST_ABSOLUTE folderIdList = nullptr;
        hr = SelectionDataObject(path, reinterpret_cast<IDataObject**>(data.put_void()), &folderIdList);
        const UniqueCoTaskMemory folderId(folderIdList);
        if (SUCCEEDED(hr)) hr = init->Initialize(folderIdList, data.get(), progIdKey.get());
        ComPtr<IContextMenu> menuHandler;
        if (SUCCEEDED(hr)) hr = init->QueryInterface(IID_IContextMenu, menuHandler.put_void());
        if (FAILED(hr)) {
            Fail(L"the context-menu handler %ls did not accept the file (0x%08lX)", name,
                 static_cast<unsigned long>(hr));
            continue;
        }
        const UniqueMenu popup(CreatePopupMenu());
        const HMENU menu = popup.get();
        hr = menuHandler->QueryContextMenu(menu, 0, firstId, kLastId, CMF_NORMAL);
        const UINT added = SUCCEEDED(hr) ? HRESULT_CODE(hr) : 0;
        wprintf(L"Context menu from %ls: %u %ls\n", name, added, added == 1 ? L"entry" : L"entries");
        const auto entries = ReadMenu(menu, menuHandler.get(), firstId);
        const UINT base = firstId - kFirstId;
        firstId += added;
        for (const auto& entry : entries)
            wprintf(L"  [%u] %ls\n      %ls\n", entry.id, entry.text.c_str(), entry.help.c_str());
        // A later handler's entries do not undo an earlier entry's failure.
        if (!entries.empty() && status == 1) status = 0;

        if (invoke >= 0 && static_cast<UINT>(invoke) >= base && static_cast<UINT>(invoke) < base + added &&
            static_cast<UINT>(invoke) - base < entries.size()) {
            const UINT offset = static_cast<UINT>(invoke) - base;
            invoked = true;
            CMINVOKECOMMANDINFOEX command = {};
            command.cbSize = sizeof(command);
            command.fMask = CMIC_MASK_UNICODE | (noUi ? CMIC_MASK_FLAG_NO_UI : 0);
            command.lpVerb = MAKEINTRESOURCEA(offset);
            command.lpVerbW = MAKEINTRESOURCEW(offset);
            command.nShow = SW_SHOWNORMAL;
            hr = menuHandler->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&command));
            wprintf(L"\nInvoked [%u] %ls: 0x%08lX\n", entries[offset].id, entries[offset].text.c_str(),
                    static_cast<unsigned long>(hr));
            if (FAILED(hr)) status = 3;
        }
    }
    if (handlersFound == 0) {
        Fail(L"no context-menu handlers are registered for %ls (HKEY_CLASSES_ROOT\\%ls is empty)", fileClass.c_str(),
             handlersKey.c_str());
        return 2;
    }
    if (status == 1) Fail(L"no context-menu handler added entries for this file");
    if (invoke >= 0 && !invoked && status == 0) {
        Fail(L"there is no entry %ld", invoke);
        status = 3;
    }
    return status;
}

const wchar_t kPropertyHandlerKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PropertySystem\\PropertyHandlers\\.dfu";
// System properties a .dfu store may answer; the system's own schema cannot be read here.
const struct {
    PROPERTYKEY key;
    const wchar_t* name;
    const wchar_t* label;
} kSystemProperties[] = {
    {{{0xF29F85E0, 0x4FF9, 0x1068, {0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9}}, 6},
     L"System.Comment",
     L"Comments"},
};

std::wstring ValueText(const PROPVARIANT& value)
{
    switch (value.vt) {
    case VT_EMPTY:
        return L"(empty)";
    case VT_LPWSTR:
        return value.pwszVal;
    case VT_UI4:
        return std::to_wstring(value.ulVal);
    case VT_UI8:
        return std::to_wstring(value.uhVal.QuadPart);
    case VT_VECTOR | VT_LPWSTR: {
        std::wstring text;
        for (ULONG i = 0; i < value.calpwstr.cElems; ++i)
            text += (i == 0 ? L"" : L"; ") + std::wstring(value.calpwstr.pElems[i]);
        return text;
    }
    default:
        return L"(type " + std::to_wstring(value.vt) + L")";
    }
}

// The store: the handler named under PropertyHandlers\.dfu, initialised with a stream on
// the file (as the indexer's isolated process does, which never hands it a path).
bool ShowProperties(const std::wstring& path, std::wstring& serverSeen)
{
    wchar_t handler[64] = {};
    DWORD size = sizeof(handler);
    CLSID classId;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kPropertyHandlerKey, nullptr, RRF_RT_REG_SZ, nullptr, handler, &size) !=
            ERROR_SUCCESS ||
        !ParseClassId(handler, classId)) {
        Fail(L"no property handler is registered for .dfu files (HKEY_LOCAL_MACHINE\\%ls)", kPropertyHandlerKey);
        return false;
    }
    serverSeen = ServerPath(handler);
    ComPtr<IInitializeWithStream> initialize;
    HRESULT hr =
        CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IInitializeWithStream, initialize.put_void());
    if (FAILED(hr)) {
        Fail(L"the property handler %ls could not be created (0x%08lX)", handler, static_cast<unsigned long>(hr));
        return false;
    }
    ComPtr<IStream> stream;
    hr = SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, 0, FALSE, nullptr, stream.put());
    if (SUCCEEDED(hr)) hr = initialize->Initialize(stream.get(), STGM_READ);
    ComPtr<IPropertyStore> store;
    if (SUCCEEDED(hr)) hr = initialize->QueryInterface(IID_IPropertyStore, store.put_void());
    DWORD count = 0;
    if (SUCCEEDED(hr)) hr = store->GetCount(&count);
    if (FAILED(hr)) {
        Fail(L"the property handler gave no store for this file (0x%08lX)", static_cast<unsigned long>(hr));
        return false;
    }
    const std::wstring folder = serverSeen.substr(0, serverSeen.find_last_of(L'\\') + 1);
    const std::vector<SchemaProperty> schema = ReadPropertySchema(folder + L"Orrelin.propdesc");
    wprintf(L"Properties:\n");
    for (DWORD i = 0; i < count; ++i) {
        PROPERTYKEY key;
        PROPVARIANT value;
        PropVariantInit(&value);
        if (FAILED(store->GetAt(i, &key)) || FAILED(store->GetValue(key, &value))) continue;
        std::wstring name, label;
        for (const SchemaProperty& described : schema)
            if (IsEqualPropertyKey(described.key, key)) name = described.name, label = described.label;
        for (const auto& system : kSystemProperties)
            if (IsEqualPropertyKey(system.key, key)) name = system.name, label = system.label;
        if (name.empty()) {
            wchar_t text[64];
            StringFromGUID2(key.fmtid, text, 64);
            name = std::wstring(text) + L" " + std::to_wstring(key.pid);
        }
        wprintf(L"  %-24ls %-14ls %ls\n", name.c_str(), label.c_str(), ValueText(value).c_str());
        PropVariantClear(&value);
    }
    return true;
}

// The preview: the handler gets the stream, then the window, then draws; what it drew is
// read back from the window.
bool ShowPreview(const std::wstring& path, const std::wstring& png, SIZE size, std::wstring& serverSeen)
{
    const std::wstring handler = RegisteredPreviewHandler();
    CLSID classId;
    if (!ParseClassId(handler, classId)) {
        Fail(L"no preview handler is registered for .dfu files");
        return false;
    }
    serverSeen = ServerPath(handler);
    ComPtr<IPreviewHandler> preview;
    HRESULT hr = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IPreviewHandler, preview.put_void());
    if (FAILED(hr)) {
        Fail(L"the preview handler %ls could not be created (0x%08lX)", handler.c_str(),
             static_cast<unsigned long>(hr));
        return false;
    }
    PreviewPane pane(size);
    ComPtr<IInitializeWithStream> initialize;
    ComPtr<IStream> stream;
    hr = preview->QueryInterface(IID_IInitializeWithStream, initialize.put_void());
    if (SUCCEEDED(hr))
        hr = SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, 0, FALSE, nullptr, stream.put());
    if (SUCCEEDED(hr)) hr = initialize->Initialize(stream.get(), STGM_READ);
    stream.reset();
    const RECT client = pane.client();
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (SUCCEEDED(hr)) hr = preview->SetWindow(pane.window(), &client);
    if (SUCCEEDED(hr)) hr = preview->DoPreview();
    QueryPerformanceCounter(&end);
    if (FAILED(hr)) {
        Fail(L"the preview handler did not draw this file (0x%08lX)", static_cast<unsigned long>(hr));
        return false;
    }
    SIZE drawn = {};
    const std::vector<std::uint32_t> pixels = pane.Pixels(drawn);
    preview->Unload();
    if (pixels.empty() || !WritePng(png, drawn.cx, drawn.cy, pixels)) {
        Fail(L"%ls: the picture could not be read back or written", png.c_str());
        return false;
    }
    wprintf(L"Preview: %ldx%ld pixels in %ls (%.2f ms from DoPreview to the first complete paint)\n", drawn.cx,
            drawn.cy, png.c_str(), 1000.0 * double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
    return true;
}

// Not in every import library.
const IID kIThumbnailProvider = {0xE357FCCD, 0xA995, 0x4576, {0xB0, 0x1F, 0x23, 0x46, 0x30, 0x15, 0x4E, 0x96}};

// The thumbnail: the provider gets the stream, then is asked for one picture.
bool ShowThumbnail(const std::wstring& path, const std::wstring& png, int size, std::wstring& serverSeen)
{
    wchar_t entry[64] = {};
    DWORD bytes = sizeof entry;
    CLSID classId;
    if (RegGetValueW(HKEY_CLASSES_ROOT, L".dfu\\shellex\\{E357FCCD-A995-4576-B01F-234630154E96}", nullptr,
                     RRF_RT_REG_SZ, nullptr, entry, &bytes) != ERROR_SUCCESS ||
        !ParseClassId(entry, classId)) {
        Fail(L"no thumbnail provider is registered for .dfu files");
        return false;
    }
    serverSeen = ServerPath(entry);
    ComPtr<IThumbnailProvider> provider;
    HRESULT hr = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, kIThumbnailProvider, provider.put_void());
    ComPtr<IInitializeWithStream> initialize;
    ComPtr<IStream> stream;
    if (SUCCEEDED(hr)) hr = provider->QueryInterface(IID_IInitializeWithStream, initialize.put_void());
    if (SUCCEEDED(hr))
        hr = SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, 0, FALSE, nullptr, stream.put());
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
    if (SUCCEEDED(hr)) hr = initialize->Initialize(stream.get(), STGM_READ);
    if (SUCCEEDED(hr)) hr = provider->GetThumbnail(static_cast<UINT>(size), &bitmap, &alpha);
    if (FAILED(hr)) {
        Fail(L"the thumbnail provider did not draw this file (0x%08lX)", static_cast<unsigned long>(hr));
        return false;
    }
    DIBSECTION section = {};
    std::vector<std::uint32_t> pixels;
    if (GetObjectW(bitmap, sizeof section, &section) == sizeof section && section.dsBm.bmBitsPixel == 32) {
        const auto* bits = static_cast<const std::uint32_t*>(section.dsBm.bmBits);
        for (int i = 0; i < section.dsBm.bmWidth * section.dsBm.bmHeight; ++i) {
            // Premultiplied: the background shows through by what alpha leaves.
            const std::uint32_t pixel = bits[i];
            const std::uint32_t through = alpha == WTSAT_ARGB ? 255 - (pixel >> 24) : 0;
            pixels.push_back((std::min(255u, ((pixel >> 16) & 0xFF) + through) << 16) |
                             (std::min(255u, ((pixel >> 8) & 0xFF) + through) << 8) |
                             std::min(255u, (pixel & 0xFF) + through));
        }
    }
    const int width = section.dsBm.bmWidth;
    const int height = section.dsBm.bmHeight;
    DeleteObject(bitmap);
    if (pixels.empty() || !WritePng(png, width, height, pixels)) {
        Fail(L"%ls: the picture could not be read back or written", png.c_str());
        return false;
    }
    wprintf(L"Thumbnail: %dx%d pixels in %ls\n", width, height, png.c_str());
    return true;
}

// Whether the extension may be unloaded now that this host holds nothing of it.
void ReportUnload(const std::wstring& server)
{
    HMODULE module = server.empty() ? nullptr : GetModuleHandleW(server.c_str());
    if (module == nullptr) return;
    using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
    auto canUnload =
        reinterpret_cast<CanUnloadNow>(reinterpret_cast<void (*)()>(GetProcAddress(module, "DllCanUnloadNow")));
    if (canUnload != nullptr) wprintf(L"\nDllCanUnloadNow: %ls\n", canUnload() == S_OK ? L"S_OK" : L"S_FALSE");
}

}  // namespace

// dfushell --make-dialog FIRMWARE... --png OUT.png, dfushell --compare A.dfu B.dfu --png OUT.png
int ToolWindowMain(ToolWindow which, int argc, wchar_t** argv)
{
    std::vector<std::wstring> files;
    std::wstring png;
    bool usage = false;
    for (int i = 2; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (argument == L"--png" && i + 1 < argc && png.empty())
            png = argv[++i];
        else if (argument.rfind(L"--", 0) == 0)
            usage = true;
        else
            files.push_back(argument);
    }
    if (usage || png.empty() || files.empty() || (which == ToolWindow::kComparison && files.size() != 2)) {
        fwprintf(stderr,
                 L"usage: dfushell --make-dialog FIRMWARE... --png OUT.png\n"
                 L"       dfushell --compare A.dfu B.dfu --png OUT.png\n");
        return 2;
    }
    for (std::wstring& file : files) {
        wchar_t full[MAX_PATH * 4];
        const DWORD length = GetFullPathNameW(file.c_str(), MAX_PATH * 4, full, nullptr);
        if (length == 0 || length >= MAX_PATH * 4 || GetFileAttributesW(full) == INVALID_FILE_ATTRIBUTES) {
            Fail(L"%ls: no such file", file.c_str());
            return 2;
        }
        file = full;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        Fail(L"COM could not be started");
        return 2;
    }
    const int status = PictureToolWindow(which, files, png);
    CoUninitialize();
    return status;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc > 1 && std::wstring(argv[1]) == L"--make-dialog")
        return ToolWindowMain(ToolWindow::kMakeDialog, argc, argv);
    if (argc > 1 && std::wstring(argv[1]) == L"--compare") return ToolWindowMain(ToolWindow::kComparison, argc, argv);
    long invoke = -1;
    bool noUi = false;
    bool properties = false;
    bool preview = false;
    bool thumbnail = false;
    std::wstring png;
    SIZE size = {400, 600};
    std::wstring file;
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (argument == L"--invoke-default") {
            invoke = 0;
        } else if (argument == L"--invoke" && i + 1 < argc) {
            invoke = wcstol(argv[++i], nullptr, 10);
        } else if (argument == L"--properties") {
            properties = true;
        } else if (argument == L"--preview") {
            preview = true;
        } else if (argument == L"--thumbnail") {
            thumbnail = true;
            size = {256, 256};
        } else if (argument == L"--png" && i + 1 < argc) {
            png = argv[++i];
        } else if (argument == L"--size" && i + 1 < argc) {
            wchar_t* end = nullptr;
            size.cx = wcstol(argv[++i], &end, 10);
            size.cy = end != nullptr && (*end == L'x' || *end == L'X') ? wcstol(end + 1, &end, 10) : 0;
            if (end == nullptr || *end != L'\0' || size.cx <= 0 || size.cy <= 0 || size.cx > 8192 || size.cy > 8192)
                invoke = -2;
        } else if (argument == L"--no-ui") {
            noUi = true;
        } else if (file.empty() && argument.rfind(L"--", 0) != 0) {
            file = argument;
        } else {
            file.clear();
            break;
        }
    }
    if (file.empty() || invoke < -1 || (preview || thumbnail) == png.empty() || (preview && thumbnail)) {
        fwprintf(stderr,
                 L"usage: dfushell [--invoke N | --invoke-default] [--no-ui] FILE.dfu\n"
                 L"       dfushell --properties FILE.dfu\n"
                 L"       dfushell --preview FILE.dfu --png OUT.png [--size WxH]\n"
                 L"       dfushell --thumbnail FILE.dfu --png OUT.png [--size NxN]\n"
                 L"       dfushell --make-dialog FIRMWARE... --png OUT.png\n"
                 L"       dfushell --compare A.dfu B.dfu --png OUT.png\n");
        return 2;
    }
    wchar_t full[MAX_PATH * 4];
    const DWORD length = GetFullPathNameW(file.c_str(), MAX_PATH * 4, full, nullptr);
    if (length == 0 || length >= MAX_PATH * 4 || GetFileAttributesW(full) == INVALID_FILE_ATTRIBUTES) {
        Fail(L"%ls: no such file", file.c_str());
        return 2;
    }

    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        Fail(L"COM could not be started");
        return 2;
    }
    std::wstring server;
    wprintf(L"File: %ls\n\n", full);
    if (preview) {
        const bool shown = ShowPreview(full, png, size, server);
        ReportUnload(server);
        CoUninitialize();
        return shown ? 0 : 1;
    }
    if (thumbnail) {
        const bool shown = ShowThumbnail(full, png, static_cast<int>(size.cx), server);
        ReportUnload(server);
        CoUninitialize();
        return shown ? 0 : 1;
    }
    if (properties) {
        const bool shown = ShowProperties(full, server);
        ReportUnload(server);
        CoUninitialize();
        return shown ? 0 : 1;
    }
    const bool tipShown = ShowInfoTip(full, server);
    const int menuStatus = ShowMenu(full, invoke, noUi, server);
    ReportUnload(server);
    CoUninitialize();
    if (menuStatus == 2 && !tipShown) return 2;
    if (menuStatus == 3) return 3;
    return tipShown || menuStatus == 0 ? 0 : 1;
}
