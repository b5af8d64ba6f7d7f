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

void Text(HDC dc, const std::wstring& text, const MapRect& rect) noexcept
{
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

PreviewGeometry LayOutPreviewOn(HDC dc, SIZE size, const PreviewFonts& fonts, const PreviewContent& content)
{
    const MapMetrics metrics{static_cast<int>(size.cx), static_cast<int>(size.cy), fonts.lineHeight(),
                             fonts.titleHeight(), fonts.dpi()};
    Selected selected(dc, fonts.text());
    const TextWidth width = [dc](const std::wstring& text) {
        SIZE extent = {};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
        return static_cast<int>(extent.cx);
    };
    return LayOutPreview(content.targets, metrics, content.words, width);
}

void PaintPreview(HDC dc, SIZE size, const PreviewContent& content, const PreviewGeometry& geometry,
                  const PreviewFonts& fonts, const PreviewStyle& style)
{
    Fill(dc, {0, 0, static_cast<int>(size.cx), static_cast<int>(size.cy)}, style.background);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, style.text);

    const HeaderLines& header = geometry.header;
    {
        Selected title(dc, fonts.title());
        Text(dc, content.title, header.title);
    }
    Selected text(dc, fonts.text());
    Text(dc, content.numbers, header.numbers);
    Text(dc, content.version, header.version);
    SetTextColor(dc, content.valid ? style.text : kBrokenVerdict);
    Text(dc, content.verdict, header.verdict);

    UniqueGdiObject pen(CreatePen(PS_SOLID, 1, Muted(style)));
    Selected penSelected(dc, pen.get());
    for (std::size_t t = 0; t < geometry.targets.size(); ++t) {
        const TargetMap& map = geometry.targets[t];
        SetTextColor(dc, style.text);
        Text(dc, content.targets[t].heading, map.heading);
        for (const MapBlock& block : map.blocks) {
            if (block.kind == MapBlockKind::Gap)
                PaintBreak(dc, block.rect, Muted(style));
            else if (block.rect.left > map.bar.left)
                Framed(dc, block.rect, BlockFill(block), style.background);
            else
                Fill(dc, Separated(block.rect), BlockFill(block));
        }
        for (const MapLabel& label : map.labels) {
            const int middle = (label.rect.top + label.rect.bottom) / 2;
            if (label.anchor < label.rect.top || label.anchor >= label.rect.bottom)
                Line(dc, map.bar.right + 1, label.anchor, label.rect.left - 2, middle);
            SetTextColor(dc, label.marks != 0 ? kBrokenVerdict : style.text);
            Text(dc, label.text, {label.rect.left, label.rect.top, label.rect.right + 1, label.rect.bottom});
        }
    }
    if (geometry.hiddenTargets != 0) {
        SetTextColor(dc, style.text);
        Text(dc, FormatWithValues(content.moreTargets, {unsigned{geometry.hiddenTargets}}), geometry.more);
    }
}

}  // namespace orrelin
