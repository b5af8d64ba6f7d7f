#include "bench_files.h"

#include <zlib.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace orrelin::bench {
namespace {

constexpr std::size_t kChunk = 1u << 20;
constexpr std::size_t kSuffixSize = 16;
constexpr std::size_t kDfuSePrefixSize = 11;
constexpr std::size_t kTargetPrefixSize = 274;
constexpr std::size_t kElementHeaderSize = 8;
constexpr std::size_t kHeaderSize = kDfuSePrefixSize + kTargetPrefixSize + kElementHeaderSize;

void PutLe16(unsigned char* at, std::uint16_t value)
{
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

void PutLe32(unsigned char* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

// The DfuSe prefix, the one target's prefix and its one element's header, for a file of
// `size` bytes in all.
void WriteHeader(unsigned char* header, std::uint64_t size)
{
    const auto imageSize = static_cast<std::uint32_t>(size - kSuffixSize);
    const std::uint32_t targetSize = imageSize - kDfuSePrefixSize - kTargetPrefixSize;
    std::memset(header, 0, kHeaderSize);
    std::memcpy(header, "DfuSe", 5);
    header[5] = 1;
    PutLe32(header + 6, imageSize);
    header[10] = 1;
    unsigned char* target = header + kDfuSePrefixSize;
    std::memcpy(target, "Target", 6);
    PutLe32(target + 7, 1);
    std::memcpy(target + 11, kBenchTargetName, sizeof kBenchTargetName - 1);
    PutLe32(target + 266, targetSize);
    PutLe32(target + 270, 1);
    unsigned char* element = target + kTargetPrefixSize;
    PutLe32(element, 0x08000000u);
    PutLe32(element + 4, targetSize - static_cast<std::uint32_t>(kElementHeaderSize));
}

// Bytes that differ everywhere, made fast enough that writing 512 MiB is not the wait.
void FillPseudoRandom(unsigned char* bytes, std::size_t count, std::uint64_t& state)
{
    for (std::size_t i = 0; i < count; i += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::memcpy(bytes + i, &state, count - i < 8 ? count - i : 8);
    }
}

bool WriteAll(int file, const unsigned char* bytes, std::size_t count)
{
    while (count > 0) {
        const ssize_t written = ::write(file, bytes, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

const std::vector<std::uint64_t>& BenchFileSizes()
{
    static const std::vector<std::uint64_t> sizes = {16u << 10, 1u << 20, 64u << 20, 512u << 20};
    return sizes;
}

std::string BenchFileName(std::uint64_t size)
{
    const std::uint64_t kib = size >> 10;
    return "dfu-" + (kib % 1024 == 0 ? std::to_string(kib >> 10) + "MiB" : std::to_string(kib) + "KiB") + ".dfu";
}

bool WriteBenchFile(const std::string& path, std::uint64_t size)
{
    if (size < kHeaderSize + kSuffixSize || size > 0xFFFFFFFFu) {
        std::fprintf(stderr, "%s: a bench file must hold %zu bytes to 4 GiB\n", path.c_str(),
                     kHeaderSize + kSuffixSize);
        return false;
    }
    const std::string temporary = path + ".part";
    const int file = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (file < 0) {
        std::fprintf(stderr, "%s: %s\n", temporary.c_str(), std::strerror(errno));
        return false;
    }
    std::unique_ptr<unsigned char[]> chunk(new unsigned char[kChunk]);
    std::uint64_t state = 0x9E3779B97F4A7C15ull ^ size;
    uLong crc = crc32(0, Z_NULL, 0);
    bool ok = true;

    // Everything before the suffix: the header, then the element's data.
    const std::uint64_t imageSize = size - kSuffixSize;
    WriteHeader(chunk.get(), size);
    std::size_t filled = kHeaderSize;
    for (std::uint64_t written = 0; ok && written < imageSize;) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, imageSize - written));
        FillPseudoRandom(chunk.get() + filled, count - filled, state);
        filled = 0;
        crc = crc32(crc, chunk.get(), static_cast<uInt>(count));
        ok = WriteAll(file, chunk.get(), count);
        written += count;
    }

    // bcdDevice, idProduct, idVendor, bcdDFU, "UFD", bLength, then the CRC of all before it.
    unsigned char suffix[kSuffixSize];
    PutLe16(suffix, kBenchRelease);
    PutLe16(suffix + 2, kBenchProduct);
    PutLe16(suffix + 4, kBenchVendor);
    PutLe16(suffix + 6, 0x011A);
    std::memcpy(suffix + 8, "UFD", 3);
    suffix[11] = static_cast<unsigned char>(kSuffixSize);
    crc = crc32(crc, suffix, 12);
    PutLe32(suffix + 12, static_cast<std::uint32_t>(crc) ^ 0xFFFFFFFFu);
    ok = ok && WriteAll(file, suffix, sizeof suffix);

    ok = ::close(file) == 0 && ok;
    if (ok && ::rename(temporary.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), std::strerror(errno));
        ::unlink(temporary.c_str());
    }
    return ok;
}

std::string ElementsFileName(std::uint32_t count)
{
    return "dfu-" + std::to_string(count) + "-elements.dfu";
}

bool WriteElementsFile(const std::string& path, std::uint32_t count, std::uint32_t length)
{
    const std::size_t targetSize = std::size_t(count) * (kElementHeaderSize + length);
    std::vector<unsigned char> bytes(kDfuSePrefixSize + kTargetPrefixSize + targetSize + kSuffixSize);
    unsigned char* header = bytes.data();
    std::memcpy(header, "DfuSe", 5);
    header[5] = 1;
    PutLe32(header + 6, static_cast<std::uint32_t>(bytes.size() - kSuffixSize));
    header[10] = 1;
    unsigned char* target = header + kDfuSePrefixSize;
    std::memcpy(target, "Target", 6);
    PutLe32(target + 7, 1);
    std::memcpy(target + 11, kBenchTargetName, sizeof kBenchTargetName - 1);
    PutLe32(target + 266, static_cast<std::uint32_t>(targetSize));
    PutLe32(target + 270, count);
    unsigned char* element = target + kTargetPrefixSize;
    std::uint64_t state = 0x9E3779B97F4A7C15ull ^ count;
    for (std::uint32_t i = 0; i < count; ++i, element += kElementHeaderSize + length) {
        PutLe32(element, 0x08000000u + i * length);
        PutLe32(element + 4, length);
        FillPseudoRandom(element + kElementHeaderSize, length, state);
    }
    unsigned char* suffix = bytes.data() + bytes.size() - kSuffixSize;
    PutLe16(suffix, kBenchRelease);
    PutLe16(suffix + 2, kBenchProduct);
    PutLe16(suffix + 4, kBenchVendor);
    PutLe16(suffix + 6, 0x011A);
    std::memcpy(suffix + 8, "UFD", 3);
    suffix[11] = static_cast<unsigned char>(kSuffixSize);
    const uLong crc = crc32(crc32(0, Z_NULL, 0), bytes.data(), static_cast<uInt>(bytes.size() - 4));
    PutLe32(suffix + 12, static_cast<std::uint32_t>(crc) ^ 0xFFFFFFFFu);

    const std::string temporary = path + ".part";
    const int file = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    bool ok = file >= 0 && WriteAll(file, bytes.data(), bytes.size());
    if (file >= 0) ok = ::close(file) == 0 && ok;
    if (ok && ::rename(temporary.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), std::strerror(errno));
        ::unlink(temporary.c_str());
    }
    return ok;
}

}  // namespace orrelin::bench
