// Korvex.dll's layout operations through their C exports: the same validity as
// IsDFUFileValid on every file the tests generate, the same layout from a path and from a
// caller's reader, the comment's code page for names, and the system's reasons; and
// nothing read of a file that is not on this device.
#include "Korvex.h"
#include "KorvexLayout.h"
#include "KorvexSeams.h"

#include "dfu_test_support.h"
#include "fake_attributes.h"
#include "windows_test_files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

using enginetest::ProgramDir;
using enginetest::TempDir;

namespace {

class Layout {
public:
    Layout() = default;
    ~Layout() { KorvexFreeDfuLayout(m_layout); }
    Layout(const Layout&) = delete;
    Layout& operator=(const Layout&) = delete;

    KorvexDfuLayout** Out() { return &m_layout; }
    const KorvexDfuLayout* operator->() const { return m_layout; }
    const KorvexDfuLayout* get() const { return m_layout; }

private:
    KorvexDfuLayout* m_layout = nullptr;
};

std::vector<std::wstring> FilesIn(const std::wstring& dir)
{
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return files;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) files.push_back(dir + L"\\" + found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return files;
}

// A file read through the caller's reader, recording each read.
struct FileReader {
    HANDLE file = INVALID_HANDLE_VALUE;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> reads;
    std::uint64_t failFrom = UINT64_MAX;

    static uint32_t KORVEX_CALL Read(void* context, uint64_t offset, uint32_t count, void* buffer)
    {
        auto* self = static_cast<FileReader*>(context);
        self->reads.emplace_back(offset, count);
        if (offset < self->failFrom && offset + count > self->failFrom) return 0x8003001Eu;  // STG_E_READFAULT
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        DWORD got = 0;
        if (!SetFilePointerEx(self->file, at, nullptr, FILE_BEGIN) ||
            !ReadFile(self->file, buffer, count, &got, nullptr))
            return GetLastError();
        return got == count ? 0 : ERROR_HANDLE_EOF;
    }
};

std::uint64_t SizeOf(HANDLE file)
{
    LARGE_INTEGER size = {};
    GetFileSizeEx(file, &size);
    return static_cast<std::uint64_t>(size.QuadPart);
}

// Every file the tests generate: this build's layout files and the dfu-suffix samples.
TEST(KorvexLayoutFiles, AgreeWithIsDFUFileValidFromPathAndReader)
{
    std::vector<std::wstring> files = FilesIn(ProgramDir() + L"\\layout-samples");
    const std::vector<std::wstring> samples = FilesIn(ProgramDir() + L"\\engine-samples");
    files.insert(files.end(), samples.begin(), samples.end());
    ASSERT_GE(files.size(), 25u);
    for (const std::wstring& path : files) {
        SCOPED_TRACE(std::string(path.begin(), path.end()));
        CStringX comment;
        const bool valid = Korvex::IsDFUFileValid(path.c_str(), comment);
        Layout fromPath;
        ASSERT_EQ(KORVEX_OK, KorvexReadDfuLayout(path.c_str(), fromPath.Out()));
        EXPECT_EQ(fromPath->verdict == KORVEX_DFU_VALID, valid);

        FileReader reader;
        reader.file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, reader.file);
        Layout fromReader;
        const int result = KorvexReadDfuLayoutFrom(SizeOf(reader.file), &FileReader::Read, &reader, fromReader.Out());
        CloseHandle(reader.file);
        ASSERT_EQ(KORVEX_OK, result);
        EXPECT_EQ(fromReader->verdict, fromPath->verdict);
        EXPECT_EQ(fromReader->computedCrc, fromPath->computedCrc);
        EXPECT_EQ(fromReader->flags, fromPath->flags);
        EXPECT_EQ(fromReader->targetCount, fromPath->targetCount);
        EXPECT_EQ(fromReader->findingCount, fromPath->findingCount);
        // After the suffix, the reads go once from the start to the stored CRC.
        std::uint64_t next = 0;
        for (std::size_t i = 1; i < reader.reads.size(); ++i) {
            EXPECT_EQ(reader.reads[i].first, next);
            next += reader.reads[i].second;
        }
        if (fromPath->verdict == KORVEX_DFU_VALID) {
            EXPECT_EQ(next, fromPath->fileSize - 4);
        }
    }
}

