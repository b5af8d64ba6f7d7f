// Comparing two .dfu files: the suffix fields, the targets, and per address the ranges
// whose bytes differ. Both files are read in pieces; memory stays flat.
#pragma once

#include "dfu_layout.h"
#include "file_io.h"

#include <string>
#include <vector>

namespace korvex {

struct FieldDifference {
    std::string field;  // "vendor", "product", "release", "dfuVersion", "storedCrc", ...
    std::uint64_t a = 0;
    std::uint64_t b = 0;
};

// Differing bytes closer than kDiffJoinGap merge into one range; count says how many of
// its bytes differ.
struct DiffRange {
    std::uint64_t address = 0;
    std::uint64_t length = 0;
    std::uint64_t count = 0;
};

struct TargetDifference {
    std::uint32_t index = 0;
    bool inA = true;
    bool inB = true;
    std::vector<FieldDifference> fields;  // alternateSetting, named, name (as 0/1: differs)
    std::vector<DiffRange> differing;     // listed up to kMaxListedRanges
    std::uint64_t differingRanges = 0;
    std::uint64_t differingBytes = 0;
    std::vector<DiffRange> onlyInA;  // addresses with data in one file only, listed up to kMaxListedRanges
    std::vector<DiffRange> onlyInB;
    std::uint64_t onlyInARanges = 0;  // all of them, listed or not
    std::uint64_t onlyInBRanges = 0;
};

struct DfuDifference {
    std::vector<FieldDifference> fields;
    std::vector<TargetDifference> targets;  // only those that differ
    bool Same() const { return fields.empty() && targets.empty(); }
};

constexpr std::uint64_t kDiffJoinGap = 16;
constexpr std::size_t kMaxListedRanges = 1000;

// Both layouts read through (ReadValidLayout). A plain file's image is one range from 0.
DfuDifference CompareDfuFiles(InputFile& a, const DfuLayout& layoutA, InputFile& b, const DfuLayout& layoutB);

}  // namespace korvex
