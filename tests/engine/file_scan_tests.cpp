// Passes over real files, either way a file of a window or more can be read: into a buffer,
// or in place through mapped views, where a view whose bytes fail to come in sends the pass
// back to reads, whose answer stands. Left to itself a process measures once which is faster.
// Natively the file is cut short under the view; under Wine too (by the system's own
// truncate, since Windows refuses to cut a mapped file), and on Windows a view's pages are
// also made unreadable, as a lost network share leaves them.
#include "dfu_layout.h"
#include "dfu_layout_compare.h"
#include "dfu_reader.h"
#include "dfu_test_support.h"
#include "read_way.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#  include "win_file_source.h"
#  include "windows_test_files.h"
#else
#  include "posix_file_source.h"

#  include <fcntl.h>
#  include <unistd.h>

#  include <cerrno>
#  include <cstdlib>
#endif

namespace {

constexpr std::size_t kWindow = static_cast<std::size_t>(korvex::kViewWindow);
constexpr std::size_t kPieceSize = 128 * 1024;
constexpr std::size_t kCutTo = 1 << 20;

#ifdef _WIN32
using FileSource = korvex::WinFileSource;
constexpr std::uint32_t kEndOfFile = ERROR_HANDLE_EOF;

class TestFile {
public:
    explicit TestFile(const std::string& bytes) : m_path(m_dir.File(L"scan.dfu")), m_bytes(bytes)
    {
        EXPECT_TRUE(enginetest::WriteBytes(m_path, bytes));
    }
    bool Open(FileSource& source) const { return source.Open(m_path.c_str()); }

    // Wine's own call for the file's name on the system below; absent on Windows.
    bool CanCut() const { return UnixPath() != nullptr; }
    void Cut() const
    {
        char* unixPath = UnixPath();
        std::wstring command = L"truncate -s " + std::to_wstring(kCutTo) + L" " + Widen(unixPath);
        HeapFree(GetProcessHeap(), 0, unixPath);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process;
        ASSERT_TRUE(CreateProcessW(L"Z:\\usr\\bin\\truncate", command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &process));
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        // Wine's handle on a program of the system below does not wait for it; the size does.
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        for (int wait = 0; wait < 1000; ++wait) {
            if (GetFileAttributesExW(m_path.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeHigh == 0 &&
                data.nFileSizeLow == kCutTo)
                return;
            Sleep(10);
        }
        FAIL() << "the file was not cut short";
    }
    // What a lost network share does to a view: its pages no longer read.
    static void MakeUnreadable(const unsigned char* bytes, std::size_t count)
    {
        DWORD before = 0;
        EXPECT_TRUE(VirtualProtect(const_cast<unsigned char*>(bytes), count, PAGE_NOACCESS, &before));
    }

private:
    char* UnixPath() const
    {
        using UnixName = char*(CDECL*)(const wchar_t*);
        const auto unixName = reinterpret_cast<UnixName>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
        return unixName ? unixName(m_path.c_str()) : nullptr;
    }
    static std::wstring Widen(const char* text) { return std::wstring(text, text + std::strlen(text)); }

    enginetest::TempDir m_dir;
    std::wstring m_path;
    std::string m_bytes;
};
#else
using FileSource = korvex::PosixFileSource;
constexpr std::uint32_t kEndOfFile = EIO;

class TestFile {
public:
    explicit TestFile(const std::string& bytes) : m_bytes(bytes)
    {
        char pattern[] = "/tmp/engine-scan-XXXXXX";
        const int file = ::mkstemp(pattern);
        EXPECT_GE(file, 0);
        m_path = pattern;
        EXPECT_EQ(static_cast<ssize_t>(bytes.size()), ::write(file, bytes.data(), bytes.size()));
        ::close(file);
    }
    ~TestFile() { std::remove(m_path.c_str()); }
    bool Open(FileSource& source) const { return source.Open(m_path.c_str()); }

    bool CanCut() const { return true; }
    void Cut() const { ASSERT_EQ(0, ::truncate(m_path.c_str(), kCutTo)); }
    void Restore() const
    {
        const int file = ::open(m_path.c_str(), O_WRONLY);
        ASSERT_GE(file, 0);
        EXPECT_EQ(static_cast<ssize_t>(m_bytes.size()), ::pwrite(file, m_bytes.data(), m_bytes.size(), 0));
        ::close(file);
    }
    // A view's pages stop reading when the file under them goes; put back, reads find it.
    void MakeUnreadable(const unsigned char*, std::size_t) const
    {
        Cut();
        m_restoreAfterTouch = true;
    }
    bool RestoreAfterTouch() const { return m_restoreAfterTouch; }

private:
    std::string m_path;
    std::string m_bytes;
    mutable bool m_restoreAfterTouch = false;
};
#endif

enum class Trouble { kNone, kViewUnreadable, kCutShort };

// Takes the CRC as the check does, and makes the trouble happen in the middle of the first view.
class TroubleSink final : public korvex::ByteSink {
public:
    TroubleSink(const TestFile& file, Trouble trouble) : m_file(file), m_trouble(trouble) {}

