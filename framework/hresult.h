// Result helpers: Win32 error codes as HRESULTs (win32_result.h holds the rule), early returns that
// only accept what they claim to check (an HRESULT is not a BOOL is not a Win32 code).
#pragma once

#include <windows.h>

#include <new>
#include <type_traits>

#include "win32_result.h"

namespace orrelin {

constexpr HRESULT HResultFromWin32(long code) noexcept
{
    return static_cast<HRESULT>(HResultBitsFromWin32(static_cast<std::int32_t>(code)));
}

// The thread's last error as an HRESULT, after a call that reported failure. A failed call
// that left no error (or a success code) is still a failure: E_FAIL.
inline HRESULT HResultFromLastError() noexcept
{
    const HRESULT result = HResultFromWin32(static_cast<long>(GetLastError()));
    return FAILED(result) ? result : E_FAIL;
}

template <typename T>
constexpr HRESULT VerifyHResult(T hr) noexcept
{
    static_assert(std::is_same_v<T, HRESULT>, "expected an HRESULT");
    return hr;
}

template <typename T>
constexpr LONG VerifyWin32(T code) noexcept
{
    static_assert(std::is_same_v<T, LONG> || std::is_same_v<T, DWORD>, "expected a Win32 error code");
    return static_cast<LONG>(code);
}

// Runs a COM method body so that no exception leaves it: the host's own frames cannot be
// unwound through, so an exception would end the process.
template <typename Body>
HRESULT GuardComBoundary(Body&& body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace orrelin

#define RETURN_IF_FAILED(expr)                                  \
  do {                                                          \
    const HRESULT orrelin_hr_ = ::orrelin::VerifyHResult(expr); \
    if (FAILED(orrelin_hr_)) return orrelin_hr_;                \
  } while (0)

#define RETURN_IF_WIN32_ERROR(expr)                                                        \
  do {                                                                                     \
    const LONG orrelin_code_ = ::orrelin::VerifyWin32(expr);                               \
    if (orrelin_code_ != ERROR_SUCCESS) return ::orrelin::HResultFromWin32(orrelin_code_); \
  } while (0)

#define RETURN_HR_IF_NULL(hr, ptr)                             \
  do {                                                         \
    if ((ptr) == nullptr) return ::orrelin::VerifyHResult(hr); \
  } while (0)
