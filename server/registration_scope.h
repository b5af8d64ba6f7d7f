// Whose registration a call makes: the machine's, or the current user's own. The export that
// registers decides once and passes the scope down to every class, the type library and the
// handlers' own entries; nothing else in the process changes.
#pragma once

#include <windows.h>

#include "handles.h"

class RegistrationScope {
public:
    // HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE: what an administrator registers.
    static RegistrationScope Machine() noexcept;
    // HKEY_CURRENT_USER\Software\Classes (created when missing) and HKEY_CURRENT_USER: what a
    // user registers without administrator rights. status() says whether the key opened.
    static RegistrationScope User() noexcept;

    RegistrationScope(RegistrationScope&&) noexcept = default;
    RegistrationScope(const RegistrationScope&) = delete;
    RegistrationScope& operator=(const RegistrationScope&) = delete;

    HRESULT status() const noexcept { return m_status; }
    bool ForUser() const noexcept { return m_forUser; }
    // Where class, ProgID, file type and type library keys go.
    HKEY ClassesRoot() const noexcept { return m_forUser ? m_userClasses.get() : HKEY_CLASSES_ROOT; }
    // Where the system's lists (approved extensions, preview handlers) are read from.
    HKEY ListsRoot() const noexcept { return m_forUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

private:
    RegistrationScope() noexcept = default;

    bool m_forUser = false;
    HRESULT m_status = S_OK;
    orrelin::UniqueHKey m_userClasses;
};
