// dfutool's work on large files, natively, against the system tools that move the same bytes:
//
//   orrelin_dfutool_bench DFUTOOL DIR
//
// make of a DfuSe file from a 512 MiB binary, and extract of it, each against cp of the same
// bytes (and cp followed by sync of the copy: dfutool makes an output durable before it
// puts it in place); hash against sha256sum; diff of two 512 MiB files against cmp (they
// differ only in their last MiB, so cmp, which stops at the first difference, reads nearly
// all of both). The peak memory of each at 512 MiB and at 16 MiB shows whether it is flat.
// Every result is checked once before it is timed; a wrong one ends the run with status 1.
#include "bench_stats.h"
#include "native_process.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace orrelin::bench;

constexpr std::uint64_t kLarge = std::uint64_t{512} << 20;
constexpr std::uint64_t kSmall = std::uint64_t{16} << 20;
constexpr int kRuns = 3;

std::uint64_t FileSize(const std::string& path)
{
    struct stat status;
    return ::stat(path.c_str(), &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
}

// Pseudo-random bytes (data does not compress or repeat); `changed` flips one byte in every
// 4 KiB of the last MiB, for the second file of the comparison.
void WriteBinary(const std::string& path, std::uint64_t size, bool changed)
{
    if (FileSize(path) == size && !changed) return;
    const std::string temporary = path + ".partial";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) Fail(temporary + ": cannot create it");
    std::vector<std::uint64_t> buffer(1 << 17);
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    for (std::uint64_t at = 0; at < size; at += buffer.size() * 8) {
        for (std::uint64_t& word : buffer) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            word = state;
        }
        if (changed && at >= size - (1 << 20))
            for (std::size_t i = 0; i < buffer.size(); i += 512) buffer[i] ^= 0x5A;
        if (std::fwrite(buffer.data(), 8, buffer.size(), file) != buffer.size()) Fail(temporary + ": write failed");
    }
    if (std::fclose(file) != 0 || std::rename(temporary.c_str(), path.c_str()) != 0) Fail(path + ": write failed");
}

void Expect(const ProcessRun& run, int status, const std::string& what)
{
    if (run.status != status)
        Fail(what + ": exit code " + std::to_string(run.status) + ", expected " + std::to_string(status));
}

// The first word of a program's output.
std::string FirstWord(const std::string& command)
{
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) Fail("cannot run " + command);
    char word[128] = {};
    const int got = std::fscanf(pipe, "%127s", word);
    ::pclose(pipe);
    return got == 1 ? word : "";
}

struct Row {
    std::string work;
    std::uint64_t bytes;  // what the rate counts
    std::vector<std::string> ours;
    std::vector<std::string> theirs;
    int status;  // of both
    double goal;
    std::vector<std::string> small;  // ours on the 16 MiB files, for its peak memory
};

std::string MiB(long kib)
{
    return Fixed(static_cast<double>(kib) / 1024.0, 1) + " MiB";
}

