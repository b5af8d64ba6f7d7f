// A critical section held for one scope: left on every exit, early returns included.
#pragma once

#include <windows.h>

namespace orrelin {

class ScopedLock {
public:
    explicit ScopedLock(CRITICAL_SECTION& section) noexcept : m_section(section) { EnterCriticalSection(&m_section); }
    ~ScopedLock() { LeaveCriticalSection(&m_section); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    CRITICAL_SECTION& m_section;
};

}  // namespace orrelin
