// Drawing the preview with GDI: the fonts made from the host's, the sizes the memory map's
// geometry is computed for, and the picture itself.
#pragma once

#include <windows.h>

#include "handles.h"
#include "memory_map.h"
#include "preview_content.h"

namespace orrelin {

// The host's choices through IPreviewHandlerVisuals, or the system's until it makes them.
struct PreviewStyle {
    COLORREF background;
    COLORREF text;
    LOGFONTW font;
};

PreviewStyle SystemPreviewStyle() noexcept;

// The fill of each kind of block; a block's marks take precedence over its kind.
constexpr COLORREF kElementFill = RGB(0, 120, 212);
constexpr COLORREF kRunFill = RGB(0, 84, 153);
constexpr COLORREF kOverlapFill = RGB(209, 52, 56);
constexpr COLORREF kOverrunFill = RGB(234, 124, 0);
constexpr COLORREF kBrokenVerdict = RGB(196, 43, 28);

COLORREF BlockFill(const MapBlock& block) noexcept;

// The dots per inch of the display a window is on: the window's own where the system
// scales each display apart (Windows 10 and later), else the system's.
int WindowDpi(HWND window) noexcept;

// The fonts of one style on a display, and the heights the geometry is laid out with.
class PreviewFonts {
public:
    PreviewFonts(HDC dc, const LOGFONTW& font, int dpi);

    HFONT text() const noexcept { return static_cast<HFONT>(m_text.get()); }
    HFONT title() const noexcept { return static_cast<HFONT>(m_title.get()); }
    int lineHeight() const noexcept { return m_lineHeight; }
    int titleHeight() const noexcept { return m_titleHeight; }
    int dpi() const noexcept { return m_dpi; }

private:
    UniqueGdiObject m_text;
    UniqueGdiObject m_title;
    int m_lineHeight = 16;
    int m_titleHeight = 20;
    int m_dpi = 96;
};

// The geometry of `content` in a client area of `size` on `dc`.
PreviewGeometry LayOutPreviewOn(HDC dc, SIZE size, const PreviewFonts& fonts, const PreviewContent& content);

// Draws the whole client area: the header, then each target's heading, bar and labels.
void PaintPreview(HDC dc, SIZE size, const PreviewContent& content, const PreviewGeometry& geometry,
                  const PreviewFonts& fonts, const PreviewStyle& style);

}  // namespace orrelin
