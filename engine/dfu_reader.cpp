#include "dfu_reader.h"

#include "crc32.h"
#include "dfu_format.h"
#include "read_way.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>

namespace korvex {
namespace {

using namespace format;

constexpr char kSuffixSignature[3] = {'U', 'F', 'D'};

// The name of the first named target of a DfuSe image that ends at imageEnd. Any layout
// that does not fit inside the image names nothing: the file stays valid, its suffix and
// CRC say so, but it has no comment.
std::string FirstTargetName(ByteSource& source, std::uint64_t imageEnd)
{
    unsigned char prefix[kImagePrefixSize];
    if (imageEnd < kImagePrefixSize || !source.ReadAt(0, prefix, sizeof prefix) ||
        std::memcmp(prefix, "DfuSe", 5) != 0 || prefix[5] != kImageFormatVersion)
        return {};
    // Tools differ on whether the stated image size counts the suffix; the targets must lie
    // within both that size and the bytes before the suffix.
    const std::uint64_t statedSize = Le32(prefix + 6);
    if (statedSize < kImagePrefixSize) return {};
    const std::uint64_t imageSize = std::min(statedSize, imageEnd);
    const unsigned targetCount = prefix[10];
    std::uint64_t offset = kImagePrefixSize;
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

namespace {

// Reads count bytes from offset a piece at a time into buffer (made on first use), handing
// each piece on.
bool ReadPieces(ByteSource& source, std::uint64_t offset, std::uint64_t count, std::unique_ptr<unsigned char[]>& buffer,
                std::size_t bufferSize, ByteSink& sink)
{
    if (!buffer && count > 0) buffer.reset(new unsigned char[bufferSize]);
    for (const std::uint64_t end = offset + count; offset < end;) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(bufferSize, end - offset));
        if (!source.ReadAt(offset, buffer.get(), piece)) return false;
        sink.Take(offset, buffer.get(), piece);
        offset += piece;
    }
    return true;
}

// What the measuring pass finds: bytes and seconds each way.
class Trial {
public:
    void Add(ReadWay way, std::size_t bytes, std::chrono::steady_clock::duration time)
    {
        Way& taken = m_ways[way == ReadWay::kMap];
        taken.bytes += static_cast<double>(bytes);
        taken.seconds += std::chrono::duration<double>(time).count();
    }
    ReadWay Faster() const
    {
        const Way& read = m_ways[0];
        const Way& map = m_ways[1];
        // bytes / seconds compared without dividing by a time of 0.
        return map.bytes * read.seconds > read.bytes * map.seconds ? ReadWay::kMap : ReadWay::kRead;
    }

private:
    struct Way {
        double bytes = 0;
        double seconds = 0;
    };
    Way m_ways[2];
};

}  // namespace

bool ByteSource::Scan(std::uint64_t count, std::size_t pieceSize, ByteSink& sink)
{
    const std::size_t bufferSize = static_cast<std::size_t>(
        std::min<std::uint64_t>(std::max<std::size_t>(pieceSize, 1), std::max<std::uint64_t>(count, 1)));
    std::unique_ptr<unsigned char[]> buffer;
    const std::uint64_t windows = count <= Size() ? count / kViewWindow : 0;
    if (windows == 0) return ReadPieces(*this, 0, count, buffer, bufferSize, sink);

    const WindowPlan plan = PlanWindows(windows);
    const std::unique_ptr<Views> views = plan.measure || plan.way == ReadWay::kMap ? OpenViews() : nullptr;
    bool measuring = plan.measure;
    // Every pass that measured settles the choice, or leaves it open for another pass.
    auto settle = [&measuring](std::optional<ReadWay> faster) {
        if (measuring) SettleReadWay(faster);
        measuring = false;
    };
    if (!views) {
        settle(std::nullopt);
        return ReadPieces(*this, 0, count, buffer, bufferSize, sink);
    }

    Trial trial;
    ReadWay way = plan.way;
    std::uint64_t index = 0;
    for (std::uint64_t offset = 0; offset < count; offset += kViewWindow, ++index) {
        const std::size_t piece = static_cast<std::size_t>(std::min(kViewWindow, count - offset));
        // The trial's windows alternate, reads first; both ways hand their bytes on in order.
        if (measuring && index < kTrialWindows) way = index % 2 == 0 ? ReadWay::kRead : ReadWay::kMap;
        if (measuring && index == kTrialWindows) {
            way = trial.Faster();
            settle(way);
        }
        const auto start = std::chrono::steady_clock::now();
        ViewPass pass = way == ReadWay::kMap ? views->Window(offset, piece, sink) : ViewPass::kNotMapped;
        if (pass == ViewPass::kNotMapped && !ReadPieces(*this, offset, piece, buffer, bufferSize, sink)) {
            settle(std::nullopt);
            return false;
        }
        if (pass == ViewPass::kFaulted) {
            settle(std::nullopt);
            sink.Restart();
            return ReadPieces(*this, 0, count, buffer, bufferSize, sink);
        }
        if (measuring)
            trial.Add(pass == ViewPass::kDone ? way : ReadWay::kRead, piece, std::chrono::steady_clock::now() - start);
    }
    if (measuring) settle(trial.Faster());
    return true;
}

void CrcPass::Take(std::uint64_t offset, const unsigned char* bytes, std::size_t count)
{
    m_crc = Crc32(m_crc, bytes, count);
    TakeAlso(offset, bytes, count);
}

void CrcPass::Restart()
{
    m_crc = 0;
    RestartAlso();
}

DfuVerdict ReadDfuSuffix(ByteSource& source, DfuSuffix& suffix)
{
    const std::uint64_t size = source.Size();
    if (size < kSuffixSize) return DfuVerdict::kTooShort;
    // bcdDevice, idProduct, idVendor, bcdDFU, "UFD", bLength, dwCRC; all little-endian.
    unsigned char stored[kSuffixSize];
    if (!source.ReadAt(size - kSuffixSize, stored, sizeof stored)) return DfuVerdict::kUnreadable;
    suffix.release = Le16(stored);
    suffix.product = Le16(stored + 2);
    suffix.vendor = Le16(stored + 4);
    suffix.dfuVersion = Le16(stored + 6);
    suffix.suffixLength = stored[11];
    suffix.storedCrc = Le32(stored + 12);
    // Cheap checks first: a file without a suffix is answered without reading it through.
    if (std::memcmp(stored + 8, kSuffixSignature, sizeof kSuffixSignature) != 0) return DfuVerdict::kNoSuffix;
    if (suffix.dfuVersion != kDfuVersion && suffix.dfuVersion != kDfuSeVersion) return DfuVerdict::kUnknownDfuVersion;
    if (suffix.suffixLength < kSuffixSize || suffix.suffixLength > size) return DfuVerdict::kBadSuffixLength;
    return DfuVerdict::kValid;
}

DfuVerdict CheckDfuFile(ByteSource& source, DfuSuffix& suffix, CrcPass& pass, std::size_t chunkSize)
{
    const DfuVerdict suffixVerdict = ReadDfuSuffix(source, suffix);
    if (suffixVerdict != DfuVerdict::kValid) return suffixVerdict;
    const std::uint64_t size = source.Size();
    pass.Begin(suffix, size - suffix.suffixLength);
    if (!source.Scan(size - 4, chunkSize, pass)) return DfuVerdict::kUnreadable;
    // The stored CRC is zlib's CRC-32 of everything before it, without the final inversion.
    return (pass.Crc() ^ 0xFFFFFFFFu) == suffix.storedCrc ? DfuVerdict::kValid : DfuVerdict::kCrcMismatch;
}

bool ReadDfuFile(ByteSource& source, DfuFileInfo& info)
{
    DfuSuffix suffix;
    CrcPass pass;
    if (CheckDfuFile(source, suffix, pass, kReadChunkSize) != DfuVerdict::kValid) return false;
    DfuFileInfo read;
    static_cast<DfuSuffix&>(read) = suffix;
    if (read.dfuVersion == kDfuSeVersion) read.comment = FirstTargetName(source, source.Size() - read.suffixLength);
    info = std::move(read);
    return true;
}

}  // namespace korvex
