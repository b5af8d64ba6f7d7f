// The library's module state: which module's resources string loads read from. The shell's
// calls run inside a ModuleStateGuard, so they read this library's string table whatever
// module the host thread had current; on every exit the caller's state comes back.
#pragma once

#include <windows.h>

namespace orrelin {

// The module this code is linked into (the DLL in the product, the test program in tests).
HMODULE ThisModule() noexcept;

// The module whose resources the calling thread reads now: the one a guard made current,
// else the process's own executable, as for any code outside a guard.
HMODULE CurrentResourceModule() noexcept;

class ModuleStateGuard {
public:
    // Makes `module` (this library by default) current for the thread and activates its
    // activation context, when it carries a manifest.
    explicit ModuleStateGuard(HMODULE module = ThisModule()) noexcept;
    ~ModuleStateGuard();
    ModuleStateGuard(const ModuleStateGuard&) = delete;
    ModuleStateGuard& operator=(const ModuleStateGuard&) = delete;

private:
    HMODULE m_previous;
    bool m_activated = false;
    ULONG_PTR m_cookie = 0;
};

// Releases this library's activation context; for the library's process detach.
void ReleaseModuleActivationContext() noexcept;

}  // namespace orrelin
