// The data of a script's values converted to the bytes the registry stores: pure text
// conversions, with the result codes the language gives their faults.
#pragma once

#include "reg_types.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace orrelin::regscript {

// "B" data: pairs of hexadecimal digits, the first giving the high four bits; any other
// character counts as 0. E_FAIL for an odd number of characters.
HResult BinaryFromText(std::u16string_view data, std::vector<std::uint8_t>* bytes);
// "M" data: every backslash followed by the digit zero ends a string, two terminators are
// added; `bytes` counts up to and including the first empty string.
HResult MultiStringFromText(std::u16string_view data, std::vector<char16_t>* strings, std::uint32_t* bytes);
// "D" data without the platform's conversion: unsigned decimal digits only, up to
// 4294967295; DISP_E_TYPEMISMATCH for anything that is not a number, DISP_E_OVERFLOW for a
// number that does not fit, as VarUI4FromStr answers.
HResult DecimalNumberFromText(std::u16string_view text, std::uint32_t* value) noexcept;

}  // namespace orrelin::regscript
