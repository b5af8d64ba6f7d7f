// Korvex.dll's memory of its verdicts: an unchanged file is answered as the first look
// answered it without being read again, a file rewritten in place with its size and
// last-write time kept is read again, and another file that took a path is read for itself.
// The files are written once and left to settle, as the engine remembers settled files only.
#include "Korvex.h"
#include "KorvexLayout.h"

#include "dfu_test_support.h"
#include "verdict_cache.h"
#include "windows_test_files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct Answer {
    bool valid = false;
    std::wstring comment;
    unsigned vendor = 0xDEADBEEF;
    unsigned product = 0xDEADBEEF;
    unsigned release = 0xDEADBEEF;
    bool operator==(const Answer& other) const
    {
        return valid == other.valid && comment == other.comment && vendor == other.vendor && product == other.product &&
               release == other.release;
    }
};

Answer Ask(const std::wstring& path)
{
    Answer answer;
    CStringX comment;
    comment = L"unchanged";
    answer.valid = Korvex::IsDFUFileValid(path.c_str(), comment, answer.vendor, answer.product, answer.release);
    answer.comment = static_cast<const wchar_t*>(comment);
    return answer;
}

// A DfuSe file naming its target; names of one length keep files of one size.
std::string NamedFile(const char* name, std::uint16_t vendor)
{
    dfutest::DfuSeTarget target;
    target.named = true;
    target.name = name;
    target.elements = dfutest::DfuSeElement(0x08000000, dfutest::Payload(4000));
    std::string bytes = dfutest::DfuSeFile({target});
    // The vendor sits 4 bytes into the suffix; the CRC covers it.
    const std::size_t suffix = bytes.size() - 16;
    bytes[suffix + 4] = static_cast<char>(vendor & 0xFF);
    bytes[suffix + 5] = static_cast<char>(vendor >> 8);
    dfutest::PutLe32(bytes, bytes.size() - 4, dfutest::SuffixCrc(bytes.substr(0, bytes.size() - 4)));
    return bytes;
}

FILE_BASIC_INFO Times(const std::wstring& path)
{
    FILE_BASIC_INFO times = {};
    HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return times;
    GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times);
    CloseHandle(file);
    return times;
}

// Writes bytes over the file's own from its start, then sets its last-write time.
bool RewriteInPlace(const std::wstring& path, const std::string& bytes, LARGE_INTEGER lastWrite)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    FILETIME time = {lastWrite.LowPart, static_cast<DWORD>(lastWrite.HighPart)};
    const bool done = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                      written == bytes.size() && SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
    return done;
}

class KorvexVerdicts : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir.reset(new enginetest::TempDir);
        for (const char* name :
             {"rewritten", "deleted", "moved", "moved-in", "again", "locked", "locked-new", "remembered", "vanishing"})
            enginetest::WriteBytes(PathOf(name), NamedFile("First", 1));
        enginetest::WriteBytes(PathOf("damaged"), NamedFile("First", 1).substr(1) + "x");
        Sleep(static_cast<DWORD>(korvex::kSettleTime / 10000) + 200);
    }
    static void TearDownTestSuite() { s_dir.reset(); }
    static std::wstring PathOf(const char* name)
    {
        return s_dir->File(std::wstring(name, name + std::string(name).size()) + L".dfu");
    }
    static std::unique_ptr<enginetest::TempDir> s_dir;
};

std::unique_ptr<enginetest::TempDir> KorvexVerdicts::s_dir;

TEST_F(KorvexVerdicts, SecondLookAnswersAsTheFirst)
{
    for (const char* name : {"again", "damaged"}) {
        const Answer first = Ask(PathOf(name));
        EXPECT_EQ(first, Ask(PathOf(name))) << name;
        EXPECT_EQ(std::string(name) == "again", first.valid) << name;
    }
    EXPECT_EQ(L"First", Ask(PathOf("again")).comment);
    EXPECT_EQ(L"unchanged", Ask(PathOf("damaged")).comment);
}

// What a caller that must not touch the file is told: the latest verdict on the path, only
// for a settled file, and nothing once the path could not be opened.
TEST_F(KorvexVerdicts, RemembersTheLatestVerdictPerPath)
{
    const std::wstring fresh = PathOf("fresh");
    ASSERT_TRUE(enginetest::WriteBytes(fresh, NamedFile("First", 1)));
    const std::wstring vanishing = PathOf("vanishing");
    EXPECT_EQ(KORVEX_NOT_REMEMBERED, KorvexRememberedValidity(PathOf("remembered").c_str()));
    ASSERT_TRUE(Ask(PathOf("remembered")).valid);
    ASSERT_FALSE(Ask(PathOf("damaged")).valid);
    ASSERT_TRUE(Ask(fresh).valid);
    ASSERT_TRUE(Ask(vanishing).valid);
    ASSERT_TRUE(DeleteFileW(vanishing.c_str()));
    ASSERT_FALSE(Ask(vanishing).valid);

    EXPECT_EQ(1, KorvexRememberedValidity(PathOf("remembered").c_str()));
    EXPECT_EQ(0, KorvexRememberedValidity(PathOf("damaged").c_str()));
    EXPECT_EQ(KORVEX_NOT_REMEMBERED, KorvexRememberedValidity(fresh.c_str())) << "changed within the clock's tick";
    EXPECT_EQ(KORVEX_NOT_REMEMBERED, KorvexRememberedValidity(vanishing.c_str()));
    EXPECT_EQ(KORVEX_NOT_REMEMBERED, KorvexRememberedValidity(PathOf("never-asked").c_str()));
    EXPECT_EQ(KORVEX_NOT_REMEMBERED, KorvexRememberedValidity(nullptr));
}

