#include "dfu_hash.h"

#include <algorithm>

namespace korvex {

std::string HexDigest(const Sha256Digest& digest)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char b : digest) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

namespace {

struct Span {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    std::size_t digest = 0;  // index into the result's elements
};

}  // namespace

DfuDigests HashDfuFile(InputFile& file, const DfuLayout& layout)
{
    DfuDigests result;
    std::vector<Span> spans;
    if (layout.dfuse) {
        for (std::size_t t = 0; t < layout.targets.size(); ++t) {
            const DfuTarget& target = layout.targets[t];
            for (std::size_t e = 0; e < target.elements.size(); ++e) {
                const DfuElement& element = target.elements[e];
                spans.push_back({element.dataOffset, element.dataOffset + element.size, result.elements.size()});
                result.elements.push_back(
                    {static_cast<std::uint32_t>(t), static_cast<std::uint32_t>(e), element.address, element.size, {}});
            }
        }
    } else {
        const std::uint64_t image = layout.fileSize - layout.suffixLength;
        spans.push_back({0, image, 0});
        result.elements.push_back({kNoIndex, 0, 0, image, {}});
    }
    // Elements lie one after another in the file, so one pass feeds each in turn.
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.begin < b.begin; });
    std::vector<Sha256> hashes(result.elements.size());
    Sha256 whole;
    std::vector<unsigned char> buffer(1 << 20);
    std::size_t first = 0;  // the first span that may still take bytes
    for (std::uint64_t offset = 0; offset < file.Size();) {
        const std::size_t piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(file.Size() - offset, buffer.size()));
        file.Read(offset, buffer.data(), piece);
        whole.Update(buffer.data(), piece);
        const std::uint64_t end = offset + piece;
        while (first < spans.size() && spans[first].end <= offset) ++first;
        for (std::size_t s = first; s < spans.size() && spans[s].begin < end; ++s) {
            const std::uint64_t from = std::max(spans[s].begin, offset);
            const std::uint64_t to = std::min(spans[s].end, end);
            if (from < to)
                hashes[spans[s].digest].Update(buffer.data() + (from - offset), static_cast<std::size_t>(to - from));
        }
        offset = end;
    }
    result.file = whole.Final();
    for (std::size_t i = 0; i < hashes.size(); ++i) result.elements[i].digest = hashes[i].Final();
    return result;
}

}  // namespace korvex
