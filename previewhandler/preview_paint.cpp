#include "preview_paint.h"

#include "format.h"

namespace orrelin {
namespace {

// Halfway between the text and the background: frames and leader lines.
COLORREF Muted(const PreviewStyle& style) noexcept
{
    return RGB((GetRValue(style.text) + GetRValue(style.background)) / 2,
               (GetGValue(style.text) + GetGValue(style.background)) / 2,
               (GetBValue(style.text) + GetBValue(style.background)) / 2);
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

void Fill(HDC dc, const MapRect& rect, COLORREF colour) noexcept
{
    const RECT area = {rect.left, rect.top, rect.right, rect.bottom};
    SetBkColor(dc, colour);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &area, nullptr, 0, nullptr);
}

void Line(HDC dc, int x0, int y0, int x1, int y1) noexcept
{
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
}

// Each text says its own colour, so none takes the colour of the one drawn before it.
void Text(HDC dc, const std::wstring& text, const MapRect& rect, COLORREF colour) noexcept
{
    SetTextColor(dc, colour);
    RECT area = {rect.left, rect.top, rect.right, rect.bottom};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
              DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS | DT_VCENTER | DT_LEFT);
}

// A break in the bar: the gap left empty but for a dotted line down its middle.
void PaintBreak(HDC dc, const MapRect& rect, COLORREF colour) noexcept
{
    const int middle = (rect.left + rect.right) / 2;
    for (int y = rect.top + 1; y < rect.bottom - 1; y += 3) SetPixelV(dc, middle, y, colour);
}

// A block drawn over another (an overlap) keeps a line of background around it.
void Framed(HDC dc, const MapRect& rect, COLORREF colour, COLORREF frame) noexcept
{
    Fill(dc, rect, frame);
    if (rect.width() > 2 && rect.height() > 2)
        Fill(dc, {rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1}, colour);
}

// Blocks that meet keep a line of background between them.
MapRect Separated(const MapRect& rect) noexcept
{
    return rect.height() >= 4 ? MapRect{rect.left, rect.top, rect.right, rect.bottom - 1} : rect;
}

}  // namespace

PreviewStyle SystemPreviewStyle() noexcept
{
    PreviewStyle style{GetSysColor(COLOR_WINDOW), GetSysColor(COLOR_WINDOWTEXT), {}};
    if (!SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof(style.font), &style.font, 0))
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(style.font), &style.font);
    return style;
}

COLORREF BlockFill(const MapBlock& block) noexcept
{
    if ((block.marks & kMapOverlap) != 0) return kOverlapFill;
    if ((block.marks & kMapOverrun) != 0) return kOverrunFill;
    return block.kind == MapBlockKind::Run ? kRunFill : kElementFill;
}

int WindowDpi(HWND window) noexcept
{
    using DpiForWindow = UINT(WINAPI*)(HWND);
    const auto dpiForWindow = reinterpret_cast<DpiForWindow>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (dpiForWindow != nullptr && window != nullptr) {
        const UINT dpi = dpiForWindow(window);
        if (dpi != 0) return static_cast<int>(dpi);
    }
    HDC dc = GetDC(window);
    const int dpi = dc != nullptr ? GetDeviceCaps(dc, LOGPIXELSY) : 0;
    if (dc != nullptr) ReleaseDC(window, dc);
    return dpi > 0 ? dpi : 96;
}

PreviewFonts::PreviewFonts(HDC dc, const LOGFONTW& font, int dpi) : m_dpi(dpi > 0 ? dpi : 96)
{
    m_text.reset(CreateFontIndirectW(&font));
    LOGFONTW title = font;
    title.lfWeight = FW_BOLD;
    title.lfHeight = font.lfHeight * 5 / 4;
    m_title.reset(CreateFontIndirectW(&title));
    TEXTMETRICW metrics;
    if (m_text) {
        Selected selected(dc, m_text.get());
        if (GetTextMetricsW(dc, &metrics)) m_lineHeight = metrics.tmHeight + metrics.tmExternalLeading + 2;
    }
    if (m_title) {
        Selected selected(dc, m_title.get());
        if (GetTextMetricsW(dc, &metrics)) m_titleHeight = metrics.tmHeight + metrics.tmExternalLeading + 4;
    }
}

