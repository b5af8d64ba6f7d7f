// Registration helpers the module object's class registration uses.
#pragma once

#include <windows.h>

#include "module.h"

// Registers (or removes) the component categories a class implements or requires.
HRESULT UpdateClassCategories(REFCLSID classId, const CategoryMapEntry* categories, BOOL doRegister) noexcept;
