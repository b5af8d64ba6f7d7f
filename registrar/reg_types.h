// Result codes, key handles and registry constants of the registrar, written without the
// Windows headers so the script language and its interpreter also build natively. Every
// value is the platform's own, so results pass unchanged between the two worlds.
#pragma once

#include <cstdint>

#include "win32_result.h"

namespace orrelin::regscript {

// An HRESULT: 32 bits on every platform (HRESULT is a 32-bit long on Windows).
using HResult = std::int32_t;
// A Win32 error code as the registry calls return it (LONG).
using Win32Code = std::int32_t;

constexpr HResult MakeHResult(std::uint32_t bits) noexcept
{
    return static_cast<HResult>(bits);
}

inline constexpr HResult kSOk = 0;
inline constexpr HResult kENotImpl = MakeHResult(0x80004001u);
inline constexpr HResult kEPointer = MakeHResult(0x80004003u);
inline constexpr HResult kEFail = MakeHResult(0x80004005u);
inline constexpr HResult kEOutOfMemory = MakeHResult(0x8007000Eu);
inline constexpr HResult kEInvalidArg = MakeHResult(0x80070057u);
inline constexpr HResult kDispEException = MakeHResult(0x80020009u);
// What the "D" conversion answers for text that is not a number, or one out of range.
inline constexpr HResult kDispETypeMismatch = MakeHResult(0x80020005u);
inline constexpr HResult kDispEOverflow = MakeHResult(0x8002000Au);

constexpr bool Failed(HResult hr) noexcept
{
    return hr < 0;
}
constexpr bool Succeeded(HResult hr) noexcept
{
    return hr >= 0;
}

inline constexpr Win32Code kErrorSuccess = 0;
inline constexpr Win32Code kErrorFileNotFound = 2;
inline constexpr Win32Code kErrorAccessDenied = 5;
inline constexpr Win32Code kErrorInvalidHandle = 6;
inline constexpr Win32Code kErrorOutOfMemory = 14;
inline constexpr Win32Code kErrorInvalidParameter = 87;
inline constexpr Win32Code kErrorInsufficientBuffer = 122;
inline constexpr Win32Code kErrorModNotFound = 126;
inline constexpr Win32Code kErrorBadPathname = 161;
inline constexpr Win32Code kErrorMoreData = 234;
inline constexpr Win32Code kErrorNoMoreItems = 259;
inline constexpr Win32Code kErrorKeyDeleted = 1018;
inline constexpr Win32Code kErrorResourceTypeNotFound = 1813;
inline constexpr Win32Code kErrorResourceNameNotFound = 1814;

constexpr HResult HResultFromWin32(Win32Code code) noexcept
{
    return HResultBitsFromWin32(code);
}

// A registry key as the registry calls see it: on Windows the HKEY's bits, so the
// predefined roots have the same (sign-extended) values as the platform's own.
using KeyHandle = std::uintptr_t;
inline constexpr KeyHandle kNoKey = 0;

constexpr KeyHandle PredefinedKey(std::uint32_t value) noexcept
{
    return static_cast<KeyHandle>(static_cast<std::intptr_t>(static_cast<std::int32_t>(value)));
}

inline constexpr KeyHandle kHkeyClassesRoot = PredefinedKey(0x80000000u);
inline constexpr KeyHandle kHkeyCurrentUser = PredefinedKey(0x80000001u);
inline constexpr KeyHandle kHkeyLocalMachine = PredefinedKey(0x80000002u);
inline constexpr KeyHandle kHkeyUsers = PredefinedKey(0x80000003u);
inline constexpr KeyHandle kHkeyPerformanceData = PredefinedKey(0x80000004u);
inline constexpr KeyHandle kHkeyCurrentConfig = PredefinedKey(0x80000005u);
inline constexpr KeyHandle kHkeyDynData = PredefinedKey(0x80000006u);

constexpr bool IsPredefinedKey(KeyHandle key) noexcept
{
    return key >= kHkeyClassesRoot && key <= kHkeyDynData;
}

// Access rights the interpreter asks for.
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeySetValue = 0x0002;
inline constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWrite = 0x20006;
inline constexpr std::uint32_t kKeyReadWrite = kKeyRead | kKeyWrite;  // 0x2001F

// Registry value types.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

enum class Direction { Register, Unregister };

}  // namespace orrelin::regscript