TEST(KorvexLayoutFiles, NamesUseTheCommentsCodePage)
{
    const std::wstring path = ProgramDir() + L"\\engine-samples\\dfuse.dfu";
    if (!enginetest::Exists(path)) GTEST_SKIP() << "no sample files (dfu-suffix was not found at build time)";
    CStringX comment;
    ASSERT_TRUE(Korvex::IsDFUFileValid(path.c_str(), comment));
    Layout layout;
    ASSERT_EQ(KORVEX_OK, KorvexReadDfuLayout(path.c_str(), layout.Out()));
    ASSERT_EQ(2u, layout->targetCount);
    EXPECT_EQ(layout->codePage, GetACP());
    const KorvexDfuTarget& named = *KorvexDfuTargetAt(layout.get(), 1);
    EXPECT_TRUE(named.named);
    EXPECT_STREQ(named.name, "Carte \xE9");
    EXPECT_EQ(std::wstring(named.wideName), std::wstring(comment));
    EXPECT_EQ(0x08010000u, KorvexDfuElementAt(&named, 0)->address);
}

struct UnreadableCase {
    const char* label;
    std::wstring (*path)(const TempDir& dir);
    DWORD error;  // 0: any error but none
};

class KorvexLayoutUnreadable : public testing::TestWithParam<UnreadableCase> {};

TEST_P(KorvexLayoutUnreadable, GivesTheSystemsReason)
{
    TempDir dir;
    const std::wstring path = GetParam().path(dir);
    Layout layout;
    ASSERT_EQ(KORVEX_OK, KorvexReadDfuLayout(path.empty() ? nullptr : path.c_str(), layout.Out()));
    EXPECT_EQ(layout->verdict, static_cast<std::uint32_t>(KORVEX_DFU_UNREADABLE));
    if (GetParam().error != 0)
        EXPECT_EQ(layout->systemError, GetParam().error);
    else
        EXPECT_NE(0u, layout->systemError);
    EXPECT_EQ(0u, layout->targetCount);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, KorvexLayoutUnreadable,
    testing::Values(
        UnreadableCase{"Missing", [](const TempDir& d) { return d.File(L"missing.dfu"); }, ERROR_FILE_NOT_FOUND},
        UnreadableCase{"MissingFolder", [](const TempDir& d) { return d.File(L"none\\a.dfu"); }, ERROR_PATH_NOT_FOUND},
        UnreadableCase{"Folder", [](const TempDir& d) { return d.path(); }, 0},
        UnreadableCase{"Null", [](const TempDir&) { return std::wstring(); }, ERROR_INVALID_PARAMETER}),
    [](const testing::TestParamInfo<UnreadableCase>& row) { return std::string(row.param.label); });

TEST(KorvexLayoutReader, FailedReadGivesItsError)
{
    TempDir dir;
    const std::wstring path = dir.File(L"fw.dfu");
    ASSERT_TRUE(enginetest::WriteBytes(path, dfutest::WithSuffix(dfutest::Payload(300000), 1, 2, 3)));
    FileReader reader;
    reader.file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    reader.failFrom = 200000;
    Layout layout;
    EXPECT_EQ(KORVEX_OK, KorvexReadDfuLayoutFrom(SizeOf(reader.file), &FileReader::Read, &reader, layout.Out()));
    CloseHandle(reader.file);
    EXPECT_EQ(layout->verdict, static_cast<std::uint32_t>(KORVEX_DFU_UNREADABLE));
    EXPECT_EQ(0x8003001Eu, layout->systemError);
    EXPECT_EQ(1u, layout->vendor);
}

TEST(KorvexLayoutReader, RefusesMissingArguments)
{
    KorvexDfuLayout* layout = reinterpret_cast<KorvexDfuLayout*>(1);
    EXPECT_EQ(KORVEX_INVALID_ARGUMENT, KorvexReadDfuLayoutFrom(100, nullptr, nullptr, &layout));
    EXPECT_EQ(nullptr, layout);
    EXPECT_EQ(KORVEX_INVALID_ARGUMENT, KorvexReadDfuLayoutFrom(100, &FileReader::Read, nullptr, nullptr));
    EXPECT_EQ(KORVEX_INVALID_ARGUMENT, KorvexReadDfuLayout(L"C:\\a.dfu", nullptr));
    KorvexFreeDfuLayout(nullptr);
}

