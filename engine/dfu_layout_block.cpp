#include "dfu_layout_block.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

namespace korvex {
namespace {

// A layout keeps the same shape in every build of an architecture, whichever compiler.
static_assert(sizeof(KorvexDfuElement) == 24, "element layout");
static_assert(sizeof(KorvexDfuFinding) == 40, "finding layout");
static_assert(offsetof(KorvexDfuTarget, offset) == 24 && offsetof(KorvexDfuTarget, name) == 32, "target layout");
static_assert(offsetof(KorvexDfuLayout, fileSize) == 24 && offsetof(KorvexDfuLayout, targets) == 64, "layout");

// The caller's structure as this build's, members it lacks zero.
template <typename T>
T Widened(const T* given)
{
    T copy;
    std::memset(&copy, 0, sizeof copy);
    if (given != nullptr) std::memcpy(&copy, given, std::min<std::size_t>(given->size, sizeof copy));
    copy.size = sizeof copy;
    return copy;
}

template <typename T>
const T* At(const T* array, std::size_t index)
{
    // A caller's array without sizes steps by this build's structure.
    const std::size_t stride = array->size != 0 ? array->size : sizeof(T);
    return reinterpret_cast<const T*>(reinterpret_cast<const char*>(array) + index * stride);
}

constexpr std::size_t RoundUp(std::size_t value)
{
    return (value + 7) & ~std::size_t{7};
}

// Carves the block in order: layout, targets, elements, findings, wide names, 8-bit names.
class Carver {
public:
    explicit Carver(char* base) : m_next(base) {}

    template <typename T>
    T* Take(std::size_t count)
    {
        T* at = reinterpret_cast<T*>(m_next);
        m_next += RoundUp(count * sizeof(T));
        return at;
    }

private:
    char* m_next;
};

std::size_t NameLength(const KorvexDfuTarget& target)
{
    return target.name != nullptr ? target.nameLength : 0;
}

std::size_t WideNameLength(const KorvexDfuTarget& target)
{
    return target.wideName != nullptr ? std::wcslen(target.wideName) : 0;
}

}  // namespace

std::wstring Windows1252ToWide(const std::string& text)
{
    // 0x80 to 0x9F; the five bytes Windows-1252 leaves undefined map to the same code points.
    static const wchar_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::wstring wide;
    wide.reserve(text.size());
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        wide.push_back(byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : static_cast<wchar_t>(byte));
    }
    return wide;
}

KorvexDfuLayout* CopyLayoutBlock(const KorvexDfuLayout& given)
{
    const KorvexDfuLayout layout = Widened(&given);
    const std::size_t targetCount = layout.targets != nullptr ? layout.targetCount : 0;
    const std::size_t findingCount = layout.findings != nullptr ? layout.findingCount : 0;
    std::vector<KorvexDfuTarget> targets;
    targets.reserve(targetCount);
    std::size_t bytes = RoundUp(sizeof(KorvexDfuLayout)) + RoundUp(targetCount * sizeof(KorvexDfuTarget)) +
                        RoundUp(findingCount * sizeof(KorvexDfuFinding));
    for (std::size_t i = 0; i < targetCount; ++i) {
        targets.push_back(Widened(At(layout.targets, i)));
        KorvexDfuTarget& target = targets.back();
        if (target.elements == nullptr) target.listedElementCount = 0;
        bytes += RoundUp(target.listedElementCount * sizeof(KorvexDfuElement)) +
                 RoundUp((WideNameLength(target) + 1) * sizeof(wchar_t)) + RoundUp(NameLength(target) + 1);
    }

    char* base = static_cast<char*>(std::calloc(1, bytes));
    if (base == nullptr) return nullptr;
    Carver carver(base);
    KorvexDfuLayout* out = carver.Take<KorvexDfuLayout>(1);
    *out = layout;
    out->targetCount = static_cast<std::uint32_t>(targetCount);
    out->findingCount = static_cast<std::uint32_t>(findingCount);
    KorvexDfuTarget* outTargets = carver.Take<KorvexDfuTarget>(targetCount);
    KorvexDfuFinding* outFindings = carver.Take<KorvexDfuFinding>(findingCount);
    out->targets = targetCount > 0 ? outTargets : nullptr;
    out->findings = findingCount > 0 ? outFindings : nullptr;
    for (std::size_t i = 0; i < findingCount; ++i) outFindings[i] = Widened(At(layout.findings, i));
    for (std::size_t i = 0; i < targetCount; ++i) {
        const KorvexDfuTarget& target = targets[i];
        KorvexDfuTarget& outTarget = outTargets[i];
        outTarget = target;
        KorvexDfuElement* elements = carver.Take<KorvexDfuElement>(target.listedElementCount);
        for (std::size_t e = 0; e < target.listedElementCount; ++e) elements[e] = Widened(At(target.elements, e));
        outTarget.elements = target.listedElementCount > 0 ? elements : nullptr;
        const std::size_t wideLength = WideNameLength(target);
        wchar_t* wideName = carver.Take<wchar_t>(wideLength + 1);
        if (wideLength > 0) std::wmemcpy(wideName, target.wideName, wideLength);
        outTarget.wideName = wideName;
        const std::size_t length = NameLength(target);
        char* name = carver.Take<char>(length + 1);
        if (length > 0) std::memcpy(name, target.name, length);
        outTarget.name = name;
        outTarget.nameLength = static_cast<std::uint16_t>(length);
    }
    return out;
}

