#include "dfu_layout.h"

#include "crc32.h"
#include "dfu_format.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace korvex {
namespace {

using namespace format;

constexpr std::size_t kLpcPrefixSize = 16;

// zlib's CRC of some bytes carried past `count` zero-CRC bytes: what crc32_combine does to
// its first argument, in pieces its 32-bit length takes on every system.
std::uint32_t ShiftCrc(std::uint32_t crc, std::uint64_t count)
{
    constexpr std::uint64_t kPiece = 0x40000000;
    for (; count > 0; count -= std::min(count, kPiece))
        crc = static_cast<std::uint32_t>(crc32_combine(crc, 0, static_cast<z_off_t>(std::min(count, kPiece))));
    return crc;
}

// Follows the DfuSe structure as the bytes go by: each step asks for a header at an offset
// at or after the end of the one before, so the CRC pass feeds it without reading twice.
class DfuSeScanner {
public:
    DfuSeScanner(DfuLayout& layout, std::uint64_t imageEnd) : m_layout(layout), m_imageEnd(imageEnd)
    {
        Want(0, kImagePrefixSize);
    }

    void Feed(std::uint64_t offset, const unsigned char* data, std::size_t count)
    {
        while (m_step != Step::kDone) {
            const std::uint64_t from = m_wantAt + m_filled;
            if (from >= offset + count) return;
            if (from < offset) {  // cannot happen: the steps only move forward
                m_step = Step::kDone;
                return;
            }
            const std::size_t take =
                static_cast<std::size_t>(std::min<std::uint64_t>(m_wantSize - m_filled, offset + count - from));
            std::memcpy(m_header + m_filled, data + (from - offset), take);
            m_filled += take;
            if (m_filled == m_wantSize) Take();
        }
    }

private:
    enum class Step { kImagePrefix, kTargetPrefix, kElementHeader, kDone };

    void Want(std::uint64_t at, std::size_t size)
    {
        m_wantAt = at;
        m_wantSize = size;
        m_filled = 0;
        if (at > m_imageEnd || size > m_imageEnd - at) {
            Missing();
            m_step = Step::kDone;
        }
    }

    void Take()
    {
        switch (m_step) {
        case Step::kImagePrefix:
            TakeImagePrefix();
            break;
        case Step::kTargetPrefix:
            TakeTargetPrefix();
            break;
        case Step::kElementHeader:
            TakeElementHeader();
            break;
        case Step::kDone:
            break;
        }
    }

    // A header that does not fit before the suffix: what was expected there is missing.
    void Missing()
    {
        switch (m_step) {
        case Step::kImagePrefix:
            Note(DfuFinding::kNoDfuSePrefix);
            break;
        case Step::kTargetPrefix:
            Note(DfuFinding::kTargetsMissing, kNoIndex, kNoIndex, m_layout.statedTargetCount, m_layout.targets.size());
            break;
        case Step::kElementHeader: {
            const DfuTarget& target = m_layout.targets.back();
            Note(DfuFinding::kElementsMissing, TargetIndex(), kNoIndex, target.statedElementCount, target.elementCount);
            EndTarget(false);
            break;
        }
        case Step::kDone:
            break;
        }
    }

    void TakeImagePrefix()
    {
        if (std::memcmp(m_header, "DfuSe", 5) != 0) {
            Note(DfuFinding::kNoDfuSePrefix);
            m_step = Step::kDone;
            return;
        }
        m_layout.dfuseVersion = m_header[5];
        m_layout.statedImageSize = Le32(m_header + 6);
        m_layout.statedTargetCount = m_header[10];
        if (m_layout.dfuseVersion != 0x01) {
            Note(DfuFinding::kUnknownDfuSeVersion, kNoIndex, kNoIndex, m_layout.dfuseVersion, 0x01);
            m_step = Step::kDone;
            return;
        }
        m_layout.dfuse = true;
        // Writers differ on whether the stated size counts the suffix; either is right.
        if (m_layout.statedImageSize != m_imageEnd && m_layout.statedImageSize != m_layout.fileSize)
            Note(DfuFinding::kImageSizeMismatch, kNoIndex, kNoIndex, m_layout.statedImageSize, m_layout.fileSize);
        NextTarget(kImagePrefixSize);
    }

