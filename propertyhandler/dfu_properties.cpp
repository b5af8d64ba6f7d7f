#include "dfu_properties.h"

#include "dfu_words.h"
#include "resource.h"
#include "string_table.h"

namespace orrelin {

// {02ACB3C5-4466-442C-82E7-5035D5436E1C}
const GUID kDfuPropertyFormat = {0x02ACB3C5, 0x4466, 0x442C, {0x82, 0xE7, 0x50, 0x35, 0xD5, 0x43, 0x6E, 0x1C}};
const PROPERTYKEY kDfuVendorId = {kDfuPropertyFormat, 2};
const PROPERTYKEY kDfuProductId = {kDfuPropertyFormat, 3};
const PROPERTYKEY kDfuRelease = {kDfuPropertyFormat, 4};
const PROPERTYKEY kDfuVersion = {kDfuPropertyFormat, 5};
const PROPERTYKEY kDfuTargetCount = {kDfuPropertyFormat, 6};
const PROPERTYKEY kDfuTargetNames = {kDfuPropertyFormat, 7};
const PROPERTYKEY kDfuImageSize = {kDfuPropertyFormat, 8};
const PROPERTYKEY kDfuVerdict = {kDfuPropertyFormat, 9};
// System.Comment, {F29F85E0-4FF9-1068-AB91-08002B27B3D9} 6.
const PROPERTYKEY kSystemComment = {{0xF29F85E0, 0x4FF9, 0x1068, {0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9}}, 6};

std::vector<DfuProperty> DfuPropertiesOf(const KorvexDfuLayout& layout)
{
    std::vector<DfuProperty> properties;
    if (layout.verdict != KORVEX_DFU_VALID) {
        properties.push_back({kDfuVerdict, LoadResString(VerdictTextId(layout))});
        return properties;
    }
    if (layout.vendor != KORVEX_NOT_STATED)
        properties.push_back({kDfuVendorId, FormatResString(IDS_PROPERTY_NUMBER, {unsigned{layout.vendor}})});
    if (layout.product != KORVEX_NOT_STATED)
        properties.push_back({kDfuProductId, FormatResString(IDS_PROPERTY_NUMBER, {unsigned{layout.product}})});
    if (layout.release != KORVEX_NOT_STATED)
        properties.push_back({kDfuRelease, FormatResString(IDS_PROPERTY_RELEASE, {unsigned{layout.release}})});
    properties.push_back({kDfuVersion, DfuVersionText(layout.dfuVersion)});

    // A plain DFU file is all firmware up to its suffix; a DfuSe image's firmware is its
    // elements' data.
    std::uint64_t imageSize = layout.fileSize - layout.suffixLength;
    std::wstring comment;
    if ((layout.flags & KORVEX_DFU_DFUSE) != 0) {
        imageSize = 0;
        std::vector<std::wstring> names;
        bool commentTaken = false;
        for (std::uint32_t t = 0; t < layout.targetCount; ++t) {
            const KorvexDfuTarget* target = KorvexDfuTargetAt(&layout, t);
            // The info tip's comment is the first named target's name, even an empty one.
            if (target->named != 0 && !commentTaken) {
                comment = target->wideName;
                commentTaken = true;
            }
            names.push_back(target->named != 0
                                ? std::wstring(target->wideName)
                                : FormatResString(IDS_PROPERTY_UNNAMED_TARGET, {unsigned{target->alternateSetting}}));
            for (std::uint32_t e = 0; e < target->listedElementCount; ++e)
                imageSize += KorvexDfuElementAt(target, e)->length;
        }
        properties.push_back({kDfuTargetCount, std::uint32_t{layout.targetCount}});
        if (!names.empty()) properties.push_back({kDfuTargetNames, std::move(names)});
    }
    properties.push_back({kDfuImageSize, imageSize});
    properties.push_back({kDfuVerdict, LoadResString(VerdictTextId(layout))});
    if (!comment.empty()) properties.push_back({kSystemComment, comment});
    return properties;
}

std::vector<DfuProperty> UnreadableDfuProperties()
{
    return {{kDfuVerdict, LoadResString(IDS_VERDICT_UNREADABLE)}};
}

}  // namespace orrelin
