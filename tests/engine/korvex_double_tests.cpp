// The engine's test double: it answers through the Korvex operations what a test set, counts
// the calls, and exports everything the real Korvex.dll exports.
#include "KorvexDouble.h"
#include "korvex_lists.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr unsigned kUntouched = 0xDEADBEEF;

class KorvexDouble : public testing::Test {
protected:
    void SetUp() override { KorvexDouble_Reset(); }
    void TearDown() override { KorvexDouble_Reset(); }
};

TEST_F(KorvexDouble, ResetGivesDefaults)
{
    KorvexDouble_SetValid(false);
    KorvexDouble_SetComment(L"old");
    KorvexDouble_SetNumbers(1, 2, 3);
    const wchar_t* names[] = {L"COM1"};
    KorvexDouble_SetPorts(names, 1);
    KorvexDouble_SetDevices(names, 1);
    Korvex::InitDLL();
    CStringX comment;
    Korvex::IsDFUFileValid(L"C:\\a.dfu", comment);
    KorvexDouble_Reset();

    EXPECT_EQ(0, KorvexDouble_InitCount());
    EXPECT_EQ(0, KorvexDouble_ValidityCheckCount());
    EXPECT_EQ(0, KorvexDouble_PortQueryCount());
    EXPECT_EQ(0, KorvexDouble_DeviceQueryCount());
    EXPECT_STREQ(KorvexDouble_LastPath(), L"");

    unsigned vendor = kUntouched, product = kUntouched, release = kUntouched;
    comment = L"stale";
    EXPECT_TRUE(Korvex::IsDFUFileValid(L"C:\\b.dfu", comment, vendor, product, release));
    EXPECT_TRUE(comment.IsEmpty());
    EXPECT_EQ(0xFFFFu, vendor);
    EXPECT_EQ(0xFFFFu, product);
    EXPECT_EQ(0xFFFFu, release);
    CStringListX ports;
    CStringListX devices;
    EXPECT_EQ(0, Korvex::GetCOMPortNames(ports));
    EXPECT_EQ(0, Korvex::GetUSBDeviceNames(devices));
    EXPECT_TRUE(Items(ports).empty());
    EXPECT_TRUE(Items(devices).empty());
}

TEST_F(KorvexDouble, AnswersWhatWasSet)
{
    KorvexDouble_SetComment(L"Carte \u00E9");
    KorvexDouble_SetNumbers(0x0483, 0xDF11, 0x2200);
    CStringX comment;
    unsigned vendor = kUntouched, product = kUntouched, release = kUntouched;
    ASSERT_TRUE(Korvex::IsDFUFileValid(L"C:\\fw.dfu", comment, vendor, product, release));
    EXPECT_STREQ(comment, L"Carte \u00E9");
    EXPECT_EQ(0x0483u, vendor);
    EXPECT_EQ(0xDF11u, product);
    EXPECT_EQ(0x2200u, release);

    CStringX shortComment;
    ASSERT_TRUE(Korvex::IsDFUFileValid(L"C:\\fw.dfu", shortComment));
    EXPECT_STREQ(shortComment, L"Carte \u00E9");
}

TEST_F(KorvexDouble, InvalidLeavesOutArgumentsAlone)
{
    KorvexDouble_SetValid(false);
    KorvexDouble_SetComment(L"never given");
    KorvexDouble_SetNumbers(1, 2, 3);
    CStringX comment;
    comment = L"caller's";
    unsigned vendor = kUntouched, product = kUntouched, release = kUntouched;
    EXPECT_FALSE(Korvex::IsDFUFileValid(L"C:\\bad.dfu", comment, vendor, product, release));
    EXPECT_EQ(kUntouched, vendor);
    EXPECT_EQ(kUntouched, product);
    EXPECT_EQ(kUntouched, release);
    EXPECT_STREQ(comment, L"caller's");
    EXPECT_FALSE(Korvex::IsDFUFileValid(L"C:\\bad.dfu", comment));
    EXPECT_STREQ(comment, L"caller's");
}