    void NextTarget(std::uint64_t at)
    {
        if (m_layout.targets.size() == m_layout.statedTargetCount) {
            if (at < m_imageEnd) Note(DfuFinding::kTrailingBytes, kNoIndex, kNoIndex, m_imageEnd, at);
            m_step = Step::kDone;
            return;
        }
        m_step = Step::kTargetPrefix;
        Want(at, kTargetPrefixSize);
    }

    void TakeTargetPrefix()
    {
        if (std::memcmp(m_header, "Target", 6) != 0) {
            Missing();
            m_step = Step::kDone;
            return;
        }
        m_layout.targets.emplace_back();
        DfuTarget& target = m_layout.targets.back();
        target.offset = m_wantAt;
        target.alternateSetting = m_header[6];
        target.named = Le32(m_header + 7) != 0;
        const char* name = reinterpret_cast<const char*>(m_header + 11);
        const void* nul = std::memchr(name, '\0', kTargetNameSize);
        target.name.assign(name, nul != nullptr ? static_cast<const char*>(nul) - name : kTargetNameSize);
        target.statedSize = Le32(m_header + 266);
        target.statedElementCount = Le32(m_header + 270);

        const std::uint64_t targetStart = m_wantAt + kTargetPrefixSize;
        m_targetEnd = targetStart + target.statedSize;
        if (m_targetEnd > m_imageEnd)
            Note(DfuFinding::kTargetOverrunsImage, TargetIndex(), kNoIndex, m_targetEnd, m_imageEnd);
        NextElement(targetStart);
    }

    void NextElement(std::uint64_t at)
    {
        const DfuTarget& target = m_layout.targets.back();
        if (target.elementCount == target.statedElementCount) {
            EndTarget(true, at);
            return;
        }
        // An element header belongs to its target: one past the target's end is the next
        // target's business, so the steps never go back.
        if (at + kElementHeaderSize > std::min(m_targetEnd, m_imageEnd)) {
            m_step = Step::kElementHeader;
            Missing();
            return;
        }
        m_step = Step::kElementHeader;
        Want(at, kElementHeaderSize);
    }

    void TakeElementHeader()
    {
        DfuTarget& target = m_layout.targets.back();
        DfuElement element;
        element.address = Le32(m_header);
        element.size = Le32(m_header + 4);
        element.dataOffset = m_wantAt + kElementHeaderSize;
        const std::uint32_t index = target.elementCount++;
        if (m_listedElements < kMaxListedElements) {
            target.elements.push_back(element);
            ++m_listedElements;
        } else {
            ++m_unlistedElements;
        }
        const std::uint64_t dataEnd = element.dataOffset + element.size;
        if (element.size == 0) Note(DfuFinding::kEmptyElement, TargetIndex(), index);
        if (dataEnd > m_imageEnd)
            Note(DfuFinding::kElementOverrunsImage, TargetIndex(), index, dataEnd, m_imageEnd);
        else if (dataEnd > m_targetEnd)
            Note(DfuFinding::kElementOverrunsTarget, TargetIndex(), index, dataEnd, m_targetEnd);
        NextElement(dataEnd);
    }

    // complete: every stated element was found, the last one ending at elementsEnd.
    void EndTarget(bool complete, std::uint64_t elementsEnd = 0)
    {
        DfuTarget& target = m_layout.targets.back();
        if (complete && target.elementCount > 0 && elementsEnd < m_targetEnd)
            Note(DfuFinding::kTargetSlack, TargetIndex(), kNoIndex, m_targetEnd, elementsEnd);
        NoteOverlaps(target);
        if (m_targetEnd > m_imageEnd) {
            if (m_layout.targets.size() < m_layout.statedTargetCount) {
                Note(DfuFinding::kTargetsMissing, kNoIndex, kNoIndex, m_layout.statedTargetCount,
                     m_layout.targets.size());
            }
            m_step = Step::kDone;
            return;
        }
        NextTarget(m_targetEnd);
    }

