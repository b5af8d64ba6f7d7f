#include "preview_content.h"

#include "dfu_words.h"
#include "handles.h"
#include "resource.h"
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

std::wstring HeadingOf(const MapTarget& target)
{
    const std::wstring name =
        target.named ? FormatResString(IDS_PREVIEW_TARGET, {unsigned{target.alternateSetting}, target.name})
                     : FormatResString(IDS_PREVIEW_TARGET_UNNAMED, {unsigned{target.alternateSetting}});
    std::uint64_t bytes = 0;
    for (const MapElement& element : target.elements) bytes += element.length;
    return FormatResString(IDS_PREVIEW_TARGET_SUMMARY,
                           {name, unsigned{target.elementCount}, SizeText(bytes, LoadResString(IDS_PREVIEW_BYTES))});
}

}  // namespace

PreviewContent PreviewContentOf(const KorvexDfuLayout* layout, const std::wstring& title)
{
    PreviewContent content;
    content.title = title;
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
                IDS_PREVIEW_PLAIN,
                {version, SizeText(layout->fileSize - layout->suffixLength, LoadResString(IDS_PREVIEW_BYTES))});
    }
    content.targets = MapTargetsOf(*layout);
    for (const MapTarget& target : content.targets) content.headings.push_back(HeadingOf(target));
    return content;
}

}  // namespace orrelin
