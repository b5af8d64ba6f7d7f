// The portable core, measured natively:
//
//   orrelin_native_bench files DIR          writes the bench .dfu files into DIR (those
//                                           not there yet)
//   orrelin_native_bench engine FILE...     the engine's .dfu check against a plain read
//                                           (cat FILE > /dev/null, and read() in this
//                                           process) and against dfu-suffix -c, side by
//                                           side; the check each way it can read a file
//                                           and the way it chose; then the peak memory of
//                                           each
//   orrelin_native_bench reads FILE...      the CRC pass two ways: read() into a buffer that
//                                           stays in cache, as the engine reads a small
//                                           file, and a mapped view walked in windows, as
//                                           it reads one of a window or more; beside read()
//                                           alone and each CRC path on bytes in memory
//   orrelin_native_bench registry [KEYS]    the registry script interpreter on a generated
//                                           script of KEYS keys (10000) against the
//                                           in-memory registry
//   orrelin_native_bench inputs DIR         checks that the inputs above are what they claim
//                                           (run as a test)
//
// Each prints a Markdown table of medians over repeated runs. A failed check (an input the
// engine or dfu-suffix rejects, a script that does not apply) ends the run with status 1:
// a figure for work that was not done is worse than none.
#include "bench_files.h"
#include "bench_stats.h"
#include "native_process.h"
#include "crc32.h"
#include "dfu_layout.h"
#include "dfu_reader.h"
#include "memory_registry.h"
#include "posix_file_source.h"
#include "read_way.h"
#include "reg_script_interpreter.h"
#include "registrar.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace orrelin::bench;
namespace regscript = orrelin::regscript;

bool CheckWithEngine(const char* path, korvex::DfuFileInfo& info)
{
    korvex::PosixFileSource source;
    return source.Open(path) && korvex::ReadDfuFile(source, info);
}

// The in-process plain read: what cat does, without starting a process.
std::uint64_t ReadThrough(const char* path)
{
    const int file = ::open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0) Fail(std::string(path) + ": " + std::strerror(errno));
    // cat's own buffer size on this system.
    static std::vector<unsigned char> buffer(128 * 1024);
    std::uint64_t total = 0;
    for (;;) {
        const ssize_t got = ::read(file, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        total += static_cast<std::uint64_t>(got);
    }
    ::close(file);
    return total;
}

// The peak resident memory of a child process that does `work` once and nothing else.
template <typename Work>
long PeakKiBOfChild(Work work)
{
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) Fail("cannot fork");
    if (child == 0) _exit(work() ? 0 : 1);
    int status = 0;
    struct rusage usage;
    while (::wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Fail("the measured child failed");
    return usage.ru_maxrss;
}

// What the engine must read from a bench file; true when it does.
bool ReadsAsWritten(const korvex::DfuFileInfo& info)
{
    return info.vendor == kBenchVendor && info.product == kBenchProduct && info.release == kBenchRelease &&
           info.dfuVersion == 0x011A && info.comment == kBenchTargetName;
}

// The untimed first pass over an input: the engine reads what the file states and
// dfu-suffix, run as the oracle, accepts it. It also brings the file into the page cache.
void CheckInput(const char* path)
{
    korvex::DfuFileInfo info;
    if (!CheckWithEngine(path, info)) Fail(std::string(path) + ": the engine rejects it");
    if (!ReadsAsWritten(info)) Fail(std::string(path) + ": the engine reads other numbers or another comment");
    if (RunProgram({"dfu-suffix", "-c", path}).status != 0) Fail(std::string(path) + ": dfu-suffix -c rejects it");
}

std::uint64_t FileSize(const char* path)
{
    struct stat status;
    if (::stat(path, &status) != 0) Fail(std::string(path) + ": " + std::strerror(errno));
    return static_cast<std::uint64_t>(status.st_size);
}

std::string MiB(long kib)
{
    return Fixed(static_cast<double>(kib) / 1024.0, 1) + " MiB";
}

