// A trace of every failure at the library's edges. Each COM method and export that answers
// a failing HRESULT reports it once, with its function, file and line. The report goes to
// OutputDebugStringW, where DebugView or a debugger attached to Explorer shows it; nothing
// is written to disk, and a success costs one comparison. Answers that are the design, not
// a failure (E_NOTIMPL of an operation the class does not offer, E_NOINTERFACE of
// QueryInterface), are not reported.
#pragma once

#include <windows.h>

namespace orrelin {

struct FailureSite {
    const char* function;
    const char* file;
    int line;
};

// Receives each reported failure.
using FailureReporter = void (*)(HRESULT hr, const FailureSite& site);

// Puts `reporter` in place of the debugger's line (null puts that back); answers the one
// it replaces. For tests.
FailureReporter SetFailureReporter(FailureReporter reporter) noexcept;

void ReportFailure(HRESULT hr, const FailureSite& site) noexcept;

inline HRESULT Traced(HRESULT hr, const FailureSite& site) noexcept
{
    if (FAILED(hr)) ReportFailure(hr, site);
    return hr;
}

}  // namespace orrelin

// What a boundary answers: hr, reported first when it is a failure.
#define TRACE_FAILURE(hr) ::orrelin::Traced((hr), ::orrelin::FailureSite{__func__, __FILE__, __LINE__})
