// The thumbnail as geometry and pixels: a page that holds each target's memory map (or, for
// a file the engine cannot lay out, a plain document), the vendor and product numbers on
// larger pictures, and the verdict as a round mark in the corner. Plain code that knows no
// device context, so that a picture can be checked pixel by pixel.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "KorvexLayout.h"
#include "preview_layout.h"

namespace orrelin {

// The verdict as the mark says it; a broken file's reason is left to the tip and the pane.
enum class ThumbnailMark { Intact, Broken, NotOnThisDevice, NotChecked };

// null: the engine gave no layout at all.
ThumbnailMark MarkOf(const KorvexDfuLayout* layout) noexcept;
COLORREF MarkFill(ThumbnailMark mark) noexcept;

// Only a file whose suffix passed has a map and numbers; every other is a plain document.
bool HasMap(const KorvexDfuLayout* layout) noexcept;

constexpr COLORREF kPageFill = RGB(255, 255, 255);
constexpr COLORREF kPageEdge = RGB(160, 160, 160);
constexpr COLORREF kDocumentLine = RGB(200, 200, 200);
constexpr COLORREF kNumbersText = RGB(50, 49, 48);
// The numbers are written from this size up; below it they could not be read.
constexpr int kNumbersFromSize = 96;

struct ThumbnailBar {
    MapRect bar;
    std::vector<MapBlock> blocks;
};

struct ThumbnailGeometry {
    int size = 0;                     // the picture is size x size
    MapRect page;                     // opaque; everything outside it is transparent
    MapRect numbers;                  // empty below kNumbersFromSize or without numbers
    std::vector<ThumbnailBar> bars;   // one per target shown, left to right
    std::uint32_t hiddenTargets = 0;  // too many to fit side by side
    std::vector<MapRect> lines;       // a plain document's lines of "text"
    double markX = 0;                 // the mark's centre and radius, in pixels
    double markY = 0;
    double markRadius = 0;
};

// `targets` as the preview reads them; `plainImage`: a file with a suffix but no DfuSe image,
// drawn as one block; `document`: no map at all.
ThumbnailGeometry LayOutThumbnail(const std::vector<MapTarget>& targets, bool plainImage, bool document, bool numbers,
                                  int size);

// 32-bit pixels, premultiplied 0xAARRGGBB, rows from the top.
class ThumbnailPixels {
public:
    ThumbnailPixels(std::uint32_t* pixels, int size) : m_pixels(pixels), m_size(size) {}
    void Fill(const MapRect& rect, COLORREF colour) noexcept;
    // Makes every pixel of `rect` opaque, keeping its colour: GDI's text leaves alpha at 0.
    void MakeOpaque(const MapRect& rect) noexcept;
    // The mark, smoothed at its edges, over what is drawn.
    void PaintMark(ThumbnailMark mark, double x, double y, double radius) noexcept;

private:
    void Blend(int x, int y, COLORREF colour, double coverage) noexcept;

    std::uint32_t* m_pixels;
    int m_size;
};

// The page with its maps or document lines; the numbers (GDI) and the mark go over it.
void PaintThumbnail(ThumbnailPixels& pixels, const ThumbnailGeometry& geometry);

}  // namespace orrelin
