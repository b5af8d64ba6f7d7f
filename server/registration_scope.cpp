#include "registration_scope.h"

RegistrationScope RegistrationScope::Machine() noexcept
{
    return RegistrationScope();
}

RegistrationScope RegistrationScope::User() noexcept
{
    RegistrationScope scope;
    scope.m_forUser = true;
    const LONG created = RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_ALL_ACCESS, nullptr, scope.m_userClasses.put(), nullptr);
    scope.m_status = HRESULT_FROM_WIN32(created);
    return scope;
}
