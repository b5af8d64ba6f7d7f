#include "case_fold.h"

#include <algorithm>
#include <array>

namespace orrelin::regscript {

namespace {

constexpr char16_t FoldOne(char16_t c) noexcept
{
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
    // Latin-1 small letters, except the division sign; ÿ's capital lies elsewhere.
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF) return 0x178;
    return c;
}

// Names are compared character by character on every registry lookup: one look-up in a
// table instead of a chain of range tests.
constexpr std::array<char16_t, 0x100> kFoldedLatin1 = [] {
    std::array<char16_t, 0x100> table{};
    for (std::size_t c = 0; c < table.size(); ++c) table[c] = FoldOne(static_cast<char16_t>(c));
    return table;
}();

inline char16_t Fold(char16_t c) noexcept
{
    return c < kFoldedLatin1.size() ? kFoldedLatin1[c] : c;
}

}  // namespace

char16_t FoldCase(char16_t c) noexcept
{
    return Fold(c);
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) noexcept
{
    const std::size_t common = std::min(a.size(), b.size());
    const char16_t* left = a.data();
    const char16_t* right = b.data();
    for (std::size_t i = 0; i < common; ++i) {
        if (left[i] == right[i]) continue;
        const char16_t x = Fold(left[i]);
        const char16_t y = Fold(right[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) noexcept
{
    return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

}  // namespace orrelin::regscript
