// The shell's list of approved extensions: the entry that lets the shell load ours.
#pragma once

#include <windows.h>

#include "registration_scope.h"

// Writes the approval value of the shell extension class. S_OK on systems outside the NT
// family, which have no such list.
// - For the machine the list's key is opened, never created: without the rights to write
//   it (no administrator) this fails with E_ACCESSDENIED.
// - For the user, the user's own list is created when missing.
HRESULT ApproveShellExtension(const RegistrationScope& scope) noexcept;

// Removes the approval value again, if it can; never fails. The user's own list and its
// parent go too once nothing else is left in them.
void WithdrawShellExtensionApproval(const RegistrationScope& scope) noexcept;
