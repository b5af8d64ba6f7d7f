// The preview's geometry for tables of layouts: every picture keeps its blocks in the bar in
// address order and its labels beside them without overlapping, and each layout's own
// feature (a gap, an overlap, thousands of elements) shows as it should.
#include "preview_layout.h"
#include "size_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <iterator>

using orrelin::MapBlock;
using orrelin::MapBlockKind;
using orrelin::MapElement;
using orrelin::MapMetrics;
using orrelin::MapTarget;
using orrelin::PreviewGeometry;

namespace {

const orrelin::MapWords kWords = {L"bytes", L"elements", L"gap", L"overlaps", L"overruns"};
constexpr int kCharWidth = 7;

int TextWidth(const std::wstring& text)
{
    return static_cast<int>(text.size()) * kCharWidth;
}

MapTarget Target(std::vector<MapElement> elements)
{
    return MapTarget{L"Alternate setting 0: Internal Flash", std::move(elements)};
}

std::vector<MapElement> Contiguous(std::uint32_t count, std::uint32_t length, std::uint32_t stride)
{
    std::vector<MapElement> elements;
    for (std::uint32_t i = 0; i < count; ++i) elements.push_back({0x08000000 + i * stride, length, 0});
    return elements;
}

int Count(const orrelin::TargetMap& map, MapBlockKind kind)
{
    int count = 0;
    for (const MapBlock& block : map.blocks) count += block.kind == kind;
    return count;
}

struct GeometryCase {
    const char* name;
    std::function<std::vector<MapTarget>()> targets;
    MapMetrics metrics;
    std::function<void(const PreviewGeometry&)> check;
};

// A title line of 24 pixels puts the maps 90 pixels down: margin, title, three lines, spacing.
const MapMetrics kPane = {400, 600, 16, 24, 96};

const GeometryCase kCases[] = {
    {"OneElement",
     [] {
         return std::vector<MapTarget>{Target({{0x08000000, 0x4000, 0}})};
     },
     kPane,
     [](const PreviewGeometry& geometry) {
         ASSERT_EQ(1u, geometry.targets.size());
         const auto& map = geometry.targets[0];
         EXPECT_EQ(8, geometry.header.title.top);
         EXPECT_EQ(32, geometry.header.numbers.top);
         EXPECT_EQ(80, geometry.header.verdict.bottom);
         EXPECT_EQ(90, map.heading.top);
         ASSERT_EQ(1u, map.blocks.size());
         EXPECT_EQ(map.bar.top, map.blocks[0].rect.top);
         EXPECT_EQ(map.bar.bottom, map.blocks[0].rect.bottom);
         ASSERT_EQ(1u, map.labels.size());
         EXPECT_EQ(L"0x08000000\u20130x08003FFF  16 KiB", map.labels[0].text);
     }},
    {"SeveralTargets",
     [] {
         return std::vector<MapTarget>{Target({{0x08000000, 1024, 0}}), Target({{0x1FFF0000, 64, 0}}),
                                       Target({{0x20000000, 16, 0}})};
     },
     kPane,
     [](const PreviewGeometry& geometry) {
         ASSERT_EQ(3u, geometry.targets.size());
         EXPECT_EQ(0u, geometry.hiddenTargets);
         for (std::size_t i = 1; i < 3; ++i)
             EXPECT_LE(geometry.targets[i - 1].bar.bottom, geometry.targets[i].heading.top);
     }},
    {"SmallGapToScale",
     [] {
         return std::vector<MapTarget>{Target({{0, 1024, 0}, {1088, 1024, 0}})};
     },
     kPane,
     [](const PreviewGeometry& geometry) {
         const auto& map = geometry.targets[0];
         ASSERT_EQ(2u, map.blocks.size());
         EXPECT_EQ(0, Count(map, MapBlockKind::Gap));
         EXPECT_GT(map.blocks[1].rect.top, map.blocks[0].rect.bottom);
     }},
    {"LargeGapBreaks",
     [] {
         return std::vector<MapTarget>{Target({{0x08000000, 0x4000, 0}, {0x1FFF0000, 64, 0}})};
     },
     kPane,
     [](const PreviewGeometry& geometry) {
         const auto& map = geometry.targets[0];
         ASSERT_EQ(3u, map.blocks.size());
         EXPECT_EQ(MapBlockKind::Gap, map.blocks[1].kind);
         EXPECT_EQ(0x1FFF0000u - 0x08004000u, map.blocks[1].bytes);
         // The 64 bytes beside 16 KiB still get a line of their own, with a label.
         EXPECT_GE(map.blocks[2].rect.height(), kPane.lineHeight);
         EXPECT_EQ(3u, map.labels.size());
     }},
    {"Overlap",
     [] {
         return std::vector<MapTarget>{Target({{0x100, 512, 0}, {0x200, 512, 0}})};
     },
     kPane,
     [](const PreviewGeometry& geometry) {
         const auto& map = geometry.targets[0];
         ASSERT_EQ(2u, map.blocks.size());
         for (const MapBlock& block : map.blocks) EXPECT_EQ(orrelin::kMapOverlap, block.marks);
         // The later one in the bar's other half, so both stay in sight.
         EXPECT_EQ(map.bar.left, map.blocks[0].rect.left);
         EXPECT_GT(map.blocks[1].rect.left, map.bar.left);
         EXPECT_NE(std::wstring::npos, map.labels[1].text.find(L"overlaps"));
     }},
    {"Overrun",
     [] {
         return std::vector<MapTarget>{Target({{0, 64, 0}, {64, 64, orrelin::kMapOverrun}})};
     },
     kPane,
     [](const PreviewGeometry& geometry) {
         const auto& map = geometry.targets[0];
         ASSERT_EQ(2u, map.labels.size());
         EXPECT_EQ(0u, map.blocks[0].marks);
         EXPECT_EQ(orrelin::kMapOverrun, map.blocks[1].marks);
         EXPECT_NE(std::wstring::npos, map.labels[1].text.find(L"overruns"));
     }},
    {"FiveThousandElementsMergeIntoRuns", [] { return std::vector<MapTarget>{Target(Contiguous(5000, 256, 256))}; },
     kPane,
     [](const PreviewGeometry& geometry) {
         const auto& map = geometry.targets[0];
         EXPECT_LE(map.blocks.size(), std::size_t(map.bar.height() / kPane.lineHeight + 1));
         EXPECT_GT(Count(map, MapBlockKind::Run), 10);
         EXPECT_GT(map.labels.size(), 10u);
     }},
    {"FiveThousandScatteredElementsKeepFewBreaks",
     [] { return std::vector<MapTarget>{Target(Contiguous(5000, 16, 1 << 20))}; }, kPane,
     [](const PreviewGeometry& geometry) {
         const auto& map = geometry.targets[0];
         EXPECT_LE(Count(map, MapBlockKind::Gap), (map.bar.height() / kPane.lineHeight - 1) / 2);
         EXPECT_LE(map.blocks.size(), std::size_t(2 * map.bar.height() / kPane.lineHeight + 2));
     }},
    {"BrokenFileHasNoMap", [] { return std::vector<MapTarget>{}; }, kPane,
     [](const PreviewGeometry& geometry) {
         EXPECT_TRUE(geometry.targets.empty());
         EXPECT_EQ(0u, geometry.hiddenTargets);
     }},
    {"ManyTargetsCountTheHidden",
     [] {
         return std::vector<MapTarget>(255, Target({{0x08000000, 1024, 0}}));
     },
     kPane,
     [](const PreviewGeometry& geometry) {
         EXPECT_GT(geometry.hiddenTargets, 0u);
         EXPECT_EQ(255u, geometry.targets.size() + geometry.hiddenTargets);
         EXPECT_LE(geometry.targets.back().bar.bottom, geometry.more.top);
         EXPECT_LE(geometry.more.bottom, kPane.height);
     }},
    {"ScalesWithTheDisplay",
     [] {
         return std::vector<MapTarget>{Target({{0x08000000, 0x4000, 0}})};
     },
     MapMetrics{600, 900, 24, 36, 144},
     [](const PreviewGeometry& geometry) {
         EXPECT_EQ(12, geometry.header.title.left);
         EXPECT_EQ(48, geometry.header.title.bottom);
         EXPECT_EQ(135, geometry.targets[0].heading.top);
         EXPECT_EQ(12, geometry.targets[0].bar.left);
         EXPECT_EQ(6, geometry.targets[0].bar.top - geometry.targets[0].heading.bottom);
     }},
    {"TinyWindow", [] { return std::vector<MapTarget>{Target(Contiguous(50, 100, 200))}; },
     MapMetrics{60, 120, 16, 24, 96}, [](const PreviewGeometry&) {}},
};

class Geometry : public ::testing::TestWithParam<GeometryCase> {};

// What holds for every picture, whatever the layout.
void CheckInvariants(const PreviewGeometry& geometry, const std::vector<MapTarget>& targets, const MapMetrics& metrics)
{
    // The header's lines stack from the top, each as tall as its font's line.
    const orrelin::HeaderLines& header = geometry.header;
    EXPECT_EQ(metrics.titleHeight, header.title.height());
    const orrelin::MapRect lines[] = {header.title, header.numbers, header.version, header.verdict};
    for (std::size_t i = 1; i < std::size(lines); ++i) {
        EXPECT_EQ(lines[i - 1].bottom, lines[i].top);
        EXPECT_EQ(metrics.lineHeight, lines[i].height());
        EXPECT_EQ(header.title.left, lines[i].left);
        EXPECT_EQ(header.title.right, lines[i].right);
    }
    for (std::size_t t = 0; t < geometry.targets.size(); ++t) {
        const orrelin::TargetMap& map = geometry.targets[t];
        EXPECT_GT(map.heading.top, header.verdict.bottom);
        EXPECT_LE(map.bar.bottom, metrics.height);
        std::uint32_t elements = 0;
        std::uint64_t lastFirst = 0;
        for (const MapBlock& block : map.blocks) {
            SCOPED_TRACE(::testing::Message() << "block at " << block.first);
            EXPECT_GE(block.rect.left, map.bar.left);
            EXPECT_LE(block.rect.right, map.bar.right);
            EXPECT_GE(block.rect.top, map.bar.top);
            EXPECT_LE(block.rect.bottom, map.bar.bottom);
            EXPECT_GT(block.rect.height(), 0);
            EXPECT_GE(block.first, lastFirst);
            EXPECT_LE(block.first, block.end);
            lastFirst = block.first;
            elements += block.elements;
        }
        EXPECT_EQ(targets[t].elements.size(), elements);
        int below = map.bar.top;
        for (const orrelin::MapLabel& label : map.labels) {
            SCOPED_TRACE(::testing::Message() << "label " << ::testing::PrintToString(label.text));
            EXPECT_GE(label.rect.top, below);
            EXPECT_LE(label.rect.bottom, map.bar.bottom);
            EXPECT_GT(label.rect.left, map.bar.right);
            EXPECT_LE(label.rect.right, metrics.width);
            EXPECT_EQ(TextWidth(label.text), label.rect.width());
            below = label.rect.bottom;
        }
    }
}

TEST_P(Geometry, LaysOutTheMap)
{
    const std::vector<MapTarget> targets = GetParam().targets();
    const PreviewGeometry geometry = orrelin::LayOutPreview(targets, GetParam().metrics, kWords, TextWidth);
    CheckInvariants(geometry, targets, GetParam().metrics);
    GetParam().check(geometry);
}

INSTANTIATE_TEST_SUITE_P(Layouts, Geometry, ::testing::ValuesIn(kCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(SizeText, UsesBinaryUnits)
{
    const std::pair<std::uint64_t, const wchar_t*> rows[] = {
        {0, L"0 bytes"},    {1023, L"1023 bytes"}, {1024, L"1 KiB"},       {1536, L"1.5 KiB"},
        {16384, L"16 KiB"}, {1048576, L"1 MiB"},   {5ull << 30, L"5 GiB"}, {3ull << 40, L"3072 GiB"},
    };
    for (const auto& [bytes, text] : rows) EXPECT_EQ(text, orrelin::SizeText(bytes, L"bytes")) << bytes;
}

}  // namespace
