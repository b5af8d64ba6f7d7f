#include "dfu_extract.h"

#include "dfu_writer.h"
#include "firmware_text.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace korvex {
namespace {

std::string AddressName(std::uint32_t address)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(address));
    return text;
}

Path TargetName(const ExtractRequest& request, std::size_t target, const std::string& tail)
{
    return request.prefix + PathFromText(".target" + std::to_string(target) + tail);
}

// Feeds a target's elements to a text writer, a piece at a time.
template <typename Writer>
void WriteTarget(InputFile& file, const DfuTarget& target, Writer& writer)
{
    std::vector<unsigned char> buffer(1 << 16);
    for (const DfuElement& element : target.elements) {
        std::uint64_t done = 0;
        while (done < element.size) {
            const std::size_t piece =
                static_cast<std::size_t>(std::min<std::uint64_t>(element.size - done, buffer.size()));
            file.Read(element.dataOffset + done, buffer.data(), piece);
            writer.Data(static_cast<std::uint32_t>(element.address + done), buffer.data(), piece);
            done += piece;
        }
    }
    writer.Finish();
}

bool ElementsOverlap(const DfuTarget& target)
{
    std::vector<DfuElement> sorted = target.elements;
    std::sort(sorted.begin(), sorted.end(),
              [](const DfuElement& a, const DfuElement& b) { return a.address < b.address; });
    for (std::size_t i = 1; i < sorted.size(); ++i)
        if (std::uint64_t{sorted[i - 1].address} + sorted[i - 1].size > sorted[i].address) return true;
    return false;
}

}  // namespace

namespace {

DfuLayout ReadReadableLayout(InputFile& file)
{
    DfuLayout layout;
    ReadDfuLayout(file, layout);
    if (layout.verdict == DfuVerdict::kUnreadable)
        throw DfuError(DfuError::Kind::kIo, PathText(file.path()) + ": cannot read (system error " +
                                                std::to_string(layout.systemError) + ")");
    return layout;
}

}  // namespace

DfuLayout ReadDamagedLayout(InputFile& file, std::uint64_t& dropped)
{
    DfuLayout layout = ReadReadableLayout(file);
    dropped = 0;
    // Without a suffix nothing says where the image ends or what kind it is.
    if (layout.verdict != DfuVerdict::kValid && layout.verdict != DfuVerdict::kCrcMismatch)
        ThrowInvalid(PathText(file.path()) + ": not a DFU file, even a damaged one; dfutool info says why");
    const std::uint64_t imageEnd = layout.fileSize - layout.suffixLength;
    for (DfuTarget& target : layout.targets) {
        const std::uint64_t stated = std::max<std::uint64_t>(target.statedElementCount, target.elementCount);
        target.elements.erase(std::remove_if(target.elements.begin(), target.elements.end(),
                                             [&](const DfuElement& element) {
                                                 return element.dataOffset > imageEnd ||
                                                        element.size > imageEnd - element.dataOffset;
                                             }),
                              target.elements.end());
        dropped += stated - std::min<std::uint64_t>(stated, target.elements.size());
    }
    return layout;
}

DfuLayout ReadValidLayout(InputFile& file)
{
    DfuLayout layout = ReadReadableLayout(file);
    const std::string name = PathText(file.path());
    if (layout.verdict != DfuVerdict::kValid) ThrowInvalid(name + ": not a valid DFU file; dfutool info says why");
    for (const DfuFindingRecord& finding : layout.findings) {
        switch (finding.kind) {
        case DfuFinding::kTargetOverrunsImage:
        case DfuFinding::kElementsMissing:
        case DfuFinding::kElementOverrunsTarget:
        case DfuFinding::kElementOverrunsImage:
        case DfuFinding::kElementsNotListed:
            ThrowInvalid(name + ": its DfuSe image states elements the file does not hold; dfutool info says which");
        default:
            break;
        }
    }
    return layout;
}

std::vector<Path> ExtractNames(const DfuLayout& layout, const ExtractRequest& request)
{
    std::vector<Path> names;
    if (!layout.dfuse) {
        names.push_back(request.prefix + PathFromText(".bin"));
        return names;
    }
    for (std::size_t t = 0; t < layout.targets.size(); ++t) {
        if (request.binaries)
            for (const DfuElement& element : layout.targets[t].elements)
                names.push_back(TargetName(request, t, "." + AddressName(element.address) + ".bin"));
        if (request.intelHex) names.push_back(TargetName(request, t, ".hex"));
        if (request.sRecords) names.push_back(TargetName(request, t, ".s19"));
    }
    return names;
}

std::vector<Path> Extract(InputFile& file, const DfuLayout& layout, const ExtractRequest& request)
{
    const std::vector<Path> names = ExtractNames(layout, request);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (file.IsSameFile(names[i])) ThrowUsage(PathText(names[i]) + ": is the input itself");
        for (std::size_t k = 0; k < i; ++k)
            if (names[k] == names[i])
                ThrowInvalid(PathText(names[i]) + ": two elements of one target start at the same address");
    }
    std::vector<std::unique_ptr<AtomicOutput>> outputs;
    const std::string name = PathText(file.path());
    auto next = [&]() -> AtomicOutput& {
        if (!outputs.empty()) outputs.back()->Close();
        outputs.push_back(std::make_unique<AtomicOutput>(names[outputs.size()], request.replace));
        return *outputs.back();
    };
    if (!layout.dfuse) {
        CopyRange(file, name, 0, layout.fileSize - layout.suffixLength, next());
    } else {
        for (std::size_t t = 0; t < layout.targets.size(); ++t) {
            const DfuTarget& target = layout.targets[t];
            if (request.binaries)
                for (const DfuElement& element : target.elements)
                    CopyRange(file, name, element.dataOffset, element.size, next());
            if ((request.intelHex || request.sRecords) && ElementsOverlap(target))
                ThrowInvalid(name + ": target " + std::to_string(t) +
                             " has elements that overlap in address; HEX and S-records cannot place both");
            if (request.intelHex) {
                IntelHexWriter writer(next());
                WriteTarget(file, target, writer);
            }
            if (request.sRecords) {
                SRecordWriter writer(next(), target.named ? target.name : std::string());
                WriteTarget(file, target, writer);
            }
        }
    }
    // All complete: now put them in place, and take back the ones already placed if one fails.
    std::size_t placed = 0;
    try {
        for (; placed < outputs.size(); ++placed) outputs[placed]->Commit();
    } catch (...) {
        for (std::size_t i = 0; i < placed; ++i) outputs[i]->Retract();
        throw;
    }
    return names;
}

}  // namespace korvex
