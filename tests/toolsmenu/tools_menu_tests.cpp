// The tools menu registered with regsvr32 and created from its CLSID, driven as Explorer
// drives a context-menu handler: Initialize with the selection, the entries built into a real
// menu, a choice carried out by offset or by verb. Its work runs on a thread of its own, so
// each test waits until the library may be unloaded again; what it made is held against what
// dfutool makes and what sha256sum prints.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <map>

#include "KorvexTools.h"
#include "dfu_test_support.h"
#include "fake_data_object.h"
#include "handles.h"
#include "registered_library.h"

using orrelin::ComPtr;
using orrelin::test::ProgramFolder;
using orrelin::test::Quoted;
using orrelin::test::Regsvr32;

namespace {

using namespace dfutest;

std::string ReadAll(const std::wstring& path)
{
    std::string bytes;
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char buffer[65536];
    DWORD count = 0;
    while (ReadFile(file, buffer, sizeof buffer, &count, nullptr) && count > 0) bytes.append(buffer, count);
    CloseHandle(file);
    return bytes;
}

const CLSID kToolsMenu = {0x65BEA47A, 0xACF5, 0x4577, {0x92, 0x2F, 0x28, 0x06, 0x46, 0xAC, 0x6C, 0x5D}};

std::wstring Dll()
{
    return ProgramFolder() + L"Orrelin.dll";
}

// Names of the files (and folders) in folder, with their bytes ("" for a folder).
std::map<std::wstring, std::string> Listing(const std::wstring& folder)
{
    std::map<std::wstring, std::string> found;
    WIN32_FIND_DATAW data;
    const HANDLE search = FindFirstFileW((folder + L"*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return found;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        std::string bytes;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) bytes = ReadAll(folder + name);
        found[name] = bytes;
    } while (FindNextFileW(search, &data));
    FindClose(search);
    return found;
}

void RemoveTree(const std::wstring& folder)
{
    for (const auto& [name, bytes] : Listing(folder)) {
        const std::wstring path = folder + name;
        if ((GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            RemoveTree(path + L"\\");
        } else {
            DeleteFileW(path.c_str());
        }
    }
    RemoveDirectoryW(folder.c_str());
}

class Scratch {
public:
    Scratch()
        : m_path(orrelin::test::TemporaryFolder() + L"tools menu " + std::to_wstring(GetCurrentProcessId()) + L"\\")
    {
        RemoveTree(m_path);
        CreateDirectoryW(m_path.c_str(), nullptr);
    }
    ~Scratch() { RemoveTree(m_path); }
    const std::wstring& Path() const { return m_path; }
    std::wstring Write(const std::wstring& name, const std::string& bytes) const
    {
        const std::wstring path = m_path + name;
        const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
        return path;
    }

private:
    std::wstring m_path;
};

// Runs dfutool beside this program; answers its exit code and what it printed.
DWORD RunDfutool(const std::wstring& arguments, std::string& output)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0)) return ~0u;
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write;
    startup.hStdError = write;
    PROCESS_INFORMATION process = {};
    std::wstring commandLine = Quoted(ProgramFolder() + L"dfutool.exe") + L" " + arguments;
    const BOOL started =
        CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(write);
    char buffer[4096];
    DWORD count = 0;
    while (started && ReadFile(read, buffer, sizeof buffer, &count, nullptr) && count > 0) output.append(buffer, count);
    CloseHandle(read);
    if (!started) return ~0u;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return code;
}

std::string Narrow(const std::wstring& text)
{
    std::string out;
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    out.resize(length > 0 ? length - 1 : 0);
    if (length > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], length, nullptr, nullptr);
    return out;
}

void Pump(DWORD milliseconds)
{
    const DWORD until = GetTickCount() + milliseconds;
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        Sleep(20);
    } while (static_cast<LONG>(until - GetTickCount()) > 0);
}

std::string DfuSeSample(unsigned seed)
{
    return DfuSeFile({{true, "Internal Flash",
                       DfuSeElement(0x08000000, Payload(1500, seed)) + DfuSeElement(0x08004000, Payload(300, 7)), 2},
                      {false, "", DfuSeElement(0x1FFF0000, Payload(64, 3)), 1}});
}

class ToolsMenuTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_EQ(0u, Regsvr32(Quoted(Dll())));
    }
    static void TearDownTestSuite()
    {
        Regsvr32(L"/u " + Quoted(Dll()));
        CoUninitialize();
    }
    void TearDown() override { EXPECT_TRUE(WaitUntilUnloadable(20000)) << "work or an object is still alive"; }

    // True once DllCanUnloadNow answers S_OK: no object and no background work left.
    static bool WaitUntilUnloadable(DWORD milliseconds)
    {
        using CanUnload = HRESULT(STDAPICALLTYPE*)();
        const auto canUnload = orrelin::test::ProcAs<CanUnload>(GetModuleHandleW(Dll().c_str()), "DllCanUnloadNow");
        if (canUnload == nullptr) return false;
        for (DWORD waited = 0; waited < milliseconds; waited += 50) {
            if (canUnload() == S_OK) return true;
            Pump(50);
        }
        return false;
    }

    static ComPtr<IContextMenu> Menu(const std::vector<std::wstring>& paths)
    {
        ComPtr<IShellExtInit> init;
        EXPECT_EQ(S_OK,
                  CoCreateInstance(kToolsMenu, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, init.put_void()));
        FakeDataObject data(paths);
        EXPECT_EQ(S_OK, init->Initialize(nullptr, &data, nullptr));
        ComPtr<IContextMenu> menu;
        EXPECT_EQ(S_OK, init->QueryInterface(IID_IContextMenu, menu.put_void()));
        return menu;
    }

    static std::vector<std::wstring> Texts(IContextMenu* menu, UINT flags = CMF_NORMAL)
    {
        const HMENU popup = CreatePopupMenu();
        const HRESULT added = menu->QueryContextMenu(popup, 0, 1, 100, flags);
        EXPECT_TRUE(SUCCEEDED(added));
        std::vector<std::wstring> texts;
        for (int i = 0; i < GetMenuItemCount(popup); ++i) {
            wchar_t text[200] = {};
            GetMenuStringW(popup, i, text, 200, MF_BYPOSITION);
            texts.push_back(text);
        }
        EXPECT_EQ(static_cast<HRESULT>(texts.size()), HRESULT_CODE(added));
        DestroyMenu(popup);
        return texts;
    }

    static std::wstring Verb(IContextMenu* menu, UINT_PTR offset)
    {
        wchar_t verb[100] = {};
        if (FAILED(menu->GetCommandString(offset, GCS_VERBW, nullptr, reinterpret_cast<char*>(verb), 100)))
            return L"(refused)";
        return verb;
    }

    // Invokes by offset (verb null) or by the wide verb, as Explorer's second menu does.
    static HRESULT Invoke(IContextMenu* menu, UINT offset, const wchar_t* verb)
    {
        CMINVOKECOMMANDINFOEX info = {};
        info.cbSize = sizeof info;
        std::string narrow = verb != nullptr ? Narrow(verb) : std::string();
        info.lpVerb = verb != nullptr ? narrow.c_str() : MAKEINTRESOURCEA(offset);
        info.lpVerbW = verb != nullptr ? verb : MAKEINTRESOURCEW(offset);
        info.fMask = CMIC_MASK_UNICODE;
        info.nShow = SW_SHOWNORMAL;
        return menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info));
    }

    Scratch scratch;
};

struct MenuRow {
    const char* label;
    std::vector<std::wstring> names;
    std::vector<std::wstring> texts;
    std::vector<std::wstring> verbs;
};

TEST_F(ToolsMenuTest, EntriesFollowTheSelection)
{
    const std::vector<MenuRow> rows = {
        {"one .dfu",
         {L"fw.dfu"},
         {L"Extract firmware", L"Copy SHA-256"},
         {L"Orrelin.ExtractFirmware", L"Orrelin.CopySha256"}},
        {"upper case",
         {L"FW.DFU"},
         {L"Extract firmware", L"Copy SHA-256"},
         {L"Orrelin.ExtractFirmware", L"Orrelin.CopySha256"}},
        {"two .dfu", {L"a.dfu", L"b.dfu"}, {L"Compare"}, {L"Orrelin.Compare"}},
        {"three .dfu", {L"a.dfu", L"b.dfu", L"c.dfu"}, {}, {}},
        {"a .hex", {L"app.hex"}, {L"Make DFU file..."}, {L"Orrelin.MakeDfuFile"}},
        {"a .bin", {L"app.bin"}, {L"Make DFU file..."}, {L"Orrelin.MakeDfuFile"}},
        {"firmware of every kind",
         {L"a.HEX", L"b.ihex", L"c.s19", L"d.srec", L"e.mot", L"f.bin"},
         {L"Make DFU file..."},
         {L"Orrelin.MakeDfuFile"}},
        {"mixed", {L"a.dfu", L"app.hex"}, {}, {}},
        {"firmware and another type", {L"app.hex", L"notes.txt"}, {}, {}},
        {"dfu in a folder name only", {L"x.dfu\\app.txt"}, {}, {}},
    };
    for (const MenuRow& row : rows) {
        SCOPED_TRACE(row.label);
        std::vector<std::wstring> paths;
        for (const std::wstring& name : row.names) paths.push_back(scratch.Path() + name);
        ComPtr<IContextMenu> menu = Menu(paths);
        EXPECT_EQ(row.texts, Texts(menu.get()));
        for (UINT_PTR i = 0; i < row.verbs.size(); ++i) EXPECT_EQ(row.verbs[i], Verb(menu.get(), i));
        EXPECT_EQ(L"(refused)", Verb(menu.get(), row.verbs.size()));
        EXPECT_EQ(std::vector<std::wstring>{}, Texts(menu.get(), CMF_DEFAULTONLY));
    }
}