// Writes the bench files that are not there yet; one of the right size is kept, as every
// run checks its inputs before it measures them.
int WriteFiles(const char* folder)
{
    for (const std::uint64_t size : BenchFileSizes()) {
        const std::string path = std::string(folder) + "/" + BenchFileName(size);
        struct stat status;
        const bool present = ::stat(path.c_str(), &status) == 0 && static_cast<std::uint64_t>(status.st_size) == size;
        if (!present && !WriteBenchFile(path, size)) return 1;
        std::printf("%s\n", path.c_str());
    }
    const std::string elements = std::string(folder) + "/" + ElementsFileName(kBenchElementCount);
    if (!WriteElementsFile(elements, kBenchElementCount, kBenchElementLength)) return 1;
    std::printf("%s\n", elements.c_str());
    return 0;
}

// The check forced to read each way, beside the way the process measured and chose (on the
// first file long enough, in CheckInput) and beside read().
void WaysTable(int count, char** paths)
{
    const std::optional<korvex::ReadWay> chosen = korvex::ChosenReadWay();
    std::printf("\nWay of reading a file of a window or more, measured by this process: %s\n\n",
                chosen ? korvex::ReadWayName(*chosen) : "none yet (no file long enough)");
    std::printf(
        "| file | runs | read() | engine check | ÷ read() | check, buffer | ÷ read() | check, mapped views | ÷ read() "
        "| check ÷ the faster way |\n|---|---|---|---|---|---|---|---|---|---|\n");
    for (int i = 0; i < count; ++i) {
        const char* path = paths[i];
        const std::uint64_t size = FileSize(path);
        std::vector<double> read, check, buffer, mapped;
        korvex::DfuFileInfo info;
        auto timedCheck = [&](std::optional<korvex::ReadWay> way) {
            korvex::ForceReadWay(way);
            const double start = Now();
            const bool valid = CheckWithEngine(path, info);
            const double seconds = Now() - start;
            korvex::ForceReadWay(std::nullopt);
            if (!valid) Fail(std::string(path) + ": the engine rejects it");
            return seconds;
        };
        const int runs = RunsForSize(size);
        for (int run = 0; run < runs; ++run) {
            double start = Now();
            ReadThrough(path);
            read.push_back(Now() - start);
            // In turn, each first in a third of the runs, so no way pays for what ran before it.
            for (int turn = 0; turn < 3; ++turn) {
                switch ((run + turn) % 3) {
                case 0:
                    check.push_back(timedCheck(std::nullopt));
                    break;
                case 1:
                    buffer.push_back(timedCheck(korvex::ReadWay::kRead));
                    break;
                default:
                    mapped.push_back(timedCheck(korvex::ReadWay::kMap));
                    break;
                }
            }
        }
        const double r = Median(read), c = Median(check), b = Median(buffer), m = Median(mapped);
        std::printf("| %s | %d | %s MB/s | %s MB/s | %s | %s MB/s | %s | %s MB/s | %s | %s |\n", SizeText(size).c_str(),
                    runs, MegabytesPerSecond(size, r).c_str(), MegabytesPerSecond(size, c).c_str(),
                    Ratio(r / c).c_str(), MegabytesPerSecond(size, b).c_str(), Ratio(r / b).c_str(),
                    MegabytesPerSecond(size, m).c_str(), Ratio(r / m).c_str(), Ratio(std::min(b, m) / c).c_str());
        std::fflush(stdout);
    }
}

