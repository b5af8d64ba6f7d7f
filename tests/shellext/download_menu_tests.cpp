#include <gtest/gtest.h>

#include "download_menu.h"
#include "wizard_command_line.h"
#include "menu_test_support.h"
#include "module_state.h"
#include "string_table.h"

using namespace menutest;
using orrelin::BuildDownloadMenu;

namespace {

const std::wstring kMenuDefault = L"Download to Quenlor Halvorn";
const std::wstring kFile = L"C:\\fw\\update.dfu";

class MenuBuild : public EngineTest {
protected:
    HRESULT Build(HMENU menu, UINT index, UINT firstId, UINT lastId, UINT flags = CMF_NORMAL,
                  const std::wstring& file = kFile)
    {
        return BuildDownloadMenu(file, commandLines, helpTexts, menu, index, firstId, lastId, flags);
    }
    // Two ports and one device; a comment names the file.
    void TwoPortsOneDevice()
    {
        KorvexDouble_SetComment(L"Boot loader");
        SetPorts({L"COM1", L"COM7"});
        SetDevices({L"Halvorn DFU #1"});
    }
    void ExpectNoEntries(HRESULT result, const PopupMenu& menu, int hostItems)
    {
        EXPECT_EQ(S_OK, result);
        EXPECT_TRUE(commandLines.IsEmpty());
        EXPECT_TRUE(helpTexts.IsEmpty());
        EXPECT_EQ(hostItems, GetMenuItemCount(menu.get()));
    }

    orrelin::StringList commandLines;
    orrelin::StringList helpTexts;
};

TEST_F(MenuBuild, StepsPositionsFromExplicitIndex)
{
    TwoPortsOneDevice();
    PopupMenu menu(5);
    ASSERT_EQ(4, Build(menu.get(), 3, 100, 200));

    const std::vector<MenuItem> expected = {HostItem(0),
                                            HostItem(1),
                                            HostItem(2),
                                            {100, kMenuDefault},
                                            {101, L"Download to Quenlor Halvorn via COM1"},
                                            {102, L"Download to Quenlor Halvorn via COM7"},
                                            {103, L"Download to Halvorn DFU #1"},
                                            HostItem(3),
                                            HostItem(4)};
    EXPECT_EQ(expected, menu.Items());

    const std::wstring wizard = L"\"" + WizardBesideProgram() + L"\"";
    EXPECT_EQ((std::vector<std::wstring>{wizard + L" /download \"C:\\fw\\update.dfu\"",
                                         wizard + L" /serial \"COM1\" /download \"C:\\fw\\update.dfu\" /auto",
                                         wizard + L" /serial \"COM7\" /download \"C:\\fw\\update.dfu\" /auto",
                                         wizard + L" /usb \"Halvorn DFU #1\" /download \"C:\\fw\\update.dfu\" /auto"}),
              Items(commandLines));
    EXPECT_EQ((std::vector<std::wstring>{
                  L"Download 'Boot loader' using the Halvorn Device Firmware Upgrade Wizard",
                  L"Download 'Boot loader' via COM1 using the Halvorn Device Firmware Upgrade Wizard",
                  L"Download 'Boot loader' via COM7 using the Halvorn Device Firmware Upgrade Wizard",
                  L"Download 'Boot loader' to Halvorn DFU #1 using the Halvorn Device Firmware Upgrade Wizard"}),
              Items(helpTexts));
    EXPECT_EQ(kFile, KorvexDouble_LastPath());
}

TEST_F(MenuBuild, AppendsEveryEntryForIndexMinusOne)
{
    TwoPortsOneDevice();
    PopupMenu menu(2);
    ASSERT_EQ(4, Build(menu.get(), 0xFFFFFFFF, 40, 60));
    const std::vector<MenuItem> items = menu.Items();
    ASSERT_EQ(6u, items.size());
    EXPECT_EQ(HostItem(0), items[0]);
    EXPECT_EQ(HostItem(1), items[1]);
    for (UINT i = 0; i < 4; ++i) EXPECT_EQ(40 + i, items[2 + i].id);
    EXPECT_EQ(4u, commandLines.GetCount());
}

TEST_F(MenuBuild, DefaultOnlyFlagEmptiesListsAfterFilledCall)
{
    TwoPortsOneDevice();
    for (UINT flags : {0x1u, 0x11u, 0x80000001u}) {
        SCOPED_TRACE(flags);
        PopupMenu filled;
        ASSERT_EQ(4, Build(filled.get(), 0, 1, 100));
        PopupMenu menu(1);
        ExpectNoEntries(Build(menu.get(), 0, 1, 100, flags), menu, 1);
    }
}

TEST_F(MenuBuild, OnlyBitZeroOfFlagsIsConsulted)
{
    TwoPortsOneDevice();
    for (UINT flags : {0x0u, 0x4u, 0x10u, 0x20u, 0xFFFFFFFEu}) {
        SCOPED_TRACE(flags);
        PopupMenu menu;
        EXPECT_EQ(4, Build(menu.get(), 0, 1, 100, flags));
        EXPECT_EQ(4, GetMenuItemCount(menu.get()));
    }
}

TEST_F(MenuBuild, NoEntriesWithoutWizardOrForRejectedFile)
{
    TwoPortsOneDevice();
    {
        PopupMenu filled;
        ASSERT_EQ(4, Build(filled.get(), 0, 1, 100));
        WizardAway away;
        PopupMenu menu;
        ExpectNoEntries(Build(menu.get(), 0, 1, 100), menu, 0);
        EXPECT_EQ(1, KorvexDouble_ValidityCheckCount()) << "the engine is not asked without a wizard";
    }
    PopupMenu filled;
    ASSERT_EQ(4, Build(filled.get(), 0, 1, 100));
    KorvexDouble_SetValid(false);
    PopupMenu menu;
    ExpectNoEntries(Build(menu.get(), 0, 1, 100), menu, 0);
}

TEST_F(MenuBuild, DefaultEntryAloneWithoutTargets)
{
    KorvexDouble_SetComment(L"x");
    PopupMenu menu;
    ASSERT_EQ(1, Build(menu.get(), 0, 7, 100));
    EXPECT_EQ((std::vector<MenuItem>{{7, kMenuDefault}}), menu.Items());
    EXPECT_EQ(1u, commandLines.GetCount());
    EXPECT_EQ(1u, helpTexts.GetCount());
}

// Identifiers beyond the last belong to the host's own commands.
TEST_F(MenuBuild, StopsAtLastIdentifier)
{
    struct Row {
        UINT firstId, lastId;
        int entries;
    };
    const Row rows[] = {
        {100, 103, 4}, {100, 0xFFFFFFFF, 4}, {100, 102, 3},       {100, 101, 2},
        {100, 100, 1}, {100, 99, 0},         {0xFFFE, 0xFFFF, 2}, {0xFFFFFFFE, 0xFFFFFFFF, 2},
    };
    TwoPortsOneDevice();
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.firstId << ".." << row.lastId);
        PopupMenu menu;
        EXPECT_EQ(row.entries, Build(menu.get(), 0, row.firstId, row.lastId));
        EXPECT_EQ(static_cast<size_t>(row.entries), commandLines.GetCount());
        EXPECT_EQ(static_cast<size_t>(row.entries), helpTexts.GetCount());
        const std::vector<MenuItem> items = menu.Items();
        ASSERT_EQ(static_cast<size_t>(row.entries), items.size());
        for (int i = 0; i < row.entries; ++i) EXPECT_EQ(row.firstId + i, items[i].id);
        if (row.entries > 1) {
            EXPECT_EQ(L"Download to Quenlor Halvorn via COM1", items[1].text);
        }
    }
}

