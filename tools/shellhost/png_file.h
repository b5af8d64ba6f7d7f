// A picture saved as a PNG file: 8-bit RGB, no interlace, one zlib stream.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// `pixels` are rows from the top, each pixel 0x00RRGGBB. False when the file cannot be written.
bool WritePng(const std::wstring& path, int width, int height, const std::vector<std::uint32_t>& pixels);