int EngineTable(int count, char** paths)
{
    std::printf("CRC path chosen: %s\n\n", korvex::CrcPathName(korvex::ChosenCrcPath()));
    std::printf(
        "| file | runs | engine check | cat > /dev/null | engine ÷ cat | read() in process | "
        "engine ÷ read() | dfu-suffix -c | engine ÷ dfu-suffix |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|\n");
    struct Memory {
        std::string file;
        long engine;
        long layout;
        long cat;
        long dfuSuffix;
    };
    std::vector<Memory> memory;
    const long idle = PeakKiBOfChild([] { return true; });

    for (int i = 0; i < count; ++i) {
        const char* path = paths[i];
        const std::uint64_t size = FileSize(path);
        const std::string file = SizeText(size);

        // The first pass of each is not timed; every timed pass finds the file in the page cache,
        // and so do the engine's trials of its ways of reading.
        if (ReadThrough(path) != size) Fail(std::string(path) + ": read short");
        CheckInput(path);
        if (RunProgram({"cat", path}).status != 0) Fail(std::string(path) + ": cat failed");
        korvex::DfuFileInfo info;

        std::vector<double> engine, cat, read, suffix;
        long catPeak = 0, suffixPeak = 0;
        const int runs = RunsForSize(size);
        for (int run = 0; run < runs; ++run) {
            double start = Now();
            const bool valid = CheckWithEngine(path, info);
            engine.push_back(Now() - start);
            if (!valid) Fail(std::string(path) + ": the engine rejects it");

            start = Now();
            ReadThrough(path);
            read.push_back(Now() - start);

            const ProcessRun catRun = RunProgram({"cat", path});
            cat.push_back(catRun.seconds);
            catPeak = std::max(catPeak, catRun.peakKiB);

            const ProcessRun suffixRun = RunProgram({"dfu-suffix", "-c", path});
            if (suffixRun.status != 0) Fail(std::string(path) + ": dfu-suffix -c rejects it");
            suffix.push_back(suffixRun.seconds);
            suffixPeak = std::max(suffixPeak, suffixRun.peakKiB);
        }
        const double e = Median(engine), c = Median(cat), r = Median(read), s = Median(suffix);
        std::printf("| %s | %d | %s MB/s (%s ms) | %s MB/s | %s | %s MB/s | %s | %s MB/s | %s |\n", file.c_str(), runs,
                    MegabytesPerSecond(size, e).c_str(), Milliseconds(e).c_str(), MegabytesPerSecond(size, c).c_str(),
                    Ratio(c / e).c_str(), MegabytesPerSecond(size, r).c_str(), Ratio(r / e).c_str(),
                    MegabytesPerSecond(size, s).c_str(), Ratio(s / e).c_str());
        std::fflush(stdout);

        const long enginePeak = PeakKiBOfChild([path] {
            korvex::DfuFileInfo childInfo;
            return CheckWithEngine(path, childInfo);
        });
        // The whole layout, targets and elements, in the same single pass.
        const long layoutPeak = PeakKiBOfChild([path] {
            korvex::PosixFileSource source;
            korvex::DfuLayout layout;
            if (!source.Open(path)) return false;
            korvex::ReadDfuLayout(source, layout);
            return layout.verdict == korvex::DfuVerdict::kValid && !layout.targets.empty();
        });
        memory.push_back({file, enginePeak, layoutPeak, catPeak, suffixPeak});
    }

    WaysTable(count, paths);

    std::printf("\n| file | engine check: peak RSS (idle process %s) | engine layout read | cat | dfu-suffix -c |\n",
                MiB(idle).c_str());
    std::printf("|---|---|---|---|---|\n");
    for (const Memory& row : memory)
        std::printf("| %s | %s | %s | %s | %s |\n", row.file.c_str(), MiB(row.engine).c_str(), MiB(row.layout).c_str(),
                    MiB(row.cat).c_str(), MiB(row.dfuSuffix).c_str());
    return 0;
}

// The CRC of a file read into one buffer of the engine's chunk size, as the engine reads a
// file smaller than its mapped window.
std::uint32_t BufferedCrc(const char* path, std::uint64_t size)
{
    korvex::PosixFileSource source;
    if (!source.Open(path)) Fail(std::string(path) + ": cannot open it");
    static std::vector<unsigned char> buffer(korvex::kReadChunkSize);
    std::uint32_t crc = 0;
    for (std::uint64_t at = 0; at < size;) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size - at));
        if (!source.ReadAt(at, buffer.data(), count)) Fail(std::string(path) + ": read failed");
        crc = korvex::Crc32(crc, buffer.data(), count);
        at += count;
    }
    return crc;
}

// The same over a mapped view of the file, one window at a time, so memory stays flat.
constexpr std::size_t kMapWindow = 4 << 20;

