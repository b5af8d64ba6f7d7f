#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "download_menu.h"
#include "wizard_command_line.h"
#include "wizard_launch.h"
#include "menu_test_support.h"

using namespace menutest;
using orrelin::LaunchDownloadEntry;

namespace {

TEST(WizardPath, StandsBesideModuleFile)
{
    const struct {
        const wchar_t* module;
        const wchar_t* wizard;
    } rows[] = {
        {L"C:\\Tools\\Orrelin.dll", L"C:\\Tools\\Brannoc.exe"},
        {L"C:\\Program Files\\Quenlor\\Orrelin.dll", L"C:\\Program Files\\Quenlor\\Brannoc.exe"},
        {L"\\\\server\\share\\Orrelin.dll", L"\\\\server\\share\\Brannoc.exe"},
        // No folder: the platform resolves the name against the current folder.
        {L"Orrelin.dll", L"Brannoc.exe"},
        {L"", L"Brannoc.exe"},
    };
    for (const auto& row : rows) EXPECT_EQ(row.wizard, orrelin::WizardPathBeside(row.module)) << row.module;
}

TEST(WizardPath, FoundBesideThisModuleOnlyWhileThere)
{
    EXPECT_EQ(WizardBesideProgram(), orrelin::GetWizardPath());
    {
        WizardAway away;
        EXPECT_EQ(L"", orrelin::GetWizardPath());
    }
    EXPECT_EQ(WizardBesideProgram(), orrelin::GetWizardPath());
}

TEST(ProgramPath, TakenFromHeadOfCommandLine)
{
    const struct {
        const wchar_t* commandLine;
        const wchar_t* program;
    } rows[] = {
        {L"\"C:\\Tools\\Brannoc.exe\" /download \"C:\\fw\\a.dfu\"", L"C:\\Tools\\Brannoc.exe"},
        {L"\"C:\\My Tools\\Brannoc.exe\" /download x.dfu", L"C:\\My Tools\\Brannoc.exe"},
        {L"C:\\Tools\\Brannoc.exe /download x.dfu", L"C:\\Tools\\Brannoc.exe"},
        {L"\"C:\\My Tools\\Brannoc.exe /download", L"C:\\My Tools\\Brannoc.exe /download"},
        {L"C:\\Tools\\Brannoc.exe", L"C:\\Tools\\Brannoc.exe"},
        {L"\"\" /download", L""},
        {L"", L""},
    };
    for (const auto& row : rows) EXPECT_EQ(row.program, orrelin::ProgramPathOf(row.commandLine)) << row.commandLine;
}

TEST(StartFailure, ReasonFromSystemElseOwnText)
{
    const std::wstring program = L"C:\\Tools\\Brannoc.exe";
    EXPECT_EQ(SystemMessage(ERROR_FILE_NOT_FOUND), orrelin::StartFailureReason(ERROR_FILE_NOT_FOUND, program));
    EXPECT_NE(L"", SystemMessage(ERROR_FILE_NOT_FOUND));

    std::wstring badFormat = SystemMessage(ERROR_BAD_EXE_FORMAT);
    const size_t insert = badFormat.find(L"%1");
    ASSERT_NE(std::wstring::npos, insert) << "the system's text names the program";
    EXPECT_EQ(badFormat.replace(insert, 2, program), orrelin::StartFailureReason(ERROR_BAD_EXE_FORMAT, program));

    EXPECT_EQ(L"Unable to determine reason for failure.", orrelin::StartFailureReason(0x20001234, program));
}

class WizardLaunch : public EngineTest {
protected:
    // Three entries: the default, one port, one device.
    void BuildThreeEntries(const std::wstring& file)
    {
        SetPorts({L"COM \"9\"\\"});
        SetDevices({L"Halvorn DFU\\"});
        KorvexDouble_SetComment(L"x");
        PopupMenu menu;
        ASSERT_EQ(3, orrelin::BuildDownloadMenu(file, commandLines, helpTexts, menu.get(), 0, 1, 100, 0));
    }
    HRESULT Invoke(UINT_PTR verb, DWORD mask = 0, HWND owner = nullptr)
    {
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof(info);
        info.fMask = mask;
        info.hwnd = owner;
        info.lpVerb = reinterpret_cast<LPCSTR>(verb);
        info.nShow = SW_SHOWNORMAL;
        return LaunchDownloadEntry(commandLines, &info);
    }

