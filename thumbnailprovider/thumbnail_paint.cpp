#include "thumbnail_paint.h"

#include <string>

#include "handles.h"
#include "hresult.h"
#include "preview_content.h"
#include "preview_paint.h"
#include "resource.h"
#include "string_table.h"

namespace orrelin {
namespace {

// "0483:DF11", as USB tools write a device's numbers; empty when the file states neither.
std::wstring NumbersOf(const KorvexDfuLayout& layout)
{
    if (layout.vendor == KORVEX_NOT_STATED && layout.product == KORVEX_NOT_STATED) return std::wstring();
    const auto number = [](std::uint16_t value) {
        return value == KORVEX_NOT_STATED ? LoadResString(IDS_THUMBNAIL_NOT_STATED)
                                          : FormatResString(IDS_THUMBNAIL_NUMBER, {unsigned{value}});
    };
    return FormatResString(IDS_THUMBNAIL_NUMBERS, {number(layout.vendor), number(layout.product)});
}

class Selected {
public:
    Selected(HDC dc, HGDIOBJ object) noexcept : m_dc(dc), m_old(SelectObject(dc, object)) {}
    ~Selected() { SelectObject(m_dc, m_old); }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

// GDI writes the colour of what it draws and leaves alpha at 0; the page is opaque, so its
// rectangle is made opaque again afterwards.
void WriteNumbers(HBITMAP bitmap, const MapRect& rect, const std::wstring& text)
{
    UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
    if (!dc) return;
    LOGFONTW font = SystemPreviewStyle().font;
    font.lfHeight = -std::max(1, rect.height() * 4 / 5);
    font.lfWidth = 0;
    font.lfWeight = FW_SEMIBOLD;
    // Grey smoothing only: coloured fringes would show on a picture that Explorer scales.
    font.lfQuality = ANTIALIASED_QUALITY;
    UniqueGdiObject handle(CreateFontIndirectW(&font));
    Selected selectedBitmap(dc.get(), bitmap);
    Selected selectedFont(dc.get(), handle.get());
    SetBkMode(dc.get(), TRANSPARENT);
    SetTextColor(dc.get(), kNumbersText);
    RECT area = {rect.left, rect.top, rect.right, rect.bottom};
    DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &area,
              DT_SINGLELINE | DT_NOPREFIX | DT_CENTER | DT_VCENTER | DT_END_ELLIPSIS);
    GdiFlush();
}

}  // namespace

ThumbnailGeometry ThumbnailGeometryOf(const KorvexDfuLayout* layout, int size)
{
    if (!HasMap(layout)) return LayOutThumbnail({}, false, true, false, size);
    const bool dfuse = (layout->flags & KORVEX_DFU_DFUSE) != 0;
    return LayOutThumbnail(PreviewContentOf(layout, std::wstring()).targets, !dfuse, false, !NumbersOf(*layout).empty(),
                           size);
}

HRESULT DrawThumbnail(const KorvexDfuLayout* layout, int size, HBITMAP* bitmap) noexcept
{
    if (bitmap == nullptr) return E_POINTER;
    *bitmap = nullptr;
    if (size <= 0) return E_INVALIDARG;
    return GuardComBoundary([&] {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = size;
        info.bmiHeader.biHeight = -size;  // rows from the top
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        UniqueGdiObject picture(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!picture || bits == nullptr) return HResultFromLastError();
        // A new DIB section is all zeros: transparent.
        const ThumbnailGeometry geometry = ThumbnailGeometryOf(layout, size);
        ThumbnailPixels pixels(static_cast<std::uint32_t*>(bits), size);
        PaintThumbnail(pixels, geometry);
        if (geometry.numbers.height() > 0) {
            WriteNumbers(static_cast<HBITMAP>(picture.get()), geometry.numbers, NumbersOf(*layout));
            pixels.MakeOpaque(geometry.page);
        }
        pixels.PaintMark(MarkOf(layout), geometry.markX, geometry.markY, geometry.markRadius);
        *bitmap = static_cast<HBITMAP>(picture.release());
        return S_OK;
    });
}

}  // namespace orrelin
