// The .dfu file format as the engine's readers see it: the versions of the suffix, the
// fixed parts of a DfuSe image, and its little-endian numbers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvex::format {

inline constexpr std::uint16_t kDfuVersion = 0x0100;
inline constexpr std::uint16_t kDfuSeVersion = 0x011A;

// DfuSe image: "DfuSe", bVersion, DFUImageSize(4), bTargets; then per target a fixed
// prefix "Target", bAlternateSetting, bTargetNamed(4), szTargetName[255], dwTargetSize(4),
// dwNbElements(4), followed by dwTargetSize bytes of elements, each dwElementAddress(4),
// dwElementSize(4) and its data.
inline constexpr std::size_t kImagePrefixSize = 11;
inline constexpr unsigned char kImageFormatVersion = 0x01;
inline constexpr std::size_t kTargetPrefixSize = 274;
inline constexpr std::size_t kTargetNamedOffset = 7;
inline constexpr std::size_t kTargetNameOffset = 11;
inline constexpr std::size_t kTargetNameSize = 255;
inline constexpr std::size_t kTargetSizeOffset = 266;
inline constexpr std::size_t kElementHeaderSize = 8;

inline std::uint16_t Le16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t Le32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace korvex::format
