// Case-insensitive comparison of names and words, folding to upper case as the registry
// does. The language's own words are ASCII; the letters of Latin-1 fold too, so the
// in-memory registry sees one name where Windows sees one.
#pragma once

#include <string_view>

namespace orrelin::regscript {

char16_t FoldCase(char16_t c) noexcept;
bool EqualsNoCase(std::u16string_view a, std::u16string_view b) noexcept;
// <0, 0, >0 as the folded names order.
int CompareNoCase(std::u16string_view a, std::u16string_view b) noexcept;

}  // namespace orrelin::regscript
