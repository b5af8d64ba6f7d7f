#include <windows.h>
#include <commdlg.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "KorvexDouble.h"
#include "shell_object.h"

using orrelin::ComPtr;
using orrelin::UniqueFileHandle;

namespace {

// 2026-12-08 16:13:16 UTC
constexpr std::int64_t kModified = 1796746396;

FILETIME FileTimeOf(std::int64_t unixSeconds)
{
    ULARGE_INTEGER ticks;
    ticks.QuadPart = (static_cast<std::uint64_t>(unixSeconds) + 11644473600ull) * 10000000ull;
    return FILETIME{ticks.LowPart, ticks.HighPart};
}

// The long date and time the C runtime writes for "%#c" in its default locale, worked out
// from the system's own local time conversion.
std::wstring ExpectedDate(std::int64_t unixSeconds)
{
    static const wchar_t* const days[] = {L"Sunday",   L"Monday", L"Tuesday", L"Wednesday",
                                          L"Thursday", L"Friday", L"Saturday"};
    static const wchar_t* const months[] = {L"January",   L"February", L"March",    L"April",
                                            L"May",       L"June",     L"July",     L"August",
                                            L"September", L"October",  L"November", L"December"};
    const FILETIME utc = FileTimeOf(unixSeconds);
    FILETIME local;
    SYSTEMTIME t;
    FileTimeToLocalFileTime(&utc, &local);
    FileTimeToSystemTime(&local, &t);
    wchar_t text[128];
    swprintf(text, 128, L"%ls, %ls %02u, %u %02u:%02u:%02u", days[t.wDayOfWeek], months[t.wMonth - 1], t.wDay, t.wYear,
             t.wHour, t.wMinute, t.wSecond);
    return text;
}

std::wstring TitleOf(const std::wstring& path)
{
    wchar_t title[MAX_PATH];
    EXPECT_EQ(0, GetFileTitleW(path.c_str(), title, MAX_PATH));
    return title;
}

class InfoTipTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        KorvexDouble_Reset();
        object = NewShellObject(holder);
    }
    void TearDown() override
    {
        for (const auto& path : created) DeleteFileW(path.c_str());
    }

    // A file of `size` bytes (sparse when large) last written at kModified.
    std::wstring MakeFile(const std::wstring& name, std::uint64_t size = 20480)
    {
        const std::wstring path =
            TemporaryFolder() + L"orrelin-tip-" + std::to_wstring(GetCurrentProcessId()) + L"-" + name;
        UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        EXPECT_TRUE(file);
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(size);
        EXPECT_TRUE(SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN));
        EXPECT_TRUE(SetEndOfFile(file.get()));
        const FILETIME written = FileTimeOf(kModified);
        EXPECT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &written));
        created.push_back(path);
        return path;
    }

    HRESULT Tip(const std::wstring& path, std::wstring& text)
    {
        EXPECT_EQ(S_OK, object->Load(path.c_str(), STGM_READ));
        WCHAR* tip = reinterpret_cast<WCHAR*>(static_cast<ULONG_PTR>(0x1234));
        const HRESULT hr = object->GetInfoTip(0, &tip);
        if (hr == S_OK) {
            EXPECT_NE(nullptr, tip);
            text = tip;
            CoTaskMemFree(tip);
        } else {
            EXPECT_EQ(nullptr, tip) << "out text after a failure";
        }
        return hr;
    }

    std::wstring Details(const std::wstring& path, const wchar_t* size)
    {
        return L"\nFile: \t\t" + TitleOf(path) + L"\nSize: \t\t" + size + L" bytes\nDate: \t\t" +
               ExpectedDate(kModified);
    }

    ComPtr<IUnknown> holder;
    DFUShellExt* object = nullptr;
    std::vector<std::wstring> created;
};

TEST_F(InfoTipTest, ShortestTipIsHeaderAndFileDetails)
{
    const std::wstring path = MakeFile(L"plain.dfu");
    std::wstring text;
    ASSERT_EQ(S_OK, Tip(path, text));
    EXPECT_EQ(L"Device Firmware Upgrade (DFU) file\n" + Details(path, L"20480"), text);
    EXPECT_EQ(path, KorvexDouble_LastPath());
}

TEST_F(InfoTipTest, StatedNumbersAndCommentFollowTheDetails)
{
    const std::wstring path = MakeFile(L"stated.dfu");
    KorvexDouble_SetComment(L"Boot loader");
    KorvexDouble_SetNumbers(0xAB, 0x1FFFF, 0x100);
    std::wstring text;
    ASSERT_EQ(S_OK, Tip(path, text));
    EXPECT_EQ(L"Device Firmware Upgrade (DFU) file for Quenlor Halvorn\n" + Details(path, L"20480") +
                  L"\nVendor ID: \t0x00AB\nProduct ID: \t0x1FFFF\nRelease: \t100\n\nBoot loader",
              text);
}

