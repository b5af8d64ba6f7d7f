// Korvex.dll, the real engine, through its exports: .dfu files written by dfu-suffix and
// by the tests, files other programs hold open, a file past 4 GiB, the serial ports of the
// registry, the USB device list and the version information.
#include "Korvex.h"

#include "device_names.h"
#include "dfu_test_support.h"
#include "korvex_lists.h"
#include "windows_test_files.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

using enginetest::ProgramDir;
using enginetest::TempDir;

namespace {

constexpr unsigned kUntouched = 0xDEADBEEF;

std::wstring SamplePath(const wchar_t* name)
{
    return ProgramDir() + L"\\engine-samples\\" + name;
}

// What Korvex.dll answers for a file, through the five-argument form.
struct Answer {
    bool valid = false;
    std::wstring comment;
    unsigned vendor = kUntouched;
    unsigned product = kUntouched;
    unsigned release = kUntouched;
};

Answer Ask(const wchar_t* path)
{
    Answer answer;
    CStringX comment;
    comment = L"unchanged";
    answer.valid = Korvex::IsDFUFileValid(path, comment, answer.vendor, answer.product, answer.release);
    answer.comment = static_cast<const wchar_t*>(comment);
    return answer;
}

// dfuse.dfu names its target "Carte \xE9" in Windows-1252, the ANSI code page Wine starts
// with; under another ANSI code page the same bytes read as that code page has them.
std::wstring DfuSeSampleComment()
{
    if (GetACP() == 1252) return L"Carte \u00E9";
    const char name[] = "Carte \xE9";
    wchar_t wide[16] = {};
    MultiByteToWideChar(CP_ACP, 0, name, static_cast<int>(sizeof name - 1), wide, 15);
    return wide;
}

struct SampleCase {
    const char* label;
    const wchar_t* file;
    bool valid;
    unsigned vendor;
    unsigned product;
    unsigned release;
    bool dfuseComment;
};

class KorvexSampleFile : public testing::TestWithParam<SampleCase> {};

TEST_P(KorvexSampleFile, AnswersAsDfuSuffixWroteIt)
{
    const SampleCase& c = GetParam();
    const std::wstring path = SamplePath(c.file);
    if (!enginetest::Exists(path)) GTEST_SKIP() << "no sample files (dfu-suffix was not found at build time)";
    const Answer answer = Ask(path.c_str());
    ASSERT_EQ(answer.valid, c.valid);
    if (!c.valid) {
        EXPECT_EQ(L"unchanged", answer.comment);
        EXPECT_EQ(kUntouched, answer.vendor);
        EXPECT_EQ(kUntouched, answer.product);
        EXPECT_EQ(kUntouched, answer.release);
        return;
    }
    EXPECT_EQ(answer.vendor, c.vendor);
    EXPECT_EQ(answer.product, c.product);
    EXPECT_EQ(answer.release, c.release);
    EXPECT_EQ(answer.comment, c.dfuseComment ? DfuSeSampleComment() : L"");

    CStringX shortComment;
    EXPECT_TRUE(Korvex::IsDFUFileValid(path.c_str(), shortComment));
    EXPECT_EQ(std::wstring(shortComment), answer.comment);
}

INSTANTIATE_TEST_SUITE_P(Samples, KorvexSampleFile,
                         testing::Values(SampleCase{"Defaults", L"plain.dfu", true, 0xFFFF, 0xFFFF, 0xFFFF, false},
                                         SampleCase{"Numbers", L"ids.dfu", true, 0x0483, 0xDF11, 0x2200, false},
                                         SampleCase{"DfuSe", L"dfuse.dfu", true, 0x0483, 0xDF11, 0x0200, true},
                                         SampleCase{"Corrupt", L"corrupt.dfu", false, 0, 0, 0, false},
                                         SampleCase{"NoSuffix", L"payload.bin", false, 0, 0, 0, false}),
                         [](const testing::TestParamInfo<SampleCase>& row) { return std::string(row.param.label); });

// The writer the tests below use makes what dfu-suffix makes.
TEST(KorvexSampleWriter, MatchesDfuSuffix)
{
    const std::wstring payloadPath = SamplePath(L"payload.bin");
    if (!enginetest::Exists(payloadPath)) GTEST_SKIP() << "no sample files (dfu-suffix was not found at build time)";
    const std::string payload = enginetest::ReadBytes(payloadPath);
    ASSERT_FALSE(payload.empty());
    EXPECT_EQ(dfutest::WithSuffix(payload), enginetest::ReadBytes(SamplePath(L"plain.dfu")));
    EXPECT_EQ(dfutest::WithSuffix(payload, 0x0483, 0xDF11, 0x2200), enginetest::ReadBytes(SamplePath(L"ids.dfu")));
}

class KorvexFile : public testing::Test {
protected:
    std::wstring Write(const std::wstring& name, const std::string& bytes)
    {
        const std::wstring path = m_dir.File(name);
        EXPECT_TRUE(enginetest::WriteBytes(path, bytes));
        return path;
    }