    // Each element that starts below the end of one listed before it in address order
    // overlaps that one; empty elements cover nothing.
    void NoteOverlaps(const DfuTarget& target)
    {
        std::vector<std::uint32_t> order;
        for (std::uint32_t i = 0; i < target.elements.size(); ++i)
            if (target.elements[i].size > 0) order.push_back(i);
        const auto end = [&target](std::uint32_t i) {
            return std::uint64_t{target.elements[i].address} + target.elements[i].size;
        };
        std::stable_sort(order.begin(), order.end(), [&target](std::uint32_t a, std::uint32_t b) {
            return target.elements[a].address < target.elements[b].address;
        });
        std::uint32_t reaching = kNoIndex;
        for (const std::uint32_t i : order) {
            if (reaching != kNoIndex && target.elements[i].address < end(reaching))
                Note(DfuFinding::kElementsOverlap, TargetIndex(), std::min(reaching, i), 0, 0, std::max(reaching, i));
            if (reaching == kNoIndex || end(i) > end(reaching)) reaching = i;
        }
    }

    std::uint32_t TargetIndex() const { return static_cast<std::uint32_t>(m_layout.targets.size() - 1); }

    void Note(DfuFinding kind, std::uint32_t target = kNoIndex, std::uint32_t element = kNoIndex,
              std::uint64_t stated = 0, std::uint64_t actual = 0, std::uint32_t otherElement = kNoIndex)
    {
        if (m_layout.findings.size() >= kMaxListedFindings) {
            ++m_layout.unlistedFindings;
            return;
        }
        m_layout.findings.push_back({kind, target, element, otherElement, stated, actual});
    }

public:
    // The bytes the next step still needs, for a reader that skips what lies between headers;
    // false once the structure has ended.
    bool Wants(std::uint64_t& at, std::size_t& count) const
    {
        if (m_step == Step::kDone) return false;
        at = m_wantAt + m_filled;
        count = m_wantSize - m_filled;
        return true;
    }

    void Finish()
    {
        if (m_unlistedElements > 0)
            Note(DfuFinding::kElementsNotListed, kNoIndex, kNoIndex, kMaxListedElements, m_unlistedElements);
    }

private:
    DfuLayout& m_layout;
    const std::uint64_t m_imageEnd;
    Step m_step = Step::kImagePrefix;
    std::uint64_t m_wantAt = 0;
    std::size_t m_wantSize = 0;
    std::size_t m_filled = 0;
    unsigned char m_header[kTargetPrefixSize] = {};
    std::uint64_t m_targetEnd = 0;
    std::size_t m_listedElements = 0;
    std::uint64_t m_unlistedElements = 0;
};

// The check's pass over the bytes the CRC covers, doing more with them: the CRC of the
// prefix some tools add, and the DfuSe structure followed as the bytes go by.
class LayoutPass final : public CrcPass {
public:
    explicit LayoutPass(DfuLayout& layout) : m_layout(layout) {}

    void Begin(const DfuSuffix& suffix, std::uint64_t imageEnd) override
    {
        static_cast<DfuSuffix&>(m_layout) = suffix;
        m_before = m_layout;
        m_imageEnd = imageEnd;
        Restart();
    }

