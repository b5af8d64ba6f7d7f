// Reading a .dfu file: the DFU suffix at its end (numbers and CRC) and, for a DfuSe file,
// the name of its first named target. Bytes come in through a ByteSource, so the same code
// reads Windows files in the engine and memory or Linux files in the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvex {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Fills buffer with exactly count bytes starting at offset; false if any is unreadable.
    virtual bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count) = 0;
    // The system's error of the latest failed open or read; 0 where the source has none.
    virtual std::uint32_t LastError() const { return 0; }
};

// 0xFFFF in a number: the file does not state it.
constexpr std::uint16_t kNotStated = 0xFFFF;

struct DfuFileInfo {
    std::uint16_t vendor = kNotStated;
    std::uint16_t product = kNotStated;
    std::uint16_t release = kNotStated;
    std::uint16_t dfuVersion = 0;
    std::uint8_t suffixLength = 0;
    // The 8-bit name of the first named DfuSe target, as stored; empty when there is none.
    std::string comment;
};

constexpr std::size_t kSuffixSize = 16;
// The CRC pass reads this much at a time, so memory stays flat however large the file. A
// larger buffer is slower, not faster: each check allocates it afresh, and past a few
// hundred KiB the allocators (Wine's heap, glibc's) map new pages for it every time.
constexpr std::size_t kReadChunkSize = 128 * 1024;

// true for a valid DFU file, with info filled in; false (info unspecified) for a file that
// is empty, truncated, unreadable or corrupt.
bool ReadDfuFile(ByteSource& source, DfuFileInfo& info);

}  // namespace korvex
