// The type library a module carries.
#pragma once

#include <windows.h>
#include <oaidl.h>

class RegistrationScope;

// Finds and loads the type library a module carries: the module file itself, else a .tlb
// of the same name beside it. On success `path` holds the path that was loaded.
HRESULT LoadTypeLibraryOfModule(HINSTANCE module, BSTR* path, ITypeLib** library) noexcept;

// Registers the type library `module` carries, with its help directory, in `scope`; or
// removes it.
HRESULT RegisterTypeLibrary(HINSTANCE module, const RegistrationScope& scope) noexcept;
HRESULT UnregisterTypeLibrary(HINSTANCE module, const RegistrationScope& scope) noexcept;
