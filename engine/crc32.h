// The CRC-32 of a DFU suffix: zlib's crc32, computed by folding with carry-less
// multiplication where the processor has it. zlib's own loop checks about a third of what
// the page cache delivers per second; folding keeps the file check close to a plain read.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvex {

// zlib's crc32(crc, data, length): the same arguments, the same answer, so calls chain.
std::uint32_t Crc32(std::uint32_t crc, const unsigned char* data, std::size_t length);

// The ways Crc32 can compute, narrowest first. Each folding path carries more bytes per
// step; the widest one the processor and the system support is chosen once per process.
enum class CrcPath {
    kZlib,
    kFold128,  // PCLMULQDQ on 16-byte blocks, four in flight
    kFold256,  // VPCLMULQDQ on 32-byte registers (AVX2)
    kFold512,  // VPCLMULQDQ on 64-byte registers (AVX-512F)
};

// True when this processor has the instructions and the system saves the registers.
bool CrcPathAvailable(CrcPath path);
CrcPath ChosenCrcPath();
const char* CrcPathName(CrcPath path);
// Crc32 computed one given way; path must be available.
std::uint32_t Crc32With(CrcPath path, std::uint32_t crc, const unsigned char* data, std::size_t length);

// zlib's own loop: the reference, and the way where no folding path is available.
std::uint32_t Crc32Zlib(std::uint32_t crc, const unsigned char* data, std::size_t length);

}  // namespace korvex