std::uint32_t MappedCrc(const char* path, std::uint64_t size, int flags)
{
    const int file = ::open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0) Fail(std::string(path) + ": cannot open it");
    std::uint32_t crc = 0;
    for (std::uint64_t at = 0; at < size; at += kMapWindow) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(kMapWindow, size - at));
        void* view = ::mmap(nullptr, count, PROT_READ, MAP_SHARED | flags, file, static_cast<off_t>(at));
        if (view == MAP_FAILED) Fail(std::string(path) + ": cannot map it");
        ::madvise(view, count, MADV_SEQUENTIAL);
        crc = korvex::Crc32(crc, static_cast<const unsigned char*>(view), count);
        ::munmap(view, count);
    }
    ::close(file);
    return crc;
}

int ReadsTable(int count, char** paths)
{
    // What each CRC path computes on bytes already in the cache: the ceiling of any check.
    std::printf("| CRC path | on 1 MiB in memory, repeated |\n|---|---|\n");
    std::vector<unsigned char> bytes(1 << 20, 0x5A);
    for (const korvex::CrcPath path :
         {korvex::CrcPath::kZlib, korvex::CrcPath::kFold128, korvex::CrcPath::kFold256, korvex::CrcPath::kFold512}) {
        if (!korvex::CrcPathAvailable(path)) {
            std::printf("| %s | not on this processor |\n", korvex::CrcPathName(path));
            continue;
        }
        std::vector<double> times;
        std::uint32_t crc = 0;
        for (int run = 0; run < 15; ++run) {
            const double start = Now();
            for (int round = 0; round < 64; ++round) crc = korvex::Crc32With(path, crc, bytes.data(), bytes.size());
            times.push_back(Now() - start);
        }
        std::printf("| %s%s | %s MB/s |\n", korvex::CrcPathName(path),
                    path == korvex::ChosenCrcPath() ? " (chosen)" : "",
                    MegabytesPerSecond(std::uint64_t{64} << 20, Median(times)).c_str());
    }

    std::printf(
        "\n| file | runs | read() alone | read() + CRC, buffer in cache | ÷ read() | mapped windows + CRC | "
        "÷ read() | mapped, pages populated, + CRC | ÷ read() |\n|---|---|---|---|---|---|---|---|---|\n");
    for (int i = 0; i < count; ++i) {
        const char* path = paths[i];
        const std::uint64_t size = FileSize(path);
        const std::uint32_t expected = BufferedCrc(path, size);
        if (MappedCrc(path, size, 0) != expected || MappedCrc(path, size, MAP_POPULATE) != expected)
            Fail(std::string(path) + ": the mapped view gives another CRC");
        std::vector<double> read, buffered, mapped, populated;
        const int runs = RunsForSize(size);
        for (int run = 0; run < runs; ++run) {
            double start = Now();
            ReadThrough(path);
            read.push_back(Now() - start);
            start = Now();
            BufferedCrc(path, size);
            buffered.push_back(Now() - start);
            start = Now();
            MappedCrc(path, size, 0);
            mapped.push_back(Now() - start);
            start = Now();
            MappedCrc(path, size, MAP_POPULATE);
            populated.push_back(Now() - start);
        }
        const double r = Median(read), b = Median(buffered), m = Median(mapped), p = Median(populated);
        std::printf("| %s | %d | %s MB/s | %s MB/s | %s | %s MB/s | %s | %s MB/s | %s |\n", SizeText(size).c_str(),
                    runs, MegabytesPerSecond(size, r).c_str(), MegabytesPerSecond(size, b).c_str(),
                    Ratio(r / b).c_str(), MegabytesPerSecond(size, m).c_str(), Ratio(r / m).c_str(),
                    MegabytesPerSecond(size, p).c_str(), Ratio(r / p).c_str());
        std::fflush(stdout);
    }
    return 0;
}

std::string GroupName(int group)
{
    char name[64];
    std::snprintf(name, sizeof name, "OrrelinBench.Group%03d", group);
    return name;
}

