// A registry key whose default value names the one class that handles something for the
// whole system (a file type's property or preview handler), which may belong to another
// program: claimed only while free, given up only while it still names our class.
#pragma once

#include <windows.h>

// Names `classId` in the default value of root\key, unless another class is named there:
// a user keeps the handler another program installed.
HRESULT ClaimClassEntry(HKEY root, const wchar_t* key, REFCLSID classId) noexcept;

// Removes the value only while it names `classId`, and the key only when nothing else is in it.
HRESULT ReleaseClassEntry(HKEY root, const wchar_t* key, REFCLSID classId) noexcept;
