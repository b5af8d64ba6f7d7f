#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

#include "registered_library.h"
#include "handles.h"

using orrelin::ComPtr;
using orrelin::UniqueHandle;

using orrelin::test::Narrow;
using orrelin::test::ProgramFolder;
using orrelin::test::Quoted;
using orrelin::test::Regsvr32;

namespace {

struct ProgramRun {
    DWORD exitCode = static_cast<DWORD>(-1);
    std::wstring output;  // standard output and standard error together
};

// Runs a program of this build and collects what it prints. The output goes to a file, not
// a pipe: Wine's desktop process, started by the first program with a window, inherits the
// handles and would keep a pipe open after the program has ended.
ProgramRun RunProgram(const std::wstring& commandLine)
{
    ProgramRun run;
    wchar_t folder[MAX_PATH], name[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"orr", 0, name);
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE output = CreateFileW(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (output == INVALID_HANDLE_VALUE) return run;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    std::wstring command = commandLine;
    const BOOL started =
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(output);
    if (started) {
        UniqueHandle processHandle(process.hProcess);
        UniqueHandle thread(process.hThread);
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
    }
    std::string bytes;
    HANDLE input = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (input != INVALID_HANDLE_VALUE) {
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(input, buffer, sizeof(buffer), &read, nullptr) && read > 0) bytes.append(buffer, read);
        CloseHandle(input);
    }
    DeleteFileW(name);
    // The console runtime writes wide text to a file in the ANSI code page.
    const int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    run.output.resize(static_cast<size_t>(length));
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), run.output.data(), length);
    // Text-mode output ends its lines in CR LF.
    run.output.erase(std::remove(run.output.begin(), run.output.end(), L'\r'), run.output.end());
    return run;
}

std::wstring ReadRecord(const std::wstring& path)
{
    std::ifstream file(std::string(Narrow(path)));
    // The record is UTF-8; the paths here are ASCII.
    std::stringstream text;
    text << file.rdbuf();
    const std::string bytes = text.str();
    return std::wstring(bytes.begin(), bytes.end());
}

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = ProgramFolder();
        dll = folder + L"Orrelin.dll";
        host = Quoted(folder + L"dfushell.exe");
        record = folder + L"endtoend-wizard-" + std::to_wstring(GetCurrentProcessId()) + L".log";
        DeleteFileW(record.c_str());
        SetEnvironmentVariableW(L"ORRELIN_WIZARD_RECORD", record.c_str());
        ASSERT_EQ(0u, Regsvr32(Quoted(dll)));
    }
    void TearDown() override
    {
        EXPECT_EQ(0u, Regsvr32(L"/u \"" + dll + L"\""));
        SetEnvironmentVariableW(L"ORRELIN_WIZARD_RECORD", nullptr);
        DeleteFileW(record.c_str());
    }

    std::wstring Sample(const wchar_t* name) const { return folder + L"engine-samples\\" + name; }

    std::wstring folder, dll, host, record;
};

TEST_F(EndToEndTest, TheHostShowsTipAndMenuAndStartsTheWizard)
{
    const std::wstring file = Sample(L"ids.dfu");
    const ProgramRun run = RunProgram(host + L" --invoke-default \"" + file + L"\"");
    ASSERT_EQ(0u, run.exitCode) << Narrow(run.output);
    const std::wstring& out = run.output;
    EXPECT_NE(std::wstring::npos, out.find(L"Info tip:\n  Device Firmware Upgrade (DFU) file\n  \n  File: \t\tids"))
        << Narrow(out);
    EXPECT_NE(std::wstring::npos, out.find(L"\n  Vendor ID: \t0x0483\n  Product ID: \t0xDF11\n  Release: \t2200\n"))
        << Narrow(out);
    EXPECT_NE(std::wstring::npos, out.find(L"Context menu from Orrelin.DFUShellExt: ")) << Narrow(out);
    // The help text names the file by its title, with or without its extension.
    const bool helpShown = out.find(
                               L"  [1] Download to Quenlor Halvorn\n      Download 'ids.dfu' using the Halvorn Device "
                               L"Firmware Upgrade Wizard\n") != std::wstring::npos ||
                           out.find(
                               L"  [1] Download to Quenlor Halvorn\n      Download 'ids' using the Halvorn Device "
                               L"Firmware Upgrade Wizard\n") != std::wstring::npos;
    EXPECT_TRUE(helpShown) << Narrow(out);
    EXPECT_NE(std::wstring::npos, out.find(L"Invoked [1] Download to Quenlor Halvorn: 0x00000000")) << Narrow(out);
    // One entry of the whole menu is carried out, not the same place in every handler's.
    EXPECT_EQ(out.find(L"\nInvoked "), out.rfind(L"\nInvoked ")) << Narrow(out);
    EXPECT_NE(std::wstring::npos, out.find(L"DllCanUnloadNow: S_OK")) << Narrow(out);

    // The wizard records its command line; the host never waits for it.
    std::wstring line;
    for (int attempt = 0; attempt < 100 && line.empty(); ++attempt) {
        line = ReadRecord(record);
        if (line.empty()) Sleep(100);
    }
    const std::wstring expected = L"\"" + folder + L"Brannoc.exe\" /download \"" + file + L"\"";
    EXPECT_NE(std::wstring::npos, line.find(L"\t" + expected)) << Narrow(line);
}