KorvexDfuLayout* NewLayoutBlock(const DfuLayout& layout, const NameConversion& names)
{
    KorvexDfuLayout out;
    std::memset(&out, 0, sizeof out);
    out.size = sizeof out;
    out.verdict = static_cast<std::uint32_t>(layout.verdict);
    out.systemError = layout.systemError;
    out.storedCrc = layout.storedCrc;
    out.computedCrc = layout.computedCrc;
    out.flags = (layout.dfuse ? KORVEX_DFU_DFUSE : 0) |
                (layout.crcMatchesWithoutLpcPrefix ? KORVEX_DFU_CRC_WITHOUT_LPC_PREFIX : 0) |
                (layout.crcNotChecked ? KORVEX_DFU_CRC_NOT_CHECKED : 0);
    out.fileSize = layout.fileSize;
    out.dfuVersion = layout.dfuVersion;
    out.vendor = layout.vendor;
    out.product = layout.product;
    out.release = layout.release;
    out.suffixLength = layout.suffixLength;
    out.dfuseVersion = layout.dfuseVersion;
    out.statedTargetCount = layout.statedTargetCount;
    out.statedImageSize = layout.statedImageSize;
    out.codePage = names.codePage;
    out.unlistedFindings = layout.unlistedFindings;

    std::vector<std::wstring> wideNames;
    std::vector<std::vector<KorvexDfuElement>> elements;
    std::vector<KorvexDfuTarget> targets;
    for (const DfuTarget& target : layout.targets) {
        wideNames.push_back(names.convert(target.name));
        elements.emplace_back();
        for (const DfuElement& element : target.elements) {
            KorvexDfuElement e = {};
            e.size = sizeof e;
            e.address = element.address;
            e.length = element.size;
            e.dataOffset = element.dataOffset;
            elements.back().push_back(e);
        }
        KorvexDfuTarget t;
        std::memset(&t, 0, sizeof t);
        t.size = sizeof t;
        t.alternateSetting = target.alternateSetting;
        t.named = target.named ? 1 : 0;
        t.nameLength = static_cast<std::uint16_t>(target.name.size());
        t.statedSize = target.statedSize;
        t.statedElementCount = target.statedElementCount;
        t.elementCount = target.elementCount;
        t.listedElementCount = static_cast<std::uint32_t>(target.elements.size());
        t.offset = target.offset;
        t.name = target.name.c_str();
        targets.push_back(t);
    }
    for (std::size_t i = 0; i < targets.size(); ++i) {
        targets[i].wideName = wideNames[i].c_str();
        targets[i].elements = elements[i].empty() ? nullptr : elements[i].data();
    }
    std::vector<KorvexDfuFinding> findings;
    for (const DfuFindingRecord& record : layout.findings) {
        KorvexDfuFinding f = {};
        f.size = sizeof f;
        f.kind = static_cast<std::uint32_t>(record.kind);
        f.target = record.target;
        f.element = record.element;
        f.otherElement = record.otherElement;
        f.stated = record.stated;
        f.actual = record.actual;
        findings.push_back(f);
    }
    out.targetCount = static_cast<std::uint32_t>(targets.size());
    out.targets = targets.empty() ? nullptr : targets.data();
    out.findingCount = static_cast<std::uint32_t>(findings.size());
    out.findings = findings.empty() ? nullptr : findings.data();
    return CopyLayoutBlock(out);
}

void FreeLayoutBlock(KorvexDfuLayout* layout)
{
    std::free(layout);
}

bool ReaderSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t count)
{
    auto* out = static_cast<unsigned char*>(buffer);
    while (count > 0) {
        const std::uint32_t piece = static_cast<std::uint32_t>(std::min<std::size_t>(count, 0x40000000));
        const std::uint32_t error = m_reader(m_context, offset, piece, out);
        if (error != 0) {
            m_error = error;
            return false;
        }
        out += piece;
        offset += piece;
        count -= piece;
    }
    return true;
}

}  // namespace korvex
