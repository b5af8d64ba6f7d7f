// The code page of every conversion between wide and narrow text (the narrow help texts, the
// stored registry script). Settled at its first use in the process and then kept.
#pragma once

#include <windows.h>

namespace orrelin {

class ConversionCodePageSelector {
public:
    // Fills `info` as GetVersionExA does; replaceable so both kinds of system can be tested.
    using VersionQuery = BOOL(WINAPI*)(OSVERSIONINFOA* info);

    explicit ConversionCodePageSelector(VersionQuery query = &GetVersionExA) noexcept : m_query(query) {}

    // On NT systems of major version 5 or later: CP_THREAD_ACP, the calling thread's ANSI
    // code page. Elsewhere, worked out at each use: the default ANSI code page of the
    // thread's locale, or GetACP when that query fails or gives 0.
    UINT CodePage() noexcept;

private:
    enum : LONG { Unsettled = 0, ThreadAnsi = 1, LocaleAnsi = 2 };

    VersionQuery m_query;
    LONG volatile m_mode = Unsettled;
};

// The process-wide selector.
UINT ConversionCodePage() noexcept;

}  // namespace orrelin
