// 8-bit text of a .dfu file as wide text.
#pragma once

#include <string>

namespace korvex {

// Target names (and so the comment) are 8-bit text in the system's ANSI code page; empty
// when the text cannot be converted.
std::wstring AnsiToWide(const std::string& text);

}  // namespace korvex
