// The engine's .dfu check under Wine, against the system's plain read of the same file:
//
//   orrelin_engine_bench [--header] FILE.dfu
//
// Prints one table row for the file: the CRC path and the way of reading this process chose;
// the engine's check and its CRC pass forced each way it can read a file of a window or
// more (into a buffer that stays in cache, or in place through mapped views a window at a
// time), each beside a plain ReadFile loop in this process; and the second check of the
// unchanged file through Korvex.dll, which remembers its verdict, against the first, with
// what it is made of.
// Medians of repeated runs, taken in turn.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Korvex.h"
#include "bench_files.h"
#include "bench_stats.h"
#include "crc32.h"
#include "dfu_reader.h"
#include "handles.h"
#include "read_way.h"
#include "win_bench_support.h"
#include "win_file_source.h"

using namespace orrelin::bench;

namespace {

orrelin::UniqueFileHandle OpenForReading(const std::wstring& path)
{
    orrelin::UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) Fail("%s: cannot open it", Narrow(path).c_str());
    return file;
}

// The plain read: ReadFile into one buffer of the engine's chunk size until the end.
double ReadThrough(const std::wstring& path)
{
    static std::vector<unsigned char> buffer(korvex::kReadChunkSize);
    const double start = Seconds();
    orrelin::UniqueFileHandle file = OpenForReading(path);
    DWORD got = 0;
    while (ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0) {
    }
    return Seconds() - start;
}

// The engine's own read and check, without the verdicts Korvex.dll remembers.
double FirstCheck(const std::wstring& path)
{
    const double start = Seconds();
    korvex::WinFileSource source;
    korvex::DfuFileInfo info;
    if (!source.Open(path.c_str()) || !korvex::ReadDfuFile(source, info)) Fail("%s: rejected", Narrow(path).c_str());
    return Seconds() - start;
}

class CrcSink final : public korvex::ByteSink {
public:
    void Take(std::uint64_t, const unsigned char* bytes, std::size_t count) override
    {
        crc = korvex::Crc32(crc, bytes, count);
    }
    void Restart() override { crc = 0; }
    std::uint32_t crc = 0;
};

// The engine's CRC pass over the whole file, forced to either way it reads a file of a
// window or more: into its buffer, or in place through its guarded mapped views.
double CrcPass(const std::wstring& path, korvex::ReadWay way, std::uint32_t& crc)
{
    korvex::ForceReadWay(way);
    const double start = Seconds();
    korvex::WinFileSource source;
    if (!source.Open(path.c_str())) Fail("%s: cannot open it", Narrow(path).c_str());
    CrcSink sink;
    const bool read = source.Scan(source.Size(), korvex::kReadChunkSize, sink);
    const double seconds = Seconds() - start;
    korvex::ForceReadWay(std::nullopt);
    if (!read) Fail("%s: read failed", Narrow(path).c_str());
    crc = sink.crc;
    return seconds;
}

const char* WayChosen()
{
    const std::optional<korvex::ReadWay> chosen = korvex::ChosenReadWay();
    return chosen ? korvex::ReadWayName(*chosen) : "none yet";
}

// What the second check is made of: opening and closing the file, and asking the system
// for its identity and times.
double OpenAndClose(const std::wstring& path)
{
    const double start = Seconds();
    {
        korvex::WinFileSource source;
        if (!source.Open(path.c_str())) Fail("%s: cannot open it", Narrow(path).c_str());
    }
    return Seconds() - start;
}

double StateQuery(const std::wstring& path)
{
    korvex::WinFileSource source;
    korvex::FileState state;
    if (!source.Open(path.c_str())) Fail("%s: cannot open it", Narrow(path).c_str());
    const double start = Seconds();
    if (!source.QueryState(state)) Fail("%s: no identity", Narrow(path).c_str());
    return Seconds() - start;
}

double KorvexCheck(const std::wstring& path)
{
    CStringX comment;
    const double start = Seconds();
    const bool valid = Korvex::IsDFUFileValid(path.c_str(), comment);
    const double seconds = Seconds() - start;
    if (!valid) Fail("%s: the engine rejects it", Narrow(path).c_str());
    return seconds;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    int first = 1;
    if (argc > 1 && std::wstring(argv[1]) == L"--header") {
        std::printf(
            "| arch | file | runs | CRC path | way chosen | ReadFile alone | engine check | ÷ ReadFile | CRC pass, "
            "buffer | ÷ ReadFile | CRC pass, mapped windows | ÷ ReadFile | check ÷ the faster way | second check "
            "(first in process) | second ÷ first | of the second: open + close, identity and times |\n"
            "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
        ++first;
    }
    if (argc != first + 1) {
        std::fprintf(stderr, "usage: orrelin_engine_bench [--header] FILE.dfu\n");
        return 2;
    }
    const std::wstring path = argv[first];
    const std::uint64_t size = FileSizeOf(path);
    std::uint32_t bufferedCrc = 0, mappedCrc = 0;
    // Untimed: brings the file into the cache and checks that both passes agree; then the
    // first checks in this process, whose trials choose the way on a file long enough.
    ReadThrough(path);
    CrcPass(path, korvex::ReadWay::kRead, bufferedCrc);
    CrcPass(path, korvex::ReadWay::kMap, mappedCrc);
    for (int trial = 0; trial < 3 && !korvex::ChosenReadWay(); ++trial) FirstCheck(path);
    if (bufferedCrc != mappedCrc) Fail("%s: the mapped view gives another CRC", Narrow(path).c_str());
    // The first check in this process reads the file; Korvex.dll remembers the verdict.
    const double firstInProcess = KorvexCheck(path);

    std::vector<double> read, check, buffered, mapped, second, openClose, state;
    const int runs = RunsForSize(size);
    for (int run = 0; run < runs; ++run) {
        read.push_back(ReadThrough(path));
        check.push_back(FirstCheck(path));
        buffered.push_back(CrcPass(path, korvex::ReadWay::kRead, bufferedCrc));
        mapped.push_back(CrcPass(path, korvex::ReadWay::kMap, mappedCrc));
        second.push_back(KorvexCheck(path));
        openClose.push_back(OpenAndClose(path));
        state.push_back(StateQuery(path));
    }
    const double r = Median(read), c = Median(check), b = Median(buffered), m = Median(mapped), s = Median(second);
    std::printf(
        "| %s | %s | %d | %s | %s | %s MB/s | %s MB/s | %s | %s MB/s | %s | %s MB/s | %s | %s | %s ms (%s ms) | %s | "
        "%s ms, %s ms |\n",
        ArchName(), SizeText(size).c_str(), runs, korvex::CrcPathName(korvex::ChosenCrcPath()), WayChosen(),
        MegabytesPerSecond(size, r).c_str(), MegabytesPerSecond(size, c).c_str(), Ratio(r / c).c_str(),
        MegabytesPerSecond(size, b).c_str(), Ratio(r / b).c_str(), MegabytesPerSecond(size, m).c_str(),
        Ratio(r / m).c_str(), Ratio(std::min(b, m) / c).c_str(), Fixed(s * 1e3, 4).c_str(),
        Milliseconds(firstInProcess).c_str(), Fixed(s / c, 5).c_str(), Fixed(Median(openClose) * 1e3, 4).c_str(),
        Fixed(Median(state) * 1e3, 4).c_str());
    return 0;
}
