// Drawing the preview with GDI: the fonts made from the host's, the geometry laid out for
// them, and the picture drawn from that geometry.
#pragma once

#include <windows.h>

#include <optional>
#include <utility>

#include "handles.h"
#include "preview_layout.h"
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

// One file's preview in the host's style: it owns the content, the fonts of the style on
// the window's display, and the geometry of the last size it drew.
class PreviewPainter {
public:
    explicit PreviewPainter(PreviewContent content) : m_content(std::move(content)) {}

    // New fonts for `style` on a display of `dpi`; the next picture is laid out afresh.
    void Restyle(HDC dc, const PreviewStyle& style, int dpi);
    // The geometry of a client area of `size`, measured on `dc`; kept while the size and the
    // style stay. Only after Restyle.
    const PreviewGeometry& GeometryFor(HDC dc, SIZE size);
    // Draws the whole client area of `size` into `target`: the header, then each target's
    // heading, bar and labels. Nothing before Restyle.
    void Paint(HDC target, SIZE size);

private:
    void Draw(HDC dc, SIZE size, const PreviewGeometry& geometry) const;

    PreviewContent m_content;
    PreviewStyle m_style = {};
    std::optional<PreviewFonts> m_fonts;
    std::optional<PreviewGeometry> m_geometry;
    SIZE m_geometrySize = {};
};

}  // namespace orrelin