using Fake = orrelin::test::FakeAttributes<wchar_t>;

// Each of the engine's ways into a file asks the attributes once. A file that is not here
// is held by another program that lets nobody else open it, so an engine that opened it
// anyway would answer "unreadable", not "not on this device"; and the caller's reader is
// never called for it.
class FileNotHere : public ::testing::TestWithParam<orrelin::test::PresenceRow> {};

TEST_P(FileNotHere, IsNeitherOpenedNorRead)
{
    const TempDir dir;
    const std::wstring path = dir.path() + L"\\firmware.dfu";
    ASSERT_TRUE(enginetest::WriteBytes(path, dfutest::WithSuffix(dfutest::Payload(3000), 0x0483, 0xDF11, 0x0200)));
    const bool here = GetParam().here;
    const std::uint32_t verdict = here ? KORVEX_DFU_VALID : KORVEX_DFU_NOT_ON_THIS_DEVICE;
    FileReader reader;
    reader.file =
        CreateFileW(path.c_str(), GENERIC_READ, here ? FILE_SHARE_READ : 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader.file);
    const Fake fake(&KorvexReplaceAttributeQuery, GetParam().attributes);

    Layout fromPath;
    ASSERT_EQ(KORVEX_OK, KorvexReadDfuLayout(path.c_str(), fromPath.Out()));
    EXPECT_EQ(verdict, fromPath->verdict);
    EXPECT_EQ(0u, fromPath->systemError);
    EXPECT_EQ(1, Fake::Queries());
    EXPECT_EQ(path, Fake::LastPath());

    Layout fromItem;
    ASSERT_EQ(KORVEX_OK, KorvexReadDfuLayoutOfItem(path.c_str(), KORVEX_READ_WHOLE, SizeOf(reader.file),
                                                   &FileReader::Read, &reader, fromItem.Out()));
    EXPECT_EQ(verdict, fromItem->verdict);
    EXPECT_EQ(here, !reader.reads.empty());
    EXPECT_EQ(2, Fake::Queries());

    CStringX comment;
    unsigned vendor = 0, product = 0, release = 0;
    EXPECT_EQ(here, Korvex::IsDFUFileValid(path.c_str(), comment, vendor, product, release));
    EXPECT_EQ(here ? 0x0483u : 0u, vendor);
    EXPECT_EQ(3, Fake::Queries());
    CloseHandle(reader.file);
}

INSTANTIATE_TEST_SUITE_P(Attributes, FileNotHere, ::testing::ValuesIn(orrelin::test::kPresenceRows),
                         orrelin::test::RowName<::testing::TestParamInfo<orrelin::test::PresenceRow>>);

// A stream without a path cannot tell: it is read, and nothing is asked.
TEST(KorvexLayoutReader, ReadsAnItemWithoutAPath)
{
    const TempDir dir;
    const std::wstring path = dir.path() + L"\\firmware.dfu";
    ASSERT_TRUE(enginetest::WriteBytes(path, dfutest::WithSuffix(dfutest::Payload(100))));
    FileReader reader;
    reader.file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    const Fake fake(&KorvexReplaceAttributeQuery, orrelin::test::kOffline);
    Layout layout;
    EXPECT_EQ(KORVEX_OK, KorvexReadDfuLayoutOfItem(nullptr, KORVEX_READ_WHOLE, SizeOf(reader.file), &FileReader::Read,
                                                   &reader, layout.Out()));
    CloseHandle(reader.file);
    EXPECT_EQ(KORVEX_DFU_VALID, layout->verdict);
    EXPECT_EQ(0, Fake::Queries());
    KorvexDfuLayout* none = reinterpret_cast<KorvexDfuLayout*>(1);
    EXPECT_EQ(KORVEX_INVALID_ARGUMENT,
              KorvexReadDfuLayoutOfItem(path.c_str(), KORVEX_READ_WHOLE, 100, nullptr, nullptr, &none));
    EXPECT_EQ(nullptr, none);
}

}  // namespace
