#include "preview_content.h"

#include "dfu_words.h"
#include "handles.h"
#include "resource.h"
#include "size_text.h"
#include "string_table.h"

namespace orrelin {
namespace {

// The system's own words for an error, without the line break it ends with.
std::wstring SystemMessage(DWORD error)
{
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    UniqueLocalMemory owner(text);
    std::wstring message = length != 0 ? std::wstring(text, length) : L"0x" + std::to_wstring(error);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return message;
}

std::wstring Joined(const std::vector<std::wstring>& parts)
{
    std::wstring text;
    for (const std::wstring& part : parts) text += (text.empty() ? L"" : L"    ") + part;
    return text;
}

std::wstring VerdictOf(const KorvexDfuLayout& layout)
{
    const std::wstring words = LoadResString(VerdictTextId(layout));
    if (layout.verdict == KORVEX_DFU_CRC_MISMATCH)
        return FormatResString(IDS_PREVIEW_CRC, {words, unsigned{layout.storedCrc}, unsigned{layout.computedCrc}});
    if (layout.verdict == KORVEX_DFU_UNREADABLE)
        return FormatResString(IDS_PREVIEW_REASON, {words, SystemMessage(layout.systemError)});
    return words;
}

// `listedBytes`: the data of the elements the engine lists.
std::wstring HeadingOf(const KorvexDfuTarget& target, std::uint64_t listedBytes, const std::wstring& bytesWord)
{
    const unsigned alternateSetting = target.alternateSetting;
    const std::wstring name =
        target.named != 0
            ? FormatResString(IDS_PREVIEW_TARGET,
                              {alternateSetting, std::wstring(target.wideName != nullptr ? target.wideName : L"")})
            : FormatResString(IDS_PREVIEW_TARGET_UNNAMED, {alternateSetting});
    return FormatResString(IDS_PREVIEW_TARGET_SUMMARY,
                           {name, unsigned{target.elementCount}, SizeText(listedBytes, bytesWord)});
}

// The targets of a DfuSe image, each with its heading and its listed elements, the
// engine's overrun findings as marks; none for a file without one.
std::vector<MapTarget> MapTargetsOf(const KorvexDfuLayout& layout, const std::wstring& bytesWord)
{
    std::vector<MapTarget> targets;
    if ((layout.flags & KORVEX_DFU_DFUSE) == 0) return targets;
    targets.reserve(layout.targetCount);
    for (std::uint32_t t = 0; t < layout.targetCount; ++t) {
        const KorvexDfuTarget& target = *KorvexDfuTargetAt(&layout, t);
        MapTarget map;
        map.elements.reserve(target.listedElementCount);
        std::uint64_t bytes = 0;
        for (std::uint32_t e = 0; e < target.listedElementCount; ++e) {
            const KorvexDfuElement* element = KorvexDfuElementAt(&target, e);
            map.elements.push_back({element->address, element->length, 0});
            bytes += element->length;
        }
        map.heading = HeadingOf(target, bytes, bytesWord);
        targets.push_back(std::move(map));
    }
    for (std::uint32_t f = 0; f < layout.findingCount; ++f) {
        const KorvexDfuFinding* finding = KorvexDfuFindingAt(&layout, f);
        const bool overrun = finding->kind == KORVEX_FINDING_ELEMENT_OVERRUNS_TARGET ||
                             finding->kind == KORVEX_FINDING_ELEMENT_OVERRUNS_IMAGE;
        if (overrun && finding->target < targets.size() && finding->element < targets[finding->target].elements.size())
            targets[finding->target].elements[finding->element].marks |= kMapOverrun;
    }
    return targets;
}

}  // namespace

PreviewContent PreviewContentOf(const KorvexDfuLayout* layout, const std::wstring& fileName)
{
    PreviewContent content;
    content.title = fileName.empty() ? LoadResString(IDS_PREVIEW_TITLE) : fileName;
    content.words = {LoadResString(IDS_PREVIEW_BYTES), LoadResString(IDS_PREVIEW_ELEMENTS),
                     LoadResString(IDS_PREVIEW_GAP), LoadResString(IDS_PREVIEW_OVERLAP),
                     LoadResString(IDS_PREVIEW_OVERRUN)};
    content.moreTargets = LoadResString(IDS_PREVIEW_MORE_TARGETS);
    if (layout == nullptr) {
        content.verdict = LoadResString(IDS_VERDICT_UNREADABLE);
        return content;
    }
    content.valid = layout->verdict == KORVEX_DFU_VALID;
    content.verdict = VerdictOf(*layout);
    if (layout->verdict == KORVEX_DFU_NOT_ON_THIS_DEVICE) {
        // The lines of the numbers and the version, which the file could not give, say why
        // there is nothing more and how the user gets it.
        content.elsewhere = true;
        content.numbers = LoadResString(IDS_PREVIEW_CONTENT_ELSEWHERE);
        content.version = LoadResString(IDS_PREVIEW_BRING_HERE);
        return content;
    }
    // A file refused before its suffix was read states no numbers.
    if (layout->verdict == KORVEX_DFU_VALID || layout->verdict == KORVEX_DFU_CRC_MISMATCH) {
        std::vector<std::wstring> numbers;
        if (layout->vendor != KORVEX_NOT_STATED)
            numbers.push_back(FormatResString(IDS_PREVIEW_VENDOR, {unsigned{layout->vendor}}));
        if (layout->product != KORVEX_NOT_STATED)
            numbers.push_back(FormatResString(IDS_PREVIEW_PRODUCT, {unsigned{layout->product}}));
        if (layout->release != KORVEX_NOT_STATED)
            numbers.push_back(FormatResString(IDS_PREVIEW_RELEASE, {unsigned{layout->release}}));
        content.numbers = Joined(numbers);
        const std::wstring version = DfuVersionText(layout->dfuVersion);
        if ((layout->flags & KORVEX_DFU_DFUSE) != 0)
            content.version = FormatResString(IDS_PREVIEW_DFUSE, {version, unsigned{layout->targetCount}});
        else
            content.version = FormatResString(
                IDS_PREVIEW_PLAIN, {version, SizeText(layout->fileSize - layout->suffixLength, content.words.bytes)});
    }
    content.targets = MapTargetsOf(*layout, content.words.bytes);
    return content;
}

}  // namespace orrelin
