// A window of a mapped file that the engine reads in place. Bytes of a mapped file that
// fail to come in (a network share lost, a drive pulled, the file cut short by another
// program) raise an in-page fault in whatever code touches them, here Explorer's own
// process; under a guard that fault ends the pass with an answer instead: the window's pages
// then read as zeros and Faulted() says so.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace korvex {

// Keeps the fault handler installed while it lives; one around each pass over views.
class ViewGuardScope {
public:
    ViewGuardScope();
    ~ViewGuardScope();
    ViewGuardScope(const ViewGuardScope&) = delete;
    ViewGuardScope& operator=(const ViewGuardScope&) = delete;

    bool Active() const { return m_handler != nullptr; }

private:
    void* m_handler;
};

class GuardedView {
public:
    GuardedView() = default;
    ~GuardedView() { Unmap(); }
    GuardedView(const GuardedView&) = delete;
    GuardedView& operator=(const GuardedView&) = delete;

    // Maps count bytes of mapping from offset (a multiple of the system's allocation
    // granularity) for this thread to read; false when the system maps nothing there or
    // every guard is taken.
    bool Map(HANDLE mapping, std::uint64_t offset, std::size_t count);
    void Unmap();

    const unsigned char* Bytes() const { return static_cast<const unsigned char*>(m_base); }
    // True once a read of the view failed; the bytes read since are zeros.
    bool Faulted() const;

private:
    void* m_base = nullptr;
    int m_slot = -1;
};

}  // namespace korvex
