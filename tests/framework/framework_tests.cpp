#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "code_page.h"
#include "handles.h"
#include "module_state.h"
#include "shared_read_file.h"
#include "string_table.h"

using namespace orrelin;

namespace {

std::wstring TempPath(const wchar_t* name)
{
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + L"orrelin-fx-" + std::to_wstring(GetCurrentProcessId()) + L"-" + name;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

// ---- string table and module-state guard

TEST(ModuleStrings, LoadsWholeTextsFromTheCurrentModule)
{
    ModuleStateGuard guard;
    EXPECT_EQ(L"Device Firmware Upgrade (DFU) file\n", LoadResString(116));
    EXPECT_EQ(L"\nFile: \t\t%s\nSize: \t\t%li bytes\nDate: \t\t%s", LoadResString(118));
}

TEST(ModuleStrings, FormatsInOneStepWithFull64BitLength)
{
    ModuleStateGuard guard;
    EXPECT_EQ(L"\nFile: \t\t100%.dfu\nSize: \t\t5000000000 bytes\nDate: \t\t",
              FormatResString(118, {L"100%.dfu", 5000000000ull, L""}));
    EXPECT_EQ(L"\nVendor ID: \t0x00AB", FormatResString(119, {0xABu}));
}

TEST(ModuleStrings, MissingIdIsReportedNotEmpty)
{
    ModuleStateGuard guard;
    EXPECT_THROW(LoadResString(9999), MissingStringError);
}

TEST(ModuleStateGuard, MakesTheModuleCurrentAndRestoresTheCallersOnEveryExit)
{
    const HMODULE outside = CurrentResourceModule();
    EXPECT_EQ(GetModuleHandleW(nullptr), outside);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    {
        ModuleStateGuard outer(kernel);
        EXPECT_EQ(kernel, CurrentResourceModule());
        {
            ModuleStateGuard inner;
            EXPECT_EQ(ThisModule(), CurrentResourceModule());
        }
        EXPECT_EQ(kernel, CurrentResourceModule());
        try {
            ModuleStateGuard thrower;
            throw std::runtime_error("leaves by exception");
        } catch (const std::runtime_error&) {
        }
        EXPECT_EQ(kernel, CurrentResourceModule());
    }
    EXPECT_EQ(outside, CurrentResourceModule());
}

DWORD WINAPI RecordCurrentModule(void* out)
{
    *static_cast<HMODULE*>(out) = CurrentResourceModule();
    return 0;
}

TEST(ModuleStateGuard, IsPerThread)
{
    ModuleStateGuard guard(GetModuleHandleW(L"kernel32.dll"));
    HMODULE seen = nullptr;
    UniqueHandle thread(CreateThread(nullptr, 0, &RecordCurrentModule, &seen, 0, nullptr));
    ASSERT_TRUE(thread);
    WaitForSingleObject(thread.get(), INFINITE);
    EXPECT_EQ(GetModuleHandleW(nullptr), seen);
}

// ---- conversion code page

struct FakeVersion {
    static inline DWORD platform = VER_PLATFORM_WIN32_NT;
    static inline DWORD major = 5;
    static inline BOOL answer = TRUE;
    static inline int calls = 0;
    static BOOL WINAPI Query(OSVERSIONINFOA* info)
    {
        ++calls;
        info->dwPlatformId = platform;
        info->dwMajorVersion = major;
        return answer;
    }
    static void Set(DWORD p, DWORD m, BOOL a)
    {
        platform = p;
        major = m;
        answer = a;
        calls = 0;
    }
};

TEST(ConversionCodePage, ModernNtUsesTheThreadAnsiCodePage)
{
    for (DWORD major : {5u, 6u, 10u}) {
        FakeVersion::Set(VER_PLATFORM_WIN32_NT, major, TRUE);
        ConversionCodePageSelector selector(&FakeVersion::Query);
        EXPECT_EQ(static_cast<UINT>(CP_THREAD_ACP), selector.CodePage()) << major;
    }
}

TEST(ConversionCodePage, OlderSystemsUseTheLocaleAnsiCodePage)
{
    struct Row {
        DWORD platform, major;
        BOOL answer;
    } const rows[] = {
        {VER_PLATFORM_WIN32_NT, 4, TRUE},
        {VER_PLATFORM_WIN32_WINDOWS, 4, TRUE},
        {VER_PLATFORM_WIN32_NT, 10, FALSE},  // version query failed
    };
    for (const auto& row : rows) {
        FakeVersion::Set(row.platform, row.major, row.answer);
        ConversionCodePageSelector selector(&FakeVersion::Query);
        EXPECT_EQ(GetACP(), selector.CodePage()) << row.platform << "/" << row.major;
    }
}

TEST(ConversionCodePage, IsSettledOnceButTheLocaleIsReadAtEachUse)
{
    FakeVersion::Set(VER_PLATFORM_WIN32_WINDOWS, 4, TRUE);
    ConversionCodePageSelector selector(&FakeVersion::Query);
    const LCID original = GetThreadLocale();
    EXPECT_EQ(1252u, selector.CodePage());
    ASSERT_TRUE(SetThreadLocale(MAKELCID(MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT), SORT_DEFAULT)));
    const UINT russian = selector.CodePage();
    SetThreadLocale(original);
    EXPECT_EQ(1251u, russian);
    EXPECT_EQ(1, FakeVersion::calls);

    FakeVersion::Set(VER_PLATFORM_WIN32_NT, 6, TRUE);
    ConversionCodePageSelector modern(&FakeVersion::Query);
    modern.CodePage();
    modern.CodePage();
    EXPECT_EQ(1, FakeVersion::calls);
}

TEST(ConversionCodePage, ProcessSelectorOnThisSystem)
{
    EXPECT_EQ(static_cast<UINT>(CP_THREAD_ACP), ConversionCodePage());
}

// ---- files

TEST(SharedReadFile, DeniesWritersWhileOpenAndFailsWhileAWriterHoldsIt)
{
    const std::wstring path = TempPath(L"share.dfu");
    WriteFileBytes(path, "abc");
    {
        SharedReadFile file;
        ASSERT_TRUE(file.Open(path));
        UniqueFileHandle writer(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
        EXPECT_FALSE(writer);
        EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
        UniqueFileHandle reader(
            CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_TRUE(reader);
    }
    {
        UniqueFileHandle writer(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(writer);
        SharedReadFile file;
        EXPECT_FALSE(file.Open(path));
    }
    SharedReadFile closed;
    EXPECT_TRUE(closed.Open(path));
    closed.Close();
    EXPECT_TRUE(DeleteFileW(path.c_str()));
}

TEST(SharedReadFile, StatusHasTheFull64BitLengthAndTheWriteTime)
{
    const std::wstring path = TempPath(L"big.dfu");
    {
        UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file);
        LARGE_INTEGER size;
        size.QuadPart = 5000000000ll;
        ASSERT_TRUE(SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(file.get()));
        // 2026-12-08 16:13:16 UTC
        ULARGE_INTEGER ticks;
        ticks.QuadPart = (1796746396ull + 11644473600ull) * 10000000ull;
        FILETIME written = {ticks.LowPart, ticks.HighPart};
        ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &written));
    }
    SharedReadFile file;
    ASSERT_TRUE(file.Open(path));
    FileStatus status;
    ASSERT_TRUE(file.GetStatus(status));
    EXPECT_EQ(5000000000ull, status.length);
    EXPECT_EQ(1796746396, status.modified);

    FileStatus byPath;
    ASSERT_TRUE(GetPathStatus(path, byPath));
    EXPECT_EQ(5000000000ull, byPath.length);
    file.Close();
    EXPECT_TRUE(DeleteFileW(path.c_str()));
    EXPECT_FALSE(GetPathStatus(path, byPath));
}

TEST(SharedReadFile, TitleHasNoFolder)
{
    const std::wstring path = TempPath(L"update.dfu");
    WriteFileBytes(path, "x");
    SharedReadFile file;
    ASSERT_TRUE(file.Open(path));
    const std::wstring title = file.GetFileTitle();
    const std::wstring base = L"orrelin-fx-" + std::to_wstring(GetCurrentProcessId()) + L"-update";
    EXPECT_TRUE(title == base || title == base + L".dfu") << std::string(title.begin(), title.end());
    file.Close();
    DeleteFileW(path.c_str());
}

TEST(FileTime, ConvertsToUnixSeconds)
{
    FILETIME zero = {0, 0};
    EXPECT_EQ(0, TimeFromFileTime(zero));
    ULARGE_INTEGER epoch;
    epoch.QuadPart = 11644473600ull * 10000000ull;
    FILETIME unixEpoch = {epoch.LowPart, epoch.HighPart};
    EXPECT_EQ(0, TimeFromFileTime(unixEpoch));
    epoch.QuadPart += 10000000ull * 86400;
    FILETIME nextDay = {epoch.LowPart, epoch.HighPart};
    EXPECT_EQ(86400, TimeFromFileTime(nextDay));
}

TEST(Handles, PredefinedRegistryRootsAreNeverClosed)
{
    {
        UniqueHKey root(HKEY_CURRENT_USER);
    }
    HKEY opened = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &opened));
    UniqueHKey owner(opened);
}

}  // namespace
