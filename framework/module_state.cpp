#include "module_state.h"

#include "handles.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace orrelin {
namespace {

thread_local HMODULE t_currentModule = nullptr;

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
    return t_currentModule != nullptr ? t_currentModule : GetModuleHandleW(nullptr);
}

ModuleStateGuard::ModuleStateGuard(HMODULE module) noexcept : m_previous(t_currentModule)
{
    t_currentModule = module;
    if (module == ThisModule()) {
        HANDLE context = ModuleActivationContext();
        if (context != INVALID_HANDLE_VALUE && context != nullptr)
            m_activated = ActivateActCtx(context, &m_cookie) != FALSE;
    }
}

ModuleStateGuard::~ModuleStateGuard()
{
    t_currentModule = m_previous;
    if (m_activated) DeactivateActCtx(0, m_cookie);
}

void ReleaseModuleActivationContext() noexcept
{
    HANDLE context = InterlockedExchangePointer(const_cast<PVOID volatile*>(&g_actCtx), nullptr);
    if (context != nullptr && context != INVALID_HANDLE_VALUE) ReleaseActCtx(context);
}

}  // namespace orrelin
