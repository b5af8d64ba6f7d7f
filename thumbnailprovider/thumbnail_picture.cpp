#include "thumbnail_picture.h"

#include <algorithm>
#include <cmath>

#include "preview_paint.h"

namespace orrelin {
namespace {

constexpr COLORREF kIntactMark = RGB(16, 124, 16);
constexpr COLORREF kNotOnThisDeviceMark = RGB(135, 100, 184);
constexpr COLORREF kNotCheckedMark = RGB(121, 119, 117);
constexpr COLORREF kMarkGlyph = RGB(255, 255, 255);

struct Stroke {
    double x0, y0, x1, y1;
};

// Each mark's glyph in the unit circle, y down, and its stroke width.
struct Glyph {
    std::vector<Stroke> strokes;
    double width;
};

Glyph GlyphOf(ThumbnailMark mark)
{
    switch (mark) {
    case ThumbnailMark::Intact:
        return {{{-0.45, 0.0, -0.12, 0.33}, {-0.12, 0.33, 0.45, -0.3}}, 0.22};
    case ThumbnailMark::Broken:
        return {{{-0.35, -0.35, 0.35, 0.35}, {-0.35, 0.35, 0.35, -0.35}}, 0.22};
    case ThumbnailMark::NotOnThisDevice:  // an arrow down: the file is still to be brought
        return {{{0.0, -0.5, 0.0, 0.4}, {-0.35, 0.08, 0.0, 0.45}, {0.35, 0.08, 0.0, 0.45}}, 0.2};
    case ThumbnailMark::NotChecked:
        return {{{-0.45, 0.0, 0.45, 0.0}}, 0.24};
    }
    return {{}, 0};
}

double DistanceToStroke(double x, double y, const Stroke& s)
{
    const double dx = s.x1 - s.x0;
    const double dy = s.y1 - s.y0;
    const double length = dx * dx + dy * dy;
    const double t = length > 0 ? std::clamp(((x - s.x0) * dx + (y - s.y0) * dy) / length, 0.0, 1.0) : 0.0;
    return std::hypot(x - (s.x0 + t * dx), y - (s.y0 + t * dy));
}

std::uint32_t Premultiplied(COLORREF colour, double alpha)
{
    const auto part = [alpha](unsigned value) { return static_cast<std::uint32_t>(std::lround(value * alpha)); };
    return (part(255) << 24) | (part(GetRValue(colour)) << 16) | (part(GetGValue(colour)) << 8) |
           part(GetBValue(colour));
}

}  // namespace

ThumbnailMark MarkOf(const KorvexDfuLayout* layout) noexcept
{
    if (layout == nullptr) return ThumbnailMark::Broken;
    if (layout->verdict == KORVEX_DFU_NOT_ON_THIS_DEVICE) return ThumbnailMark::NotOnThisDevice;
    if (layout->verdict != KORVEX_DFU_VALID) return ThumbnailMark::Broken;
    return (layout->flags & KORVEX_DFU_CRC_NOT_CHECKED) != 0 ? ThumbnailMark::NotChecked : ThumbnailMark::Intact;
}

COLORREF MarkFill(ThumbnailMark mark) noexcept
{
    switch (mark) {
    case ThumbnailMark::Intact:
        return kIntactMark;
    case ThumbnailMark::Broken:
        return kBrokenVerdict;
    case ThumbnailMark::NotOnThisDevice:
        return kNotOnThisDeviceMark;
    case ThumbnailMark::NotChecked:
        return kNotCheckedMark;
    }
    return kNotCheckedMark;
}

bool HasMap(const KorvexDfuLayout* layout) noexcept
{
    return layout != nullptr && (layout->verdict == KORVEX_DFU_VALID || layout->verdict == KORVEX_DFU_CRC_MISMATCH);
}

ThumbnailGeometry LayOutThumbnail(const std::vector<MapTarget>& targets, bool plainImage, bool document, bool numbers,
                                  int size)
{
    ThumbnailGeometry geometry;
    size = std::max(size, 1);
    geometry.size = size;
    // A page a little taller than wide, as documents are drawn at every size.
    const int margin = std::max(1, size / 16);
    geometry.page = {size / 8, margin, size - size / 8, size - margin};
    const int pad = std::max(1, size / 16);
    MapRect inside = {geometry.page.left + pad, geometry.page.top + pad, geometry.page.right - pad,
                      geometry.page.bottom - pad};
    // The mark sits on the page's lower right corner: a third of the picture, more of a small one.
    const double diameter = size <= 24 ? size * 5.0 / 8.0 : std::max(14.0, size / 3.0);
    geometry.markRadius = diameter / 2;
    geometry.markX = size - geometry.markRadius;
    geometry.markY = size - geometry.markRadius;

    if (document) {
        // Lines of "text" down the page, the last ones short.
        const int thickness = std::max(1, size / 32);
        const int step = std::max(2, thickness * 3);
        for (int y = inside.top + thickness, line = 0; y + thickness <= inside.bottom; y += step, ++line) {
            const int right = line % 4 == 3 ? inside.left + inside.width() * 3 / 5 : inside.right;
            geometry.lines.push_back({inside.left, y, right, y + thickness});
        }
        return geometry;
    }
    if (numbers && size >= kNumbersFromSize) {
        geometry.numbers = {inside.left, inside.top, inside.right, inside.top + size / 10};
        inside.top = geometry.numbers.bottom + pad / 2;
    }
    if (inside.width() <= 0 || inside.height() <= 0) return geometry;
    if (plainImage) {
        // Firmware without addresses: the whole image is one block.
        MapBlock block{MapBlockKind::Element, inside, 0, 0, 1, 0, 0};
        geometry.bars.push_back({inside, {block}});
        return geometry;
    }
    const int spacing = std::max(1, size / 64);
    const int narrowest = std::max(3, size / 32);
    const std::size_t fit = static_cast<std::size_t>(std::max(1, (inside.width() + spacing) / (narrowest + spacing)));
    const std::size_t shown = std::min(targets.size(), fit);
    geometry.hiddenTargets = static_cast<std::uint32_t>(targets.size() - shown);
    const int line = std::max(2, size / 16);
    const int thinnest = std::max(1, size / 128);
    for (std::size_t i = 0; i < shown; ++i) {
        const int left = inside.left + static_cast<int>((inside.width() + spacing) * static_cast<long long>(i) /
                                                        static_cast<long long>(shown));
        const int right = inside.left +
                          static_cast<int>((inside.width() + spacing) * static_cast<long long>(i + 1) /
                                           static_cast<long long>(shown)) -
                          spacing;
        const MapRect bar = {left, inside.top, std::max(left + 1, right), inside.bottom};
        geometry.bars.push_back({bar, LayOutBar(targets[i], bar, line, thinnest)});
    }
    return geometry;
}

void ThumbnailPixels::Fill(const MapRect& rect, COLORREF colour) noexcept
{
    const std::uint32_t pixel = Premultiplied(colour, 1.0);
    for (int y = std::max(0, rect.top); y < std::min(m_size, rect.bottom); ++y)
        for (int x = std::max(0, rect.left); x < std::min(m_size, rect.right); ++x)
            m_pixels[static_cast<std::size_t>(y) * m_size + x] = pixel;
}

void ThumbnailPixels::MakeOpaque(const MapRect& rect) noexcept
{
    for (int y = std::max(0, rect.top); y < std::min(m_size, rect.bottom); ++y)
        for (int x = std::max(0, rect.left); x < std::min(m_size, rect.right); ++x)
            m_pixels[static_cast<std::size_t>(y) * m_size + x] |= 0xFF000000u;
}

void ThumbnailPixels::Blend(int x, int y, COLORREF colour, double coverage) noexcept
{
    if (coverage <= 0) return;
    std::uint32_t& pixel = m_pixels[static_cast<std::size_t>(y) * m_size + x];
    const std::uint32_t over = Premultiplied(colour, coverage);
    const double keep = 1.0 - coverage;
    std::uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const double value = double((over >> shift) & 0xFF) + double((pixel >> shift) & 0xFF) * keep;
        out |= static_cast<std::uint32_t>(std::min(255L, std::lround(value))) << shift;
    }
    pixel = out;
}

