// "Make DFU file…" driven as a user would: the dialog filled in from another thread and its
// file compared byte for byte with what dfutool makes of the same values; refused values;
// remembered values; and makes that fail or are cancelled leaving nothing behind.
#include "dialog_driver.h"
#include "make_dialog.h"
#include "resource.h"
#include "scratch_folder.h"
#include "string_table.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using dfutest::ChooseRadio;
using dfutest::ControlText;
using dfutest::DialogDriver;
using dfutest::Press;
using dfutest::TypeInto;
using dfutest::WaitForWindow;
using orrelin::MakeRequest;

// One record of Intel HEX (type 00 data, 01 end, 04 upper address) or an S1/S9 S-record.
std::string HexRecord(unsigned type, unsigned address, const std::string& data)
{
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
    char text[16];
    std::snprintf(text, sizeof(text), ":%02X%04X%02X", static_cast<unsigned>(data.size()), address & 0xFFFF, type);
    std::string line = text;
    for (unsigned char c : data) {
        std::snprintf(text, sizeof(text), "%02X", c);
        line += text;
        sum += c;
    }
    std::snprintf(text, sizeof(text), "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + text;
}

std::string SRecord(char type, unsigned address, const std::string& data)
{
    unsigned sum = static_cast<unsigned>(data.size()) + 3 + (address >> 8) + (address & 0xFF);
    char text[16];
    std::snprintf(text, sizeof(text), "S%c%02X%04X", type, static_cast<unsigned>(data.size()) + 3, address & 0xFFFF);
    std::string line = text;
    for (unsigned char c : data) {
        std::snprintf(text, sizeof(text), "%02X", c);
        line += text;
        sum += c;
    }
    std::snprintf(text, sizeof(text), "%02X\n", ~sum & 0xFF);
    return line + text;
}

std::string Bytes(size_t count, unsigned seed)
{
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>((i * 31 + seed) & 0xFF);
    return bytes;
}

// Two runs of data with a gap between them: two elements.
const std::string kHex = HexRecord(4, 0, std::string("\x08\x00", 2)) + HexRecord(0, 0x0000, Bytes(16, 1)) +
                         HexRecord(0, 0x0010, Bytes(16, 2)) + HexRecord(0, 0x0400, Bytes(8, 3)) + HexRecord(1, 0, "");
const std::string kSRecords = SRecord('1', 0x2000, Bytes(20, 4)) + SRecord('9', 0, "");

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

class MakeDialog : public dfutest::ScratchFolder {
protected:
    void SetUp() override
    {
        ScratchFolder::SetUp();
        RegDeleteTreeW(HKEY_CURRENT_USER, orrelin::kMakeSettingsKey);
    }
    void TearDown() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, orrelin::kMakeSettingsKey);
        ScratchFolder::TearDown();
    }

    std::wstring Full(const std::string& name) const
    {
        wchar_t full[MAX_PATH];
        GetFullPathNameW(In(name).c_str(), MAX_PATH, full, nullptr);
        return full;
    }

    // dfutool.exe beside this program, run on the same inputs; its exit code.
    DWORD RunDfutool(const std::wstring& arguments) const
    {
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring tool = self;
        tool = tool.substr(0, tool.find_last_of(L"\\/") + 1) + L"dfutool.exe";
        std::wstring commandLine = L"\"" + tool + L"\" make -q " + arguments;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        if (!CreateProcessW(tool.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                            &startup, &process))
            return GetLastError() | 0x80000000u;
        WaitForSingleObject(process.hProcess, 60000);
        DWORD code = 1;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return code;
    }
};

// A progress that records and stops once `stopAfter` bytes are reported done.
class TestProgress final : public orrelin::WorkProgress {
public:
    explicit TestProgress(std::uint64_t stopAfter = UINT64_MAX) : m_stopAfter(stopAfter) {}
    void Report(std::uint64_t done, std::uint64_t total) override
    {
        m_done = done;
        m_total = total;
    }
    void Describe(const std::wstring& line) override { m_line = line; }
    bool Cancelled() override { return m_done >= m_stopAfter; }
    std::uint64_t m_done = 0, m_total = 0;
    std::wstring m_line;

private:
    std::uint64_t m_stopAfter;
};

