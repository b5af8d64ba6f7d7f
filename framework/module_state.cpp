#include "module_state.h"

#include "handles.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace orrelin {
namespace {

// The current module of each thread lives in a thread slot of the system's, taken on first
// use and given back when this module goes (its static objects are destroyed after
// DllMain's detach). Not thread_local: the toolchain emulates that with a slot and a
// semaphore per loaded copy that are never given back, and a host that loads and frees
// the library again and again would run out of slots.
constexpr DWORD kSlotReleased = TLS_OUT_OF_INDEXES - 1;
LONG volatile g_slot = static_cast<LONG>(TLS_OUT_OF_INDEXES);

DWORD Slot() noexcept
{
    const DWORD slot = static_cast<DWORD>(g_slot);
    if (slot != TLS_OUT_OF_INDEXES) return slot == kSlotReleased ? TLS_OUT_OF_INDEXES : slot;
    const DWORD created = TlsAlloc();
    if (created == TLS_OUT_OF_INDEXES) return created;
    const DWORD previous = static_cast<DWORD>(
        InterlockedCompareExchange(&g_slot, static_cast<LONG>(created), static_cast<LONG>(TLS_OUT_OF_INDEXES)));
    if (previous == TLS_OUT_OF_INDEXES) return created;
    // Another thread took the slot first, or the module is going.
    TlsFree(created);
    return previous == kSlotReleased ? TLS_OUT_OF_INDEXES : previous;
}

struct SlotRelease {
    ~SlotRelease()
    {
        const DWORD slot = static_cast<DWORD>(InterlockedExchange(&g_slot, static_cast<LONG>(kSlotReleased)));
        if (slot != TLS_OUT_OF_INDEXES && slot != kSlotReleased) TlsFree(slot);
    }
} g_slotRelease;

// Without a slot no guard takes effect: strings come from the process's own executable.
HMODULE CurrentModuleOfThread() noexcept
{
    const DWORD slot = Slot();
    if (slot == TLS_OUT_OF_INDEXES) return nullptr;
    // TlsGetValue clears the last error; a caller may still be about to read it.
    const DWORD lastError = GetLastError();
    const auto module = static_cast<HMODULE>(TlsGetValue(slot));
    SetLastError(lastError);
    return module;
}

void SetCurrentModuleOfThread(HMODULE module) noexcept
{
    const DWORD slot = Slot();
    if (slot != TLS_OUT_OF_INDEXES) TlsSetValue(slot, module);
}

// Created on first use from the manifest this library carries (resource 2, as for a DLL);
// INVALID_HANDLE_VALUE when there is none. Shared by all threads.
HANDLE volatile g_actCtx = nullptr;

HANDLE ModuleActivationContext() noexcept
{
    HANDLE current = g_actCtx;
    if (current != nullptr) return current;

    ACTCTXW request = {};
    request.cbSize = sizeof(request);
    request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.hModule = ThisModule();
    request.lpResourceName = MAKEINTRESOURCEW(2);
    HANDLE created = CreateActCtxW(&request);
    if (InterlockedCompareExchangePointer(const_cast<PVOID volatile*>(&g_actCtx), created, nullptr) != nullptr) {
        // Another thread won the race; keep its context.
        if (created != INVALID_HANDLE_VALUE) ReleaseActCtx(created);
    }
    return g_actCtx;
}

}  // namespace

HMODULE ThisModule() noexcept
{
    return reinterpret_cast<HMODULE>(&__ImageBase);
}

HMODULE CurrentResourceModule() noexcept
{
    const HMODULE current = CurrentModuleOfThread();
    return current != nullptr ? current : GetModuleHandleW(nullptr);
}

ModuleStateGuard::ModuleStateGuard(HMODULE module) noexcept : m_previous(CurrentModuleOfThread())
{
    SetCurrentModuleOfThread(module);
    if (module == ThisModule()) {
        HANDLE context = ModuleActivationContext();
        if (context != INVALID_HANDLE_VALUE && context != nullptr)
            m_activated = ActivateActCtx(context, &m_cookie) != FALSE;
    }
}

ModuleStateGuard::~ModuleStateGuard()
{
    SetCurrentModuleOfThread(m_previous);
    if (m_activated) DeactivateActCtx(0, m_cookie);
}

void ReleaseModuleActivationContext() noexcept
{
    HANDLE context = InterlockedExchangePointer(const_cast<PVOID volatile*>(&g_actCtx), nullptr);
    if (context != nullptr && context != INVALID_HANDLE_VALUE) ReleaseActCtx(context);
}

}  // namespace orrelin
