// The layout reader beside the file check: the same validity on every generated file and on
// every damage to one, one pass over the file, unreadable sources, and the C block of a
// layout with structures of other sizes than this build's.
#include "dfu_layout.h"
#include "dfu_layout_block.h"
#include "dfu_layout_compare.h"
#include "dfu_test_support.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <dirent.h>
#  include <unistd.h>
#endif

using dfutest::DfuSeElement;
using dfutest::DfuSeFile;
using dfutest::DfuSeTarget;
using dfutest::MemorySource;
using dfutest::Payload;

namespace {

korvex::DfuLayout Layout(const std::string& bytes)
{
    MemorySource source(bytes);
    korvex::DfuLayout layout;
    korvex::ReadDfuLayout(source, layout);
    return layout;
}

bool LayoutValid(const std::string& bytes)
{
    return Layout(bytes).verdict == korvex::DfuVerdict::kValid;
}

std::string ProgramDir()
{
#if defined(_WIN32)
    char path[MAX_PATH * 2];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string dir(path, length);
    return dir.substr(0, dir.find_last_of('\\'));
#else
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    std::string dir(path, length > 0 ? static_cast<std::size_t>(length) : 0);
    return dir.substr(0, dir.find_last_of('/'));
#endif
}

// The regular files of the generated folder, manifest left out.
std::vector<std::string> GeneratedFiles()
{
    const std::string dir = ProgramDir() + "/layout-samples";
    std::vector<std::string> files;
#if defined(_WIN32)
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*.dfu").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return files;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) files.push_back(dir + "/" + found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
#else
    DIR* folder = opendir(dir.c_str());
    if (folder == nullptr) return files;
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dfu") == 0 && entry->d_type == DT_REG)
            files.push_back(dir + "/" + name);
    }
    closedir(folder);
#endif
    return files;
}

