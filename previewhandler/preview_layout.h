// The preview as geometry: where the header's lines and each target's heading, address bar,
// element blocks and labels go in a window of a given size. Plain code that knows nothing of
// windows or drawing, so that a picture's layout can be checked on its own.
//
// Each target gets an address bar, low addresses at the top. Addresses that hold data are
// drawn to scale; a gap that is small beside the data stays a gap to scale, a large one is
// cut down to a break of one line that says how large it is. Elements too small to show on
// their own are merged with their neighbours into runs at least one line tall, so a file of
// thousands of elements still gives a readable picture of a few dozen blocks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orrelin {

// Marks of an element, and of a run for the elements in it.
enum : unsigned {
    kMapOverlap = 0x1,  // shares addresses with another element
    kMapOverrun = 0x2,  // states more data than its target or the file holds
};

struct MapElement {
    std::uint32_t address;
    std::uint32_t length;
    unsigned marks;
};

struct MapTarget {
    std::wstring heading;              // drawn above its bar
    std::vector<MapElement> elements;  // the ones the engine lists, in file order
};

struct MapRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

enum class MapBlockKind { Element, Run, Gap };

struct MapBlock {
    MapBlockKind kind;
    MapRect rect;
    std::uint64_t first;     // the lowest address
    std::uint64_t end;       // one past the highest
    std::uint32_t elements;  // in the block; 0 for a gap
    std::uint64_t bytes;     // their data, or the gap's size
    unsigned marks;
};

struct MapLabel {
    MapRect rect;
    std::wstring text;
    unsigned marks;
    int anchor;  // the vertical centre of the block it tells of
};

struct TargetMap {
    MapRect heading;
    MapRect bar;
    std::vector<MapBlock> blocks;  // in address order
    std::vector<MapLabel> labels;  // top to bottom, none overlapping
};

// The header above the maps, a line each: the file's title, its numbers, its version and
// its verdict.
struct HeaderLines {
    MapRect title;
    MapRect numbers;
    MapRect version;
    MapRect verdict;
};

struct PreviewGeometry {
    HeaderLines header;
    std::vector<TargetMap> targets;   // the first ones, as many as fit
    std::uint32_t hiddenTargets = 0;  // the rest
    MapRect more;                     // the line that counts them
};

// In pixels: the client area, one line of text, the title's line; and the display's dots
// per inch, by which margins and spacing scale.
struct MapMetrics {
    int width;
    int height;
    int lineHeight;
    int titleHeight;
    int dpi;
};

// The words of the labels, from the caller's string table.
struct MapWords {
    std::wstring bytes;     // "bytes"
    std::wstring elements;  // "elements"
    std::wstring gap;       // "gap"
    std::wstring overlap;   // "overlaps"
    std::wstring overrun;   // "overruns"
};

// The width in pixels that a text takes in the caller's font.
using TextWidth = std::function<int(const std::wstring&)>;

// The blocks of one target's bar filling `bar`, as the preview draws them beside their labels:
// runs at least `line` pixels tall, breaks `line` pixels tall, no block thinner than
// `thinnest`. The thumbnail draws its bars with the same rule at its own scale.
std::vector<MapBlock> LayOutBar(const MapTarget& target, const MapRect& bar, int line, int thinnest);

// Every rectangle of the picture, the header's included; the painter measures nothing itself.
PreviewGeometry LayOutPreview(const std::vector<MapTarget>& targets, const MapMetrics& metrics, const MapWords& words,
                              const TextWidth& textWidth);

}  // namespace orrelin
