// CRegObject, the registrar as the module object meets it on Windows: the registrar's
// interface IRegistrarBase over the real registry and modules mapped as data. The work is
// the portable Registrar's; this class only translates strings and results.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "registrar.h"
#include "windows_registry.h"

#include <string>

namespace orrelin {

// IUnknown, then the two operations on the variable table. The registration code reaches
// them through this table, so their order is part of the interface.
struct IRegistrarBase : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddVariable(LPCOLESTR name, LPCOLESTR value) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearVariables() = 0;
};

class CRegObject : public IRegistrarBase {
public:
    // Scripts' HKCR keys go under `classesRoot` (see WindowsRegistry).
    explicit CRegObject(HKEY classesRoot = HKEY_CLASSES_ROOT) noexcept;
    // Empties the variable table. Virtual, so it takes the slot after ClearVariables that
    // holders of the registrar's table expect there.
    virtual ~CRegObject();

    CRegObject(const CRegObject&) = delete;
    CRegObject& operator=(const CRegObject&) = delete;

    // Not a COM object that is handed out: it lives inside the call that created it, so it
    // answers no interface (E_NOTIMPL, writing nothing) and never counts references.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // E_INVALIDARG for a missing name or value; an earlier pair of the same name wins.
    HRESULT STDMETHODCALLTYPE AddVariable(LPCOLESTR name, LPCOLESTR value) override;
    HRESULT STDMETHODCALLTYPE ClearVariables() override;

    // The value of the earliest variable named `name` (case-insensitive), if any.
    bool FindVariable(LPCOLESTR name, std::wstring* value) const;

    HRESULT RegisterScriptResource(LPCOLESTR modulePath, UINT resourceNumber, LPCOLESTR typeName) noexcept;
    HRESULT UnregisterScriptResource(LPCOLESTR modulePath, UINT resourceNumber, LPCOLESTR typeName) noexcept;
    HRESULT RegisterScriptResourceByName(LPCOLESTR modulePath, LPCOLESTR resourceName, LPCOLESTR typeName) noexcept;
    HRESULT UnregisterScriptResourceByName(LPCOLESTR modulePath, LPCOLESTR resourceName, LPCOLESTR typeName) noexcept;

private:
    HRESULT ApplyResource(LPCOLESTR modulePath, const regscript::ResourceId* number, LPCOLESTR resourceName,
                          LPCOLESTR typeName, regscript::Direction direction) noexcept;

    regscript::WindowsRegistry m_registry;
    regscript::WindowsScriptResources m_resources;
    regscript::Registrar m_registrar;
};

}  // namespace orrelin
