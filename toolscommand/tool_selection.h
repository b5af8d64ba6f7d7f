// What the Windows 11 menu's tools commands read of a selection: the names of the selected
// files alone, so that every answer can be given at once on the shell's UI thread.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <string>
#include <vector>

#include "tools_menu.h"

namespace orrelin {

// The file system paths of every selected item, in order. Reads no file. E_INVALIDARG when
// there is no array, it is empty, or an item has no file system path.
HRESULT SelectedPaths(IShellItemArray* items, std::vector<std::wstring>& paths);

// Whether the classic tools menu offers `command` for this selection.
bool SelectionOffers(IShellItemArray* items, ToolCommand command);

// The state of an entry that stands for `offered`: enabled when the selection offers any of
// them, hidden otherwise.
HRESULT ToolEntryState(IShellItemArray* items, std::initializer_list<ToolCommand> offered, EXPCMDSTATE* state);

// Starts `command` on the selection as the classic tools menu's choice starts it, its
// dialogs owned by the window the site names.
HRESULT InvokeTool(ToolCommand command, IShellItemArray* items, IUnknown* site);

}  // namespace orrelin