void ThumbnailPixels::PaintMark(ThumbnailMark mark, double cx, double cy, double radius) noexcept
{
    if (radius <= 0) return;
    // A white ring keeps the mark apart from the map beneath it.
    const double ring = std::max(1.0, radius / 7);
    const double inner = radius - ring;
    const Glyph glyph = GlyphOf(mark);
    const COLORREF fill = MarkFill(mark);
    constexpr int kSamples = 4;
    for (int y = std::max(0, int(cy - radius)); y < std::min(m_size, int(std::ceil(cy + radius))); ++y) {
        for (int x = std::max(0, int(cx - radius)); x < std::min(m_size, int(std::ceil(cx + radius))); ++x) {
            int disc = 0;
            int inside = 0;
            int stroke = 0;
            // Only pixels near an edge are sampled; the rest are wholly in or out.
            const double centreX = x + 0.5 - cx;
            const double centreY = y + 0.5 - cy;
            const double centre = std::hypot(centreX, centreY);
            double nearest = 2.0;
            for (const Stroke& s : glyph.strokes)
                nearest = std::min(nearest, DistanceToStroke(centreX / inner, centreY / inner, s));
            const double edge = 0.75;  // beyond half a pixel's diagonal
            if (centre > radius + edge) continue;
            if (centre < inner - edge && std::abs(nearest - glyph.width / 2) * inner > edge) {
                Blend(x, y, nearest < glyph.width / 2 ? kMarkGlyph : fill, 1.0);
                continue;
            }
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const double px = x + (sx + 0.5) / kSamples - cx;
                    const double py = y + (sy + 0.5) / kSamples - cy;
                    const double distance = std::hypot(px, py);
                    if (distance > radius) continue;
                    ++disc;
                    if (distance > inner) continue;
                    ++inside;
                    for (const Stroke& s : glyph.strokes) {
                        if (DistanceToStroke(px / inner, py / inner, s) <= glyph.width / 2) {
                            ++stroke;
                            break;
                        }
                    }
                }
            }
            const double all = kSamples * kSamples;
            // Ring, then the mark's colour, then the glyph, each over the one before.
            Blend(x, y, kMarkGlyph, disc / all);
            if (inside > 0) Blend(x, y, fill, inside / all);
            if (stroke > 0) Blend(x, y, kMarkGlyph, stroke / all);
        }
    }
}

void PaintThumbnail(ThumbnailPixels& pixels, const ThumbnailGeometry& geometry)
{
    const MapRect& page = geometry.page;
    const int edge = std::max(1, geometry.size / 128);
    pixels.Fill(page, kPageEdge);
    pixels.Fill({page.left + edge, page.top + edge, page.right - edge, page.bottom - edge}, kPageFill);
    for (const MapRect& line : geometry.lines) pixels.Fill(line, kDocumentLine);
    for (const ThumbnailBar& bar : geometry.bars) {
        for (const MapBlock& block : bar.blocks) {
            if (block.kind == MapBlockKind::Gap) continue;
            MapRect rect = block.rect;
            // Blocks that meet keep a line of page between them, as in the preview.
            if (rect.height() >= 4 && geometry.size >= kNumbersFromSize) rect.bottom -= 1;
            // One drawn over another (an overlap) keeps a line of page around it.
            if (rect.left > bar.bar.left && rect.width() > 2 && rect.height() > 2) {
                pixels.Fill(rect, kPageFill);
                rect = {rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1};
            }
            pixels.Fill(rect, BlockFill(block));
        }
    }
}

}  // namespace orrelin
