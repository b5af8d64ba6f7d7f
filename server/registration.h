// Registration helpers the module object's class registration uses.
#pragma once

#include <windows.h>

#include "module.h"

// Registers (or removes) the component categories a class implements or requires.
HRESULT UpdateClassCategories(REFCLSID classId, const CategoryMapEntry* categories, BOOL doRegister) noexcept;

// For its lifetime the registration of this process is the current user's own: the
// predefined HKEY_CLASSES_ROOT of the process names HKEY_CURRENT_USER\Software\Classes, so
// the registry scripts, the component categories and the type library land there and
// nothing is written for the machine; the type library is registered for the user. The
// override holds for every thread of the process, so it suits the programs that register
// (regsvr32, a setup program), not a host that runs the extension.
class PerUserRegistration {
public:
    PerUserRegistration() noexcept;
    ~PerUserRegistration();
    PerUserRegistration(const PerUserRegistration&) = delete;
    PerUserRegistration& operator=(const PerUserRegistration&) = delete;

    // S_OK once the user's classes key is open and the override in place.
    HRESULT status() const noexcept { return m_status; }

private:
    HRESULT m_status = E_FAIL;
};

// True while a PerUserRegistration is in place.
bool IsPerUserRegistration() noexcept;