std::wstring ClassesText(const wchar_t* key, const wchar_t* name)
{
    wchar_t text[200] = {};
    DWORD size = sizeof text;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key, name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return L"(none)";
    return text;
}

// "Make DFU file..." is added beside whatever opens a .hex file, never in its place: another
// program's association, and its own entry where ours goes, stay through registration and
// removal.
TEST_F(ToolsMenuTest, LeavesAnotherProgramsHexAssociation)
{
    const wchar_t* handlers = L"SystemFileAssociations\\.hex\\ShellEx\\ContextMenuHandlers";
    const std::wstring ours = std::wstring(handlers) + L"\\Orrelin.DFUToolsMenu";
    const std::wstring theirs = std::wstring(handlers) + L"\\Other.HexTool";
    ASSERT_EQ(0u, Regsvr32(L"/u " + Quoted(Dll())));
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CLASSES_ROOT, L".hex", nullptr, REG_SZ, L"Other.HexFile", 28));
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CLASSES_ROOT, theirs.c_str(), nullptr, REG_SZ, L"{0}", 8));

    ASSERT_EQ(0u, Regsvr32(Quoted(Dll())));
    EXPECT_EQ(L"Other.HexFile", ClassesText(L".hex", nullptr));
    EXPECT_EQ(L"{65BEA47A-ACF5-4577-922F-280646AC6C5D}", ClassesText(ours.c_str(), nullptr));
    ASSERT_EQ(0u, Regsvr32(L"/u " + Quoted(Dll())));
    EXPECT_EQ(L"Other.HexFile", ClassesText(L".hex", nullptr));
    EXPECT_EQ(L"{0}", ClassesText(theirs.c_str(), nullptr));
    EXPECT_EQ(L"(none)", ClassesText(ours.c_str(), nullptr));

    RegDeleteTreeW(HKEY_CLASSES_ROOT, L".hex");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"SystemFileAssociations\\.hex");
    EXPECT_EQ(0u, Regsvr32(Quoted(Dll())));
}

// Extraction by offset, then by verb: the second gets a folder of its own, and each holds
// what dfutool extract --bin --hex writes.
TEST_F(ToolsMenuTest, ExtractWritesWhatDfutoolWritesIntoANewFolder)
{
    const std::wstring file = scratch.Write(L"fw.dfu", DfuSeSample(1));
    CreateDirectoryW((scratch.Path() + L"oracle").c_str(), nullptr);
    std::string printed;
    ASSERT_EQ(0u, RunDfutool(L"extract --bin --hex -o " + Quoted(scratch.Path() + L"oracle\\fw") + L" " + Quoted(file),
                             printed))
        << printed;
    const auto expected = Listing(scratch.Path() + L"oracle\\");
    ASSERT_EQ(5u, expected.size());

    ComPtr<IContextMenu> menu = Menu({file});
    Texts(menu.get());
    ASSERT_EQ(S_OK, Invoke(menu.get(), 0, nullptr));
    menu.reset();
    ASSERT_TRUE(WaitUntilUnloadable(20000));
    EXPECT_EQ(expected, Listing(scratch.Path() + L"fw\\"));

    menu = Menu({file});
    ASSERT_EQ(S_OK, Invoke(menu.get(), 0, L"Orrelin.ExtractFirmware"));
    menu.reset();
    ASSERT_TRUE(WaitUntilUnloadable(20000));
    EXPECT_EQ(expected, Listing(scratch.Path() + L"fw (2)\\"));
    // Nothing else beside the file: no work folder left.
    EXPECT_EQ((std::vector<std::wstring>{L"fw", L"fw (2)", L"fw.dfu", L"oracle"}), [&] {
        std::vector<std::wstring> names;
        for (const auto& [name, bytes] : Listing(scratch.Path())) names.push_back(name);
        return names;
    }());
}

