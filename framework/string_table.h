// The library's own texts: strings of the current resource module's string table, loaded by
// id and formatted with values in one step.
#pragma once

#include <windows.h>

#include <string>

#include "format.h"

namespace orrelin {

// Raised when a string id is not in the string table.
class MissingStringError : public std::runtime_error {
public:
    explicit MissingStringError(UINT id);
    UINT id() const noexcept { return m_id; }

private:
    UINT m_id;
};

// The whole text of string `id` of `module` (any length, embedded tabs and line feeds kept).
std::wstring LoadModuleString(HMODULE module, UINT id);

// String `id` of the current resource module (see ModuleStateGuard).
std::wstring LoadResString(UINT id);

// String `id` of the current resource module with its placeholders filled from `values`.
std::wstring FormatResString(UINT id, std::initializer_list<FormatValue> values = {});

}  // namespace orrelin
