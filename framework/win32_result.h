// The one mapping of a Win32 error code to an HRESULT. It needs no Windows header, so the
// registry script interpreter, which is also built natively, answers by the same rule.
#pragma once

#include <cstdint>

namespace orrelin {

// A Win32 code c is reported as c itself when it is 0 or negative (already an HRESULT or
// success), else as 0x80070000 with the low 16 bits of c.
constexpr std::int32_t HResultBitsFromWin32(std::int32_t code) noexcept
{
    return code <= 0 ? code : static_cast<std::int32_t>(0x80070000u | (static_cast<std::uint32_t>(code) & 0xFFFFu));
}

}  // namespace orrelin
