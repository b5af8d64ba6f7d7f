// Changing an existing .dfu file into a new one: other suffix numbers, the suffix removed,
// an LPC image prefix added or removed. The input must be a valid DFU file (its CRC
// matching), so an edit never passes on a damaged file under a fresh CRC.
#pragma once

#include "dfu_writer.h"

#include <optional>

namespace korvex {

struct SuffixChange {
    std::optional<std::uint16_t> vendor;
    std::optional<std::uint16_t> product;
    std::optional<std::uint16_t> release;
};

// The file with the changed numbers and the CRC computed anew.
void ChangeSuffix(InputFile& file, const SuffixChange& change, ByteOutput& out);
// The file without its suffix (bLength bytes), as dfu-suffix -D leaves it.
void RemoveSuffix(InputFile& file, ByteOutput& out);
// NXP LPC's 16-byte prefix before the image, the suffix kept with a new CRC, as
// dfu-prefix -a -L writes it: 0x1A 0x3F, the image's size in 512-byte blocks, 8 zero bytes,
// 4 bytes 0xFF.
void AddLpcPrefix(InputFile& file, ByteOutput& out);
void RemoveLpcPrefix(InputFile& file, ByteOutput& out);
// True when the 16 bytes are an LPC prefix.
bool IsLpcPrefix(const unsigned char* bytes);

constexpr std::size_t kLpcPrefixSize = 16;

}  // namespace korvex
