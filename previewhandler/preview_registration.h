// The parts of the preview handler's registration that its registry script cannot say: the
// .dfu file type's one preview handler entry, which may belong to another program, the
// system's list of preview handlers, and which surrogate host loads this build.
#pragma once

#include <windows.h>

class RegistrationScope;

namespace orrelin {

// HKCR\dfufile\shellex\{8895b1c6-b41f-4c1c-a562-0d564250836f}: the file type's preview handler.
extern const wchar_t kDfuPreviewEntryKey[];
// Under HKLM (HKCU for a user's own registration): value CLSID = display name.
extern const wchar_t kPreviewHandlerListKey[];

// The AppID of the preview host that loads a library of this build's bitness: the 32-bit
// host on 64-bit Windows runs 32-bit handlers, the native one every other.
const wchar_t* PreviewHostAppId() noexcept;

// The entry under the scope's classes, the list under its lists root (HKLM or HKCU).
HRESULT RegisterPreviewHandlerEntries(const RegistrationScope& scope, REFCLSID classId,
                                      const wchar_t* displayName) noexcept;
// Removes only what names `classId`; goes on past a failure and reports the first.
HRESULT UnregisterPreviewHandlerEntries(const RegistrationScope& scope, REFCLSID classId) noexcept;

}  // namespace orrelin