struct InvokeRow {
    const wchar_t* arguments;
    unsigned exitCode;
    const wchar_t* shown;
};

// Entries are numbered through the whole menu, as Explorer merges its handlers' entries.
TEST_F(EndToEndTest, TheHostCarriesOutTheEntryOfTheWholeMenu)
{
    for (const InvokeRow& row : {InvokeRow{L"--invoke 3 --no-ui", 0, L"\nInvoked [4] Copy SHA-256: 0x00000000"},
                                 InvokeRow{L"--invoke 4 --no-ui", 3, L"there is no entry 4"}}) {
        const ProgramRun run = RunProgram(host + L" " + row.arguments + L" \"" + Sample(L"ids.dfu") + L"\"");
        EXPECT_EQ(row.exitCode, run.exitCode) << Narrow(row.arguments) << "\n" << Narrow(run.output);
        EXPECT_NE(std::wstring::npos, run.output.find(row.shown)) << Narrow(run.output);
        EXPECT_EQ(std::wstring::npos, run.output.find(L"Download to Quenlor Halvorn: 0x")) << Narrow(run.output);
    }
}

TEST_F(EndToEndTest, TheCommentOfADfuSeFileHeadsTheTipAndNamesTheFile)
{
    const ProgramRun run = RunProgram(host + L" \"" + Sample(L"dfuse.dfu") + L"\"");
    ASSERT_EQ(0u, run.exitCode) << Narrow(run.output);
    EXPECT_NE(std::wstring::npos, run.output.find(L"Device Firmware Upgrade (DFU) file for Quenlor Halvorn\n"))
        << Narrow(run.output);
    EXPECT_NE(std::wstring::npos, run.output.find(L"\n  \n  Carte \u00e9\n")) << Narrow(run.output);
    EXPECT_NE(std::wstring::npos, run.output.find(L"Download 'Carte \u00e9' using")) << Narrow(run.output);
}

TEST_F(EndToEndTest, AFileTheEngineRejectsGetsNeitherTipNorEntries)
{
    const ProgramRun run = RunProgram(host + L" \"" + Sample(L"corrupt.dfu") + L"\"");
    EXPECT_NE(std::wstring::npos, run.output.find(L"gave no tip")) << Narrow(run.output);
    EXPECT_NE(std::wstring::npos, run.output.find(L"Context menu from Orrelin.DFUShellExt: 0 entries"))
        << Narrow(run.output);
    // The tools menu still offers to take a damaged file apart (after asking) and to hash it,
    // so the host has entries to show.
    EXPECT_NE(std::wstring::npos, run.output.find(L"Context menu from Orrelin.DFUToolsMenu: 2 entries"))
        << Narrow(run.output);
    EXPECT_EQ(0u, run.exitCode) << Narrow(run.output);
}

TEST_F(EndToEndTest, TheClassIsCreatableByItsProgIds)
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    for (const wchar_t* progId : {L"Orrelin.DFUShellExt", L"Orrelin.DFUShellExt.1"}) {
        CLSID classId;
        ASSERT_EQ(S_OK, CLSIDFromProgID(progId, &classId)) << Narrow(progId);
        ComPtr<IQueryInfo> tip;
        EXPECT_EQ(S_OK, CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IQueryInfo, tip.put_void()));
        // The automation face answers from the registered type library.
        ComPtr<IDispatch> dispatch;
        ASSERT_EQ(S_OK, tip->QueryInterface(IID_IDispatch, dispatch.put_void()));
        ComPtr<ITypeInfo> info;
        EXPECT_EQ(S_OK, dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put()));
    }
    CoUninitialize();
}