    TempDir m_dir;
};

TEST_F(KorvexFile, WrittenFileWithWideNameValidates)
{
    const std::wstring path =
        Write(L"Firmware \u00E9\u4E2D\u2713.dfu", dfutest::WithSuffix(dfutest::Payload(5000), 0x1D50, 0x6017, 0x0042));
    const Answer answer = Ask(path.c_str());
    ASSERT_TRUE(answer.valid);
    EXPECT_EQ(0x1D50u, answer.vendor);
    EXPECT_EQ(0x6017u, answer.product);
    EXPECT_EQ(0x0042u, answer.release);
    EXPECT_EQ(L"", answer.comment);
}

TEST_F(KorvexFile, LongDfuSeNameConverts)
{
    dfutest::DfuSeTarget target;
    target.named = true;
    target.name = std::string(255, 'Z');
    const Answer answer = Ask(Write(L"long.dfu", dfutest::DfuSeFile({target})).c_str());
    ASSERT_TRUE(answer.valid);
    EXPECT_EQ(answer.comment, std::wstring(255, L'Z'));
}

TEST_F(KorvexFile, UnusablePathsAreInvalid)
{
    const std::wstring empty = Write(L"empty.dfu", "");
    const std::wstring missing = m_dir.File(L"missing.dfu");
    const std::wstring inMissingDir = m_dir.File(L"nowhere\\file.dfu");
    const std::wstring directory = m_dir.path();
    for (const wchar_t* path : {empty.c_str(), missing.c_str(), inMissingDir.c_str(), directory.c_str(), L"",
                                static_cast<const wchar_t*>(nullptr)}) {
        const Answer answer = Ask(path);
        EXPECT_FALSE(answer.valid) << (path ? path : L"(null)");
        EXPECT_EQ(kUntouched, answer.vendor);
        EXPECT_EQ(L"unchanged", answer.comment);
        CStringX comment;
        EXPECT_FALSE(Korvex::IsDFUFileValid(path, comment));
    }
}

// Deeper than the classic path limit, handed over as a plain path the way the shell does.
// Windows refuses such a path unless it is opened in extended form; Wine opens either, so
// here this checks that the extended form names the same file.
TEST_F(KorvexFile, PathBeyondClassicLimitValidates)
{
    std::vector<std::wstring> dirs;
    std::wstring path = m_dir.path();
    while (path.size() < 300) {
        path += L"\\" + std::wstring(60, L'd') + std::to_wstring(dirs.size());
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + path).c_str(), nullptr)) << GetLastError();
        dirs.push_back(path);
    }
    path += L"\\firmware.dfu";
    ASSERT_TRUE(enginetest::WriteBytes(L"\\\\?\\" + path, dfutest::WithSuffix(dfutest::Payload(100), 5, 6, 7)));
    const Answer answer = Ask(path.c_str());
    DeleteFileW((L"\\\\?\\" + path).c_str());
    for (auto dir = dirs.rbegin(); dir != dirs.rend(); ++dir) RemoveDirectoryW((L"\\\\?\\" + *dir).c_str());
    EXPECT_TRUE(answer.valid);
    EXPECT_EQ(5u, answer.vendor);
}

