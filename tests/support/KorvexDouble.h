// Control interface of the engine's test double, a Korvex.dll built for tests only. It
// answers the Korvex operations with what a test has set here, and counts the calls, so
// the shell extension's every branch can be driven without real files or devices.
#pragma once

#include "Korvex.h"

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
KORVEX_DOUBLE_API void KorvexDouble_SetNumbers(unsigned int vendor, unsigned int product,
                                               unsigned int release);
// names: count texts; replaces the list answered by GetCOMPortNames / GetUSBDeviceNames.
KORVEX_DOUBLE_API void KorvexDouble_SetPorts(const wchar_t* const* names, int count);
KORVEX_DOUBLE_API void KorvexDouble_SetDevices(const wchar_t* const* names, int count);

KORVEX_DOUBLE_API int KorvexDouble_InitCount();
KORVEX_DOUBLE_API int KorvexDouble_ValidityCheckCount();
KORVEX_DOUBLE_API int KorvexDouble_PortQueryCount();
KORVEX_DOUBLE_API int KorvexDouble_DeviceQueryCount();
// The path of the latest IsDFUFileValid call (empty before any), valid until the next call.
KORVEX_DOUBLE_API const wchar_t* KorvexDouble_LastPath();