struct PropertiesCase {
    const wchar_t* file;
    const wchar_t* printed;  // a part of what the host prints
};

const PropertiesCase kPrintedStores[] = {
    {L"two-targets.dfu",
     L"Properties:\n"
     L"  Orrelin.Dfu.VendorId     Vendor ID      0x0483\n"
     L"  Orrelin.Dfu.ProductId    Product ID     0xDF11\n"
     L"  Orrelin.Dfu.Release      Release        200\n"
     L"  Orrelin.Dfu.DfuVersion   DFU version    1.1a\n"
     L"  Orrelin.Dfu.TargetCount  Targets        2\n"
     L"  Orrelin.Dfu.TargetNames  Target names   Internal Flash; (unnamed, alternate setting 1)\n"
     L"  Orrelin.Dfu.ImageSize    Image size     1388\n"
     L"  Orrelin.Dfu.Verdict      DFU verdict    Valid\n"
     L"  System.Comment           Comments       Internal Flash\n\n"},
    {L"plain.dfu", L"  Orrelin.Dfu.VendorId     Vendor ID      0x1D50\n"},
    {L"unstated-numbers.dfu", L"Properties:\n  Orrelin.Dfu.DfuVersion   DFU version    1.0\n"},
    {L"crc-mismatch.dfu", L"Properties:\n  Orrelin.Dfu.Verdict      DFU verdict    CRC mismatch\n\n"},
};

class PrintedStore : public EndToEndTest, public ::testing::WithParamInterface<PropertiesCase> {};

TEST_P(PrintedStore, TheHostPrintsTheHandlersStore)
{
    const std::wstring file = folder + L"layout-samples\\" + GetParam().file;
    const ProgramRun run = RunProgram(host + L" --properties \"" + file + L"\"");
    ASSERT_EQ(0u, run.exitCode) << Narrow(run.output);
    EXPECT_NE(std::wstring::npos, run.output.find(GetParam().printed)) << Narrow(run.output);
    EXPECT_NE(std::wstring::npos, run.output.find(L"DllCanUnloadNow: S_OK")) << Narrow(run.output);
}

INSTANTIATE_TEST_SUITE_P(LayoutSamples, PrintedStore, ::testing::ValuesIn(kPrintedStores));

TEST(EndToEndUnregistered, TheHostSaysWhatIsMissing)
{
    const std::wstring folder = ProgramFolder();
    const ProgramRun missing = RunProgram(L"\"" + folder + L"dfushell.exe\" \"" + folder + L"no-such-file.dfu\"");
    EXPECT_EQ(2u, missing.exitCode);
    EXPECT_NE(std::wstring::npos, missing.output.find(L"no such file")) << Narrow(missing.output);

    // Nothing registered: after unregistration only the info tip association and the empty
    // handler list stay, and neither leads to a class.
    const std::wstring dll = L"\"" + folder + L"Orrelin.dll\"";
    ASSERT_EQ(0u, Regsvr32(dll));
    ASSERT_EQ(0u, Regsvr32(L"/u " + dll));
    const ProgramRun bare = RunProgram(L"\"" + folder + L"dfushell.exe\" \"" + folder + L"engine-samples\\ids.dfu\"");
    EXPECT_EQ(2u, bare.exitCode) << Narrow(bare.output);
    EXPECT_NE(std::wstring::npos, bare.output.find(L"could not be created")) << Narrow(bare.output);
    EXPECT_NE(std::wstring::npos, bare.output.find(L"no context-menu handlers are registered")) << Narrow(bare.output);
    const ProgramRun noStore =
        RunProgram(L"\"" + folder + L"dfushell.exe\" --properties \"" + folder + L"engine-samples\\ids.dfu\"");
    EXPECT_EQ(1u, noStore.exitCode) << Narrow(noStore.output);
    EXPECT_NE(std::wstring::npos, noStore.output.find(L"no property handler is registered")) << Narrow(noStore.output);
}

}  // namespace
