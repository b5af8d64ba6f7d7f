// A size in bytes as the preview writes it: in a target's heading, in the header of a file
// without addresses and beside a block of the map.
#pragma once

#include <cstdint>
#include <string>

namespace orrelin {

// "500 bytes", "16 KiB", "1.5 MiB".
std::wstring SizeText(std::uint64_t bytes, const std::wstring& bytesWord);

}  // namespace orrelin