TEST_F(InfoTipTest, ShowsEachNumberOnlyWhenStated)
{
    const std::wstring path = MakeFile(L"numbers.dfu");
    struct Row {
        unsigned int vendor, product, release;
        const wchar_t* lines;
    } const rows[] = {
        {0xFFFF, 0xFFFF, 0xFFFF, L""},
        {0x0483, 0xFFFF, 0xFFFF, L"\nVendor ID: \t0x0483"},
        {0xFFFF, 0xDF11, 0xFFFF, L"\nProduct ID: \t0xDF11"},
        {0xFFFF, 0xFFFF, 0x2200, L"\nRelease: \t2200"},
        {0x0, 0x10000, 0x0, L"\nVendor ID: \t0x0000\nProduct ID: \t0x10000\nRelease: \t0"},
        {0x1FFFF, 0xFFFE, 0xFFFFFFFF, L"\nVendor ID: \t0x1FFFF\nProduct ID: \t0xFFFE\nRelease: \tFFFFFFFF"},
    };
    for (const auto& row : rows) {
        KorvexDouble_SetNumbers(row.vendor, row.product, row.release);
        std::wstring text;
        ASSERT_EQ(S_OK, Tip(path, text));
        EXPECT_EQ(L"Device Firmware Upgrade (DFU) file\n" + Details(path, L"20480") + row.lines, text)
            << std::hex << row.vendor << "/" << row.product << "/" << row.release;
    }
}

TEST_F(InfoTipTest, PercentSignsInCommentAndNameAreShownUnchanged)
{
    const std::wstring path = MakeFile(L"100%s %d done.dfu");
    KorvexDouble_SetComment(L"50%s %li %% %1 'quoted' \"double\"");
    std::wstring text;
    ASSERT_EQ(S_OK, Tip(path, text));
    EXPECT_EQ(L"Device Firmware Upgrade (DFU) file for Quenlor Halvorn\n" + Details(path, L"20480") +
                  L"\n\n50%s %li %% %1 'quoted' \"double\"",
              text);
    EXPECT_NE(std::wstring::npos, text.find(L"100%s %d done"));
}

TEST_F(InfoTipTest, LargeFilesShowTheirWholeSizeAndTheDate)
{
    struct Row {
        std::uint64_t size;
        const wchar_t* digits;
    } const rows[] = {
        {3ull << 30, L"3221225472"},
        {5000000000ull, L"5000000000"},
        {0, L"0"},
    };
    for (const auto& row : rows) {
        const std::wstring path = MakeFile(L"large-" + std::to_wstring(row.size) + L".dfu", row.size);
        std::wstring text;
        ASSERT_EQ(S_OK, Tip(path, text));
        EXPECT_EQ(L"Device Firmware Upgrade (DFU) file\n" + Details(path, row.digits), text);
        DeleteFileW(path.c_str());
    }
}

TEST_F(InfoTipTest, FailsWhenTheEngineRejectsTheFile)
{
    const std::wstring path = MakeFile(L"rejected.dfu");
    KorvexDouble_SetValid(false);
    std::wstring text;
    EXPECT_EQ(E_FAIL, Tip(path, text));
    EXPECT_EQ(1, KorvexDouble_ValidityCheckCount());
}

TEST_F(InfoTipTest, FailsWhileAnotherHandleHoldsTheFileForWriting)
{
    const std::wstring path = MakeFile(L"busy.dfu");
    UniqueFileHandle writer(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer);
    std::wstring text;
    EXPECT_EQ(E_FAIL, Tip(path, text));
    writer.reset();
    EXPECT_EQ(S_OK, Tip(path, text));
}

TEST_F(InfoTipTest, ClosesTheFileOnceTheTextIsHandedOver)
{
    // Once the tip is made, the file is closed again: a writer can open it.
    const std::wstring path = MakeFile(L"closed.dfu");
    std::wstring text;
    ASSERT_EQ(S_OK, Tip(path, text));
    UniqueFileHandle writer(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(writer);
}

TEST_F(InfoTipTest, MissingFileAndEmptyPathFail)
{
    std::wstring text;
    EXPECT_EQ(E_FAIL, Tip(TemporaryFolder() + L"orrelin-no-such-file.dfu", text));
    // An empty path (no Load before) goes to the engine unchanged.
    ComPtr<IUnknown> freshHolder;
    DFUShellExt* fresh = NewShellObject(freshHolder);
    WCHAR* tip = nullptr;
    EXPECT_EQ(E_FAIL, fresh->GetInfoTip(0, &tip));
    EXPECT_EQ(nullptr, tip);
    EXPECT_STREQ(L"", KorvexDouble_LastPath());
}

TEST_F(InfoTipTest, NullOutPointerIsAnsweredNotFollowed)
{
    const std::wstring path = MakeFile(L"null.dfu");
    ASSERT_EQ(S_OK, object->Load(path.c_str(), STGM_READ));
    EXPECT_EQ(E_POINTER, object->GetInfoTip(0, nullptr));
    EXPECT_EQ(0, KorvexDouble_ValidityCheckCount());
}

TEST(ShellObject, OperationsWithoutWorkWriteNothing)
{
    ComPtr<IUnknown> holder;
    DFUShellExt* object = NewShellObject(holder);
    CLSID classId = IID_IUnknown;
    EXPECT_EQ(E_NOTIMPL, object->GetClassID(&classId));
    EXPECT_TRUE(IsEqualGUID(IID_IUnknown, classId));
    LPOLESTR current = reinterpret_cast<LPOLESTR>(static_cast<ULONG_PTR>(0x5678));
    EXPECT_EQ(E_NOTIMPL, object->GetCurFile(&current));
    EXPECT_EQ(reinterpret_cast<LPOLESTR>(static_cast<ULONG_PTR>(0x5678)), current);
    DWORD flags = 0xABCD;
    EXPECT_EQ(E_NOTIMPL, object->GetInfoFlags(&flags));
    EXPECT_EQ(0xABCDu, flags);
    EXPECT_EQ(E_NOTIMPL, object->IsDirty());
    EXPECT_EQ(E_NOTIMPL, object->Save(L"C:\\x.dfu", TRUE));
    EXPECT_EQ(E_NOTIMPL, object->SaveCompleted(L"C:\\x.dfu"));
}

}  // namespace