TEST_F(KorvexDouble, ListsReplaceWhatTheCallerHeld)
{
    const wchar_t* ports[] = {L"COM3", L"COM10"};
    const wchar_t* devices[] = {L"STM Device in DFU Mode (USB\\VID_0483&PID_DF11\\1)"};
    KorvexDouble_SetPorts(ports, 2);
    KorvexDouble_SetDevices(devices, 1);
    CStringListX portList;
    portList.AddTail(L"left over");
    EXPECT_EQ(2, Korvex::GetCOMPortNames(portList));
    EXPECT_EQ(Items(portList), (std::vector<std::wstring>{L"COM3", L"COM10"}));
    CStringListX deviceList;
    EXPECT_EQ(1, Korvex::GetUSBDeviceNames(deviceList));
    EXPECT_EQ(Items(deviceList), (std::vector<std::wstring>{devices[0]}));

    const wchar_t* replacement[] = {nullptr, L"COM7"};
    KorvexDouble_SetPorts(replacement, 2);
    CStringListX again;
    EXPECT_EQ(2, Korvex::GetCOMPortNames(again));
    EXPECT_EQ(Items(again), (std::vector<std::wstring>{L"", L"COM7"}));
    KorvexDouble_SetPorts(nullptr, 3);
    CStringListX none;
    EXPECT_EQ(0, Korvex::GetCOMPortNames(none));
}

TEST_F(KorvexDouble, CountsEachOperationApart)
{
    CStringX comment;
    unsigned vendor = 0, product = 0, release = 0;
    CStringListX list;
    Korvex::InitDLL();
    Korvex::IsDFUFileValid(L"a", comment);
    Korvex::IsDFUFileValid(L"b", comment, vendor, product, release);
    KorvexDouble_SetValid(false);
    Korvex::IsDFUFileValid(L"c", comment, vendor, product, release);
    Korvex::GetCOMPortNames(list);
    Korvex::GetCOMPortNames(list);
    Korvex::GetUSBDeviceNames(list);
    Korvex::GetUSBDeviceNames(list);
    Korvex::GetUSBDeviceNames(list);
    EXPECT_EQ(1, KorvexDouble_InitCount());
    EXPECT_EQ(3, KorvexDouble_ValidityCheckCount());
    EXPECT_EQ(2, KorvexDouble_PortQueryCount());
    EXPECT_EQ(3, KorvexDouble_DeviceQueryCount());
}

TEST_F(KorvexDouble, RecordsLatestPath)
{
    CStringX comment;
    EXPECT_STREQ(KorvexDouble_LastPath(), L"");
    Korvex::IsDFUFileValid(L"C:\\first.dfu", comment);
    EXPECT_STREQ(KorvexDouble_LastPath(), L"C:\\first.dfu");
    std::wstring longPath = L"C:\\" + std::wstring(400, L'd') + L"\\\u00E9.dfu";
    unsigned v = 0, p = 0, r = 0;
    KorvexDouble_SetValid(false);
    Korvex::IsDFUFileValid(longPath.c_str(), comment, v, p, r);
    EXPECT_EQ(std::wstring(KorvexDouble_LastPath()), longPath);
    Korvex::IsDFUFileValid(nullptr, comment);
    EXPECT_STREQ(KorvexDouble_LastPath(), L"");
}

std::set<std::string> ExportNames(HMODULE module)
{
    std::set<std::string> names;
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (directory.VirtualAddress == 0) return names;
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const auto* nameRvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) names.insert(reinterpret_cast<const char*>(base + nameRvas[i]));
    return names;
}

// A library linked against the real engine's import library loads with the double only if
// every name it may import is there.
TEST(KorvexDoubleExports, CoverEveryExportOfTheRealEngine)
{
    HMODULE self = nullptr;
    ASSERT_TRUE(
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(&KorvexDouble_Reset), &self));
    wchar_t program[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH * 4);
    std::wstring dir(program, length);
    dir = dir.substr(0, dir.find_last_of(L'\\'));
    wchar_t realPath[MAX_PATH * 4];
    ASSERT_GT(GetFullPathNameW((dir + L"\\..\\Korvex.dll").c_str(), MAX_PATH * 4, realPath, nullptr), 0u);
    HMODULE real = LoadLibraryExW(realPath, nullptr, 0);
    ASSERT_NE(nullptr, real) << "the real engine is expected at " << std::string(realPath, realPath + wcslen(realPath));
    ASSERT_NE(real, self);

    const std::set<std::string> realNames = ExportNames(real);
    const std::set<std::string> doubleNames = ExportNames(self);
    FreeLibrary(real);

    EXPECT_GE(std::count_if(realNames.begin(), realNames.end(),
                            [](const std::string& name) { return name.find("IsDFUFileValid") != std::string::npos; }),
              2);
    for (const std::string& name : realNames) EXPECT_TRUE(doubleNames.count(name)) << "the double lacks " << name;
    for (const std::string& name : doubleNames) {
        EXPECT_TRUE(realNames.count(name) || name.rfind("KorvexDouble_", 0) == 0)
            << "the double alone exports " << name;
    }
}

}  // namespace
