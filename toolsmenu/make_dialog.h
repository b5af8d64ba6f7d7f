// "Make DFU file…": the dialog that asks how to make a .dfu file from firmware, and the make.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "make_request.h"
#include "work_progress.h"

namespace orrelin {

// Shows the dialog for these inputs; S_OK with `request` filled when the user pressed
// OK (and confirmed replacing an existing output), S_FALSE when cancelled.
HRESULT ShowMakeDfuDialog(HWND owner, const std::vector<std::wstring>& inputs, MakeRequest& request);

// Makes the file `request` describes, written the safe way (temporary file beside,
// renamed into place when complete); on failure `error` says what and where. A cancelled
// make answers HRESULT_FROM_WIN32(ERROR_CANCELLED) and leaves nothing behind.
HRESULT MakeDfuFile(const MakeRequest& request, WorkProgress& progress, std::wstring& error);

}  // namespace orrelin
