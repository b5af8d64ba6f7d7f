// The parts of the property handler's registration that a registry script cannot say: the
// machine's one handler entry for .dfu, which may belong to another program, and the
// property schema installed beside the library.
#pragma once

#include <windows.h>

namespace orrelin {

// HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\PropertySystem\PropertyHandlers\.dfu
extern const wchar_t kDfuPropertyHandlerKey[];

// Names `classId` as the handler of .dfu files, unless another handler is named there: a
// user keeps the handler another program installed.
HRESULT RegisterPropertyHandlerEntry(REFCLSID classId) noexcept;
// Removes the entry only while it names `classId`, and the key only when nothing else is in it.
HRESULT UnregisterPropertyHandlerEntry(REFCLSID classId) noexcept;

// Registers Orrelin.propdesc from the library's folder; fails when the file is not there.
HRESULT RegisterPropertySchema() noexcept;
// Unregisters it; nothing to do when the file is not there.
HRESULT UnregisterPropertySchema() noexcept;

}  // namespace orrelin
