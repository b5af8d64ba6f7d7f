#include "preview_layout.h"

#include <algorithm>
#include <cmath>

#include "size_text.h"

namespace orrelin {
namespace {

// A gap larger than this share of a target's data is cut down to a break.
constexpr std::uint64_t kBreakShare = 16;

struct Scale {
    int dpi;
    int operator()(int pixels) const { return std::max(1, pixels * dpi / 96); }
};

struct Placed {
    std::uint64_t first;
    std::uint64_t end;
    unsigned marks;
};

// The listed elements in address order, with overlaps marked.
std::vector<Placed> SortedElements(const MapTarget& target)
{
    std::vector<Placed> sorted;
    sorted.reserve(target.elements.size());
    for (const MapElement& element : target.elements)
        sorted.push_back({element.address, std::uint64_t{element.address} + element.length, element.marks});
    std::sort(sorted.begin(), sorted.end(),
              [](const Placed& a, const Placed& b) { return a.first != b.first ? a.first < b.first : a.end < b.end; });
    std::uint64_t reach = 0;
    std::size_t reacher = 0;
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        if (i > 0 && sorted[i].first < reach && sorted[i].end > sorted[i].first) {
            sorted[i].marks |= kMapOverlap;
            sorted[reacher].marks |= kMapOverlap;
        }
        if (sorted[i].end > reach) {
            reach = sorted[i].end;
            reacher = i;
        }
    }
    return sorted;
}

// Addresses drawn to scale: a run of elements and the small gaps between them.
struct Segment {
    std::uint64_t first;
    std::uint64_t end;
    std::size_t begin;  // into the sorted elements
    std::size_t stop;
    double height = 0;
};

std::wstring Hex(std::uint64_t value)
{
    std::wstring digits;
    for (int shift = 60; shift >= 0; shift -= 4)
        if ((value >> shift) != 0 || shift < 32) digits += L"0123456789ABCDEF"[(value >> shift) & 0xF];
    return L"0x" + digits;
}

// The candidates for a block's label, longest first; the first that fits is taken.
std::vector<std::wstring> LabelTexts(const MapBlock& block, const MapWords& words)
{
    const std::wstring size = SizeText(block.bytes, words.bytes);
    if (block.kind == MapBlockKind::Gap) return {words.gap + L", " + size, size};
    std::wstring notes;
    if (block.kind == MapBlockKind::Run) notes += L", " + std::to_wstring(block.elements) + L" " + words.elements;
    if ((block.marks & kMapOverlap) != 0) notes += L", " + words.overlap;
    if ((block.marks & kMapOverrun) != 0) notes += L", " + words.overrun;
    const std::wstring range =
        block.end > block.first ? Hex(block.first) + L"\u2013" + Hex(block.end - 1) : Hex(block.first);
    return {range + L"  " + size + notes, Hex(block.first) + L"  " + size + notes, size + notes, size};
}

// The blocks of one bar: the part of the picture that the preview and the thumbnail share.
class BarLayout {
public:
    BarLayout(int line, int thinnest) : m_line(std::max(1, line)), m_thinnest(thinnest) {}

    std::vector<MapBlock> LayOut(const MapTarget& target, const MapRect& bar)
    {
        std::vector<MapBlock> blocks;
        if (bar.height() <= 0 || target.elements.empty()) return blocks;
        m_sorted = SortedElements(target);
        PlaceBlocks(bar, blocks, Segments(bar.height()));
        return blocks;
    }

private:
    // The sorted elements cut into segments at the largest gaps, as many breaks as the bar
    // has lines for.
    std::vector<Segment> Segments(int barHeight)
    {
        std::vector<Segment> clusters;
        for (std::size_t i = 0; i < m_sorted.size(); ++i) {
            if (!clusters.empty() && m_sorted[i].first <= clusters.back().end) {
                clusters.back().end = std::max(clusters.back().end, m_sorted[i].end);
                clusters.back().stop = i + 1;
            } else {
                clusters.push_back({m_sorted[i].first, m_sorted[i].end, i, i + 1});
            }
        }
        std::uint64_t data = 0;
        for (const Segment& cluster : clusters) data += cluster.end - cluster.first;

        // Gap i lies after cluster i; the largest significant ones become breaks.
        std::vector<std::size_t> gaps;
        for (std::size_t i = 0; i + 1 < clusters.size(); ++i)
            if ((clusters[i + 1].first - clusters[i].end) * kBreakShare > data) gaps.push_back(i);
        std::sort(gaps.begin(), gaps.end(), [&](std::size_t a, std::size_t b) {
            return clusters[a + 1].first - clusters[a].end > clusters[b + 1].first - clusters[b].end;
        });
        const int lines = std::max(1, barHeight / m_line);
        gaps.resize(std::min<std::size_t>(gaps.size(), static_cast<std::size_t>((lines - 1) / 2)));
        std::vector<bool> breakAfter(clusters.size(), false);
        for (std::size_t gap : gaps) breakAfter[gap] = true;

        std::vector<Segment> segments;
        bool joinNext = false;
        for (std::size_t i = 0; i < clusters.size(); ++i) {
            if (joinNext) {
                segments.back().end = clusters[i].end;
                segments.back().stop = clusters[i].stop;
            } else {
                segments.push_back(clusters[i]);
            }
            joinNext = !breakAfter[i];
        }
        m_breakHeight = m_line;
        ShareHeight(segments, barHeight - static_cast<int>(segments.size() - 1) * m_breakHeight);
        return segments;
    }

