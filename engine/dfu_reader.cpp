#include "dfu_reader.h"

#include "crc32.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

namespace korvex {
namespace {

constexpr std::uint16_t kDfuVersion = 0x0100;
constexpr std::uint16_t kDfuSeVersion = 0x011A;
constexpr char kSuffixSignature[3] = {'U', 'F', 'D'};

// DfuSe image: "DfuSe", bVersion, DFUImageSize(4), bTargets; then per target a fixed
// prefix "Target", bAlternateSetting, bTargetNamed(4), szTargetName[255], dwTargetSize(4),
// dwNbElements(4), followed by dwTargetSize bytes of elements.
constexpr std::size_t kDfuSePrefixSize = 11;
constexpr unsigned char kDfuSeFormatVersion = 0x01;
constexpr std::size_t kTargetPrefixSize = 274;
constexpr std::size_t kTargetNamedOffset = 7;
constexpr std::size_t kTargetNameOffset = 11;
constexpr std::size_t kTargetNameSize = 255;
constexpr std::size_t kTargetSizeOffset = 266;

std::uint16_t Le16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Le32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// The stored CRC is zlib's CRC-32 of everything before it, without the final inversion.
bool CrcMatches(ByteSource& source, std::uint64_t size, std::uint32_t stored)
{
    const std::uint64_t covered = size - 4;
    const std::size_t bufferSize = static_cast<std::size_t>(std::min<std::uint64_t>(kReadChunkSize, covered));
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[bufferSize]);
    std::uint32_t crc = 0;
    for (std::uint64_t offset = 0; offset < covered;) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(bufferSize, covered - offset));
        if (!source.ReadAt(offset, buffer.get(), count)) return false;
        crc = Crc32(crc, buffer.get(), count);
        offset += count;
    }
    return (crc ^ 0xFFFFFFFFu) == stored;
}

// The name of the first named target of a DfuSe image that ends at imageEnd. Any layout
// that does not fit inside the image names nothing: the file stays valid, its suffix and
// CRC say so, but it has no comment.
std::string FirstTargetName(ByteSource& source, std::uint64_t imageEnd)
{
    unsigned char prefix[kDfuSePrefixSize];
    if (imageEnd < kDfuSePrefixSize || !source.ReadAt(0, prefix, sizeof prefix) ||
        std::memcmp(prefix, "DfuSe", 5) != 0 || prefix[5] != kDfuSeFormatVersion)
        return {};
    // Tools differ on whether the stated image size counts the suffix; the targets must lie
    // within both that size and the bytes before the suffix.
    const std::uint64_t statedSize = Le32(prefix + 6);
    if (statedSize < kDfuSePrefixSize) return {};
    const std::uint64_t imageSize = std::min(statedSize, imageEnd);
    const unsigned targetCount = prefix[10];
    std::uint64_t offset = kDfuSePrefixSize;
    for (unsigned index = 0; index < targetCount; ++index) {
        // offset never passes imageSize, so these differences cannot wrap.
        if (imageSize - offset < kTargetPrefixSize) return {};
        unsigned char target[kTargetPrefixSize];
        if (!source.ReadAt(offset, target, sizeof target) || std::memcmp(target, "Target", 6) != 0) return {};
        const std::uint64_t targetSize = Le32(target + kTargetSizeOffset);
        if (targetSize > imageSize - offset - kTargetPrefixSize) return {};
        if (Le32(target + kTargetNamedOffset) != 0) {
            const char* name = reinterpret_cast<const char*>(target + kTargetNameOffset);
            const void* end = std::memchr(name, '\0', kTargetNameSize);
            return std::string(name, end ? static_cast<const char*>(end) - name : kTargetNameSize);
        }
        offset += kTargetPrefixSize + targetSize;
    }
    return {};
}

}  // namespace

bool ReadDfuFile(ByteSource& source, DfuFileInfo& info)
{
    const std::uint64_t size = source.Size();
    if (size < kSuffixSize) return false;
    // bcdDevice, idProduct, idVendor, bcdDFU, "UFD", bLength, dwCRC; all little-endian.
    unsigned char suffix[kSuffixSize];
    if (!source.ReadAt(size - kSuffixSize, suffix, sizeof suffix)) return false;
    DfuFileInfo read;
    read.release = Le16(suffix);
    read.product = Le16(suffix + 2);
    read.vendor = Le16(suffix + 4);
    read.dfuVersion = Le16(suffix + 6);
    read.suffixLength = suffix[11];
    const std::uint32_t storedCrc = Le32(suffix + 12);
    // Cheap checks first: a file without a suffix is rejected without reading it through.
    if (std::memcmp(suffix + 8, kSuffixSignature, sizeof kSuffixSignature) != 0 ||
        (read.dfuVersion != kDfuVersion && read.dfuVersion != kDfuSeVersion) || read.suffixLength < kSuffixSize ||
        read.suffixLength > size || !CrcMatches(source, size, storedCrc))
        return false;
    if (read.dfuVersion == kDfuSeVersion) read.comment = FirstTargetName(source, size - read.suffixLength);
    info = std::move(read);
    return true;
}

}  // namespace korvex