struct DialogCase {
    const char* name;
    std::vector<const char*> inputs;
    bool plain;
    const wchar_t *vendor, *product, *release, *targetName, *alternate, *addresses;
    const wchar_t* dfutool;  // the same values for dfutool make; %s: the scratch folder
};

const DialogCase kDialogCases[] = {
    {"one HEX file",
     {"app.hex"},
     false,
     L"0483",
     L"DF11",
     L"0200",
     L"Internal Flash",
     L"0",
     L"",
     L"-v 0x0483 -p 0xDF11 -d 0x0200 -t \"0:Internal Flash\" --hex %s\\app.hex %s\\app-tool.dfu"},
    {"HEX, S-records and two binaries",
     {"app.hex", "boot.s19", "a.bin", "b.bin"},
     false,
     L"0x1209",
     L"",
     L"1",
     L"",
     L"2",
     L"0x08010000, 20000000",
     L"-v 0x1209 -d 0x1 -t 2 --hex %s\\app.hex --srec %s\\boot.s19 --bin 0x08010000:%s\\a.bin "
     L"--bin 0x20000000:%s\\b.bin %s\\app-tool.dfu"},
    {"one binary as a plain DFU file",
     {"a.bin"},
     true,
     L"CAFE",
     L"babe",
     L"",
     L"",
     L"0",
     L"",
     L"-v 0xCAFE -p 0xBABE --image %s\\a.bin %s\\a-tool.dfu"},
};

std::wstring Substituted(const std::wstring& pattern, const std::wstring& folder)
{
    std::wstring text = pattern;
    for (size_t at = text.find(L"%s"); at != std::wstring::npos; at = text.find(L"%s", at + folder.size()))
        text.replace(at, 2, folder);
    return text;
}

TEST_F(MakeDialog, FilledInAndAcceptedMakesWhatDfutoolMakes)
{
    for (const DialogCase& row : kDialogCases) {
        SCOPED_TRACE(row.name);
        Put("app.hex", kHex);
        Put("boot.s19", kSRecords);
        Put("a.bin", Bytes(300, 5));
        Put("b.bin", Bytes(64, 6));
        std::vector<std::wstring> inputs;
        for (const char* input : row.inputs) inputs.push_back(Full(input));

        const std::wstring caption = orrelin::LoadResString(IDS_MAKE_CAPTION);
        std::wstring defaultOutput;
        bool okEnabled = false;
        MakeRequest request;
        HRESULT hr = E_FAIL;
        {
            DialogDriver driver([&] {
                const HWND dialog = WaitForWindow(caption);
                if (!dialog) return;
                defaultOutput = ControlText(dialog, IDC_MAKE_OUTPUT);
                TypeInto(dialog, IDC_MAKE_VENDOR, row.vendor);
                TypeInto(dialog, IDC_MAKE_PRODUCT, row.product);
                TypeInto(dialog, IDC_MAKE_RELEASE, row.release);
                ChooseRadio(dialog, IDC_MAKE_PLAIN, IDC_MAKE_DFUSE, row.plain ? IDC_MAKE_PLAIN : IDC_MAKE_DFUSE);
                TypeInto(dialog, IDC_MAKE_TARGET_NAME, row.targetName);
                TypeInto(dialog, IDC_MAKE_ALTERNATE, row.alternate);
                TypeInto(dialog, IDC_MAKE_ADDRESS, row.addresses);
                okEnabled = IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE;
                Press(dialog, okEnabled ? IDOK : IDCANCEL);
            });
            hr = orrelin::ShowMakeDfuDialog(nullptr, inputs, request);
        }
        ASSERT_TRUE(okEnabled);
        ASSERT_EQ(S_OK, hr);
        EXPECT_EQ(orrelin::DefaultOutput(inputs), defaultOutput);
        EXPECT_EQ(defaultOutput, request.output);
        EXPECT_FALSE(request.replace);

        TestProgress progress;
        std::wstring error;
        ASSERT_EQ(S_OK, orrelin::MakeDfuFile(request, progress, error)) << error;
        EXPECT_EQ(progress.m_total, progress.m_done);
        EXPECT_NE(std::wstring::npos, progress.m_line.find(L".dfu"));

        wchar_t folder[MAX_PATH];
        GetFullPathNameW(In("").c_str(), MAX_PATH, folder, nullptr);
        std::wstring base = folder;
        while (!base.empty() && (base.back() == L'\\' || base.back() == L'/')) base.pop_back();
        ASSERT_EQ(0u, RunDfutool(Substituted(row.dfutool, base)));
        const std::string made = Get(row.plain ? "a.dfu" : "app.dfu");
        ASSERT_FALSE(made.empty());
        EXPECT_EQ(Get(row.plain ? "a-tool.dfu" : "app-tool.dfu"), made);
        for (const std::string& name : Names()) std::remove((m_folder + "/" + name).c_str());
    }
}

