// A path's folder and leaf: the one split the library and its tools use.
#pragma once

#include <string>

namespace orrelin {

struct PathParts {
    std::wstring folder;  // up to and including the last separator; empty when there is none
    std::wstring leaf;    // what follows it
};

// Separators are the backslash, the slash and a drive's colon.
inline PathParts SplitPath(const std::wstring& path)
{
    const size_t separator = path.find_last_of(L"\\/:");
    if (separator == std::wstring::npos) return {std::wstring(), path};
    return {path.substr(0, separator + 1), path.substr(separator + 1)};
}

}  // namespace orrelin
