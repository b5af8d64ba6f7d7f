#include "dfu_words.h"

#include "resource.h"

namespace orrelin {

UINT VerdictTextId(const KorvexDfuLayout& layout) noexcept
{
    switch (layout.verdict) {
    case KORVEX_DFU_VALID:
        return IDS_VERDICT_VALID;
    case KORVEX_DFU_TOO_SHORT:
        return IDS_VERDICT_TOO_SHORT;
    case KORVEX_DFU_NO_SUFFIX:
        return IDS_VERDICT_NO_SUFFIX;
    case KORVEX_DFU_UNKNOWN_VERSION:
        return IDS_VERDICT_UNKNOWN_VERSION;
    case KORVEX_DFU_BAD_SUFFIX_LENGTH:
        return IDS_VERDICT_BAD_SUFFIX_LENGTH;
    case KORVEX_DFU_CRC_MISMATCH:
        return (layout.flags & KORVEX_DFU_CRC_WITHOUT_LPC_PREFIX) != 0 ? IDS_VERDICT_CRC_LPC_PREFIX
                                                                       : IDS_VERDICT_CRC_MISMATCH;
    case KORVEX_DFU_NOT_ON_THIS_DEVICE:
        return IDS_VERDICT_NOT_ON_THIS_DEVICE;
    default:
        return IDS_VERDICT_UNREADABLE;
    }
}

std::wstring DfuVersionText(std::uint16_t bcd)
{
    std::wstring text = std::to_wstring(bcd >> 8) + L"." + std::to_wstring((bcd >> 4) & 0xF);
    if ((bcd & 0xF) != 0) text += L"0123456789abcdef"[bcd & 0xF];
    return text;
}

}  // namespace orrelin