TEST_F(KorvexFile, DamagedWrittenFileIsInvalid)
{
    std::string bytes = dfutest::WithSuffix(dfutest::Payload(3000), 1, 2, 3);
    bytes[1500] ^= 0x40;
    EXPECT_FALSE(Ask(Write(L"damaged.dfu", bytes).c_str()).valid);
}

struct HolderCase {
    const char* label;
    DWORD access;
    DWORD share;
};

class KorvexHeldFile : public testing::TestWithParam<HolderCase> {};

// Another program has the file open for writing and lets others read it: the engine only
// reads, so it must still answer; whether such a file may be shown is for its caller.
TEST_P(KorvexHeldFile, StillValidatesAndLetsGo)
{
    TempDir dir;
    const std::wstring path = dir.File(L"held.dfu");
    ASSERT_TRUE(enginetest::WriteBytes(path, dfutest::WithSuffix(dfutest::Payload(2048), 7, 8, 9)));
    HANDLE holder = CreateFileW(path.c_str(), GetParam().access, GetParam().share, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    const Answer answer = Ask(path.c_str());
    CloseHandle(holder);
    EXPECT_TRUE(answer.valid);
    EXPECT_EQ(7u, answer.vendor);

    // The engine's own handle is gone once it has answered.
    HANDLE exclusive = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, exclusive);
    if (exclusive != INVALID_HANDLE_VALUE) CloseHandle(exclusive);
}

INSTANTIATE_TEST_SUITE_P(
    Holders, KorvexHeldFile,
    testing::Values(HolderCase{"WriterSharingRead", GENERIC_WRITE, FILE_SHARE_READ},
                    HolderCase{"ReadWriterSharingRead", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ},
                    HolderCase{"WriterSharingAll", GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE},
                    HolderCase{"DeleterSharingRead", GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE}),
    [](const testing::TestParamInfo<HolderCase>& row) { return std::string(row.param.label); });

// A file of 4.5 GiB whose suffix lies past every 32-bit offset, sparse so that it takes no
// disk space: read with 32-bit offsets anywhere, the suffix would be looked for at 0.5 GiB
// among the zeros.
TEST(KorvexLargeFile, ValidatesPastFourGiB)
{
    constexpr std::uint64_t kZeros = 4608ull * 1024 * 1024;
    constexpr uInt kBlock = 1024 * 1024;
    std::string zeroBlock(kBlock, '\0');
    const uLong blockCrc = crc32(0, reinterpret_cast<const Bytef*>(zeroBlock.data()), kBlock);
    uLong crc = crc32(0, Z_NULL, 0);
    for (std::uint64_t done = 0; done < kZeros; done += kBlock) crc = crc32_combine(crc, blockCrc, kBlock);
    std::string suffix;
    dfutest::AppendLe16(suffix, 0x0301);
    dfutest::AppendLe16(suffix, 0x0202);
    dfutest::AppendLe16(suffix, 0x0103);
    dfutest::AppendLe16(suffix, 0x0100);
    suffix += "UFD";
    suffix.push_back(16);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(suffix.data()), static_cast<uInt>(suffix.size()));
    dfutest::AppendLe32(suffix, static_cast<std::uint32_t>(crc) ^ 0xFFFFFFFFu);

    TempDir dir;
    const std::wstring path = dir.File(L"large.dfu");
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD ignored = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(kZeros);
    DWORD written = 0;
    const bool made = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file) &&
                      WriteFile(file, suffix.data(), static_cast<DWORD>(suffix.size()), &written, nullptr) &&
                      written == suffix.size();
    CloseHandle(file);
    ASSERT_TRUE(made) << "could not make the file, error " << GetLastError();

    const Answer answer = Ask(path.c_str());
    EXPECT_TRUE(answer.valid);
    EXPECT_EQ(0x0103u, answer.vendor);
    EXPECT_EQ(0x0202u, answer.product);
    EXPECT_EQ(0x0301u, answer.release);
}

// Values of this test program under the system's serial port map, removed afterwards. The
// two builds' tests share the map and may run at once: they take turns under a named mutex,
// since each expects to see its own ports once and may remove the key it created.
class KorvexComPorts : public testing::Test {
protected:
    static constexpr const wchar_t* kKey = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

