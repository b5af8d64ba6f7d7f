// Building .dfu files byte by byte, and an in-memory byte source that watches how the
// reader reads, for the engine's tests.
#pragma once

#include "dfu_reader.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace dfutest {

struct SuffixFields {
    std::uint16_t release = 0xFFFF;
    std::uint16_t product = 0xFFFF;
    std::uint16_t vendor = 0xFFFF;
    std::uint16_t dfuVersion = 0x0100;
    std::string signature = "UFD";
    std::uint8_t length = 16;
};

// The CRC a suffix stores for the bytes before it (zlib's CRC-32, not inverted).
std::uint32_t SuffixCrc(const std::string& bytes);
// payload followed by a suffix with these fields and a matching CRC, as dfu-suffix -a
// writes it.
std::string WithSuffix(const std::string& payload, const SuffixFields& fields = {});
std::string WithSuffix(const std::string& payload, std::uint16_t vendor, std::uint16_t product, std::uint16_t release,
                       std::uint16_t dfuVersion = 0x0100);

void AppendLe16(std::string& bytes, std::uint16_t value);
void AppendLe32(std::string& bytes, std::uint32_t value);
void PutLe32(std::string& bytes, std::size_t offset, std::uint32_t value);

// DfuSe layout, for tests that build or damage one.
constexpr std::size_t kDfuSeImageSizeAt = 6;
constexpr std::size_t kDfuSeTargetCountAt = 10;
constexpr std::size_t kFirstTargetAt = 11;
constexpr std::size_t kTargetPrefixSize = 274;
constexpr std::size_t kTargetSizeAt = 266;  // within a target prefix

struct DfuSeTarget {
    bool named = false;
    std::string name;       // up to 255 bytes; a shorter name is NUL-padded
    std::string elements;   // what follows the target prefix
    int elementCount = -1;  // as stated; -1: one, or none when elements is empty
};

std::string DfuSeElement(std::uint32_t address, const std::string& data);
// A well-formed DfuSe image ("DfuSe" prefix and targets) without its suffix.
std::string DfuSeImage(const std::vector<DfuSeTarget>& targets);
// A DfuSe file: the image with a bcdDFU 0x011A suffix.
std::string DfuSeFile(const std::vector<DfuSeTarget>& targets);

// Text of count bytes that differ from position to position.
std::string Payload(std::size_t count, unsigned seed = 1);

class MemorySource final : public korvex::ByteSource {
public:
    explicit MemorySource(std::string bytes) : m_bytes(std::move(bytes)) {}

    std::uint64_t Size() const override { return m_bytes.size() + m_extraSize; }
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;

    // Reads that touch offset or beyond fail, as on a disk error.
    void FailReadsFrom(std::uint64_t offset) { m_failFrom = offset; }
    // Claims a size larger than the bytes there are, as a file that shrank.
    void ClaimExtraSize(std::uint64_t extra) { m_extraSize = extra; }

    bool readOutOfBounds = false;
    std::size_t readCalls = 0;
    std::uint64_t bytesRead = 0;
    std::size_t largestRead = 0;

private:
    std::string m_bytes;
    std::uint64_t m_failFrom = UINT64_MAX;
    std::uint64_t m_extraSize = 0;
};

// Reads bytes as a file; the returned info is only meaningful when valid is true.
struct ReadResult {
    bool valid = false;
    korvex::DfuFileInfo info;
};
ReadResult Read(const std::string& bytes);

// Runs work(0) ... work(count - 1) on threads of their own, all at once, and waits for them
// (Windows threads there: the toolchain's standard library has none).
void RunOnThreads(int count, const std::function<void(int)>& work);

}  // namespace dfutest
