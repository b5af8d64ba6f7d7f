// What the Windows 11 menu command decides, apart from COM: the one selected file, whether
// the command is shown for it (from memory alone, or by checking), and the start of the
// wizard for one download target.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <string>

#include "download_targets.h"

namespace orrelin {

// S_OK with the file system path of the only item; E_INVALIDARG when there is no array, it
// holds no item or more than one, or the item has no file system path. Reads no file.
HRESULT SingleSelectedPath(IShellItemArray* items, std::wstring& path);

enum class CommandVisibility { kShown, kHidden, kUnknown };

// From memory alone, touching no file and no device: hidden when the engine remembers
// refusing the file; shown when it remembers accepting it and the wizard was there at the
// last check; else unknown.
CommandVisibility VisibilityFromMemory(const std::wstring& path);
// By checking, as the classic menu does before it adds its entries: shown when the wizard is
// beside this library and the engine accepts the file. Remembers what it found of the wizard.
CommandVisibility VisibilityByCheck(const std::wstring& path);

// The number of download targets: 1 when no serial port and no device is present.
size_t DownloadTargetCount();

// Starts the wizard for `target` and `file` with the classic entry's command line. A failed
// start is told to the user in a warning owned by `owner` (may be null), as the classic menu
// tells it, and the answer is then S_OK.
HRESULT StartDownload(const DownloadTargetEntry& target, const std::wstring& file, HWND owner);

// The window a command's site names, for owning a warning; null when there is none.
HWND SiteWindow(IUnknown* site) noexcept;

}  // namespace orrelin
