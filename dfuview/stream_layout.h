// Reading a .dfu file's layout through a stream, as the indexer's isolated process hands
// the file to a property handler (never a path).
#pragma once

#include <windows.h>
#include <objidl.h>

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
// its size or the engine gives no layout at all.
LayoutOwner ReadLayoutFromStream(IStream* stream);

}  // namespace orrelin
