// The CRC-32 of a DFU suffix: zlib's crc32, computed by folding with carry-less
// multiplication where the processor has it. zlib's own loop checks about a third of what
// the page cache delivers per second; folding keeps the file check close to a plain read.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvex {

// zlib's crc32(crc, data, length): the same arguments, the same answer, so calls chain.
std::uint32_t Crc32(std::uint32_t crc, const unsigned char* data, std::size_t length);

// The two ways Crc32 computes, reachable on their own so the tests compare both with zlib.
// Crc32Folded may only be called where CarrylessMultiplyAvailable() is true.
bool CarrylessMultiplyAvailable();
std::uint32_t Crc32Folded(std::uint32_t crc, const unsigned char* data, std::size_t length);
std::uint32_t Crc32Zlib(std::uint32_t crc, const unsigned char* data, std::size_t length);

}  // namespace korvex