    void SetUp() override
    {
        m_turn = CreateMutexW(nullptr, FALSE, L"Local\\OrrelinSerialPortMapTest");
        ASSERT_NE(nullptr, m_turn);
        const DWORD waited = WaitForSingleObject(m_turn, 60000);
        ASSERT_TRUE(waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) << waited;
        DWORD disposition = 0;
        // HARDWARE is rebuilt at each start: keys below it must be volatile.
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, REG_OPTION_VOLATILE,
                                                 KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &m_key, &disposition));
        m_createdKey = disposition == REG_CREATED_NEW_KEY;
    }

    void TearDown() override
    {
        if (m_key != nullptr) {
            for (const std::wstring& name : m_added) RegDeleteValueW(m_key, name.c_str());
            RegCloseKey(m_key);
            if (m_createdKey) RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey);
        }
        if (m_turn != nullptr) {
            ReleaseMutex(m_turn);
            CloseHandle(m_turn);
        }
    }

    void Add(DWORD type, const void* data, DWORD bytes)
    {
        const std::wstring name = L"\\Device\\OrrelinEngineTest" + std::to_wstring(sizeof(void*) * 8) + L"_" +
                                  std::to_wstring(m_added.size());
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(m_key, name.c_str(), 0, type, static_cast<const BYTE*>(data), bytes));
        m_added.push_back(name);
    }

    void AddPort(const std::wstring& port)
    {
        Add(REG_SZ, port.c_str(), static_cast<DWORD>((port.size() + 1) * sizeof(wchar_t)));
    }

    HANDLE m_turn = nullptr;
    HKEY m_key = nullptr;
    bool m_createdKey = false;
    std::vector<std::wstring> m_added;
};

TEST_F(KorvexComPorts, ReturnsPortsInNaturalOrder)
{
    AddPort(L"COM210");
    AddPort(L"com19");
    AddPort(L"COM3");
    const std::wstring unterminated = L"COM45";
    Add(REG_SZ, unterminated.data(), static_cast<DWORD>(unterminated.size() * sizeof(wchar_t)));
    AddPort(L"");
    const DWORD number = 7;
    Add(REG_DWORD, &number, sizeof number);

    CStringListX names;
    names.AddTail(L"left over");
    const int count = Korvex::GetCOMPortNames(names);
    const std::vector<std::wstring> items = Items(names);
    EXPECT_EQ(count, static_cast<int>(items.size()));
    EXPECT_EQ(names.GetCount(), count);

    std::vector<std::wstring> ours;
    for (const std::wstring& item : items) {
        EXPECT_FALSE(item.empty());
        EXPECT_NE(L"left over", item);
        if (item == L"COM210" || item == L"com19" || item == L"COM3" || item == L"COM45") ours.push_back(item);
    }
    EXPECT_EQ(ours, (std::vector<std::wstring>{L"COM3", L"com19", L"COM45", L"COM210"}));
    EXPECT_TRUE(std::is_sorted(items.begin(), items.end(),
                               [](const std::wstring& a, const std::wstring& b) { return korvex::NaturalLess(a, b); }));
}

TEST(KorvexUsbDevices, ListHoldsExactlyTheNamedDevices)
{
    CStringListX names;
    names.AddTail(L"left over");
    const int count = Korvex::GetUSBDeviceNames(names);
    const std::vector<std::wstring> items = Items(names);
    EXPECT_EQ(count, static_cast<int>(items.size()));
    for (const std::wstring& item : items) {
        EXPECT_FALSE(item.empty());
        EXPECT_NE(L"left over", item);
    }
}

TEST(KorvexVersion, NamesTheEngineVersion)
{
    const std::wstring path = ProgramDir() + L"\\Korvex.dll";
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(MAKELONG(4, 2), fixed->dwFileVersionMS);
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    wchar_t* description = nullptr;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\StringFileInfo\\080904B0\\FileDescription",
                               reinterpret_cast<void**>(&description), &length));
    EXPECT_STREQ(description, L"Korvex firmware engine");
}

}  // namespace
