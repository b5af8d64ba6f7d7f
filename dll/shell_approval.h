// The shell's list of approved extensions: the entry that lets the shell load ours.
#pragma once

#include <windows.h>

// Writes the approval value of the shell extension class. The list's key is opened, never
// created: without the rights to write it (no administrator) this fails with E_ACCESSDENIED.
// S_OK on systems outside the NT family, which have no such list.
HRESULT ApproveShellExtension() noexcept;

// Removes the approval value again, if it can; never fails.
void WithdrawShellExtensionApproval() noexcept;

// The same approval in the current user's own list, which is created when missing. On
// withdrawal the user's list and its parent go again once nothing else is left in them.
HRESULT ApproveShellExtensionForUser() noexcept;
void WithdrawShellExtensionApprovalForUser() noexcept;
