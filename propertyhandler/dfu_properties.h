// The properties of a .dfu file as the Details view, the Details pane and search show them:
// plain values taken from the engine's layout, without any COM types.
#pragma once

#include <windows.h>
#include <propsys.h>

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "KorvexLayout.h"

namespace orrelin {

// Our own properties share one format identifier; the schema (Orrelin.propdesc) names them
// "Orrelin.Dfu.*" with these property identifiers.
extern const GUID kDfuPropertyFormat;
extern const PROPERTYKEY kDfuVendorId;     // text, as the info tip writes it
extern const PROPERTYKEY kDfuProductId;    // text, as the info tip writes it
extern const PROPERTYKEY kDfuRelease;      // text, as the info tip writes it
extern const PROPERTYKEY kDfuVersion;      // text, "1.0" or "1.1a"
extern const PROPERTYKEY kDfuTargetCount;  // number, DfuSe images only
extern const PROPERTYKEY kDfuTargetNames;  // list of texts, DfuSe images only
extern const PROPERTYKEY kDfuImageSize;    // number of bytes of firmware
extern const PROPERTYKEY kDfuVerdict;      // text, always present
extern const PROPERTYKEY kSystemComment;   // System.Comment

using PropertyValue = std::variant<std::wstring, std::uint32_t, std::uint64_t, std::vector<std::wstring>>;

struct DfuProperty {
    PROPERTYKEY key;
    PropertyValue value;
};

// The properties of `layout`, in the order the store answers them. Only the verdict for a
// file that is not valid; a valid file adds the numbers it states, its DfuSe targets, its
// firmware size and the comment exactly as the info tip shows it. Texts come from the
// string table of the current resource module.
std::vector<DfuProperty> DfuPropertiesOf(const KorvexDfuLayout& layout);

// The properties of a file the engine could not read at all.
std::vector<DfuProperty> UnreadableDfuProperties();

}  // namespace orrelin