    // Each segment to scale, but at least one line (or its even share, when the bar is too
    // short for that), so that the smallest still gets a label.
    void ShareHeight(std::vector<Segment>& segments, int height)
    {
        const double least = std::min<double>(m_line, double(height) / double(segments.size()));
        std::vector<bool> fixed(segments.size(), false);
        for (bool changed = true; changed;) {
            changed = false;
            double free = height;
            double extent = 0;
            for (std::size_t i = 0; i < segments.size(); ++i) {
                if (fixed[i])
                    free -= least;
                else
                    extent += double(std::max<std::uint64_t>(1, segments[i].end - segments[i].first));
            }
            for (std::size_t i = 0; i < segments.size(); ++i) {
                if (fixed[i]) continue;
                const double share =
                    free * double(std::max<std::uint64_t>(1, segments[i].end - segments[i].first)) / extent;
                if (share < least) {
                    fixed[i] = true;
                    changed = true;
                }
                segments[i].height = fixed[i] ? least : share;
            }
        }
    }

    void PlaceBlocks(const MapRect& bar, std::vector<MapBlock>& blocks, const std::vector<Segment>& segments)
    {
        const int line = m_line;
        const int thinnest = m_thinnest;
        double y = bar.top;
        std::uint64_t reach = 0;
        for (std::size_t s = 0; s < segments.size(); ++s) {
            const Segment& segment = segments[s];
            const double top = y;
            const double span = double(std::max<std::uint64_t>(1, segment.end - segment.first));
            const auto at = [&](std::uint64_t address) {
                return top + double(address - segment.first) * segment.height / span;
            };
            for (std::size_t i = segment.begin; i < segment.stop;) {
                MapBlock block{MapBlockKind::Element, {}, m_sorted[i].first,
                               m_sorted[i].end,       1,  m_sorted[i].end - m_sorted[i].first,
                               m_sorted[i].marks};
                const bool small = at(m_sorted[i].end) - at(m_sorted[i].first) < line;
                ++i;
                // A small element takes in the small ones after it until the run is a line tall.
                while (small && i < segment.stop && at(block.end) - at(block.first) < line &&
                       at(m_sorted[i].end) - at(m_sorted[i].first) < line) {
                    block.end = std::max(block.end, m_sorted[i].end);
                    block.bytes += m_sorted[i].end - m_sorted[i].first;
                    block.marks |= m_sorted[i].marks;
                    ++block.elements;
                    ++i;
                }
                if (block.elements > 1) block.kind = MapBlockKind::Run;
                const int blockTop = static_cast<int>(std::floor(at(block.first)));
                const int blockBottom = std::max(blockTop + thinnest, static_cast<int>(std::lround(at(block.end))));
                // An element that starts inside the one before it is drawn in the bar's right
                // half, so that both stay in sight.
                const bool inside = block.first < reach && (block.marks & kMapOverlap) != 0;
                const int left = inside ? bar.left + bar.width() / 2 : bar.left;
                block.rect = {left, blockTop, bar.right, std::min(blockBottom, bar.bottom)};
                if (block.rect.top >= bar.bottom) block.rect.top = bar.bottom - thinnest;
                reach = std::max(reach, block.end);
                blocks.push_back(block);
            }
            y = top + segment.height;
            if (s + 1 < segments.size()) {
                const std::uint64_t next = segments[s + 1].first;
                const int breakTop = static_cast<int>(std::lround(y));
                blocks.push_back({MapBlockKind::Gap,
                                  {bar.left, breakTop, bar.right, breakTop + m_breakHeight},
                                  segment.end,
                                  next,
                                  0,
                                  next - segment.end,
                                  0});
                y += m_breakHeight;
            }
        }
    }

