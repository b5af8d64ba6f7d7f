// Control interface of the engine's test double, a Korvex.dll built for tests only. It
// answers the Korvex operations with what a test has set here, and counts the calls, so
// the shell extension's every branch can be driven without real files or devices.
#pragma once

#include "Korvex.h"
#include "KorvexLayout.h"

#if defined(KORVEX_BUILDING)
#  define KORVEX_DOUBLE_API extern "C" __declspec(dllexport)
#else
#  define KORVEX_DOUBLE_API extern "C" __declspec(dllimport)
#endif

// Back to the defaults: every file valid, empty comment, all numbers 0xFFFF (not stated),
// no ports, no devices, all counters 0.
KORVEX_DOUBLE_API void KorvexDouble_Reset();
KORVEX_DOUBLE_API void KorvexDouble_SetValid(bool valid);
KORVEX_DOUBLE_API void KorvexDouble_SetComment(const wchar_t* comment);
KORVEX_DOUBLE_API void KorvexDouble_SetNumbers(unsigned int vendor, unsigned int product, unsigned int release);
// names: count texts; replaces the list answered by GetCOMPortNames / GetUSBDeviceNames.
KORVEX_DOUBLE_API void KorvexDouble_SetPorts(const wchar_t* const* names, int count);
KORVEX_DOUBLE_API void KorvexDouble_SetDevices(const wchar_t* const* names, int count);

KORVEX_DOUBLE_API int KorvexDouble_InitCount();
KORVEX_DOUBLE_API int KorvexDouble_ValidityCheckCount();
KORVEX_DOUBLE_API int KorvexDouble_PortQueryCount();
KORVEX_DOUBLE_API int KorvexDouble_DeviceQueryCount();
// Questions to KorvexRememberedValidity, which answers what IsDFUFileValid answered last
// for the same path (the double remembers every answer; Reset forgets them).
KORVEX_DOUBLE_API int KorvexDouble_RememberedQueryCount();
// The path of the latest IsDFUFileValid call (empty before any), valid until the next call.
KORVEX_DOUBLE_API const wchar_t* KorvexDouble_LastPath();

// The layout operations. Until a test sets one, every read answers a valid plain DFU file:
// numbers 0xFFFF, no DfuSe image. The double keeps its own copy of what is set (null: back
// to that default) and hands each caller a fresh copy, which only KorvexFreeDfuLayout frees.
KORVEX_DOUBLE_API void KorvexDouble_SetLayout(const KorvexDfuLayout* layout);
// What the reading calls return instead of KORVEX_OK (no layout then).
KORVEX_DOUBLE_API void KorvexDouble_SetLayoutResult(int result);
KORVEX_DOUBLE_API int KorvexDouble_LayoutReadCount();
// Layouts handed out and not yet freed.
KORVEX_DOUBLE_API int KorvexDouble_LiveLayoutCount();
// The path of the latest KorvexReadDfuLayout call (empty before any or after a reader call).
KORVEX_DOUBLE_API const wchar_t* KorvexDouble_LastLayoutPath();