std::u16string Wide(const std::string& text)
{
    return std::u16string(text.begin(), text.end());
}

// Group keys under HKCR with 99 keys each below them: 100 groups, 10,000 keys in all, for
// the default count. Every key has a default value, every other one a named number as well,
// and each group's first key refers to the module variable, as a class's registration does.
struct GeneratedScript {
    explicit GeneratedScript(int keys);
    int keys;
    int groups = 0;
    std::u16string text;
};

constexpr int kKeysPerGroup = 99;

GeneratedScript::GeneratedScript(int keyCount) : keys(keyCount)
{
    std::string script = "HKCR\n{\n";
    for (int made = 0; made < keys; ++groups) {
        script += "\tForceRemove " + GroupName(groups) + " = s 'Group " + std::to_string(groups) + "'\n\t{\n";
        ++made;
        for (int key = 0; key < kKeysPerGroup && made < keys; ++key, ++made) {
            char name[16];
            std::snprintf(name, sizeof name, "Key%02d", key);
            script += std::string("\t\t") + name + " = s '" + (key == 0 ? "%MODULE%" : "Value " + std::to_string(key)) +
                      "'\n";
            if (key % 2 == 0) script += "\t\t{\n\t\t\tval Number = d '" + std::to_string(key) + "'\n\t\t}\n";
        }
        script += "\t}\n";
    }
    script += "}\n";
    text = Wide(script);
}

// The keys of the generated script that the registry holds: its groups and their subkeys.
int CountScriptKeys(regscript::MemoryRegistry& registry, const GeneratedScript& script)
{
    int count = 0;
    for (int group = 0; group < script.groups; ++group) {
        regscript::KeyHandle key = regscript::kNoKey;
        const std::u16string name = Wide(GroupName(group));
        if (registry.OpenKey(regscript::kHkeyClassesRoot, name.c_str(), regscript::kKeyRead, &key) !=
            regscript::kErrorSuccess)
            continue;
        std::uint32_t subkeys = 0;
        if (registry.QuerySubkeyCount(key, &subkeys) == regscript::kErrorSuccess)
            count += 1 + static_cast<int>(subkeys);
        registry.CloseKey(key);
    }
    return count;
}

struct ScriptTimes {
    double registering;
    double unregistering;
};

// Registers the script into a fresh in-memory registry, checks that every key is there,
// unregisters it and checks that none is left.
ScriptTimes ApplyGeneratedScript(const GeneratedScript& script)
{
    regscript::MemoryRegistry registry;
    // The call log is for tests that read it back; here it would only be work measured.
    registry.EnableCallLog(false);
    regscript::MemoryScriptResources resources;
    regscript::Registrar registrar(registry, resources);
    registrar.AddVariable(u"Module", u"C:\\Program Files\\Orrelin\\Orrelin.dll");

    ScriptTimes times;
    regscript::CRegScriptInterpreter forward(registrar);
    double start = Now();
    const regscript::HResult registered = forward.ApplyScript(script.text.c_str(), regscript::Direction::Register);
    times.registering = Now() - start;
    if (regscript::Failed(registered)) Fail("the generated script does not register");
    const int present = CountScriptKeys(registry, script);
    if (present != script.keys)
        Fail("the generated script names " + std::to_string(script.keys) + " keys; registration made " +
             std::to_string(present));

    regscript::CRegScriptInterpreter backward(registrar);
    start = Now();
    const regscript::HResult unregistered = backward.ApplyScript(script.text.c_str(), regscript::Direction::Unregister);
    times.unregistering = Now() - start;
    if (regscript::Failed(unregistered)) Fail("the generated script does not unregister");
    if (CountScriptKeys(registry, script) != 0) Fail("unregistration left keys of the generated script");
    return times;
}