    int m_line;
    int m_thinnest;
    std::vector<Placed> m_sorted;
    int m_breakHeight = 0;
};

class TargetLayout {
public:
    TargetLayout(const MapMetrics& metrics, const MapWords& words, const TextWidth& textWidth)
        : m_metrics(metrics), m_words(words), m_textWidth(textWidth), m_px{metrics.dpi}
    {
    }

    TargetMap LayOut(const MapTarget& target, int top, int bottom)
    {
        TargetMap map;
        const int margin = m_px(8);
        map.heading = {margin, top, m_metrics.width - margin, top + m_metrics.lineHeight};
        const int barWidth = std::clamp(m_metrics.width * 28 / 100, m_px(40), m_px(180));
        map.bar = {margin, map.heading.bottom + m_px(4), margin + barWidth, bottom};
        m_labelLeft = map.bar.right + m_px(12);
        m_labelRight = m_metrics.width - margin;
        if (map.bar.height() <= 0 || target.elements.empty()) return map;

        map.blocks = BarLayout(m_metrics.lineHeight, m_px(2)).LayOut(target, map.bar);
        PlaceLabels(map);
        return map;
    }

private:
    // A label beside its block, below the one before it; one that would drift more than
    // three lines from its block, or past the bar, is left out.
    void PlaceLabels(TargetMap& map)
    {
        const int line = m_metrics.lineHeight;
        const int room = m_labelRight - m_labelLeft;
        int below = map.bar.top;
        for (const MapBlock& block : map.blocks) {
            const int centre = (block.rect.top + block.rect.bottom) / 2;
            const int top = std::max(centre - line / 2, below);
            if (top + line > map.bar.bottom) break;
            if (top - (centre - line / 2) > 3 * line || room <= 0) continue;
            for (const std::wstring& text : LabelTexts(block, m_words)) {
                const int width = m_textWidth(text);
                if (width > room) continue;
                map.labels.push_back({{m_labelLeft, top, m_labelLeft + width, top + line}, text, block.marks, centre});
                below = top + line;
                break;
            }
        }
    }

    const MapMetrics& m_metrics;
    const MapWords& m_words;
    const TextWidth& m_textWidth;
    Scale m_px;
    int m_labelLeft = 0;
    int m_labelRight = 0;
};

}  // namespace

std::vector<MapBlock> LayOutBar(const MapTarget& target, const MapRect& bar, int line, int thinnest)
{
    return BarLayout(line, thinnest).LayOut(target, bar);
}

PreviewGeometry LayOutPreview(const std::vector<MapTarget>& targets, const MapMetrics& metrics, const MapWords& words,
                              const TextWidth& textWidth)
{
    PreviewGeometry geometry;
    const Scale px{metrics.dpi};
    const int margin = px(8);
    const int line = std::max(1, metrics.lineHeight);
    const int spacing = px(10);
    const auto lineBelow = [&](int top, int height) {
        return MapRect{margin, top, metrics.width - margin, top + height};
    };
    HeaderLines& header = geometry.header;
    header.title = lineBelow(margin, metrics.titleHeight);
    header.numbers = lineBelow(header.title.bottom, metrics.lineHeight);
    header.version = lineBelow(header.numbers.bottom, metrics.lineHeight);
    header.verdict = lineBelow(header.version.bottom, metrics.lineHeight);
    // The maps begin below the header.
    const int top = header.verdict.bottom + spacing;
    const int bottom = metrics.height - margin;
    // A heading and three lines of map at least.
    const int least = 4 * line + px(4) + spacing;
    std::size_t shown = targets.size();
    if (shown == 0 || bottom <= top) {
        geometry.hiddenTargets = static_cast<std::uint32_t>(shown);
        return geometry;
    }
    if (static_cast<long long>(shown) * least > bottom - top) {
        shown = static_cast<std::size_t>(std::max(0, (bottom - top - line) / least));
        geometry.hiddenTargets = static_cast<std::uint32_t>(targets.size() - shown);
        geometry.more = {margin, bottom - line, metrics.width - margin, bottom};
    }
    const int mapsBottom = geometry.hiddenTargets != 0 ? bottom - line : bottom;
    TargetLayout layout(metrics, words, textWidth);
    for (std::size_t i = 0; i < shown; ++i) {
        const int areaTop = top + static_cast<int>((mapsBottom - top) * static_cast<long long>(i) / long(shown));
        const int areaBottom = top + static_cast<int>((mapsBottom - top) * static_cast<long long>(i + 1) / long(shown));
        geometry.targets.push_back(layout.LayOut(targets[i], areaTop, areaBottom - spacing));
    }
    return geometry;
}

}  // namespace orrelin
