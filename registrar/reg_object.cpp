#include "reg_object.h"

#include <hresult.h>

#include <optional>

namespace orrelin {

namespace {

std::optional<std::u16string> Portable(LPCOLESTR text)
{
    if (text == nullptr) return std::nullopt;
    return std::u16string(text, text + lstrlenW(text));
}

const char16_t* OrNull(const std::optional<std::u16string>& text) noexcept
{
    return text ? text->c_str() : nullptr;
}

}  // namespace

CRegObject::CRegObject(HKEY classesRoot) noexcept : m_registry(classesRoot), m_registrar(m_registry, m_resources) {}

CRegObject::~CRegObject()
{
    m_registrar.ClearVariables();
}

HRESULT STDMETHODCALLTYPE CRegObject::QueryInterface(REFIID, void**)
{
    return E_NOTIMPL;
}

ULONG STDMETHODCALLTYPE CRegObject::AddRef()
{
    return 1;
}

ULONG STDMETHODCALLTYPE CRegObject::Release()
{
    return 0;
}

HRESULT STDMETHODCALLTYPE CRegObject::AddVariable(LPCOLESTR name, LPCOLESTR value)
{
    return GuardComBoundary([&]() -> HRESULT {
        const auto portableName = Portable(name);
        const auto portableValue = Portable(value);
        return m_registrar.AddVariable(OrNull(portableName), OrNull(portableValue));
    });
}

HRESULT STDMETHODCALLTYPE CRegObject::ClearVariables()
{
    return m_registrar.ClearVariables();
}

bool CRegObject::FindVariable(LPCOLESTR name, std::wstring* value) const
{
    const auto portableName = Portable(name);
    if (!portableName) return false;
    const std::u16string* found = m_registrar.FindVariable(*portableName);
    if (found == nullptr) return false;
    value->assign(found->begin(), found->end());
    return true;
}

HRESULT CRegObject::ApplyResource(LPCOLESTR modulePath, const regscript::ResourceId* number, LPCOLESTR resourceName,
                                  LPCOLESTR typeName, regscript::Direction direction) noexcept
{
    return GuardComBoundary([&]() -> HRESULT {
        const auto path = Portable(modulePath);
        const auto type = Portable(typeName);
        if (number != nullptr) return m_registrar.ApplyResourceScript(OrNull(path), *number, OrNull(type), direction);
        const auto name = Portable(resourceName);
        return direction == regscript::Direction::Register
                   ? m_registrar.RegisterScriptResourceByName(OrNull(path), OrNull(name), OrNull(type))
                   : m_registrar.UnregisterScriptResourceByName(OrNull(path), OrNull(name), OrNull(type));
    });
}

HRESULT CRegObject::RegisterScriptResource(LPCOLESTR modulePath, UINT resourceNumber, LPCOLESTR typeName) noexcept
{
    const auto id = regscript::ResourceId::Number(static_cast<std::uint16_t>(resourceNumber));
    return ApplyResource(modulePath, &id, nullptr, typeName, regscript::Direction::Register);
}

HRESULT CRegObject::UnregisterScriptResource(LPCOLESTR modulePath, UINT resourceNumber, LPCOLESTR typeName) noexcept
{
    const auto id = regscript::ResourceId::Number(static_cast<std::uint16_t>(resourceNumber));
    return ApplyResource(modulePath, &id, nullptr, typeName, regscript::Direction::Unregister);
}

HRESULT CRegObject::RegisterScriptResourceByName(LPCOLESTR modulePath, LPCOLESTR resourceName,
                                                 LPCOLESTR typeName) noexcept
{
    return ApplyResource(modulePath, nullptr, resourceName, typeName, regscript::Direction::Register);
}

HRESULT CRegObject::UnregisterScriptResourceByName(LPCOLESTR modulePath, LPCOLESTR resourceName,
                                                   LPCOLESTR typeName) noexcept
{
    return ApplyResource(modulePath, nullptr, resourceName, typeName, regscript::Direction::Unregister);
}

}  // namespace orrelin