    // After the last byte: the DfuSe structure ends here.
    void Finish()
    {
        if (m_scanner) m_scanner->Finish();
        m_scanner.reset();
    }
    std::uint32_t PrefixCrc() const { return m_prefixCrc; }

protected:
    void TakeAlso(std::uint64_t offset, const unsigned char* bytes, std::size_t count) override
    {
        if (offset < kLpcPrefixSize) {
            const std::size_t prefixPart =
                static_cast<std::size_t>(std::min<std::uint64_t>(count, kLpcPrefixSize - offset));
            m_prefixCrc = Crc32(m_prefixCrc, bytes, prefixPart);
        }
        if (m_scanner) m_scanner->Feed(offset, bytes, count);
    }

    void RestartAlso() override
    {
        m_layout = m_before;
        m_prefixCrc = 0;
        m_scanner.reset(m_layout.dfuVersion == kDfuSeVersion ? new DfuSeScanner(m_layout, m_imageEnd) : nullptr);
    }

private:
    DfuLayout& m_layout;
    DfuLayout m_before;  // the layout as the suffix left it
    std::uint64_t m_imageEnd = 0;
    std::unique_ptr<DfuSeScanner> m_scanner;
    std::uint32_t m_prefixCrc = 0;
};

void Unreadable(ByteSource& source, DfuLayout& layout)
{
    layout.verdict = DfuVerdict::kUnreadable;
    layout.systemError = source.LastError();
    layout.dfuse = false;
    layout.targets.clear();
    layout.findings.clear();
    layout.unlistedFindings = 0;
}

}  // namespace

void ReadDfuLayoutHeaders(ByteSource& source, DfuLayout& layout)
{
    layout = DfuLayout();
    const std::uint64_t size = source.Size();
    layout.fileSize = size;
    DfuSuffix suffix;
    const DfuVerdict verdict = ReadDfuSuffix(source, suffix);
    static_cast<DfuSuffix&>(layout) = suffix;
    if (verdict == DfuVerdict::kUnreadable) return Unreadable(source, layout);
    layout.verdict = verdict;
    if (verdict != DfuVerdict::kValid) return;
    layout.crcNotChecked = true;
    if (layout.dfuVersion != kDfuSeVersion) return;

    DfuSeScanner scanner(layout, size - layout.suffixLength);
    unsigned char header[kTargetPrefixSize];
    std::uint64_t at = 0;
    std::size_t count = 0;
    while (scanner.Wants(at, count)) {
        if (count > sizeof header || !source.ReadAt(at, header, count)) return Unreadable(source, layout);
        scanner.Feed(at, header, count);
    }
    scanner.Finish();
}

void ReadDfuLayout(ByteSource& source, DfuLayout& layout)
{
    ReadDfuLayout(source, layout, kReadChunkSize);
}

void ReadDfuLayout(ByteSource& source, DfuLayout& layout, std::size_t chunkSize)
{
    layout = DfuLayout();
    const std::uint64_t size = source.Size();
    layout.fileSize = size;
    LayoutPass pass(layout);
    DfuSuffix suffix;
    const DfuVerdict verdict = CheckDfuFile(source, suffix, pass, chunkSize);
    static_cast<DfuSuffix&>(layout) = suffix;
    if (verdict == DfuVerdict::kUnreadable) return Unreadable(source, layout);
    layout.verdict = verdict;
    if (verdict != DfuVerdict::kValid && verdict != DfuVerdict::kCrcMismatch) return;

    pass.Finish();
    const std::uint32_t crc = pass.Crc();
    layout.computedCrc = crc ^ 0xFFFFFFFFu;
    if (verdict == DfuVerdict::kValid) return;
    // CRC(prefix + rest) = CRC(prefix) carried past the rest, added to CRC(rest).
    const std::uint64_t covered = size - 4;
    if (size >= kLpcPrefixSize + kSuffixSize) {
        const std::uint32_t restCrc = crc ^ ShiftCrc(pass.PrefixCrc(), covered - kLpcPrefixSize);
        layout.crcMatchesWithoutLpcPrefix = (restCrc ^ 0xFFFFFFFFu) == layout.storedCrc;
    }
}

}  // namespace korvex
