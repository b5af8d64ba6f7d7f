#include "string_table.h"

#include <string>

#include "module_state.h"

namespace orrelin {

MissingStringError::MissingStringError(UINT id)
    : std::runtime_error("string " + std::to_string(id) + " is not in the string table"), m_id(id)
{
}

std::wstring LoadModuleString(HMODULE module, UINT id)
{
    // With a zero size LoadStringW hands out a read-only pointer into the resource itself,
    // so a text of any length is copied whole.
    const wchar_t* text = nullptr;
    const int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr) throw MissingStringError(id);
    return std::wstring(text, static_cast<size_t>(length));
}

std::wstring LoadResString(UINT id)
{
    return LoadModuleString(CurrentResourceModule(), id);
}

std::wstring FormatResString(UINT id, std::initializer_list<FormatValue> values)
{
    return FormatWithValues(LoadResString(id), values);
}

}  // namespace orrelin
