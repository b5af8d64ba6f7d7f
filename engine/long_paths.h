// Paths longer than the classic Windows limit. The shell hands over a file's whole path
// however long; the engine opens such a path in its extended form.
#pragma once

#include <cstddef>
#include <string>

namespace korvex {

// MAX_PATH: paths of this many characters or more fail unless written in extended form.
constexpr std::size_t kClassicPathLimit = 260;

// A full path of at least kClassicPathLimit characters in the form that lifts the limit:
// "\\?\C:\..." for a drive path, "\\?\UNC\server\share\..." for a network path. Short
// paths, paths already in extended or device form, and anything else come back unchanged.
std::wstring ExtendedLengthPath(const std::wstring& fullPath);

#if defined(_WIN32)
// The path to hand the system: as given while it is short, else its full form, extended.
std::wstring PathToOpen(const wchar_t* path);
#endif

}  // namespace korvex
