#include "reg_types.h"
#include "registry_access.h"

#include <algorithm>

namespace orrelin::regscript {

char16_t FoldCase(char16_t c) noexcept
{
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
    // Latin-1 small letters, except the division sign; ÿ's capital lies elsewhere.
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF) return 0x178;
    return c;
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) noexcept
{
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const char16_t x = FoldCase(a[i]);
        const char16_t y = FoldCase(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) noexcept
{
    return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

HResult DecimalNumberFromText(std::u16string_view text, std::uint32_t* value) noexcept
{
    if (text.empty()) return kDispETypeMismatch;
    std::uint64_t number = 0;
    bool overflow = false;
    for (const char16_t c : text) {
        if (c < u'0' || c > u'9') return kDispETypeMismatch;
        number = number * 10 + static_cast<std::uint64_t>(c - u'0');
        if (number > 0xFFFFFFFFu) {
            overflow = true;
            number = 0xFFFFFFFFu;  // keeps the arithmetic bounded for long digit runs
        }
    }
    if (overflow) return kDispEOverflow;
    *value = static_cast<std::uint32_t>(number);
    return kSOk;
}

HResult Registry::NumberFromText(const char16_t* text, std::uint32_t* value)
{
    return DecimalNumberFromText(text ? std::u16string_view(text) : std::u16string_view(), value);
}

}  // namespace orrelin::regscript
