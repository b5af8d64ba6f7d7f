#include "dfu_diff.h"

#include <algorithm>
#include <cstring>

namespace korvex {
namespace {

struct Segment {
    std::uint64_t begin = 0;  // address
    std::uint64_t end = 0;
    std::uint64_t offset = 0;  // in the file
};

// A target's data by address; where elements overlap, the earlier in address order wins.
std::vector<Segment> Segments(const DfuLayout& layout, std::size_t target)
{
    std::vector<Segment> segments;
    if (!layout.dfuse) {
        segments.push_back({0, layout.fileSize - layout.suffixLength, 0});
        return segments;
    }
    for (const DfuElement& element : layout.targets[target].elements)
        if (element.size > 0)
            segments.push_back({element.address, std::uint64_t{element.address} + element.size, element.dataOffset});
    std::sort(segments.begin(), segments.end(), [](const Segment& x, const Segment& y) { return x.begin < y.begin; });
    std::vector<Segment> clipped;
    for (Segment s : segments) {
        if (!clipped.empty() && s.begin < clipped.back().end) {
            s.offset += clipped.back().end - s.begin;
            s.begin = clipped.back().end;
        }
        if (s.begin < s.end) clipped.push_back(s);
    }
    return clipped;
}

class RangeCollector {
public:
    explicit RangeCollector(TargetDifference& out) : m_out(out) {}
    void Differs(std::uint64_t address)
    {
        if (m_open && address - m_last <= kDiffJoinGap) {
            m_last = address;
            ++m_count;
            return;
        }
        Close();
        m_open = true;
        m_first = m_last = address;
        m_count = 1;
    }
    void Close()
    {
        if (!m_open) return;
        m_open = false;
        ++m_out.differingRanges;
        m_out.differingBytes += m_count;
        if (m_out.differing.size() < kMaxListedRanges)
            m_out.differing.push_back({m_first, m_last - m_first + 1, m_count});
    }

private:
    TargetDifference& m_out;
    bool m_open = false;
    std::uint64_t m_first = 0;
    std::uint64_t m_last = 0;
    std::uint64_t m_count = 0;
};

// Addresses with data in one file only; past the listing limit they are still counted, so
// the report can say how many it leaves out.
class OnlyRanges {
public:
    OnlyRanges(std::vector<DiffRange>& list, std::uint64_t& count) : m_list(list), m_count(count) {}

    void Add(std::uint64_t begin, std::uint64_t end)
    {
        const bool joins = m_count > 0 && m_end == begin;
        m_end = end;
        if (!joins) {
            ++m_count;
            if (m_list.size() < kMaxListedRanges) m_list.push_back({begin, 0, 0});
        }
        if (m_count == m_list.size()) {
            m_list.back().length += end - begin;
            m_list.back().count += end - begin;
        }
    }

private:
    std::vector<DiffRange>& m_list;
    std::uint64_t& m_count;
    std::uint64_t m_end = 0;
};

void CompareData(InputFile& a, const std::vector<Segment>& sa, InputFile& b, const std::vector<Segment>& sb,
                 TargetDifference& out)
{
    constexpr std::uint64_t kNone = ~std::uint64_t{0};
    constexpr std::size_t kPiece = 1 << 20;
    std::vector<unsigned char> bufferA(kPiece), bufferB(kPiece);
    RangeCollector ranges(out);
    OnlyRanges onlyInA(out.onlyInA, out.onlyInARanges);
    OnlyRanges onlyInB(out.onlyInB, out.onlyInBRanges);
    std::size_t i = 0, j = 0;
    std::uint64_t at = 0;
    while (i < sa.size() || j < sb.size()) {
        if (i < sa.size() && sa[i].end <= at) {
            ++i;
            continue;
        }
        if (j < sb.size() && sb[j].end <= at) {
            ++j;
            continue;
        }
        const std::uint64_t startA = i < sa.size() ? std::max(sa[i].begin, at) : kNone;
        const std::uint64_t startB = j < sb.size() ? std::max(sb[j].begin, at) : kNone;
        at = std::min(startA, startB);
        if (startA == at && startB == at) {
            const std::uint64_t end = std::min(sa[i].end, sb[j].end);
            while (at < end) {
                const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(end - at, kPiece));
                a.Read(sa[i].offset + (at - sa[i].begin), bufferA.data(), piece);
                b.Read(sb[j].offset + (at - sb[j].begin), bufferB.data(), piece);
                // Most of two firmware images is the same: look byte by byte only where
                // memcmp says a stretch differs.
                constexpr std::size_t kStretch = 4096;
                for (std::size_t from = 0; from < piece; from += kStretch) {
                    const std::size_t length = std::min(kStretch, piece - from);
                    if (std::memcmp(bufferA.data() + from, bufferB.data() + from, length) == 0) continue;
                    for (std::size_t k = from; k < from + length; ++k)
                        if (bufferA[k] != bufferB[k]) ranges.Differs(at + k);
                }
                at += piece;
            }
        } else if (startA == at) {
            const std::uint64_t end = std::min(sa[i].end, startB);
            onlyInA.Add(at, end);
            at = end;
        } else {
            const std::uint64_t end = std::min(sb[j].end, startA);
            onlyInB.Add(at, end);
            at = end;
        }
    }
    ranges.Close();
}

void Field(std::vector<FieldDifference>& out, const char* name, std::uint64_t a, std::uint64_t b)
{
    if (a != b) out.push_back({name, a, b});
}

}  // namespace

DfuDifference CompareDfuFiles(InputFile& a, const DfuLayout& layoutA, InputFile& b, const DfuLayout& layoutB)
{
    DfuDifference diff;
    Field(diff.fields, "dfuVersion", layoutA.dfuVersion, layoutB.dfuVersion);
    Field(diff.fields, "vendor", layoutA.vendor, layoutB.vendor);
    Field(diff.fields, "product", layoutA.product, layoutB.product);
    Field(diff.fields, "release", layoutA.release, layoutB.release);
    Field(diff.fields, "suffixLength", layoutA.suffixLength, layoutB.suffixLength);
    Field(diff.fields, "storedCrc", layoutA.storedCrc, layoutB.storedCrc);
    Field(diff.fields, "dfuse", layoutA.dfuse, layoutB.dfuse);
    const std::size_t countA = layoutA.dfuse ? layoutA.targets.size() : 1;
    const std::size_t countB = layoutB.dfuse ? layoutB.targets.size() : 1;
    Field(diff.fields, "targets", countA, countB);
    for (std::size_t t = 0; t < std::max(countA, countB); ++t) {
        TargetDifference target;
        target.index = static_cast<std::uint32_t>(t);
        target.inA = t < countA;
        target.inB = t < countB;
        if (target.inA && target.inB) {
            if (layoutA.dfuse && layoutB.dfuse) {
                const DfuTarget& ta = layoutA.targets[t];
                const DfuTarget& tb = layoutB.targets[t];
                Field(target.fields, "alternateSetting", ta.alternateSetting, tb.alternateSetting);
                Field(target.fields, "named", ta.named, tb.named);
                if (ta.name != tb.name) target.fields.push_back({"name", 0, 1});
                Field(target.fields, "elements", ta.elements.size(), tb.elements.size());
            }
            CompareData(a, Segments(layoutA, t), b, Segments(layoutB, t), target);
        }
        if (!target.inA || !target.inB || !target.fields.empty() || target.differingRanges > 0 ||
            !target.onlyInA.empty() || !target.onlyInB.empty())
            diff.targets.push_back(std::move(target));
    }
    return diff;
}

}  // namespace korvex