TEST_F(MenuBuild, RecordsEntriesWhoseInsertionFails)
{
    TwoPortsOneDevice();
    HMENU gone = CreatePopupMenu();
    DestroyMenu(gone);
    EXPECT_EQ(4, Build(gone, 0, 1, 100));
    EXPECT_EQ(4u, commandLines.GetCount());
    ASSERT_EQ(4u, helpTexts.GetCount());
    EXPECT_EQ(L"Download 'Boot loader' to Halvorn DFU #1 using the Halvorn Device Firmware Upgrade Wizard",
              *helpTexts.Lookup(3));
}

TEST_F(MenuBuild, EntriesOfAnUnfinishedBuildLeaveTheMenu)
{
    // The host, told of the failure, would hand the entries' identifiers to the next handler.
    const HMODULE strings =
        LoadLibraryExW((ProgramFolder() + L"menu_partial_strings.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, strings);
    TwoPortsOneDevice();
    PopupMenu menu(2);
    {
        orrelin::ModuleStateGuard guard(strings);
        EXPECT_THROW(Build(menu.get(), 1, 100, 200), orrelin::MissingStringError);
    }
    EXPECT_EQ((std::vector<MenuItem>{HostItem(0), HostItem(1)}), menu.Items());
    EXPECT_TRUE(commandLines.IsEmpty());
    EXPECT_TRUE(helpTexts.IsEmpty());
    FreeLibrary(strings);

    // The same build with the whole string table keeps its entries.
    EXPECT_EQ(4, Build(menu.get(), 1, 100, 200));
    EXPECT_EQ(6, GetMenuItemCount(menu.get()));
}

TEST_F(MenuBuild, HelpTextsNameFileByTitleElseByPath)
{
    TempFolder folder(L"orrelin menu title");
    const std::wstring file = folder.WriteFile(L"update.dfu", "payload");
    SetPorts({L"COM3"});
    {
        PopupMenu menu;
        ASSERT_EQ(2, Build(menu.get(), 0, 1, 100, CMF_NORMAL, file));
        const std::wstring help = *helpTexts.Lookup(1);
        EXPECT_TRUE(help == L"Download 'update.dfu' via COM3 using the Halvorn Device Firmware Upgrade Wizard" ||
                    help == L"Download 'update' via COM3 using the Halvorn Device Firmware Upgrade Wizard")
            << testing::PrintToString(help);
    }
    // Held open for writing by someone else, the file cannot be opened with writers denied.
    HANDLE writer = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    for (const std::wstring& path : {file, folder.Path() + L"absent.dfu"}) {
        PopupMenu menu;
        ASSERT_EQ(2, Build(menu.get(), 0, 1, 100, CMF_NORMAL, path));
        EXPECT_EQ(L"Download '" + path + L"' using the Halvorn Device Firmware Upgrade Wizard", *helpTexts.Lookup(0));
        EXPECT_EQ(L"Download '" + path + L"' via COM3 using the Halvorn Device Firmware Upgrade Wizard",
                  *helpTexts.Lookup(1));
    }
    CloseHandle(writer);
}

TEST_F(MenuBuild, CommentAndNamesAreValuesNotFormats)
{
    const std::wstring comment = L"  \"Rev B\" 100% %s %d %% ";
    KorvexDouble_SetComment(comment.c_str());
    SetPorts({L"COM%s"});
    SetDevices({L"Dev %d 50%"});
    PopupMenu menu;
    ASSERT_EQ(3, Build(menu.get(), 0, 1, 100));
    EXPECT_EQ((std::vector<std::wstring>{
                  L"Download '" + comment + L"' using the Halvorn Device Firmware Upgrade Wizard",
                  L"Download '" + comment + L"' via COM%s using the Halvorn Device Firmware Upgrade Wizard",
                  L"Download '" + comment + L"' to Dev %d 50% using the Halvorn Device Firmware Upgrade Wizard"}),
              Items(helpTexts));
    EXPECT_EQ(L"Download to Quenlor Halvorn via COM%s", menu.Items()[1].text);
    EXPECT_EQ(L"Download to Dev %d 50%", menu.Items()[2].text);
}

TEST_F(MenuBuild, PathWithBlanksStandsUnchangedBetweenQuotes)
{
    KorvexDouble_SetComment(L"x");
    SetDevices({L"DFU 1"});
    PopupMenu menu;
    ASSERT_EQ(2, Build(menu.get(), 0, 1, 100, CMF_NORMAL, L"C:\\My Files\\a b.dfu"));
    const std::wstring wizard = L"\"" + WizardBesideProgram() + L"\"";
    EXPECT_EQ(wizard + L" /download \"C:\\My Files\\a b.dfu\"", *commandLines.Lookup(0));
    EXPECT_EQ(wizard + L" /usb \"DFU 1\" /download \"C:\\My Files\\a b.dfu\" /auto", *commandLines.Lookup(1));
}

// The wizard parses its command line by the standard rules; every name must come back whole,
// so that none can end its argument early and add switches.
TEST(DownloadCommandLine, EveryValueParsesBackAsOneArgument)
{
    const std::wstring wizard = L"C:\\Program Files\\Quenlor\\Brannoc.exe";
    const std::wstring names[] = {
        L"COM1",
        L"Halvorn \"DFU\" #2",
        L"COM\\",
        L"ends\\\\",
        L"a\\\"b",
        L"\\\\.\\COM12",
        L"x\" /download \"C:\\evil.dfu",
        L"\"",
        L"\\",
        L"tab\there",
        L"",
    };
    const std::wstring files[] = {L"C:\\My Files\\a.dfu", L"C:\\fw\\update.dfu"};
    for (const std::wstring& file : files) {
        EXPECT_EQ((std::vector<std::wstring>{wizard, L"/download", file}),
                  ParseArguments(orrelin::DownloadCommandLine(orrelin::DownloadTarget::Default, wizard, L"", file)));
        for (const std::wstring& name : names) {
            SCOPED_TRACE(testing::PrintToString(name));
            EXPECT_EQ(
                (std::vector<std::wstring>{wizard, L"/serial", name, L"/download", file, L"/auto"}),
                ParseArguments(orrelin::DownloadCommandLine(orrelin::DownloadTarget::Serial, wizard, name, file)));
            EXPECT_EQ((std::vector<std::wstring>{wizard, L"/usb", name, L"/download", file, L"/auto"}),
                      ParseArguments(orrelin::DownloadCommandLine(orrelin::DownloadTarget::Usb, wizard, name, file)));
        }
    }
    // Without quotes or trailing backslashes a value stands unchanged.
    EXPECT_EQ(L"\"" + wizard + L"\" /serial \"COM 1\\x\" /download \"C:\\a.dfu\" /auto",
              orrelin::DownloadCommandLine(orrelin::DownloadTarget::Serial, wizard, L"COM 1\\x", L"C:\\a.dfu"));
}

}  // namespace
