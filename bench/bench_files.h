// The .dfu files the benchmarks read: DfuSe images of the given total size with one named
// target filled with pseudo-random bytes, and a DFU suffix whose CRC zlib computed while the
// file was written (never the engine's own CRC, which the files are there to check).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orrelin::bench {

// 16 KiB, 1 MiB, 64 MiB and 512 MiB.
const std::vector<std::uint64_t>& BenchFileSizes();

// What every bench file states, so a reader's answer can be checked.
constexpr std::uint16_t kBenchVendor = 0x0483;
constexpr std::uint16_t kBenchProduct = 0xDF11;
constexpr std::uint16_t kBenchRelease = 0x2200;
constexpr char kBenchTargetName[] = "Orrelin bench target";

// "dfu-16KiB.dfu" and so on.
std::string BenchFileName(std::uint64_t size);

// Writes the file (through a temporary name, so a file cut short never stands under the
// final name). False with a message on stderr when it cannot.
bool WriteBenchFile(const std::string& path, std::uint64_t size);

// The preview's many-element input: one target of `count` elements of `length` bytes each,
// one after another from 0x08000000. "dfu-5000-elements.dfu" for 5,000.
constexpr std::uint32_t kBenchElementCount = 5000;
constexpr std::uint32_t kBenchElementLength = 256;
std::string ElementsFileName(std::uint32_t count);
bool WriteElementsFile(const std::string& path, std::uint32_t count, std::uint32_t length);

}  // namespace orrelin::bench
