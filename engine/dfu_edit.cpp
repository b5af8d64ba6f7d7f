#include "dfu_edit.h"

#include "dfu_format.h"

#include <cstring>

namespace korvex {
namespace {

DfuSuffix ValidSuffix(InputFile& file)
{
    DfuSuffix suffix;
    CrcPass pass;
    const DfuVerdict verdict = CheckDfuFile(file, suffix, pass, kReadChunkSize);
    if (verdict == DfuVerdict::kUnreadable)
        throw DfuError(DfuError::Kind::kIo,
                       PathText(file.path()) + ": cannot read (system error " + std::to_string(file.LastError()) + ")");
    static const char* const kReasons[] = {"",
                                           "too short for a DFU suffix",
                                           "no DFU suffix",
                                           "unknown DFU version in its suffix",
                                           "suffix length out of range",
                                           "CRC mismatch"};
    if (verdict != DfuVerdict::kValid)
        ThrowInvalid(PathText(file.path()) + ": not a valid DFU file (" + kReasons[static_cast<int>(verdict)] + ")");
    return suffix;
}

SuffixValues ValuesOf(const DfuSuffix& suffix)
{
    return {suffix.vendor, suffix.product, suffix.release, suffix.dfuVersion};
}

// The bytes from offset up to the suffix's last 16, then those 16 with values and a new CRC;
// prefix (if any) goes first.
void WriteWithSuffix(InputFile& file, const unsigned char* prefix, std::uint64_t from, std::uint64_t to,
                     const SuffixValues& values, ByteOutput& out)
{
    CrcOutput crc(out);
    if (prefix != nullptr) crc.Write(prefix, kLpcPrefixSize);
    CopyRange(file, PathText(file.path()), from, to - from, crc);
    WriteSuffix(crc, values);
}

}  // namespace

void ChangeSuffix(InputFile& file, const SuffixChange& change, ByteOutput& out)
{
    const DfuSuffix suffix = ValidSuffix(file);
    SuffixValues values = ValuesOf(suffix);
    if (change.vendor) values.vendor = *change.vendor;
    if (change.product) values.product = *change.product;
    if (change.release) values.release = *change.release;
    // A longer suffix keeps its extra leading bytes; the 16 standard bytes end the file.
    WriteWithSuffix(file, nullptr, 0, file.Size() - kSuffixSize, values, out);
}

void RemoveSuffix(InputFile& file, ByteOutput& out)
{
    const DfuSuffix suffix = ValidSuffix(file);
    CopyRange(file, PathText(file.path()), 0, file.Size() - suffix.suffixLength, out);
}

bool IsLpcPrefix(const unsigned char* bytes)
{
    static const unsigned char kTail[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    return bytes[0] == 0x1A && bytes[1] == 0x3F && std::memcmp(bytes + 4, kTail, sizeof kTail) == 0;
}

void AddLpcPrefix(InputFile& file, ByteOutput& out)
{
    const DfuSuffix suffix = ValidSuffix(file);
    const std::uint64_t image = file.Size() - suffix.suffixLength;
    if (image >= kLpcPrefixSize) {
        unsigned char head[kLpcPrefixSize];
        file.Read(0, head, sizeof head);
        if (IsLpcPrefix(head)) ThrowInvalid(PathText(file.path()) + ": already starts with an LPC prefix");
    }
    const std::uint64_t blocks = (image + 511) / 512;
    if (blocks > 0xFFFF)
        ThrowInvalid(PathText(file.path()) + ": an image of " + std::to_string(image) +
                     " bytes is past the 65535 blocks of 512 bytes an LPC prefix can state");
    unsigned char prefix[kLpcPrefixSize] = {0x1A, 0x3F, static_cast<unsigned char>(blocks),
                                            static_cast<unsigned char>(blocks >> 8)};
    std::memset(prefix + 12, 0xFF, 4);
    WriteWithSuffix(file, prefix, 0, file.Size() - kSuffixSize, ValuesOf(suffix), out);
}

void RemoveLpcPrefix(InputFile& file, ByteOutput& out)
{
    const DfuSuffix suffix = ValidSuffix(file);
    unsigned char head[kLpcPrefixSize] = {};
    if (file.Size() < suffix.suffixLength + kLpcPrefixSize || (file.Read(0, head, sizeof head), !IsLpcPrefix(head)))
        ThrowInvalid(PathText(file.path()) + ": no LPC prefix at its start");
    WriteWithSuffix(file, nullptr, kLpcPrefixSize, file.Size() - kSuffixSize, ValuesOf(suffix), out);
}

}  // namespace korvex
