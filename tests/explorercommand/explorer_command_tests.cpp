// The Windows 11 menu command registered with regsvr32 and created from its CLSID, driven as
// Explorer drives it: a shell item array of the selection, the state asked first without
// and then with leave to be slow, the flags, the subcommands and their invocation. Its
// entries are held against the classic menu's, created from the same library.
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "fake_data_object.h"
#include "handles.h"
#include "menu_test_support.h"
#include "real_registry_dump.h"
#include "shell_extension_keys.h"
#include "shell_selection.h"

using namespace menutest;
using orrelin::ComPtr;
using orrelin::test::DumpRealKey;
using orrelin::test::KeyLine;
using orrelin::test::KeysView;
using orrelin::test::Portable;
using orrelin::test::Quoted;
using orrelin::test::Regsvr32;
using orrelin::test::StringValueLine;
using orrelin::test::WindowSite;

namespace {

const CLSID kCommand = {0xB7519896, 0xB511, 0x4AD6, {0x97, 0x93, 0x39, 0xC9, 0x18, 0x47, 0xC1, 0x69}};
const wchar_t kCommandText[] = L"{B7519896-B511-4AD6-9793-39C91847C169}";
const CLSID kClassicMenu = {0xB0EC6BBF, 0x49C8, 0x11D5, {0x90, 0x1D, 0x00, 0xB0, 0xD0, 0x64, 0xD8, 0x23}};
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

ComPtr<IShellItemArray> Selection(const std::vector<std::wstring>& paths)
{
    ComPtr<IShellItemArray> items;
    if (paths.size() == 1) {
        ComPtr<IShellItem> item;
        EXPECT_EQ(S_OK, SHCreateItemFromParsingName(paths[0].c_str(), nullptr, IID_IShellItem, item.put_void()));
        EXPECT_EQ(S_OK, SHCreateShellItemArrayFromShellItem(item.get(), IID_IShellItemArray, items.put_void()));
        return items;
    }
    std::vector<PIDLIST_ABSOLUTE> lists;
    for (const std::wstring& path : paths) lists.push_back(ILCreateFromPathW(path.c_str()));
    EXPECT_EQ(S_OK, SHCreateShellItemArrayFromIDLists(static_cast<UINT>(lists.size()),
                                                      const_cast<PCIDLIST_ABSOLUTE_ARRAY>(lists.data()), items.put()));
    for (PIDLIST_ABSOLUTE list : lists) ILFree(list);
    return items;
}

// The entries the classic menu of the same library shows for the selection, in order.
std::vector<std::wstring> ClassicTexts(IContextMenu* menu)
{
    PopupMenu popup;
    EXPECT_TRUE(SUCCEEDED(menu->QueryContextMenu(popup.get(), 0, 0, 100, CMF_NORMAL)));
    std::vector<std::wstring> texts;
    for (const MenuItem& item : popup.Items()) texts.push_back(item.text);
    return texts;
}

std::vector<std::wstring> SortedCommandLines(const std::vector<WizardStart>& starts, size_t from, size_t count)
{
    std::vector<std::wstring> lines;
    for (size_t i = from; i < from + count && i < starts.size(); ++i) lines.push_back(starts[i].commandLine);
    std::sort(lines.begin(), lines.end());
    return lines;
}

class ExplorerCommandTest : public EngineTest {
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
    void TearDown() override
    {
        using CanUnload = HRESULT(STDAPICALLTYPE*)();
        const auto canUnload = orrelin::test::ProcAs<CanUnload>(GetModuleHandleW(Dll().c_str()), "DllCanUnloadNow");
        ASSERT_NE(nullptr, canUnload);
        EXPECT_EQ(S_OK, canUnload()) << "an object of the library is still alive";
    }

    static ComPtr<IExplorerCommand> Create()
    {
        ComPtr<IExplorerCommand> command;
        EXPECT_EQ(S_OK,
                  CoCreateInstance(kCommand, nullptr, CLSCTX_INPROC_SERVER, IID_IExplorerCommand, command.put_void()));
        return command;
    }

