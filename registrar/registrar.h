// The registrar: the table of variables that fills a script's references, and the running
// of a script stored as a resource of a module file. Windows gives it its COM face
// (CRegObject); this part knows only the registry and resource interface.
#pragma once

#include "reg_types.h"
#include "registry_access.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orrelin::regscript {

class Registrar {
public:
    Registrar(Registry& registry, ScriptResources& resources) noexcept;

    Registrar(const Registrar&) = delete;
    Registrar& operator=(const Registrar&) = delete;

    // Copies both strings and appends the pair; an earlier pair of the same name stays in
    // front of it. E_INVALIDARG for a missing name or value, E_OUTOFMEMORY when a copy
    // cannot be had; either leaves the table as it was.
    HResult AddVariable(const char16_t* name, const char16_t* value) noexcept;
    HResult ClearVariables() noexcept;
    // The value of the earliest pair whose name equals `name` case-insensitively.
    const std::u16string* FindVariable(std::u16string_view name) const noexcept;
    std::size_t VariableCount() const noexcept { return m_names.size(); }

    // The resource number is used as a 16-bit integer resource identifier.
    HResult RegisterScriptResource(const char16_t* modulePath, unsigned resourceNumber,
                                   const char16_t* typeName) noexcept;
    HResult UnregisterScriptResource(const char16_t* modulePath, unsigned resourceNumber,
                                     const char16_t* typeName) noexcept;
    // E_INVALIDARG for a missing resource name or type name.
    HResult RegisterScriptResourceByName(const char16_t* modulePath, const char16_t* resourceName,
                                         const char16_t* typeName) noexcept;
    HResult UnregisterScriptResourceByName(const char16_t* modulePath, const char16_t* resourceName,
                                           const char16_t* typeName) noexcept;

    HResult ApplyResourceScript(const char16_t* modulePath, const ResourceId& resource, const char16_t* typeName,
                                Direction direction) noexcept;

    Registry& registry() const noexcept { return *m_registry; }

private:
    HResult ApplyNamedResourceScript(const char16_t* modulePath, const char16_t* resourceName, const char16_t* typeName,
                                     Direction direction) noexcept;

    Registry* m_registry;
    ScriptResources* m_resources;
    // Two parallel arrays in the order of addition; names are not unique.
    std::vector<std::u16string> m_names;
    std::vector<std::u16string> m_values;
};

}  // namespace orrelin::regscript
