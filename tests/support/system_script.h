// REGISTRY 102 as the library stores it and the registrar applies it. The build takes the
// bytes from resources/Orrelin.rgs, so every test that reads or runs it sees the one stored
// script.
#pragma once

#include "system_script_bytes.h"

#include <string_view>

namespace orrelin::test {

inline constexpr std::string_view kSystemScript(kSystemScriptBytes, sizeof kSystemScriptBytes - 1);

}  // namespace orrelin::test