void Measure(const Row& row)
{
    // Each once untimed, so every timed run finds its inputs in the page cache.
    Expect(RunProgram(row.ours), row.status, row.work);
    Expect(RunProgram(row.theirs), row.status, row.theirs[0]);
    std::vector<double> ours, theirs;
    long oursPeak = 0, theirsPeak = 0;
    for (int run = 0; run < kRuns; ++run) {
        // In turn, each first in half the runs, so neither pays for what ran before it.
        for (int turn = 0; turn < 2; ++turn) {
            const bool first = (run + turn) % 2 == 0;
            const ProcessRun result = RunProgram(first ? row.ours : row.theirs);
            Expect(result, row.status, row.work);
            (first ? ours : theirs).push_back(result.seconds);
            long& peak = first ? oursPeak : theirsPeak;
            peak = std::max(peak, result.peakKiB);
        }
    }
    const ProcessRun small = RunProgram(row.small);
    Expect(small, row.status, row.work + " (16 MiB)");
    const double o = Median(ours), t = Median(theirs);
    std::string theirsName = row.theirs[0] == "sh" ? "cp + sync" : row.theirs[0];
    std::printf("| %s | %d | %s MB/s (%s ms) | %s: %s MB/s | %s | %s | %s | %s | %s |\n", row.work.c_str(), kRuns,
                MegabytesPerSecond(row.bytes, o).c_str(), Milliseconds(o).c_str(), theirsName.c_str(),
                MegabytesPerSecond(row.bytes, t).c_str(), Ratio(t / o).c_str(),
                row.goal > 0 ? Ratio(row.goal).c_str() : "-", MiB(oursPeak).c_str(), MiB(small.peakKiB).c_str(),
                MiB(theirsPeak).c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: orrelin_dfutool_bench DFUTOOL DIR\n");
        return 2;
    }
    const std::string tool = argv[1], dir = argv[2];
    const auto at = [&](const char* name) { return dir + "/" + name; };
    WriteBinary(at("large.bin"), kLarge, false);
    WriteBinary(at("large-b.bin"), kLarge, true);
    WriteBinary(at("small.bin"), kSmall, false);
    WriteBinary(at("small-b.bin"), kSmall, true);
    const auto make = [&](const std::string& bin, const std::string& dfu) {
        return std::vector<std::string>{tool, "make", "-f", "-b", "0x08000000:" + bin, dfu};
    };
    for (const char* name : {"large", "large-b", "small", "small-b"}) {
        const std::string stem = at(name);
        Expect(RunProgram(make(stem + ".bin", stem + ".dfu")), 0, std::string("make of ") + name);
    }
    // What the timed runs do is right: extract gives the binary back, hash is sha256sum's.
    const std::string prefix = at("out");
    const std::vector<std::string> extract = {tool, "extract", "-f", "-o", prefix, at("large.dfu")};
    Expect(RunProgram(extract), 0, "extract");
    Expect(RunProgram({"cmp", "-s", at("large.bin"), prefix + ".target0.08000000.bin"}), 0,
           "extract gives the binary back");
    if (FirstWord(tool + " hash '" + at("large.dfu") + "'") != FirstWord("sha256sum '" + at("large.dfu") + "'"))
        Fail("hash and sha256sum differ");

    const std::string copy = at("copy");
    const std::vector<std::string> cpSync = {"sh", "-c", "cp \"$1\" \"$2\" && sync \"$2\"", "sh"};
    const auto with = [](std::vector<std::string> command, std::initializer_list<std::string> more) {
        command.insert(command.end(), more);
        return command;
    };
    const std::vector<std::string> smallExtract = {tool, "extract", "-f", "-o", at("small"), at("small.dfu")};
    const std::uint64_t dfuSize = FileSize(at("large.dfu"));
    const std::vector<Row> rows = {
        {"make -b ADDR:512MiB.bin",
         kLarge,
         make(at("large.bin"), at("made.dfu")),
         {"cp", at("large.bin"), copy},
         0,
         0.5,
         make(at("small.bin"), at("made-small.dfu"))},
        {"make -b ADDR:512MiB.bin", kLarge, make(at("large.bin"), at("made.dfu")),
         with(cpSync, {at("large.bin"), copy}), 0, 0.5, make(at("small.bin"), at("made-small.dfu"))},
        {"extract (512 MiB element)", kLarge, extract, {"cp", at("large.dfu"), copy}, 0, 0.5, smallExtract},
        {"extract (512 MiB element)", kLarge, extract, with(cpSync, {at("large.dfu"), copy}), 0, 0.5, smallExtract},
        {"hash",
         dfuSize,
         {tool, "hash", at("large.dfu")},
         {"sha256sum", at("large.dfu")},
         0,
         0.8,
         {tool, "hash", at("small.dfu")}},
        {"diff (last MiB differs)",
         2 * dfuSize,
         {tool, "diff", at("large.dfu"), at("large-b.dfu")},
         {"cmp", at("large.dfu"), at("large-b.dfu")},
         1,
         0.0,
         {tool, "diff", at("small.dfu"), at("small-b.dfu")}},
    };
    std::printf(
        "| work | runs | dfutool | reference | dfutool ÷ reference | goal | dfutool peak RSS | at 16 MiB | "
        "reference peak RSS |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|\n");
    for (const Row& row : rows) Measure(row);
    for (const char* name : {"copy", "made.dfu", "made-small.dfu"}) ::unlink(at(name).c_str());
    return 0;
}
