// The real registry read back in the text form of registry_dump.h, names in the order the
// in-memory registry keeps them, so the two can be compared as a whole.
#pragma once

#include <windows.h>

#include <string>

namespace orrelin::regscript::test {

// `key` and everything under it, its line showing `displayPath`.
std::string DumpRealKey(HKEY key, const std::u16string& displayPath);

}  // namespace orrelin::regscript::test
