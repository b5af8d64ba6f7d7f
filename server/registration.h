// Registration helpers the module object's class registration uses.
#pragma once

#include <windows.h>

#include "module.h"

#include "registration_scope.h"

// Registers (or removes) the component categories a class implements or requires, in `scope`.
HRESULT UpdateClassCategories(const RegistrationScope& scope, REFCLSID classId, const CategoryMapEntry* categories,
                              BOOL doRegister) noexcept;