std::string Load(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(LayoutAgreesWithCheck, OnEveryGeneratedFile)
{
    const std::vector<std::string> files = GeneratedFiles();
    ASSERT_GE(files.size(), 25u) << "the generated files are missing";
    for (const std::string& path : files) {
        const std::string bytes = Load(path);
        EXPECT_EQ(LayoutValid(bytes), dfutest::Read(bytes).valid) << path;
    }
}

std::string TwoTargetFile()
{
    DfuSeTarget flash;
    flash.named = true;
    flash.name = "Flash";
    flash.elements = DfuSeElement(0x08000000, Payload(40, 3)) + DfuSeElement(0x08001000, Payload(24, 4));
    DfuSeTarget system;
    system.elements = DfuSeElement(0x1FFF0000, Payload(16, 5));
    return DfuSeFile({flash, system});
}

// Every bit of every byte changed in turn, and every length cut short: the two readers give
// one answer, also where the damage hits the DfuSe structure or the suffix.
TEST(LayoutAgreesWithCheck, OnEveryDamage)
{
    const std::string file = TwoTargetFile();
    for (std::size_t at = 0; at < file.size(); ++at) {
        for (int bit = 0; bit < 8; ++bit) {
            std::string damaged = file;
            damaged[at] = static_cast<char>(damaged[at] ^ (1 << bit));
            ASSERT_EQ(LayoutValid(damaged), dfutest::Read(damaged).valid) << "byte " << at << " bit " << bit;
        }
        const std::string cut = file.substr(0, at);
        ASSERT_EQ(LayoutValid(cut), dfutest::Read(cut).valid) << "length " << at;
    }
}

TEST(LayoutReading, ReadsEachByteOnceInOrder)
{
    DfuSeTarget target;
    target.elements = DfuSeElement(0x08000000, Payload(3 * korvex::kReadChunkSize + 100));
    const std::string file = DfuSeFile({target});
    MemorySource source(file);
    korvex::DfuLayout layout;
    korvex::ReadDfuLayout(source, layout);
    ASSERT_EQ(layout.verdict, korvex::DfuVerdict::kValid);
    ASSERT_EQ(1u, layout.targets.size());
    EXPECT_EQ(11u + 274 + 8, layout.targets[0].elements.at(0).dataOffset);
    // The suffix once, then everything before the stored CRC once.
    EXPECT_EQ(source.bytesRead, korvex::kSuffixSize + file.size() - 4);
    EXPECT_EQ(1 + (file.size() - 4 + korvex::kReadChunkSize - 1) / korvex::kReadChunkSize, source.readCalls);
    EXPECT_LE(source.largestRead, korvex::kReadChunkSize);
    EXPECT_FALSE(source.readOutOfBounds);
}

// Headers split across reads, down to a byte at a time, are read as in one piece.
TEST(LayoutReading, AnyChunkSizeGivesTheSameLayout)
{
    std::vector<std::string> files = {TwoTargetFile()};
    for (const char* name : {"overlap.dfu", "targets-stated-255.dfu", "lpc-prefix.dfu", "element-overruns-image.dfu"}) {
        files.push_back(Load(ProgramDir() + "/layout-samples/" + name));
        ASSERT_FALSE(files.back().empty()) << name;
    }
    for (const std::string& file : files) {
        const std::string whole = dfutest::Describe(Layout(file));
        for (std::size_t chunk = 1; chunk <= 300; ++chunk) {
            MemorySource source(file);
            korvex::DfuLayout layout;
            korvex::ReadDfuLayout(source, layout, chunk);
            ASSERT_EQ(dfutest::Describe(layout), whole) << "chunk " << chunk;
        }
    }
}

class FailingSource final : public korvex::ByteSource {
public:
    FailingSource(std::string bytes, std::uint64_t failFrom) : m_bytes(std::move(bytes)), m_failFrom(failFrom) {}
    std::uint64_t Size() const override { return m_bytes.size(); }
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override
    {
        if (offset + count > m_failFrom) return false;
        std::copy(m_bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                  m_bytes.begin() + static_cast<std::ptrdiff_t>(offset + count), static_cast<char*>(buffer));
        return true;
    }
    std::uint32_t LastError() const override { return 1117; }

private:
    std::string m_bytes;
    std::uint64_t m_failFrom;
};

TEST(LayoutReading, UnreadableKeepsTheSourcesErrorAndNoTargets)
{
    const std::string file = TwoTargetFile();
    for (const std::uint64_t failFrom : {std::uint64_t{0}, std::uint64_t{400}, std::uint64_t{file.size() - 5}}) {
        FailingSource source(file, failFrom);
        korvex::DfuLayout layout;
        korvex::ReadDfuLayout(source, layout);
        EXPECT_EQ(layout.verdict, korvex::DfuVerdict::kUnreadable) << failFrom;
        EXPECT_EQ(1117u, layout.systemError);
        EXPECT_TRUE(layout.targets.empty());
        EXPECT_TRUE(layout.findings.empty());
    }
}

korvex::DfuLayout HeadersLayout(korvex::ByteSource& source)
{
    korvex::DfuLayout layout;
    korvex::ReadDfuLayoutHeaders(source, layout);
    return layout;
}

// The headers-only read finds the same structure as the read through; only what the CRC
// pass decides differs: a suffix that passes is "valid, not checked".
TEST(LayoutHeaders, AgreesWithTheReadThroughOnEveryGeneratedFile)
{
    std::vector<std::string> files = GeneratedFiles();
    ASSERT_GE(files.size(), 25u) << "the generated files are missing";
    for (const std::string& path : files) {
        const std::string bytes = Load(path);
        korvex::DfuLayout whole = Layout(bytes);
        MemorySource source(bytes);
        const korvex::DfuLayout headers = HeadersLayout(source);
        const bool suffixPassed =
            whole.verdict == korvex::DfuVerdict::kValid || whole.verdict == korvex::DfuVerdict::kCrcMismatch;
        EXPECT_EQ(suffixPassed, headers.crcNotChecked) << path;
        if (suffixPassed) whole.verdict = korvex::DfuVerdict::kValid;
        whole.computedCrc = 0;
        whole.crcMatchesWithoutLpcPrefix = false;
        EXPECT_EQ(dfutest::Describe(whole), dfutest::Describe(headers)) << path;
        EXPECT_FALSE(source.readOutOfBounds) << path;
    }
}

// Bytes with a hole that no read may touch, as a disk with one bad stretch; counts reads.
class HoleSource final : public korvex::ByteSource {
public:
    HoleSource(const std::string& bytes, std::uint64_t holeBegin, std::uint64_t holeEnd)
        : m_bytes(bytes), m_holeBegin(holeBegin), m_holeEnd(holeEnd)
    {
    }
    std::uint64_t Size() const override { return m_bytes.size(); }
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override
    {
        ++readCalls;
        if (offset + count > m_bytes.size() || (offset < m_holeEnd && offset + count > m_holeBegin)) return false;
        std::memcpy(buffer, m_bytes.data() + offset, count);
        bytesRead += count;
        return true;
    }
    std::uint32_t LastError() const override { return 23; }

    std::size_t readCalls = 0;
    std::uint64_t bytesRead = 0;

private:
    const std::string& m_bytes;
    std::uint64_t m_holeBegin;
    std::uint64_t m_holeEnd;
};

// Data is skipped whatever its size: a bad stretch inside it changes nothing, one over a
// header or the suffix makes the file unreadable.
TEST(LayoutHeaders, ReadsTheHeadersAloneAndReportsAFailedOne)
{
    DfuSeTarget flash;
    flash.elements = DfuSeElement(0x08000000, Payload(3 * korvex::kReadChunkSize));
    DfuSeTarget option;
    option.elements = DfuSeElement(0x1FFF0000, Payload(2 * korvex::kReadChunkSize));
    const std::string file = DfuSeFile({flash, option});
    const std::uint64_t firstData = 11 + 274 + 8;
    const std::uint64_t secondTarget = firstData + 3 * korvex::kReadChunkSize;
    const struct {
        std::uint64_t holeBegin;
        std::uint64_t holeEnd;
        korvex::DfuVerdict verdict;
        std::size_t targets;
    } rows[] = {
        {0, 0, korvex::DfuVerdict::kValid, 2},
        {firstData + 100, secondTarget, korvex::DfuVerdict::kValid, 2},
        {secondTarget + 274 + 8, file.size() - 16, korvex::DfuVerdict::kValid, 2},
        {secondTarget + 4, secondTarget + 5, korvex::DfuVerdict::kUnreadable, 0},
        {11, 12, korvex::DfuVerdict::kUnreadable, 0},  // the first target's prefix
        {file.size() - 1, file.size(), korvex::DfuVerdict::kUnreadable, 0},
    };
    for (const auto& row : rows) {
        HoleSource source(file, row.holeBegin, row.holeEnd);
        const korvex::DfuLayout layout = HeadersLayout(source);
        EXPECT_EQ(row.verdict, layout.verdict) << row.holeBegin;
        EXPECT_EQ(row.verdict == korvex::DfuVerdict::kUnreadable ? 23u : 0u, layout.systemError);
        ASSERT_EQ(row.targets, layout.targets.size()) << row.holeBegin;
        for (const korvex::DfuTarget& target : layout.targets) EXPECT_EQ(1u, target.elements.size());
        EXPECT_LE(source.bytesRead, 16u + 11 + 2 * (274 + 8)) << row.holeBegin;
        EXPECT_LE(source.readCalls, 6u) << row.holeBegin;
    }
}

// A caller's structures, shorter or longer than this build's, copied into one block.
struct OlderTarget {
    std::uint32_t size;
    std::uint8_t alternateSetting;
    std::uint8_t named;
    std::uint16_t nameLength;
};

struct NewerElement {
    KorvexDfuElement known;
    std::uint64_t laterMember;
};

TEST(LayoutBlock, CopiesCallerStructuresOfOtherSizes)
{
    NewerElement elements[2] = {};
    for (std::uint32_t i = 0; i < 2; ++i) {
        elements[i].known.size = sizeof(NewerElement);
        elements[i].known.address = 0x08000000 + i * 0x100;
        elements[i].known.length = 0x80;
        elements[i].laterMember = ~0ull;
    }
    KorvexDfuTarget targets[2] = {};
    targets[0].size = sizeof(KorvexDfuTarget);
    targets[0].alternateSetting = 3;
    targets[0].name = "Flash";
    targets[0].nameLength = 5;
    targets[0].wideName = L"Flash";
    targets[0].listedElementCount = 2;
    targets[0].elements = &elements[0].known;
    OlderTarget older = {sizeof(OlderTarget), 7, 1, 0};
    std::memcpy(&targets[1], &older, sizeof older);  // its pointers read as missing
    targets[1].size = sizeof older;
    targets[1].name = "ignored";
    KorvexDfuLayout given = {};
    given.size = sizeof given;
    given.verdict = KORVEX_DFU_CRC_MISMATCH;
    given.targetCount = 2;
    given.targets = targets;

    KorvexDfuLayout* block = korvex::CopyLayoutBlock(given);
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(block->verdict, static_cast<std::uint32_t>(KORVEX_DFU_CRC_MISMATCH));
    ASSERT_EQ(2u, block->targetCount);
    const KorvexDfuTarget& first = *KorvexDfuTargetAt(block, 0);
    EXPECT_EQ(sizeof(KorvexDfuTarget), first.size);
    EXPECT_STREQ(first.name, "Flash");
    EXPECT_EQ(L"Flash", std::wstring(first.wideName));
    ASSERT_EQ(2u, first.listedElementCount);
    EXPECT_EQ(0x08000100u, KorvexDfuElementAt(&first, 1)->address);
    EXPECT_EQ(sizeof(KorvexDfuElement), KorvexDfuElementAt(&first, 1)->size);
    const KorvexDfuTarget& second = *KorvexDfuTargetAt(block, 1);
    EXPECT_EQ(7u, second.alternateSetting);
    EXPECT_STREQ(second.name, "");
    EXPECT_STREQ(second.wideName, L"");
    EXPECT_EQ(nullptr, second.elements);
    EXPECT_EQ(nullptr, block->findings);
    korvex::FreeLayoutBlock(block);
}

TEST(LayoutBlock, ConvertsNamesWithWindows1252)
{
#if defined(_WIN32)
    // Against the system's own conversion of every byte.
    for (int byte = 1; byte < 256; ++byte) {
        const char text[2] = {static_cast<char>(byte), 0};
        wchar_t wide[2] = {};
        ASSERT_EQ(1, MultiByteToWideChar(1252, 0, text, 1, wide, 2));
        EXPECT_EQ(korvex::Windows1252ToWide(text), std::wstring(wide)) << byte;
    }
#else
    EXPECT_EQ(std::wstring(L"\u20AC\u0081\u0178\u00E9 A"), korvex::Windows1252ToWide("\x80\x81\x9F\xE9 A"));
#endif
}

}  // namespace