    void Take(std::uint64_t offset, const unsigned char* bytes, std::size_t count) override
    {
        if (takes++ == 0) {
            firstPiece = count;
            if (m_trouble != Trouble::kNone) MakeTrouble(bytes, count);
        }
        EXPECT_EQ(m_next, offset);
        m_next = offset + count;
        crc = static_cast<std::uint32_t>(crc32(crc, bytes, static_cast<uInt>(count)));
    }
    void Restart() override
    {
        ++restarts;
        crc = 0;
        m_next = 0;
    }

    std::size_t takes = 0;
    std::size_t firstPiece = 0;
    int restarts = 0;
    std::uint32_t crc = 0;
    int touched = -1;  // the byte the trouble read, after it was handled

private:
    void MakeTrouble(const unsigned char* bytes, std::size_t count)
    {
        if (m_trouble == Trouble::kCutShort)
            m_file.Cut();
        else
            m_file.MakeUnreadable(bytes, count);
        // A view reads on past the cut; a buffer's worth holds only what was read before it.
        if (count > 2 * kCutTo) touched = static_cast<const volatile unsigned char*>(bytes)[2 * kCutTo];
#ifndef _WIN32
        if (m_file.RestoreAfterTouch()) m_file.Restore();
#endif
    }

    const TestFile& m_file;
    const Trouble m_trouble;
    std::uint64_t m_next = 0;
};

using korvex::ReadWay;

// Every pass of the test reads the given way; afterwards, the way the process measured.
class ForcedReadWay {
public:
    explicit ForcedReadWay(ReadWay way) { korvex::ForceReadWay(way); }
    ~ForcedReadWay() { korvex::ForceReadWay(std::nullopt); }
    ForcedReadWay(const ForcedReadWay&) = delete;
    ForcedReadWay& operator=(const ForcedReadWay&) = delete;
};

struct ScanCase {
    const char* name;
    ReadWay way;
    std::size_t size;
    Trouble trouble;
    bool read;               // the pass's answer
    std::size_t firstPiece;  // a window when read in place, a buffer's worth when read
    int restarts;
    std::uint32_t error;  // what the source reports afterwards; 0: anything
};

const ScanCase kScanCases[] = {
    {"read: a byte short of a window", ReadWay::kRead, kWindow - 1, Trouble::kNone, true, kPieceSize, 0, 0},
    {"read: a window", ReadWay::kRead, kWindow, Trouble::kNone, true, kPieceSize, 0, 0},
    {"read: a byte over a window", ReadWay::kRead, kWindow + 1, Trouble::kNone, true, kPieceSize, 0, 0},
    {"read: windows and a tail", ReadWay::kRead, 3 * kWindow + 5, Trouble::kNone, true, kPieceSize, 0, 0},
    {"read: cut short while read", ReadWay::kRead, 2 * kWindow + 5, Trouble::kCutShort, false, kPieceSize, 0,
     kEndOfFile},
    {"map: smaller than a window: read into a buffer", ReadWay::kMap, kWindow - 1, Trouble::kNone, true, kPieceSize, 0,
     0},
    {"map: a window: read in place", ReadWay::kMap, kWindow, Trouble::kNone, true, kWindow, 0, 0},
    {"map: a byte over a window", ReadWay::kMap, kWindow + 1, Trouble::kNone, true, kWindow, 0, 0},
    {"map: windows and a tail", ReadWay::kMap, 3 * kWindow + 5, Trouble::kNone, true, kWindow, 0, 0},
    {"map: a view stops reading: read again", ReadWay::kMap, 2 * kWindow + 5, Trouble::kViewUnreadable, true, kWindow,
     1, 0},
    {"map: cut short under the view: the reads' answer", ReadWay::kMap, 2 * kWindow + 5, Trouble::kCutShort, false,
     kWindow, 1, kEndOfFile},
};

TEST(FileScan, EitherWayAndAfterTrouble)
{
    for (const ScanCase& test : kScanCases) {
        SCOPED_TRACE(test.name);
        const std::string bytes = dfutest::Payload(test.size, 7);
        TestFile file(bytes);
        if (test.trouble == Trouble::kCutShort && !file.CanCut()) {
            std::printf("  skipped \"%s\": this system cannot cut a file short while it is read\n", test.name);
            continue;
        }
        const ForcedReadWay forced(test.way);
        FileSource source;
        ASSERT_TRUE(file.Open(source));
        TroubleSink sink(file, test.trouble);
        EXPECT_EQ(test.read, source.Scan(test.size, kPieceSize, sink));
        EXPECT_EQ(test.firstPiece, sink.firstPiece);
        EXPECT_EQ(test.restarts, sink.restarts);
        if (test.trouble != Trouble::kNone && test.way == ReadWay::kMap) {
            EXPECT_EQ(0, sink.touched);  // zeros, not the file's bytes
        }
        if (test.read) {
            EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())),
                      sink.crc);
        }
        if (test.error != 0) {
            EXPECT_EQ(test.error, source.LastError());
        }
    }
}