// Another handle locks every byte, so a read fails where the system enforces the lock: a
// file looked at before is still answered, one never looked at is not.
TEST_F(KorvexVerdicts, UnchangedFileIsNotReadAgain)
{
    ASSERT_TRUE(Ask(PathOf("locked")).valid);
    std::vector<HANDLE> holders;
    for (const char* name : {"locked", "locked-new"}) {
        HANDLE file = CreateFileW(PathOf(name).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        holders.push_back(file);
        ASSERT_TRUE(LockFile(file, 0, 0, MAXDWORD, MAXDWORD));
    }
    const Answer remembered = Ask(PathOf("locked"));
    const Answer unread = Ask(PathOf("locked-new"));
    for (HANDLE file : holders) {
        UnlockFile(file, 0, 0, MAXDWORD, MAXDWORD);
        CloseHandle(file);
    }
    // Wine 8 does not hold reads of other handles to byte-range locks.
    if (unread.valid) GTEST_SKIP() << "this system reads a locked file, so a remembered verdict cannot be told apart";
    EXPECT_TRUE(remembered.valid);
    EXPECT_EQ(L"First", remembered.comment);
}

TEST_F(KorvexVerdicts, FileRewrittenWithSameSizeAndLastWriteIsReadAgain)
{
    const std::wstring path = PathOf("rewritten");
    ASSERT_TRUE(Ask(path).valid);
    const FILE_BASIC_INFO before = Times(path);
    std::string damaged = NamedFile("First", 1);
    damaged[100] ^= 0x01;
    ASSERT_TRUE(RewriteInPlace(path, damaged, before.LastWriteTime));
    const FILE_BASIC_INFO after = Times(path);
    ASSERT_EQ(before.LastWriteTime.QuadPart, after.LastWriteTime.QuadPart);
    ASSERT_NE(before.ChangeTime.QuadPart, after.ChangeTime.QuadPart) << "the system did not move the change time";
    EXPECT_FALSE(Ask(path).valid);
}

struct Replacement {
    const char* label;
    const char* file;
    // Puts another valid file of the same size, vendor 2 and target "Other", at path.
    bool (*replace)(const std::wstring& path, const std::wstring& other);
};

class KorvexReplacedFile : public KorvexVerdicts, public testing::WithParamInterface<Replacement> {};

TEST_P(KorvexReplacedFile, IsReadForItself)
{
    const std::wstring path = PathOf(GetParam().file);
    const Answer first = Ask(path);
    ASSERT_TRUE(first.valid);
    ASSERT_EQ(1u, first.vendor);
    const LARGE_INTEGER lastWrite = Times(path).LastWriteTime;
    ASSERT_TRUE(GetParam().replace(path, PathOf("moved-in")));
    const Answer second = Ask(path);
    // Its last-write time set to the old file's, so only the identity tells them apart.
    ASSERT_TRUE(RewriteInPlace(path, NamedFile("Other", 2), lastWrite));
    const Answer third = Ask(path);
    for (const Answer& answer : {second, third}) {
        EXPECT_TRUE(answer.valid);
        EXPECT_EQ(2u, answer.vendor);
        EXPECT_EQ(L"Other", answer.comment);
    }
}

INSTANTIATE_TEST_SUITE_P(Ways, KorvexReplacedFile,
                         testing::Values(Replacement{"DeletedAndWrittenAgain", "deleted",
                                                     [](const std::wstring& path, const std::wstring&) {
                                                         return DeleteFileW(path.c_str()) != 0 &&
                                                                enginetest::WriteBytes(path, NamedFile("Other", 2));
                                                     }},
                                         Replacement{"MovedOver", "moved",
                                                     [](const std::wstring& path, const std::wstring& other) {
                                                         return enginetest::WriteBytes(other, NamedFile("Other", 2)) &&
                                                                MoveFileExW(other.c_str(), path.c_str(),
                                                                            MOVEFILE_REPLACE_EXISTING) != 0;
                                                     }}),
                         [](const testing::TestParamInfo<Replacement>& row) { return std::string(row.param.label); });

// Several threads asking at once get the answers one thread gets.
struct SharedAsking {
    std::wstring valid, damaged;
    LONG wrong = 0;
};

DWORD WINAPI AskRepeatedly(void* argument)
{
    SharedAsking& shared = *static_cast<SharedAsking*>(argument);
    for (int round = 0; round < 50; ++round) {
        const Answer valid = Ask(shared.valid);
        if (!valid.valid || valid.comment != L"First" || valid.vendor != 1 || Ask(shared.damaged).valid)
            InterlockedIncrement(&shared.wrong);
    }
    return 0;
}

TEST_F(KorvexVerdicts, ThreadsAskingAtOnceGetTheSameAnswers)
{
    SharedAsking work{PathOf("again"), PathOf("damaged")};
    std::vector<HANDLE> threads;
    for (int i = 0; i < 4; ++i) threads.push_back(CreateThread(nullptr, 0, AskRepeatedly, &work, 0, nullptr));
    WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
    for (HANDLE thread : threads) CloseHandle(thread);
    EXPECT_EQ(0, work.wrong);
}

}  // namespace