    WizardRecord record;
    orrelin::StringList commandLines;
    orrelin::StringList helpTexts;
};

TEST_F(WizardLaunch, StartsWizardWithChosenEntryCommandLine)
{
    const std::wstring file = L"C:\\My Files\\boot loader.dfu";
    BuildThreeEntries(file);
    const std::wstring wizard = WizardBesideProgram();
    const std::vector<std::wstring> arguments[] = {
        {wizard, L"/download", file},
        {wizard, L"/serial", L"COM \"9\"\\", L"/download", file, L"/auto"},
        {wizard, L"/usb", L"Halvorn DFU\\", L"/download", file, L"/auto"},
    };
    // The wizard starts in the caller's current folder, which is not the wizard's own.
    TempFolder caller(L"orrelin wizard caller");
    const std::wstring previousFolder = CurrentFolder();
    ASSERT_TRUE(SetCurrentDirectoryW(caller.Path().c_str()));
    for (UINT_PTR verb = 0; verb < 3; ++verb) {
        SCOPED_TRACE(verb);
        EXPECT_EQ(S_OK, Invoke(verb));
        const std::vector<WizardStart> starts = record.WaitFor(verb + 1);
        ASSERT_EQ(verb + 1, starts.size());
        const WizardStart& start = starts.back();
        EXPECT_EQ(*commandLines.Lookup(verb), start.commandLine);
        EXPECT_EQ(arguments[verb], ParseArguments(start.commandLine));
        EXPECT_EQ(static_cast<DWORD>(STARTF_FORCEONFEEDBACK), start.startupFlags);
        EXPECT_EQ(CurrentFolder(), start.currentFolder);
    }
    SetCurrentDirectoryW(previousFolder.c_str());
    WaitForExit(record.Read());
}

TEST_F(WizardLaunch, WizardPathWithBlanksIsProgramPath)
{
    TempFolder folder(L"orrelin wizard test");
    const std::wstring wizard = folder.Path() + L"Brannoc.exe";
    ASSERT_TRUE(CopyFileW(WizardBesideProgram().c_str(), wizard.c_str(), FALSE));
    using orrelin::DownloadTarget;
    for (DownloadTarget kind : {DownloadTarget::Default, DownloadTarget::Serial, DownloadTarget::Usb})
        commandLines.AddTail(orrelin::DownloadCommandLine(kind, wizard, L"Target 1", L"C:\\My Files\\a.dfu"));
    for (UINT_PTR verb = 0; verb < 3; ++verb) EXPECT_EQ(S_OK, Invoke(verb));
    const std::vector<WizardStart> starts = record.WaitFor(3);
    ASSERT_EQ(3u, starts.size());
    std::vector<std::wstring> recorded;
    for (const WizardStart& start : starts) {
        recorded.push_back(start.commandLine);
        EXPECT_EQ(wizard, ParseArguments(start.commandLine).at(0));
    }
    WaitForExit(starts);  // so the folder can go
    std::sort(recorded.begin(), recorded.end());
    std::vector<std::wstring> expected = Items(commandLines);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, recorded);
}

