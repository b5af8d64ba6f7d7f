// The window that shows a comparison of two .dfu files: the text, selectable and copyable.
#pragma once

#include <windows.h>

#include <string>

namespace orrelin {

// Shows text (lines ending in \n) in a read-only window owned by owner, with caption, and
// runs its message loop on this thread until the user closes it.
void ShowCompareWindow(HWND owner, const std::wstring& caption, const std::wstring& text);

}  // namespace orrelin