    TempFolder folder{L"explorer command"};
    const std::wstring first = folder.WriteFile(L"fw one.dfu", "firmware");
    const std::wstring second = folder.WriteFile(L"fw two.dfu", "firmware");
};

struct Row {
    const char* label;
    int files;
    bool valid;
    bool wizardAway;
    std::vector<std::wstring> ports;
    std::vector<std::wstring> devices;
    EXPCMDSTATE state;         // asked with leave to be slow
    HRESULT rememberedAnswer;  // asked again without it
    EXPCMDFLAGS flags;
    std::vector<std::wstring> titles;  // of the entries a shown command offers
};

class ExplorerCommandRows : public ExplorerCommandTest, public testing::WithParamInterface<Row> {};

TEST_P(ExplorerCommandRows, OffersWhatTheClassicMenuOffers)
{
    const Row& row = GetParam();
    KorvexDouble_SetValid(row.valid);
    SetPorts(row.ports);
    SetDevices(row.devices);
    std::optional<WizardAway> away;
    if (row.wizardAway) away.emplace();
    const std::vector<std::wstring> paths =
        row.files == 1 ? std::vector<std::wstring>{first} : std::vector<std::wstring>{first, second};
    ComPtr<IShellItemArray> items = Selection(paths);
    ComPtr<IExplorerCommand> command = Create();
    ASSERT_TRUE(items && command);

    // The UI thread's question touches neither the file nor a device.
    EXPCMDSTATE state = kUnset;
    EXPECT_EQ(row.files == 1 ? E_PENDING : S_OK, command->GetState(items.get(), FALSE, &state));
    if (row.files != 1) {
        EXPECT_EQ(EXPCMDSTATE{ECS_HIDDEN}, state);
    }
    EXPECT_EQ(0, KorvexDouble_ValidityCheckCount());
    ASSERT_EQ(S_OK, command->GetState(items.get(), TRUE, &state));
    EXPECT_EQ(row.state, state);
    const int checks = KorvexDouble_ValidityCheckCount();
    state = kUnset;
    EXPECT_EQ(row.rememberedAnswer, command->GetState(items.get(), FALSE, &state));
    if (row.rememberedAnswer == S_OK) {
        EXPECT_EQ(row.state, state);
    }
    EXPECT_EQ(checks, KorvexDouble_ValidityCheckCount());
    EXPECT_EQ(0, KorvexDouble_PortQueryCount() + KorvexDouble_DeviceQueryCount());

    std::vector<ComPtr<IExplorerCommand>> entries;
    std::vector<std::wstring> titles;
    if (state == ECS_ENABLED) {
        LPWSTR title = nullptr;
        ASSERT_EQ(S_OK, command->GetTitle(items.get(), &title));
        EXPECT_EQ(L"Download to Quenlor Halvorn", Taken(title));
        EXPCMDFLAGS flags = 0x7777;
        ASSERT_EQ(S_OK, command->GetFlags(&flags));
        EXPECT_EQ(row.flags, flags);
        ComPtr<IEnumExplorerCommand> each;
        if (flags == ECF_HASSUBCOMMANDS) {
            ASSERT_EQ(S_OK, command->EnumSubCommands(each.put()));
            ComPtr<IExplorerCommand> entry;
            ULONG fetched = 0;
            while (each->Next(1, entry.put(), &fetched) == S_OK && fetched == 1) entries.push_back(std::move(entry));
        } else {
            entries.push_back(command);
        }
        for (const auto& entry : entries) {
            ASSERT_EQ(S_OK, entry->GetTitle(items.get(), &title));
            titles.push_back(Taken(title));
        }
    }
    EXPECT_EQ(row.titles, titles);

    ComPtr<IShellExtInit> classic;
    ASSERT_EQ(S_OK,
              CoCreateInstance(kClassicMenu, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, classic.put_void()));
    FakeDataObject data(paths);
    ComPtr<IContextMenu> menu;
    ASSERT_EQ(S_OK, classic->QueryInterface(IID_IContextMenu, menu.put_void()));
    // A handler that refuses the selection is not asked for entries.
    if (FAILED(classic->Initialize(nullptr, &data, nullptr))) {
        EXPECT_TRUE(titles.empty());
        return;
    }
    EXPECT_EQ(ClassicTexts(menu.get()), titles);
    if (entries.empty()) return;

    // Each entry starts the wizard as the classic entry of the same text does.
    WizardRecord record;
    for (const auto& entry : entries) EXPECT_EQ(S_OK, entry->Invoke(items.get(), nullptr));
    const size_t n = entries.size();
    ASSERT_EQ(n, record.WaitFor(n).size());
    for (size_t i = 0; i < n; ++i) {
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof(info);
        info.lpVerb = MAKEINTRESOURCEA(i);
        EXPECT_EQ(S_OK, menu->InvokeCommand(&info));
    }
    const std::vector<WizardStart> starts = record.WaitFor(2 * n);
    ASSERT_EQ(2 * n, starts.size());
    WaitForExit(starts);
    const std::vector<std::wstring> ours = SortedCommandLines(starts, 0, n);
    EXPECT_EQ(SortedCommandLines(starts, n, n), ours);
    EXPECT_EQ(ours.end(), std::adjacent_find(ours.begin(), ours.end())) << "two entries start the same download";
}

const std::wstring kDefault = L"Download to Quenlor Halvorn";

INSTANTIATE_TEST_SUITE_P(
    Selections, ExplorerCommandRows,
    testing::Values(Row{"DefaultTarget", 1, true, false, {}, {}, ECS_ENABLED, S_OK, ECF_DEFAULT, {kDefault}},
                    Row{"SerialPorts",
                        1,
                        true,
                        false,
                        {L"COM1", L"COM\"3"},
                        {},
                        ECS_ENABLED,
                        S_OK,
                        ECF_HASSUBCOMMANDS,
                        {kDefault, kDefault + L" via COM1", kDefault + L" via COM\"3"}},
                    Row{"UsbDevices",
                        1,
                        true,
                        false,
                        {},
                        {L"Halvorn DFU", L"Board \\"},
                        ECS_ENABLED,
                        S_OK,
                        ECF_HASSUBCOMMANDS,
                        {kDefault, L"Download to Halvorn DFU", L"Download to Board \\"}},
                    Row{"PortsThenDevices",
                        1,
                        true,
                        false,
                        {L"COM2"},
                        {L"Halvorn DFU"},
                        ECS_ENABLED,
                        S_OK,
                        ECF_HASSUBCOMMANDS,
                        {kDefault, kDefault + L" via COM2", L"Download to Halvorn DFU"}},
                    Row{"BrokenFile", 1, false, false, {L"COM1"}, {}, ECS_HIDDEN, S_OK, ECF_DEFAULT, {}},
                    Row{"TwoFiles", 2, true, false, {L"COM1"}, {}, ECS_HIDDEN, S_OK, ECF_DEFAULT, {}},
                    // Nothing about the file was learnt, so the quick question is still open.
                    Row{"WizardAbsent", 1, true, true, {}, {}, ECS_HIDDEN, E_PENDING, ECF_DEFAULT, {}}),
    [](const testing::TestParamInfo<Row>& row) { return std::string(row.param.label); });

// A start that fails is told in the classic menu's warning, owned by the site's window, or
// by none when Explorer gave no site.
TEST_F(ExplorerCommandTest, FailedStartWarnsOverTheSitesWindow)
{
    const HWND window =
        CreateWindowExW(0, L"STATIC", L"Explorer", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    WindowSite site(window);
    for (IUnknown* given : {static_cast<IUnknown*>(&site), static_cast<IUnknown*>(nullptr)}) {
        ComPtr<IExplorerCommand> command = Create();
        ComPtr<IObjectWithSite> sited;
        ASSERT_EQ(S_OK, command->QueryInterface(IID_IObjectWithSite, sited.put_void()));
        ASSERT_EQ(S_OK, sited->SetSite(given));
        ComPtr<IShellItemArray> items = Selection({first});
        WizardAway away;
        MessageBoxWatch watch;
        EXPECT_EQ(S_OK, command->Invoke(items.get(), nullptr));
        ASSERT_EQ(1u, watch.Seen().size());
        EXPECT_EQ(L"Halvorn Device Firmware Upgrade Wizard", watch.Seen()[0].caption);
        EXPECT_EQ(L"Failed to start program:", Lines(watch.Seen()[0].text)[0]);
        EXPECT_EQ(given != nullptr ? window : nullptr, watch.Seen()[0].owner);
        sited->SetSite(nullptr);
    }
    DestroyWindow(window);
}

TEST_F(ExplorerCommandTest, IconIsTheLibrarysOwn)
{
    LPWSTR icon = nullptr;
    ASSERT_EQ(S_OK, Create()->GetIcon(nullptr, &icon));
    const std::wstring named = Taken(icon);
    EXPECT_EQ(Dll() + L",-107", named);
    HMODULE library = LoadLibraryExW(Dll().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, library);
    EXPECT_NE(nullptr, FindResourceW(library, MAKEINTRESOURCEW(107), RT_GROUP_ICON));
    FreeLibrary(library);
}

// The class alone is registered: as a verb of the file type too, its entries would show a
// second time under the classic menu.
TEST_F(ExplorerCommandTest, RegistersTheClassAloneAndRemovesIt)
{
    const KeysView machine{u"HKCR"};
    const std::u16string key = u"CLSID\\" + Portable(kCommandText);
    EXPECT_EQ(KeyLine(machine, key) + StringValueLine(u"", u"DFUExplorerCommand Class") +
                  KeyLine(machine, key + u"\\InprocServer32") + StringValueLine(u"", Portable(Dll())) +
                  StringValueLine(u"ThreadingModel", u"Apartment"),
              DumpRealKey(HKEY_CLASSES_ROOT, machine.root, key));
    const std::string fileType = DumpRealKey(HKEY_CLASSES_ROOT, machine.root, u"dfufile");
    EXPECT_EQ(std::string::npos, fileType.find("B7519896")) << fileType;
    EXPECT_EQ(std::string::npos, fileType.find("ExplorerCommandHandler")) << fileType;

    ASSERT_EQ(0u, Regsvr32(L"/u " + Quoted(Dll())));
    EXPECT_EQ("", DumpRealKey(HKEY_CLASSES_ROOT, machine.root, key));
    ASSERT_EQ(0u, Regsvr32(Quoted(Dll())));
}

}  // namespace
