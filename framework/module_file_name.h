// The file name of a loaded module, whole or not at all.
#pragma once

#include <windows.h>

#include <string>

namespace orrelin {

// S_OK with the full file name of `module` (null: the process's executable). A name that fills
// the whole MAX_PATH buffer was cut short and would name another file: that answers
// HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER) and leaves `name` empty.
HRESULT GetModuleFileNameWhole(HMODULE module, std::wstring& name) noexcept;

}  // namespace orrelin
