// The whole of a .dfu file: its suffix, the verdict on it with the reason, and for a DfuSe
// image its targets and elements with what is structurally wrong with them. One pass over
// the file, with memory bounded by the limits below whatever the file states.
#pragma once

#include "dfu_reader.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvex {

// What is wrong with a DfuSe image without making the file invalid.
enum class DfuFinding : std::uint32_t {
    kNoDfuSePrefix = 1,          // bcdDFU 0x011A, but no "DfuSe" image
    kUnknownDfuSeVersion = 2,    // stated: the prefix's version
    kImageSizeMismatch = 3,      // stated: image size; actual: the file's size
    kTargetsMissing = 4,         // stated: target count; actual: targets found
    kTargetOverrunsImage = 5,    // stated: target end offset; actual: image end offset
    kElementsMissing = 6,        // stated: element count; actual: elements found
    kElementOverrunsTarget = 7,  // stated: element data end; actual: target end
    kElementOverrunsImage = 8,   // stated: element data end; actual: image end
    kElementsOverlap = 9,        // element overlaps otherElement in address
    kEmptyElement = 10,
    kTargetSlack = 11,        // stated: target end; actual: where its last element ends
    kTrailingBytes = 12,      // stated: image end; actual: where the last target ends
    kElementsNotListed = 13,  // actual: elements beyond kMaxListedElements, counted only
};

constexpr std::uint32_t kNoIndex = 0xFFFFFFFFu;

struct DfuFindingRecord {
    DfuFinding kind = DfuFinding::kNoDfuSePrefix;
    std::uint32_t target = kNoIndex;
    std::uint32_t element = kNoIndex;
    std::uint32_t otherElement = kNoIndex;
    std::uint64_t stated = 0;
    std::uint64_t actual = 0;
};

struct DfuElement {
    std::uint32_t address = 0;
    std::uint32_t size = 0;
    std::uint64_t dataOffset = 0;
};

struct DfuTarget {
    std::uint64_t offset = 0;  // of the "Target" prefix
    std::uint8_t alternateSetting = 0;
    bool named = false;
    std::string name;  // 8-bit as stored, up to its first NUL
    std::uint32_t statedSize = 0;
    std::uint32_t statedElementCount = 0;
    std::uint32_t elementCount = 0;  // found in the file; may exceed elements.size()
    std::vector<DfuElement> elements;
};

// The suffix's numbers, as far as the file was read: not stated, where it was not.
struct DfuLayout : DfuSuffix {
    std::uint64_t fileSize = 0;
    DfuVerdict verdict = DfuVerdict::kTooShort;
    std::uint32_t systemError = 0;  // for kUnreadable: what the byte source reported
    std::uint32_t computedCrc = 0;  // as stored (inverted); set once the file was read through
    // A mismatch whose stored CRC matches the file without its first 16 bytes: an LPC image
    // prefix put in front after the suffix was written.
    bool crcMatchesWithoutLpcPrefix = false;
    // Read from the headers only: a kValid verdict says the suffix passed, nothing more.
    bool crcNotChecked = false;

    bool dfuse = false;  // a DfuSe image was found and read
    std::uint8_t dfuseVersion = 0;
    std::uint32_t statedImageSize = 0;
    std::uint8_t statedTargetCount = 0;
    std::vector<DfuTarget> targets;
    std::vector<DfuFindingRecord> findings;
    std::uint32_t unlistedFindings = 0;
};

// Bounds of what one layout holds. A DfuSe file states at most 255 targets with names of
// 255 bytes; elements and findings are listed up to these counts and counted beyond them.
constexpr std::size_t kMaxListedElements = 16384;
constexpr std::size_t kMaxListedFindings = 256;

// Reads source through once. The layout always describes the file; its verdict is kValid
// exactly when ReadDfuFile answers true for the same bytes.
void ReadDfuLayout(ByteSource& source, DfuLayout& layout);
// The suffix and the DfuSe headers only, each header read on its own and every element's
// data skipped: the cost no longer grows with the data. No CRC is computed; a suffix that
// passes its checks gives kValid with crcNotChecked.
void ReadDfuLayoutHeaders(ByteSource& source, DfuLayout& layout);
// The same in reads of chunkSize bytes, so tests can put any header across two reads.
void ReadDfuLayout(ByteSource& source, DfuLayout& layout, std::size_t chunkSize);

}  // namespace korvex
