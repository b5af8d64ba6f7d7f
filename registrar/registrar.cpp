#include "registrar.h"

#include "case_fold.h"
#include "reg_script_interpreter.h"

#include <new>
#include <stdexcept>

namespace orrelin::regscript {

namespace {

// Frees a module mapped as data on every path out of the caller.
class MappedModule {
public:
    explicit MappedModule(ScriptResources& resources) noexcept : m_resources(resources) {}
    MappedModule(const MappedModule&) = delete;
    MappedModule& operator=(const MappedModule&) = delete;
    ~MappedModule()
    {
        if (m_loaded) m_resources.ReleaseModule(m_module);
    }
    Win32Code Load(const char16_t* path)
    {
        const Win32Code code = m_resources.LoadModuleAsData(path, &m_module);
        m_loaded = code == kErrorSuccess;
        return code;
    }
    ModuleHandle get() const noexcept { return m_module; }

private:
    ScriptResources& m_resources;
    ModuleHandle m_module = 0;
    bool m_loaded = false;
};

}  // namespace

Registrar::Registrar(Registry& registry, ScriptResources& resources) noexcept
    : m_registry(&registry), m_resources(&resources)
{
}

HResult Registrar::AddVariable(const char16_t* name, const char16_t* value) noexcept
{
    if (name == nullptr || value == nullptr) return kEInvalidArg;
    try {
        std::u16string nameCopy(name);
        std::u16string valueCopy(value);
        m_names.reserve(m_names.size() + 1);
        m_values.reserve(m_values.size() + 1);
        // Both reservations are made, so neither push can throw and the arrays stay paired.
        m_names.push_back(std::move(nameCopy));
        m_values.push_back(std::move(valueCopy));
        return kSOk;
    } catch (const std::bad_alloc&) {
        return kEOutOfMemory;
    }
}

HResult Registrar::ClearVariables() noexcept
{
    m_names.clear();
    m_values.clear();
    return kSOk;
}

const std::u16string* Registrar::FindVariable(std::u16string_view name) const noexcept
{
    for (std::size_t i = 0; i < m_names.size(); ++i)
        if (EqualsNoCase(m_names[i], name)) return &m_values[i];
    return nullptr;
}

HResult Registrar::RegisterScriptResource(const char16_t* modulePath, unsigned resourceNumber,
                                          const char16_t* typeName) noexcept
{
    return ApplyResourceScript(modulePath, ResourceId::Number(static_cast<std::uint16_t>(resourceNumber)), typeName,
                               Direction::Register);
}

HResult Registrar::UnregisterScriptResource(const char16_t* modulePath, unsigned resourceNumber,
                                            const char16_t* typeName) noexcept
{
    return ApplyResourceScript(modulePath, ResourceId::Number(static_cast<std::uint16_t>(resourceNumber)), typeName,
                               Direction::Unregister);
}

HResult Registrar::RegisterScriptResourceByName(const char16_t* modulePath, const char16_t* resourceName,
                                                const char16_t* typeName) noexcept
{
    return ApplyNamedResourceScript(modulePath, resourceName, typeName, Direction::Register);
}

HResult Registrar::UnregisterScriptResourceByName(const char16_t* modulePath, const char16_t* resourceName,
                                                  const char16_t* typeName) noexcept
{
    return ApplyNamedResourceScript(modulePath, resourceName, typeName, Direction::Unregister);
}

HResult Registrar::ApplyNamedResourceScript(const char16_t* modulePath, const char16_t* resourceName,
                                            const char16_t* typeName, Direction direction) noexcept
{
    if (resourceName == nullptr || typeName == nullptr) return kEInvalidArg;
    try {
        return ApplyResourceScript(modulePath, ResourceId::Name(resourceName), typeName, direction);
    } catch (const std::bad_alloc&) {
        return kEOutOfMemory;
    }
}

HResult Registrar::ApplyResourceScript(const char16_t* modulePath, const ResourceId& resource, const char16_t* typeName,
                                       Direction direction) noexcept
{
    try {
        MappedModule module(*m_resources);
        Win32Code code = module.Load(modulePath);
        if (code != kErrorSuccess) return HResultFromWin32(code);

        const ResourceId type = ResourceId::Name(typeName ? typeName : u"");
        const std::uint8_t* bytes = nullptr;
        std::uint32_t size = 0;
        code = m_resources->FindResourceData(module.get(), resource, typeName ? &type : nullptr, &bytes, &size);
        if (code != kErrorSuccess) return HResultFromWin32(code);

        std::u16string text;
        try {
            text.resize(static_cast<std::size_t>(size) + 1);
        } catch (const std::bad_alloc&) {
            return kEOutOfMemory;
        } catch (const std::length_error&) {
            return kEOutOfMemory;
        }
        std::uint32_t written = 0;
        code = m_resources->ConvertToWide(bytes, size, text.data(), size, &written);
        if (code != kErrorSuccess) return HResultFromWin32(code);
        text.resize(written);

        CRegScriptInterpreter interpreter(*this);
        return interpreter.ApplyScript(text.c_str(), direction);
    } catch (const std::bad_alloc&) {
        return kEOutOfMemory;
    }
}

}  // namespace orrelin::regscript
