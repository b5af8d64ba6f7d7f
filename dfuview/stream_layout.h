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
// in chunks of its own, so memory stays flat however large the file. A stream that fails
// part-way gives the engine's "unreadable" layout; null when the stream cannot tell its
// size or the engine gives no layout at all. A stream longer than `checkedUpTo` bytes is
// read from its headers only (KORVEX_DFU_CRC_NOT_CHECKED), at a cost that does not grow
// with its data.
//
// A stream carries no attributes, so the file it is on is asked instead: `itemPath` where
// the host named the item, else the name the stream's Stat gives when that is a full path.
// When that file is not on this device no byte is read from the stream, and the layout
// says so. A stream that names no full path, and no item path, cannot tell: it is read.
LayoutOwner ReadLayoutFromStream(IStream* stream, std::uint64_t checkedUpTo = ~std::uint64_t{0},
                                 const wchar_t* itemPath = nullptr);

// True for a path that names a file wherever the process stands: "C:\...", "\\server\...".
// A bare name would be asked of the process's current folder, another file.
bool IsFullPath(const wchar_t* path) noexcept;

}  // namespace orrelin