void PreviewPainter::Restyle(HDC dc, const PreviewStyle& style, int dpi)
{
    m_geometry.reset();
    m_fonts.reset();
    m_fonts.emplace(dc, style.font, dpi);
    m_style = style;
}

const PreviewGeometry& PreviewPainter::GeometryFor(HDC dc, SIZE size)
{
    if (m_geometry && m_geometrySize.cx == size.cx && m_geometrySize.cy == size.cy) return *m_geometry;
    const MapMetrics metrics{static_cast<int>(size.cx), static_cast<int>(size.cy), m_fonts->lineHeight(),
                             m_fonts->titleHeight(), m_fonts->dpi()};
    Selected selected(dc, m_fonts->text());
    const TextWidth width = [dc](const std::wstring& text) {
        SIZE extent = {};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
        return static_cast<int>(extent.cx);
    };
    m_geometry = LayOutPreview(m_content.targets, metrics, m_content.words, width);
    m_geometrySize = size;
    return *m_geometry;
}

void PreviewPainter::Paint(HDC target, SIZE size)
{
    if (size.cx <= 0 || size.cy <= 0 || !m_fonts) return;
    // Drawn off screen and copied in one step, so a resize never flickers.
    UniqueMemoryDc dc(CreateCompatibleDC(target));
    UniqueGdiObject bitmap(CreateCompatibleBitmap(target, size.cx, size.cy));
    if (!dc || !bitmap) return;
    Selected selected(dc.get(), bitmap.get());
    Draw(dc.get(), size, GeometryFor(dc.get(), size));
    BitBlt(target, 0, 0, size.cx, size.cy, dc.get(), 0, 0, SRCCOPY);
}

void PreviewPainter::Draw(HDC dc, SIZE size, const PreviewGeometry& geometry) const
{
    Fill(dc, {0, 0, static_cast<int>(size.cx), static_cast<int>(size.cy)}, m_style.background);
    SetBkMode(dc, TRANSPARENT);

    const HeaderLines& header = geometry.header;
    {
        Selected title(dc, m_fonts->title());
        Text(dc, m_content.title, header.title, m_style.text);
    }
    Selected text(dc, m_fonts->text());
    Text(dc, m_content.numbers, header.numbers, m_style.text);
    Text(dc, m_content.version, header.version, m_style.text);
    Text(dc, m_content.verdict, header.verdict, m_content.valid || m_content.elsewhere ? m_style.text : kBrokenVerdict);

    UniqueGdiObject pen(CreatePen(PS_SOLID, 1, Muted(m_style)));
    Selected penSelected(dc, pen.get());
    for (std::size_t t = 0; t < geometry.targets.size(); ++t) {
        const TargetMap& map = geometry.targets[t];
        Text(dc, m_content.targets[t].heading, map.heading, m_style.text);
        for (const MapBlock& block : map.blocks) {
            if (block.kind == MapBlockKind::Gap)
                PaintBreak(dc, block.rect, Muted(m_style));
            else if (block.rect.left > map.bar.left)
                Framed(dc, block.rect, BlockFill(block), m_style.background);
            else
                Fill(dc, Separated(block.rect), BlockFill(block));
        }
        for (const MapLabel& label : map.labels) {
            const int middle = (label.rect.top + label.rect.bottom) / 2;
            if (label.anchor < label.rect.top || label.anchor >= label.rect.bottom)
                Line(dc, map.bar.right + 1, label.anchor, label.rect.left - 2, middle);
            Text(dc, label.text, {label.rect.left, label.rect.top, label.rect.right + 1, label.rect.bottom},
                 label.marks != 0 ? kBrokenVerdict : m_style.text);
        }
    }
    if (geometry.hiddenTargets != 0) {
        Text(dc, FormatWithValues(m_content.moreTargets, {unsigned{geometry.hiddenTargets}}), geometry.more,
             m_style.text);
    }
}

}  // namespace orrelin