struct RefusedCase {
    int control;
    const wchar_t* text;
    UINT reason;
};

const std::wstring kLongTargetName(256, L'n');

const RefusedCase kRefused[] = {
    {IDC_MAKE_VENDOR, L"10000", IDS_MAKE_BAD_VENDOR},
    {IDC_MAKE_VENDOR, L"0x", IDS_MAKE_BAD_VENDOR},
    {IDC_MAKE_PRODUCT, L"12G4", IDS_MAKE_BAD_PRODUCT},
    {IDC_MAKE_RELEASE, L"-1", IDS_MAKE_BAD_RELEASE},
    {IDC_MAKE_ALTERNATE, L"256", IDS_MAKE_BAD_ALTERNATE},
    {IDC_MAKE_ADDRESS, L"", IDS_MAKE_ADDRESS_COUNT},
    {IDC_MAKE_ADDRESS, L"100000000", IDS_MAKE_BAD_ADDRESS},
    {IDC_MAKE_ADDRESS, L"0x0800 0x0900", IDS_MAKE_ADDRESS_COUNT},
    {IDC_MAKE_OUTPUT, L"", IDS_MAKE_NO_OUTPUT},
    {IDC_MAKE_TARGET_NAME, kLongTargetName.c_str(), IDS_MAKE_BAD_TARGET_NAME},
};

TEST_F(MakeDialog, RefusesABadValueUntilItIsPutRight)
{
    Put("app.hex", kHex);
    Put("a.bin", Bytes(16, 7));
    const std::vector<std::wstring> inputs{Full("app.hex"), Full("a.bin")};
    const std::wstring caption = orrelin::LoadResString(IDS_MAKE_CAPTION);
    for (const RefusedCase& row : kRefused) {
        SCOPED_TRACE(row.control);
        bool goodEnabled = false, badEnabled = true, fixedEnabled = false;
        std::wstring reason;
        MakeRequest request;
        HRESULT hr = E_FAIL;
        {
            DialogDriver driver([&] {
                const HWND dialog = WaitForWindow(caption);
                if (!dialog) return;
                TypeInto(dialog, IDC_MAKE_ADDRESS, L"08000000");
                goodEnabled = IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE;
                const std::wstring good = ControlText(dialog, row.control);
                TypeInto(dialog, row.control, row.text);
                badEnabled = IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE;
                reason = ControlText(dialog, IDC_MAKE_PROBLEM);
                // OK pressed anyway, as a keyboard's Enter would: the dialog stays.
                SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
                TypeInto(dialog, row.control, good);
                fixedEnabled = IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE;
                Press(dialog, IDCANCEL);
            });
            hr = orrelin::ShowMakeDfuDialog(nullptr, inputs, request);
        }
        EXPECT_EQ(S_FALSE, hr);
        EXPECT_TRUE(goodEnabled);
        EXPECT_FALSE(badEnabled);
        std::wstring expected = orrelin::LoadResString(row.reason);
        if (row.reason == IDS_MAKE_ADDRESS_COUNT) expected = orrelin::FormatResString(row.reason, {1u});
        EXPECT_EQ(expected, reason);
        EXPECT_TRUE(fixedEnabled);
        EXPECT_EQ((std::vector<std::string>{"a.bin", "app.hex"}), Names());
    }
}

