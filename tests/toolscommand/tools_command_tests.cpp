// The Windows 11 menu's tools commands registered with regsvr32 and created from their
// CLSIDs, driven as Explorer drives them: a shell item array of the selection, the state
// asked without and with leave to be slow, the flags, the entries and their invocation. What
// they offer and start is held against the classic tools menu of the same library.
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <vector>

#include "fake_data_object.h"
#include "handles.h"
#include "registered_library.h"
#include "shell_selection.h"

using orrelin::ComPtr;
using orrelin::test::FolderListing;
using orrelin::test::ProgramFolder;
using orrelin::test::Quoted;
using orrelin::test::Regsvr32;
using orrelin::test::ShellItemArrayOf;
using orrelin::test::WindowSite;

namespace {

const CLSID kToolsCommand = {0x6C13E1E5, 0x7B27, 0x4C32, {0xBD, 0x58, 0x89, 0xF0, 0x4D, 0xCD, 0xB0, 0x2B}};
const CLSID kMakeCommand = {0xB737F20E, 0x416C, 0x4C0B, {0xA2, 0xD5, 0x07, 0x1A, 0xF9, 0x58, 0x42, 0x7B}};
const CLSID kToolsMenu = {0x65BEA47A, 0xACF5, 0x4577, {0x92, 0x2F, 0x28, 0x06, 0x46, 0xAC, 0x6C, 0x5D}};
constexpr EXPCMDSTATE kUnset = 0x7777;

std::wstring Dll()
{
    return ProgramFolder() + L"Orrelin.dll";
}

std::wstring Taken(LPWSTR text)
{
    const std::wstring kept = text != nullptr ? text : L"(null)";
    CoTaskMemFree(text);
    return kept;
}

// A .dfu file the engine reads whole: a plain image with a valid suffix, as dfutool makes one.
std::string DfuFile()
{
    std::string bytes = "firmware image bytes";
    const unsigned char suffix[] = {0x00, 0x01, 0x11, 0xDF, 0x83, 0x04, 0x00, 0x01, 'U', 'F', 'D', 16};
    bytes.append(reinterpret_cast<const char*>(suffix), sizeof suffix);
    DWORD crc = 0xFFFFFFFF;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0u - (crc & 1)));
    }
    bytes.append(reinterpret_cast<const char*>(&crc), 4);
    return bytes;
}

class ToolsCommandTest : public ::testing::Test {
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
    void SetUp() override
    {
        orrelin::test::RemoveFolderTree(m_folder);
        CreateDirectoryW(m_folder.c_str(), nullptr);
    }
    void TearDown() override
    {
        EXPECT_TRUE(orrelin::test::WaitUntilUnloadable(Dll(), 20000)) << "work or an object is still alive";
        orrelin::test::RemoveFolderTree(m_folder);
    }

    std::wstring Write(const std::wstring& name, const std::string& bytes) const
    {
        const std::wstring path = m_folder + name;
        const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
        return path;
    }

    static ComPtr<IExplorerCommand> Create(const CLSID& clsid)
    {
        ComPtr<IExplorerCommand> command;
        EXPECT_EQ(S_OK,
                  CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IExplorerCommand, command.put_void()));
        return command;
    }

    // The entries under "DFU file tools", in order.
    static std::vector<ComPtr<IExplorerCommand>> Entries(IExplorerCommand* tools)
    {
        std::vector<ComPtr<IExplorerCommand>> entries;
        ComPtr<IEnumExplorerCommand> each;
        EXPECT_EQ(S_OK, tools->EnumSubCommands(each.put()));
        ComPtr<IExplorerCommand> entry;
        ULONG fetched = 0;
        while (each && each->Next(1, entry.put(), &fetched) == S_OK && fetched == 1)
            entries.push_back(std::move(entry));
        return entries;
    }

    // The classic tools menu's texts for the selection, in order.
    static std::vector<std::wstring> ClassicTexts(const std::vector<std::wstring>& paths)
    {
        ComPtr<IShellExtInit> init;
        EXPECT_EQ(S_OK,
                  CoCreateInstance(kToolsMenu, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, init.put_void()));
        FakeDataObject data(paths);
        std::vector<std::wstring> texts;
        ComPtr<IContextMenu> menu;
        if (!init || FAILED(init->Initialize(nullptr, &data, nullptr)) ||
            FAILED(init->QueryInterface(IID_IContextMenu, menu.put_void())))
            return texts;
        const HMENU popup = CreatePopupMenu();
        menu->QueryContextMenu(popup, 0, 1, 100, CMF_NORMAL);
        for (int i = 0; i < GetMenuItemCount(popup); ++i) {
            wchar_t text[200] = {};
            GetMenuStringW(popup, i, text, 200, MF_BYPOSITION);
            texts.push_back(text);
        }
        DestroyMenu(popup);
        return texts;
    }

    const std::wstring m_folder =
        orrelin::test::TemporaryFolder() + L"tools command " + std::to_wstring(GetCurrentProcessId()) + L"\\";
};

