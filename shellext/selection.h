// The one file the shell selected, read from a selection's data object.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <string>
#include <vector>

namespace orrelin {

// S_OK with `path` set to the whole path of the only selected file; E_INVALIDARG, with
// `path` unchanged, when the data object delivers no drop list, its memory cannot be locked,
// the selection holds no file or more than one, or the path cannot be read. The storage
// medium, once obtained, is released on every path.
HRESULT ReadSingleSelectedFile(IDataObject* data, std::wstring& path);

// S_OK with `paths` set to the whole path of every selected file, in the drop list's order;
// E_INVALIDARG, with `paths` unchanged, on the same faults, or when the selection holds no file.
HRESULT ReadSelectedFiles(IDataObject* data, std::vector<std::wstring>& paths);

}  // namespace orrelin
