// Starting a tools command: the one road from a menu's choice to the command's work, taken by
// the classic tools menu and by the Windows 11 menu's commands alike.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tools_menu.h"

namespace orrelin {

// Starts `command` on `paths` off the caller's thread; its dialogs and message boxes are
// owned by `owner` (may be null). `quiet`: the invoker asked for no UI, so nothing asks the
// user and "Make DFU file..." makes nothing (ERROR_CANCELLED). E_INVALIDARG when the
// selection does not offer the command.
HRESULT StartToolCommand(ToolCommand command, const std::vector<std::wstring>& paths, HWND owner, bool quiet);

}  // namespace orrelin
