// The info tip of a .dfu file: what kind of file it is, its name, size and date, the USB
// numbers it states and its comment.
#pragma once

#include <windows.h>

#include <string>

namespace orrelin {

// Builds the info tip of the file at `path` from the string table of the current module and
// hands it over in memory of the shell's allocator (`*out`, set only on S_OK). E_FAIL when
// the engine does not accept the file, the file cannot be opened for reading with writers
// denied, its status cannot be read or the allocator cannot be had; E_OUTOFMEMORY when the
// allocator gives no block. The file stays open, with writers denied, until the text has
// been handed over, so everything it says is true of one and the same file.
HRESULT WriteInfoTip(const std::wstring& path, wchar_t** out);

// The long date and time of the current locale for a modification time; empty when the
// time cannot be converted or the text does not fit in 128 characters.
std::wstring InfoTipDate(__time64_t modified);

// Hands `text` to the shell in memory of the shell's allocator, which the shell frees.
HRESULT CopyToShellMemory(const std::wstring& text, wchar_t** out);

}  // namespace orrelin