// Threads that check long enough files at once: one trial runs at a time, every pass gives
// the file's CRC, and once a way has won two trials it holds for the rest of the process.
TEST(FileScan, TheWayIsMeasuredOnceAndKept)
{
    korvex::ForgetReadWay();
    constexpr int kThreads = 4;
    const std::size_t size = korvex::kTrialWindows * kWindow + 5;
    std::vector<std::string> contents;
    std::vector<std::unique_ptr<TestFile>> files;
    for (int index = 0; index < kThreads; ++index) {
        contents.push_back(dfutest::Payload(size, 11 + index));
        files.push_back(std::make_unique<TestFile>(contents.back()));
    }
    std::vector<std::uint32_t> crcs(kThreads, 0);
    dfutest::RunOnThreads(kThreads, [&](int index) {
        FileSource source;
        TroubleSink sink(*files[index], Trouble::kNone);
        if (files[index]->Open(source) && source.Scan(size, kPieceSize, sink)) crcs[index] = sink.crc;
    });
    for (int index = 0; index < kThreads; ++index) {
        const std::string& bytes = contents[index];
        EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())), crcs[index])
            << "file " << index;
    }
    EXPECT_GE(korvex::ReadWayMeasurements(), 1u);
    // More files, one at a time, until a way has won twice: three trials at most.
    auto scanFirst = [&] {
        FileSource source;
        TroubleSink sink(*files[0], Trouble::kNone);
        EXPECT_TRUE(files[0]->Open(source) && source.Scan(size, kPieceSize, sink));
        EXPECT_EQ(crcs[0], sink.crc);
        return sink.firstPiece;
    };
    for (int more = 0; more < 3 && !korvex::ChosenReadWay(); ++more) scanFirst();
    const std::optional<ReadWay> chosen = korvex::ChosenReadWay();
    ASSERT_TRUE(chosen.has_value());
    const unsigned trials = korvex::ReadWayMeasurements();
    EXPECT_GE(trials, 2u);
    EXPECT_LE(trials, 3u);

    EXPECT_EQ(*chosen == ReadWay::kMap ? kWindow : kPieceSize, scanFirst());
    EXPECT_EQ(trials, korvex::ReadWayMeasurements());
    EXPECT_EQ(chosen, korvex::ChosenReadWay());
}

// A source whose pass hands on other bytes first and then starts again, as a view that
// failed does: what was taken before the restart must leave no trace in the answers.
class RestartingSource final : public korvex::ByteSource {
public:
    explicit RestartingSource(std::string bytes) : m_inner(bytes), m_size(bytes.size()) {}
    std::uint64_t Size() const override { return m_size; }
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override
    {
        return m_inner.ReadAt(offset, buffer, count);
    }
    bool Scan(std::uint64_t count, std::size_t pieceSize, korvex::ByteSink& sink) override
    {
        std::string first(static_cast<std::size_t>(count), '\0');
        m_inner.ReadAt(0, &first[0], first.size());
        for (std::size_t at = 0; at < first.size(); at += 7) first[at] ^= 0x5A;
        sink.Take(0, reinterpret_cast<const unsigned char*>(first.data()), first.size());
        sink.Restart();
        return ByteSource::Scan(count, pieceSize, sink);
    }

private:
    dfutest::MemorySource m_inner;
    std::uint64_t m_size;
};

TEST(FileScan, AnswersAfterARestartAreThoseOfOnePass)
{
    const std::string file = dfutest::DfuSeFile(
        {{true, "Flash", dfutest::DfuSeElement(0x08000000, dfutest::Payload(3000))},
         {false, "", dfutest::DfuSeElement(0x1FFF0000, dfutest::Payload(100, 3)) + dfutest::DfuSeElement(0, "x")}});
    dfutest::MemorySource plain(file);
    RestartingSource restarting(file);
    korvex::DfuLayout once, again;
    korvex::ReadDfuLayout(plain, once);
    korvex::ReadDfuLayout(restarting, again);
    EXPECT_EQ(dfutest::Describe(once), dfutest::Describe(again));
    EXPECT_EQ(korvex::DfuVerdict::kValid, again.verdict);

    korvex::DfuFileInfo info;
    EXPECT_TRUE(korvex::ReadDfuFile(restarting, info));
    EXPECT_EQ("Flash", info.comment);
}

}  // namespace
