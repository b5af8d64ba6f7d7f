#include "guarded_view.h"

namespace korvex {
namespace {

// One place per view being read at this moment, in any thread of the process. A thread
// reads one view at a time, so a few per thread that checks files at once is plenty; a pass
// that finds none free reads its file instead.
struct Slot {
    volatile LONG owner;  // the reading thread's ID; 0 while the place is free
    void* volatile base;
    volatile SIZE_T size;
    volatile LONG faulted;
};
constexpr int kSlotCount = 32;
Slot g_slots[kSlotCount];

// Runs on the thread that touched the bytes, so only that thread's views can be the cause.
LONG CALLBACK OnViewFault(EXCEPTION_POINTERS* pointers)
{
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    // Windows reports bytes that did not come in as an in-page error, Wine as an access
    // violation. Reads only: the views are read-only, a write into one is the engine's fault.
    if ((record.ExceptionCode != EXCEPTION_IN_PAGE_ERROR && record.ExceptionCode != EXCEPTION_ACCESS_VIOLATION) ||
        record.NumberParameters < 2 || record.ExceptionInformation[0] != 0)
        return EXCEPTION_CONTINUE_SEARCH;
    const ULONG_PTR address = record.ExceptionInformation[1];
    const LONG thread = static_cast<LONG>(GetCurrentThreadId());
    for (Slot& slot : g_slots) {
        const ULONG_PTR base = reinterpret_cast<ULONG_PTR>(slot.base);
        if (slot.owner != thread || slot.faulted || address < base || address - base >= slot.size) continue;
        // Zero pages take the view's place, so the code that faulted runs on to the end of
        // its piece, and the pass, seeing Faulted(), discards what it read.
        if (!UnmapViewOfFile(slot.base)) return EXCEPTION_CONTINUE_SEARCH;
        slot.faulted = 1;
        if (VirtualAlloc(slot.base, slot.size, MEM_RESERVE | MEM_COMMIT, PAGE_READONLY) != slot.base)
            return EXCEPTION_CONTINUE_SEARCH;
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

// Installed for a pass and removed after it, so no handler outlives the DLL; first in the
// chain, ahead of handlers that would report the fault as a crash.
ViewGuardScope::ViewGuardScope() : m_handler(AddVectoredExceptionHandler(1, OnViewFault)) {}

ViewGuardScope::~ViewGuardScope()
{
    if (m_handler) RemoveVectoredExceptionHandler(m_handler);
}

bool GuardedView::Map(HANDLE mapping, std::uint64_t offset, std::size_t count)
{
    Unmap();
    const LONG thread = static_cast<LONG>(GetCurrentThreadId());
    int slot = 0;
    while (slot < kSlotCount && InterlockedCompareExchange(&g_slots[slot].owner, thread, 0) != 0) ++slot;
    if (slot == kSlotCount) return false;
    void* base = MapViewOfFile(mapping, FILE_MAP_READ, static_cast<DWORD>(offset >> 32), static_cast<DWORD>(offset),
                               static_cast<SIZE_T>(count));
    if (base == nullptr) {
        InterlockedExchange(&g_slots[slot].owner, 0);
        return false;
    }
    g_slots[slot].faulted = 0;
    g_slots[slot].size = count;
    g_slots[slot].base = base;
    m_base = base;
    m_slot = slot;
    return true;
}

void GuardedView::Unmap()
{
    if (m_slot < 0) return;
    Slot& slot = g_slots[m_slot];
    if (slot.faulted)
        VirtualFree(m_base, 0, MEM_RELEASE);
    else
        UnmapViewOfFile(m_base);
    slot.base = nullptr;
    slot.size = 0;
    slot.faulted = 0;
    InterlockedExchange(&slot.owner, 0);
    m_base = nullptr;
    m_slot = -1;
}

bool GuardedView::Faulted() const
{
    return m_slot >= 0 && g_slots[m_slot].faulted != 0;
}

}  // namespace korvex