TEST_F(MakeDialog, RemembersTheLastValuesAndAsksBeforeReplacing)
{
    Put("app.hex", kHex);
    Put("app.dfu", "earlier");
    const std::vector<std::wstring> inputs{Full("app.hex")};
    const std::wstring caption = orrelin::LoadResString(IDS_MAKE_CAPTION);
    struct Answer {
        int button;
        HRESULT result;
    };
    // No keeps the dialog open (then cancelled); Yes accepts with the replacement confirmed.
    for (const Answer answer : {Answer{IDNO, S_FALSE}, Answer{IDYES, S_OK}}) {
        std::wstring question;
        MakeRequest request;
        HRESULT hr = E_FAIL;
        {
            DialogDriver driver([&] {
                const HWND dialog = WaitForWindow(caption);
                if (!dialog) return;
                TypeInto(dialog, IDC_MAKE_VENDOR, L"ABCD");
                TypeInto(dialog, IDC_MAKE_TARGET_NAME, L"Flash");
                TypeInto(dialog, IDC_MAKE_ALTERNATE, L"3");
                Press(dialog, IDOK);
                const HWND box = WaitForWindow(caption, dialog);
                if (!box) return Press(dialog, IDCANCEL);
                question = ControlText(box, 0xFFFF);
                Press(box, answer.button);
                if (answer.button == IDNO) {
                    while (IsWindowVisible(box)) Sleep(20);
                    Press(dialog, IDCANCEL);
                }
            });
            hr = orrelin::ShowMakeDfuDialog(nullptr, inputs, request);
        }
        EXPECT_EQ(answer.result, hr);
        EXPECT_EQ(orrelin::FormatResString(IDS_MAKE_CONFIRM_REPLACE, {Full("app.dfu")}), question);
        EXPECT_EQ(answer.button == IDYES, request.replace);
    }

    std::wstring vendor, targetName, alternate;
    {
        DialogDriver driver([&] {
            const HWND dialog = WaitForWindow(caption);
            if (!dialog) return;
            vendor = ControlText(dialog, IDC_MAKE_VENDOR);
            targetName = ControlText(dialog, IDC_MAKE_TARGET_NAME);
            alternate = ControlText(dialog, IDC_MAKE_ALTERNATE);
            Press(dialog, IDCANCEL);
        });
        MakeRequest request;
        EXPECT_EQ(S_FALSE, orrelin::ShowMakeDfuDialog(nullptr, inputs, request));
    }
    EXPECT_EQ(L"ABCD", vendor);
    EXPECT_EQ(L"Flash", targetName);
    EXPECT_EQ(L"3", alternate);
    EXPECT_EQ("earlier", Get("app.dfu"));
}

struct FailedCase {
    const char* name;
    const char* input;
    std::string bytes;
    std::uint64_t stopAfter;
    HRESULT result;
    const char* errorNames;  // what the error must name
};

const FailedCase kFailed[] = {
    {"cancelled before reading", "big.bin", Bytes(3u << 20, 8), 0, HRESULT_FROM_WIN32(ERROR_CANCELLED), ""},
    {"cancelled while writing", "big.bin", Bytes(3u << 20, 8), 1u << 20, HRESULT_FROM_WIN32(ERROR_CANCELLED), ""},
    {"broken HEX line", "bad.hex", HexRecord(0, 0, Bytes(16, 9)) + ":10001000FFFF\r\n" + HexRecord(1, 0, ""),
     UINT64_MAX, HRESULT_FROM_WIN32(ERROR_INVALID_DATA), "bad.hex:2"},
    {"missing input", "gone.hex", std::string(), UINT64_MAX, E_FAIL, "gone.hex"},
};

TEST_F(MakeDialog, AFailedOrCancelledMakeLeavesNothingBehind)
{
    for (const FailedCase& row : kFailed) {
        SCOPED_TRACE(row.name);
        if (!row.bytes.empty()) Put(row.input, row.bytes);
        Put("out.dfu", "earlier");
        MakeRequest request;
        request.inputs = {Full(row.input)};
        request.loadAddresses = {0x08000000};
        request.output = Full("out.dfu");
        request.replace = true;
        TestProgress progress(row.stopAfter);
        std::wstring error;
        EXPECT_EQ(row.result, orrelin::MakeDfuFile(request, progress, error));
        EXPECT_NE(std::wstring::npos, error.find(Wide(row.errorNames))) << error;
        EXPECT_EQ("earlier", Get("out.dfu"));
        std::vector<std::string> expected{"out.dfu"};
        if (!row.bytes.empty()) expected.insert(expected.begin(), row.input);
        EXPECT_EQ(expected, Names());
        for (const std::string& name : Names()) std::remove((m_folder + "/" + name).c_str());
    }
}

}  // namespace
