#include "long_paths.h"

#if defined(_WIN32)
#  include <windows.h>

#  include <cwchar>
#  include <vector>
#endif

namespace korvex {

std::wstring ExtendedLengthPath(const std::wstring& fullPath)
{
    if (fullPath.size() < kClassicPathLimit || fullPath.compare(0, 4, L"\\\\?\\") == 0 ||
        fullPath.compare(0, 4, L"\\\\.\\") == 0)
        return fullPath;
    // The extended form is passed on without normalisation, so only a full path with
    // backslashes qualifies.
    if (fullPath.size() >= 3 && fullPath[1] == L':' && fullPath[2] == L'\\') return L"\\\\?\\" + fullPath;
    if (fullPath.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + fullPath.substr(2);
    return fullPath;
}

#if defined(_WIN32)
std::wstring PathToOpen(const wchar_t* path)
{
    if (std::wcslen(path) < kClassicPathLimit) return path;
    const DWORD needed = GetFullPathNameW(path, 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::vector<wchar_t> full(needed + 1, L'\0');
    const DWORD length = GetFullPathNameW(path, static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size()) return path;
    return ExtendedLengthPath(std::wstring(full.data(), length));
}
#endif

}  // namespace korvex
