// The thumbnail of one file's layout as Explorer takes it: a 32-bit top-down DIB section
// with premultiplied alpha, drawn at the size asked for.
#pragma once

#include <windows.h>

#include "KorvexLayout.h"
#include "thumbnail_picture.h"

namespace orrelin {

// The geometry of `layout`'s thumbnail (null: the engine gave none). Words come from the
// string table of the current resource module.
ThumbnailGeometry ThumbnailGeometryOf(const KorvexDfuLayout* layout, int size);

// A new bitmap of size x size pixels that the caller owns; null on failure, with the
// system's error as the result.
HRESULT DrawThumbnail(const KorvexDfuLayout* layout, int size, HBITMAP* bitmap) noexcept;

}  // namespace orrelin
