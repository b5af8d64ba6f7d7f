// The download entries of the context menu, one per download target, built over the shell
// extension object's two lists so they can be exercised without the COM machinery.
#pragma once

#include <windows.h>

#include <string>

#include "string_list.h"

namespace orrelin {

// Empties both lists, then adds one entry per download target to `menu` and records its
// command line and help text at its command offset. Returns the number of entries added.
HRESULT BuildDownloadMenu(const std::wstring& selectedPath, StringList& commandLines, StringList& helpTexts, HMENU menu,
                          UINT index, UINT firstId, UINT lastId, UINT flags);

}  // namespace orrelin
