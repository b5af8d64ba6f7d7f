#include "long_paths.h"

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

}  // namespace korvex
