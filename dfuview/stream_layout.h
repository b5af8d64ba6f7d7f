// Reading a .dfu file's layout through a stream, as the indexer's isolated process hands
// the file to a property handler (never a path).
#pragma once

#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <memory>

#include "KorvexLayout.h"

namespace orrelin {

struct LayoutDeleter {
    void operator()(KorvexDfuLayout* layout) const noexcept { KorvexFreeDfuLayout(layout); }
};
using LayoutOwner = std::unique_ptr<KorvexDfuLayout, LayoutDeleter>;

// The layout of the whole stream, read once from its start through the engine, which reads
// in chunks of its own, so memory stays flat however large the file. A stream that cannot
// fails part-way gives the engine's "unreadable" layout; null when the stream cannot tell
// its size or the engine gives no layout at all. A stream longer than `checkedUpTo` bytes is
// read from its headers only (KORVEX_DFU_CRC_NOT_CHECKED), at a cost that does not grow
// with its data.
LayoutOwner ReadLayoutFromStream(IStream* stream, std::uint64_t checkedUpTo = ~std::uint64_t{0});

}  // namespace orrelin
