// Comparing two files: which suffix and target fields differ, and per address the ranges of
// differing bytes (joined across small gaps, counted) and the data only one file has.
#include "dfu_diff.h"
#include "dfu_extract.h"

#include "dfu_test_support.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>

namespace {

using dfutest::DfuSeElement;
using dfutest::DfuSeTarget;

std::string Hex(std::uint64_t value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%" PRIX64, value);
    return text;
}

std::string Fields(const std::vector<korvex::FieldDifference>& fields)
{
    std::string out;
    for (const auto& field : fields) {
        out += " " + field.field;
        // A stored CRC is whatever the bytes give; that it differs is what counts.
        if (field.field != "storedCrc" && field.field != "name") out += "=" + Hex(field.a) + ">" + Hex(field.b);
    }
    return out;
}

std::string Ranges(const char* label, const std::vector<korvex::DiffRange>& ranges, bool counted)
{
    if (ranges.empty()) return "";
    std::string out = std::string(" ") + label + "[";
    for (const auto& r : ranges)
        out += (out.back() == '[' ? "" : " ") + Hex(r.address) + "+" + Hex(r.length) +
               (counted ? ":" + std::to_string(r.count) : "");
    return out + "]";
}

// The whole answer in one line, so each row states it in full.
std::string Describe(const korvex::DfuDifference& diff)
{
    std::string out = diff.Same() ? "same" : "differ";
    out += Fields(diff.fields);
    for (const auto& t : diff.targets) {
        out += " | t" + std::to_string(t.index) + (t.inA ? "" : " only-b") + (t.inB ? "" : " only-a");
        out += Fields(t.fields);
        if (t.differingRanges > 0)
            out += " " + std::to_string(t.differingRanges) + "/" + std::to_string(t.differingBytes) +
                   Ranges("", t.differing, true);
        out += Ranges("a", t.onlyInA, false) + Ranges("b", t.onlyInB, false);
    }
    return out;
}

std::string Changed(std::string bytes, std::initializer_list<std::size_t> at)
{
    for (const std::size_t i : at) bytes[i] = static_cast<char>(bytes[i] ^ 0x40);
    return bytes;
}

std::string DfuSe(std::vector<DfuSeTarget> targets, std::uint16_t product = 0xDF11)
{
    return dfutest::WithSuffix(dfutest::DfuSeImage(targets), 0x0483, product, 0x0200, 0x011A);
}

struct DiffRow {
    const char* what;
    std::string a;
    std::string b;
    const char* expected;
};

using DfuDiff = dfutest::ScratchFolder;

TEST_F(DfuDiff, FieldsTargetsAndRanges)
{
    const std::string image = dfutest::Payload(2000);
    const std::string large = dfutest::Payload((1 << 20) + 100, 3);
    const std::string data = dfutest::Payload(100, 5);
    const DiffRow rows[] = {
        {"same bytes", dfutest::WithSuffix(image), dfutest::WithSuffix(image), "same"},
        {"another product", dfutest::WithSuffix(image, 0x1209, 1, 0x100), dfutest::WithSuffix(image, 0x1209, 2, 0x100),
         "differ product=1>2 storedCrc"},
        // 10 and 12 lie within the joining gap, 500 does not; 1000 to 1016 is one range,
        // 1033 is 17 past it.
        {"bytes of a plain image", dfutest::WithSuffix(image),
         dfutest::WithSuffix(Changed(image, {10, 12, 500, 1000, 1016, 1033})),
         "differ storedCrc | t0 4/6 [A+3:2 1F4+1:1 3E8+11:2 409+1:1]"},
        {"a range across the engine's read pieces", dfutest::WithSuffix(large),
         dfutest::WithSuffix(Changed(large, {(1 << 20) - 6, (1 << 20) + 4})), "differ storedCrc | t0 1/2 [FFFFA+B:2]"},
        {"a longer image", dfutest::WithSuffix(image), dfutest::WithSuffix(image + "tail"),
         "differ storedCrc | t0 b[7D0+4]"},
        {"an element in one file only", DfuSe({{true, "Flash", DfuSeElement(0x08000000, data)}}),
         DfuSe({{true, "Flash", DfuSeElement(0x08000000, data) + DfuSeElement(0x08001000, "0123456789"), 2}}),
         "differ storedCrc | t0 elements=1>2 b[8001000+A]"},
        {"elements that half overlap in address", DfuSe({{false, "", DfuSeElement(0x100, data.substr(0, 32))}}),
         DfuSe({{false, "", DfuSeElement(0x110, data.substr(16, 32))}}), "differ storedCrc | t0 a[100+10] b[120+10]"},
        {"a target's name", DfuSe({{true, "Flash", DfuSeElement(0, data)}}),
         DfuSe({{true, "Option", DfuSeElement(0, data)}}), "differ storedCrc | t0 name"},
        {"a target more", DfuSe({{false, "", DfuSeElement(0, data)}, {true, "Option", DfuSeElement(0x1FFF, "x")}}),
         DfuSe({{false, "", DfuSeElement(0, data)}}), "differ storedCrc targets=2>1 | t1 only-a"},
        {"plain against DfuSe", dfutest::WithSuffix(data, 0x0483, 0xDF11, 0x0200),
         DfuSe({{false, "", DfuSeElement(0, data)}}), "differ dfuVersion=100>11A storedCrc dfuse=0>1"},
    };
    for (const DiffRow& row : rows) {
        SCOPED_TRACE(row.what);
        Put("a.dfu", row.a);
        Put("b.dfu", row.b);
        korvex::InputFile a(In("a.dfu")), b(In("b.dfu"));
        const korvex::DfuLayout layoutA = korvex::ReadValidLayout(a), layoutB = korvex::ReadValidLayout(b);
        EXPECT_EQ(Describe(korvex::CompareDfuFiles(a, layoutA, b, layoutB)), row.expected);
    }
}

// Past the listing limit the ranges of one file only are still counted, so that the report
// can say how many it leaves out.
TEST_F(DfuDiff, CountsTheRangesItDoesNotList)
{
    constexpr std::uint32_t kElements = korvex::kMaxListedRanges + 2;
    std::string elements;
    for (std::uint32_t i = 0; i < kElements; ++i) elements += DfuSeElement(0x08000000 + i * 0x100, "x");
    Put("a.dfu", DfuSe({{false, "", DfuSeElement(0x07000000, "x")}}));
    Put("b.dfu", DfuSe({{false, "", DfuSeElement(0x07000000, "x") + elements, kElements + 1}}));
    korvex::InputFile a(In("a.dfu")), b(In("b.dfu"));
    const korvex::DfuLayout layoutA = korvex::ReadValidLayout(a), layoutB = korvex::ReadValidLayout(b);
    const korvex::DfuDifference diff = korvex::CompareDfuFiles(a, layoutA, b, layoutB);
    ASSERT_EQ(diff.targets.size(), 1u);
    EXPECT_EQ(diff.targets[0].onlyInBRanges, kElements);
    ASSERT_EQ(diff.targets[0].onlyInB.size(), korvex::kMaxListedRanges);
    EXPECT_EQ(diff.targets[0].onlyInB.back().address, 0x08000000u + (korvex::kMaxListedRanges - 1) * 0x100);
    EXPECT_EQ(diff.targets[0].onlyInARanges, 0u);
}

}  // namespace