TEST_F(WizardLaunch, DoesNotWaitForWizard)
{
    BuildThreeEntries(L"C:\\fw\\a.dfu");
    const std::wstring eventName = L"OrrelinWizardHold" + std::to_wstring(GetCurrentProcessId());
    HANDLE hold = CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
    SetEnvironmentVariableW(L"ORRELIN_WIZARD_HOLD", eventName.c_str());
    EXPECT_EQ(S_OK, Invoke(0));
    SetEnvironmentVariableW(L"ORRELIN_WIZARD_HOLD", nullptr);
    const std::vector<WizardStart> starts = record.WaitFor(1);
    ASSERT_EQ(1u, starts.size());
    HANDLE wizard = OpenProcess(SYNCHRONIZE, FALSE, starts[0].processId);
    ASSERT_NE(nullptr, wizard);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(wizard, 0)) << "still held by the test";
    SetEvent(hold);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(wizard, 10000));
    CloseHandle(wizard);
    CloseHandle(hold);
}

TEST_F(WizardLaunch, RefusesVerbsWithoutEntryAndStartsNothing)
{
    const DWORD before = ProcessesStarted();
    EXPECT_EQ(E_INVALIDARG, Invoke(0)) << "before any menu";
    BuildThreeEntries(L"C:\\fw\\a.dfu");
    for (UINT_PTR verb :
         {UINT_PTR{3}, UINT_PTR{0xFFFF}, UINT_PTR{0x00010000}, UINT_PTR{0x00010001}, UINT_PTR{0xFFFF0000}})
        EXPECT_EQ(E_INVALIDARG, Invoke(verb)) << verb;
    EXPECT_EQ(E_INVALIDARG, LaunchDownloadEntry(commandLines, nullptr));
    EXPECT_EQ(before, ProcessesStarted());
    EXPECT_TRUE(record.Read().empty());
}

TEST_F(WizardLaunch, WarnsWhenWizardIsGone)
{
    BuildThreeEntries(L"C:\\fw\\a.dfu");
    HWND owner =
        CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, owner);
    WizardAway away;
    MessageBoxWatch watch;
    EXPECT_EQ(S_OK, Invoke(1, 0, owner));
    ASSERT_EQ(1u, watch.Seen().size());
    const MessageBoxSeen& box = watch.Seen()[0];
    EXPECT_EQ(L"Halvorn Device Firmware Upgrade Wizard", box.caption);
    const std::vector<std::wstring> lines = Lines(box.text);
    ASSERT_GE(lines.size(), 4u) << testing::PrintToString(box.text);
    EXPECT_EQ(L"Failed to start program:", lines[0]);
    EXPECT_EQ(L"\t" + *commandLines.Lookup(1), lines[1]);
    EXPECT_EQ(L"", lines[2]);
    const std::wstring reason = SystemMessage(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(L"Failed to start program:\n\t" + *commandLines.Lookup(1) + L"\n\n" + reason, box.text);
    EXPECT_EQ(owner, box.owner);
    EXPECT_EQ(std::vector<int>{IDOK}, box.visibleButtons);
    EXPECT_NE(nullptr, box.icon);
    EXPECT_EQ(LoadIconW(nullptr, IDI_WARNING), box.icon);
    DestroyWindow(owner);
}

TEST_F(WizardLaunch, WarningReasonNamesProgram)
{
    BuildThreeEntries(L"C:\\fw\\a.dfu");
    WizardAway away;
    away.PlaceNonProgram();
    MessageBoxWatch watch;
    EXPECT_EQ(S_OK, Invoke(2));
    ASSERT_EQ(1u, watch.Seen().size());
    std::wstring reason = SystemMessage(ERROR_BAD_EXE_FORMAT);
    const size_t insert = reason.find(L"%1");
    ASSERT_NE(std::wstring::npos, insert);
    reason.replace(insert, 2, WizardBesideProgram());
    EXPECT_EQ(L"Failed to start program:\n\t" + *commandLines.Lookup(2) + L"\n\n" + reason, watch.Seen()[0].text);
}

TEST_F(WizardLaunch, NoUiFlagReturnsFailureWithoutBox)
{
    BuildThreeEntries(L"C:\\fw\\a.dfu");
    WizardAway away;
    MessageBoxWatch watch;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), Invoke(0, CMIC_MASK_FLAG_NO_UI));
    EXPECT_TRUE(watch.Seen().empty());
}

}  // namespace