struct SelectionRow {
    const char* label;
    std::vector<std::wstring> names;
    EXPCMDSTATE tools;                 // "DFU file tools"
    std::vector<EXPCMDSTATE> entries;  // Extract firmware, Copy SHA-256, Compare
    EXPCMDSTATE make;                  // "Make DFU file..."
};

constexpr EXPCMDSTATE kOn = ECS_ENABLED;
constexpr EXPCMDSTATE kOff = ECS_HIDDEN;

// Each command and entry shows for the selections the classic tools menu offers it for, with
// that menu's texts; the quick question gets the whole answer while every selected file is
// held open by another, and an entry the selection does not offer starts nothing.
TEST_F(ToolsCommandTest, OffersWhatTheClassicToolsMenuOffers)
{
    const std::vector<SelectionRow> rows = {
        {"one .dfu", {L"fw.dfu"}, kOn, {kOn, kOn, kOff}, kOff},
        {"two .dfu", {L"a.dfu", L"b.DFU"}, kOn, {kOff, kOff, kOn}, kOff},
        {"three .dfu", {L"a.dfu", L"b.dfu", L"c.dfu"}, kOff, {kOff, kOff, kOff}, kOff},
        {"a .hex", {L"app.hex"}, kOff, {kOff, kOff, kOff}, kOn},
        {"firmware of several kinds", {L"a.bin", L"b.s19", L"c.mot"}, kOff, {kOff, kOff, kOff}, kOn},
        {"mixed", {L"fw.dfu", L"app.hex"}, kOff, {kOff, kOff, kOff}, kOff},
        {"another type", {L"notes.txt"}, kOff, {kOff, kOff, kOff}, kOff},
    };
    ComPtr<IExplorerCommand> tools = Create(kToolsCommand);
    ComPtr<IExplorerCommand> make = Create(kMakeCommand);
    ASSERT_TRUE(tools && make);
    LPWSTR title = nullptr;
    ASSERT_EQ(S_OK, tools->GetTitle(nullptr, &title));
    EXPECT_EQ(L"DFU file tools", Taken(title));
    EXPCMDFLAGS flags = 0x7777;
    ASSERT_EQ(S_OK, tools->GetFlags(&flags));
    EXPECT_EQ(EXPCMDFLAGS{ECF_HASSUBCOMMANDS}, flags);
    ASSERT_EQ(S_OK, make->GetFlags(&flags));
    EXPECT_EQ(EXPCMDFLAGS{ECF_DEFAULT}, flags);
    const std::vector<ComPtr<IExplorerCommand>> entries = Entries(tools.get());
    ASSERT_EQ(3u, entries.size());

    for (const SelectionRow& row : rows) {
        SCOPED_TRACE(row.label);
        std::vector<std::wstring> paths;
        for (const std::wstring& name : row.names) paths.push_back(Write(name, DfuFile()));
        ComPtr<IShellItemArray> items = ShellItemArrayOf(paths);
        ASSERT_TRUE(items);
        std::vector<HANDLE> held;
        for (const std::wstring& path : paths)
            held.push_back(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));

        const auto stateOf = [&](IExplorerCommand* command) {
            EXPCMDSTATE quick = kUnset, slow = kUnset;
            EXPECT_EQ(S_OK, command->GetState(items.get(), FALSE, &quick));
            EXPECT_EQ(S_OK, command->GetState(items.get(), TRUE, &slow));
            EXPECT_EQ(quick, slow);
            return quick;
        };
        EXPECT_EQ(row.tools, stateOf(tools.get()));
        EXPECT_EQ(row.make, stateOf(make.get()));
        std::vector<EXPCMDSTATE> states;
        std::vector<std::wstring> shown;
        for (const auto& entry : entries) states.push_back(stateOf(entry.get()));
        EXPECT_EQ(row.entries, states);
        for (IExplorerCommand* command : {entries[0].get(), entries[1].get(), entries[2].get(), make.get()}) {
            if (stateOf(command) == kOn) {
                ASSERT_EQ(S_OK, command->GetTitle(items.get(), &title));
                shown.push_back(Taken(title));
            } else {
                EXPECT_EQ(E_INVALIDARG, command->Invoke(items.get(), nullptr));
            }
        }
        for (HANDLE handle : held) CloseHandle(handle);
        EXPECT_EQ(ClassicTexts(paths), shown);
        for (const std::wstring& path : paths) DeleteFileW(path.c_str());
        EXPECT_TRUE(FolderListing(m_folder).empty()) << "an entry left something behind";
    }
}

