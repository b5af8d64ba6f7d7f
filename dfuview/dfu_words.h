// A .dfu file's verdict and DFU version in the words every view of the file shows them:
// the Details columns and the preview pane say the same.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "KorvexLayout.h"

namespace orrelin {

// The string id of the layout's verdict in words ("Valid", "CRC mismatch", ...).
UINT VerdictTextId(const KorvexDfuLayout& layout) noexcept;

// A binary-coded DFU version: 0x0100 is "1.0", 0x011A is "1.1a".
std::wstring DfuVersionText(std::uint16_t bcd);

}  // namespace orrelin
