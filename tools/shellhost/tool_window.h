// The windows the tools menu opens, seen as a user sees them: the command chosen from the
// registered context-menu handler for a selection, its window found on screen, filled in as
// a user would, saved as a picture and closed again.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

enum class ToolWindow {
    kMakeDialog,  // "Make DFU file..." on firmware files, filled with example values
    kComparison,  // "Compare" on two .dfu files
};

// Carries out the command on `files` (all in one folder) and saves its window as a PNG file.
// 0 done; 1 the command or its window did not come, or the picture could not be written;
// 2 no handler is registered for these files.
int PictureToolWindow(ToolWindow which, const std::vector<std::wstring>& files, const std::wstring& png);