int RegistryTable(int keys)
{
    const GeneratedScript script(keys);
    std::vector<double> registering, unregistering;
    const int runs = 11;
    // One more run than counted: the first warms the allocator.
    for (int run = 0; run <= runs; ++run) {
        const ScriptTimes times = ApplyGeneratedScript(script);
        if (run == 0) continue;
        registering.push_back(times.registering);
        unregistering.push_back(times.unregistering);
    }
    const double r = Median(registering), u = Median(unregistering);
    std::printf("| script | runs | register | keys/s | unregister | keys/s |\n");
    std::printf("|---|---|---|---|---|---|\n");
    std::printf("| %d keys, %zu characters | %d | %s ms | %s | %s ms | %s |\n", keys, script.text.size(), runs,
                Milliseconds(r).c_str(), Fixed(keys / r, 0).c_str(), Milliseconds(u).c_str(),
                Fixed(keys / u, 0).c_str());
    return 0;
}

// The exit status that tells CTest a check was skipped.
constexpr int kSkipped = 77;

// What the benchmark reads is what it claims to read: small bench files that the engine and
// dfu-suffix both accept (and a damaged copy that both reject), and the generated script
// whose every key registers and unregisters. Run as a test; prints no figures.
int CheckInputs(const char* folder)
{
    if (std::system("command -v dfu-suffix >/dev/null 2>&1") != 0) {
        std::printf("dfu-suffix (package dfu-util) is not installed: nothing to check against\n");
        return kSkipped;
    }
    for (const std::uint64_t size : {std::uint64_t{16} << 10, std::uint64_t{1} << 20}) {
        const std::string path = std::string(folder) + "/" + BenchFileName(size);
        if (!WriteBenchFile(path, size)) return 1;
        CheckInput(path.c_str());

        // One byte of the payload changed: both readers must notice, or the check above
        // proves nothing.
        const std::string damaged = path + ".damaged.dfu";
        if (!WriteBenchFile(damaged, size)) return 1;
        const int file = ::open(damaged.c_str(), O_RDWR);
        unsigned char byte = 0;
        const off_t at = static_cast<off_t>(size / 2);
        if (file < 0 || ::pread(file, &byte, 1, at) != 1) Fail(damaged + ": cannot read it back");
        byte ^= 0x01;
        if (::pwrite(file, &byte, 1, at) != 1 || ::close(file) != 0) Fail(damaged + ": cannot damage it");
        korvex::DfuFileInfo info;
        if (CheckWithEngine(damaged.c_str(), info)) Fail(damaged + ": the engine accepts a damaged file");
        if (RunProgram({"dfu-suffix", "-c", damaged}).status == 0) Fail(damaged + ": dfu-suffix accepts it");
        ::unlink(damaged.c_str());
        ::unlink(path.c_str());
        std::printf("%s: valid for the engine and dfu-suffix; a damaged copy is not\n", SizeText(size).c_str());
    }
    const GeneratedScript script(10000);
    ApplyGeneratedScript(script);
    std::printf("generated script: %d keys registered and unregistered\n", script.keys);
    return 0;
}

void WarnIfInstrumented()
{
#if defined(__SANITIZE_ADDRESS__)
    const bool instrumented = true;
#elif defined(__has_feature)
#  if __has_feature(address_sanitizer)
    const bool instrumented = true;
#  else
    const bool instrumented = false;
#  endif
#else
    const bool instrumented = false;
#endif
    if (instrumented)
        std::fprintf(stderr,
                     "orrelin_native_bench: built with sanitizers; these figures are not the product's "
                     "(scripts/bench.sh builds without them)\n");
}

}  // namespace

int main(int argc, char** argv)
{
    WarnIfInstrumented();
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "files" && argc == 3) return WriteFiles(argv[2]);
    if (command == "engine" && argc > 2) return EngineTable(argc - 2, argv + 2);
    if (command == "reads" && argc > 2) return ReadsTable(argc - 2, argv + 2);
    if (command == "inputs" && argc == 3) return CheckInputs(argv[2]);
    if (command == "registry" && argc <= 3) return RegistryTable(argc == 3 ? std::atoi(argv[2]) : 10000);
    std::fprintf(
        stderr,
        "usage: orrelin_native_bench files DIR | engine FILE... | reads FILE... | registry [KEYS] | inputs DIR\n");
    return 2;
}