// "Extract firmware" from Windows 11's menu writes what the classic menu's entry writes, each
// into a new folder beside the file, and the work's messages would be owned by the site's
// window.
TEST_F(ToolsCommandTest, ExtractMakesTheClassicMenusFolder)
{
    const std::wstring file = Write(L"fw.dfu", DfuFile());
    ComPtr<IShellItemArray> items = ShellItemArrayOf({file});
    ASSERT_TRUE(items);
    const HWND window =
        CreateWindowExW(0, L"STATIC", L"Explorer", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    WindowSite site(window);
    {
        ComPtr<IExplorerCommand> tools = Create(kToolsCommand);
        ComPtr<IObjectWithSite> sited;
        ASSERT_EQ(S_OK, tools->QueryInterface(IID_IObjectWithSite, sited.put_void()));
        ASSERT_EQ(S_OK, sited->SetSite(&site));
        const std::vector<ComPtr<IExplorerCommand>> entries = Entries(tools.get());
        ASSERT_EQ(3u, entries.size());
        ASSERT_EQ(S_OK, entries[0]->Invoke(items.get(), nullptr));
        sited->SetSite(nullptr);
    }
    ASSERT_TRUE(orrelin::test::WaitUntilUnloadable(Dll(), 20000));

    ComPtr<IShellExtInit> init;
    ASSERT_EQ(S_OK, CoCreateInstance(kToolsMenu, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, init.put_void()));
    FakeDataObject data({file});
    ASSERT_EQ(S_OK, init->Initialize(nullptr, &data, nullptr));
    ComPtr<IContextMenu> menu;
    ASSERT_EQ(S_OK, init->QueryInterface(IID_IContextMenu, menu.put_void()));
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof info;
    info.lpVerb = "Orrelin.ExtractFirmware";
    info.hwnd = window;
    ASSERT_EQ(S_OK, menu->InvokeCommand(&info));
    menu.reset();
    init.reset();
    ASSERT_TRUE(orrelin::test::WaitUntilUnloadable(Dll(), 20000));
    DestroyWindow(window);

    const auto ours = FolderListing(m_folder + L"fw\\");
    EXPECT_FALSE(ours.empty());
    EXPECT_EQ(FolderListing(m_folder + L"fw (2)\\"), ours);
    EXPECT_EQ(3u, FolderListing(m_folder).size());
}

// Each class is registered alone, never as a verb of a file type, which would list it a
// second time under the classic menu; removal takes it away.
TEST_F(ToolsCommandTest, RegistersEachClassAloneAndRemovesIt)
{
    struct ClassRow {
        const wchar_t* clsid;
        const wchar_t* name;
    };
    const ClassRow classes[] = {{L"{6C13E1E5-7B27-4C32-BD58-89F04DCDB02B}", L"DFUToolsCommand Class"},
                                {L"{B737F20E-416C-4C0B-A2D5-071AF958427B}", L"DFUMakeCommand Class"}};
    for (const ClassRow& row : classes) {
        const std::wstring key = std::wstring(L"CLSID\\") + row.clsid;
        EXPECT_EQ(row.name, orrelin::test::RegistryText(HKEY_CLASSES_ROOT, key, nullptr));
        EXPECT_EQ(Dll(), orrelin::test::RegistryText(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", nullptr));
        EXPECT_EQ(L"Apartment",
                  orrelin::test::RegistryText(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", L"ThreadingModel"));
    }
    ASSERT_EQ(0u, Regsvr32(L"/u " + Quoted(Dll())));
    for (const ClassRow& row : classes) {
        HKEY key = nullptr;
        EXPECT_NE(ERROR_SUCCESS,
                  RegOpenKeyExW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + row.clsid).c_str(), 0, KEY_READ, &key));
        if (key != nullptr) RegCloseKey(key);
    }
    ASSERT_EQ(0u, Regsvr32(Quoted(Dll())));
}

}  // namespace
