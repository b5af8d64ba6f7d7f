// One text form of registry keys and values, shared by the in-memory registry and the tests
// that read the real registry back, so whole trees can be compared as text.
//
//   HKCR\Orrelin.DFUShellExt
//     @ = REG_SZ "DFUShellExt Class\0"
//     ThreadingModel = REG_SZ "Apartment\0"
//
// A key's line is its full path; its values follow, the default value (@) first, then by
// name. Texts show every UTF-16 unit, a NUL as \0, so byte counts are part of the picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orrelin::regscript {

// ASCII as it is; backslash and double quote escaped; NUL as \0; anything else as \uXXXX.
std::string EscapeText(std::u16string_view text);
// A key's full path with its separators as they are, the names escaped as above.
std::string EscapeKeyPath(std::u16string_view path);
std::string FormatKeyLine(std::u16string_view path);
// An empty name is the default value (@).
std::string FormatValueLine(std::u16string_view name, std::uint32_t type, const std::uint8_t* data, std::size_t size);

}  // namespace orrelin::regscript