TEST_F(ToolsMenuTest, CopiesTheDigestSha256sumPrints)
{
    const std::string line = ReadAll(ProgramFolder() + L"infotip-sample.sha256");
    ASSERT_GE(line.size(), 64u);
    const std::string bytes = ReadAll(ProgramFolder() + L"..\\infotip-sample.dfu");
    ASSERT_FALSE(bytes.empty());
    const std::wstring file = scratch.Write(L"sample.dfu", bytes);

    ComPtr<IContextMenu> menu = Menu({file});
    Texts(menu.get());
    ASSERT_EQ(S_OK, Invoke(menu.get(), 0, L"Orrelin.CopySha256"));
    menu.reset();
    ASSERT_TRUE(WaitUntilUnloadable(20000));
    ASSERT_TRUE(OpenClipboard(nullptr));
    const HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const std::wstring text = data != nullptr ? static_cast<const wchar_t*>(GlobalLock(data)) : L"(none)";
    if (data != nullptr) GlobalUnlock(data);
    CloseClipboard();
    EXPECT_EQ(line.substr(0, 64), Narrow(text));
}

struct CompareRow {
    const char* label;
    unsigned seedB;
};

// The window's text is dfutool diff's, for equal and for different files.
TEST_F(ToolsMenuTest, CompareWindowShowsDfutoolsDiff)
{
    for (const CompareRow& row : {CompareRow{"same", 1}, CompareRow{"different", 9}}) {
        SCOPED_TRACE(row.label);
        const std::wstring a = scratch.Write(L"a.dfu", DfuSeSample(1));
        const std::wstring b = scratch.Write(L"b.dfu", DfuSeSample(row.seedB));
        std::string expected;
        RunDfutool(L"diff " + Quoted(a) + L" " + Quoted(b), expected);
        ASSERT_FALSE(expected.empty());

        ComPtr<IContextMenu> menu = Menu({a, b});
        ASSERT_EQ(std::vector<std::wstring>{L"Compare"}, Texts(menu.get()));
        ASSERT_EQ(S_OK, Invoke(menu.get(), 0, nullptr));
        menu.reset();
        HWND frame = nullptr;
        for (int i = 0; i < 400 && frame == nullptr; ++i) {
            Pump(50);
            frame = FindWindowW(L"Orrelin.CompareWindow", L"Comparison of a.dfu and b.dfu");
        }
        ASSERT_NE(nullptr, frame);
        const HWND edit = GetDlgItem(frame, 1);
        const int length = static_cast<int>(SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0));
        std::wstring text(length + 1, L'\0');
        SendMessageW(edit, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()));
        text.resize(length);
        std::string shown = Narrow(text);
        for (std::size_t at; (at = shown.find("\r\n")) != std::string::npos;) shown.erase(at, 1);
        for (std::size_t at; (at = expected.find("\r\n")) != std::string::npos;) expected.erase(at, 1);
        EXPECT_EQ(expected, shown);
        EXPECT_EQ(row.seedB == 1, shown.find("are the same firmware") != std::string::npos);
        PostMessageW(frame, WM_CLOSE, 0, 0);
        ASSERT_TRUE(WaitUntilUnloadable(20000));
    }
}

int KORVEX_CALL StopAt(void* context, uint64_t done, uint64_t)
{
    return done >= *static_cast<uint64_t*>(context) ? 1 : 0;
}

// A cancel at any point of the work leaves nothing beside the file.
TEST_F(ToolsMenuTest, CancelledExtractionLeavesNothing)
{
    const std::wstring file = scratch.Write(L"fw.dfu", DfuSeSample(1));
    for (uint64_t stopAt : {uint64_t{0}, uint64_t{1}, uint64_t{1600}, uint64_t{3000}}) {
        SCOPED_TRACE(stopAt);
        KorvexToolsReport report{&stopAt, StopAt, nullptr};
        EXPECT_EQ(KORVEX_TOOLS_CANCELLED,
                  KorvexExtractToFolder(file.c_str(), (scratch.Path() + L"fw").c_str(), 0, &report));
        EXPECT_EQ(1u, Listing(scratch.Path()).size());
    }
}

}  // namespace
