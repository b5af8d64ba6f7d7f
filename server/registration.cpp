// Registration of the library: its classes' registry scripts, component categories and
// type library, driven by the module object.
#include <windows.h>
#include <comcat.h>

#include <string>

#include "registration.h"

#include "handles.h"
#include "hresult.h"
#include "module.h"
#include "module_file_name.h"
#include "reg_object.h"
#include "type_library.h"

using orrelin::ComPtr;
using orrelin::UniqueHKey;

namespace {

constexpr wchar_t kScriptType[] = L"REGISTRY";
// Paths of this library are at most 259 characters; each apostrophe may be doubled.
constexpr size_t kMaxEscapedPath = 2 * (MAX_PATH - 1) + 1;
constexpr size_t kMaxQuotedModule = kMaxEscapedPath + 4;

// Doubles every apostrophe, so the path can stand inside an apostrophe-quoted token.
std::wstring EscapedModulePath(const wchar_t* path)
{
    std::wstring escaped;
    for (const wchar_t* p = path; *p != L'\0'; ++p) {
        escaped += *p;
        if (*p == L'\'') escaped += L'\'';
    }
    return escaped;
}

HRESULT RunScript(UINT resource, const wchar_t* resourceName, BOOL doRegister, const RegistryVariable* variables,
                  CAtlModule& module) noexcept
{
    return orrelin::GuardComBoundary([&]() -> HRESULT {
        orrelin::CRegObject registrar;
        for (const RegistryVariable* variable = variables; variable != nullptr && variable->name != nullptr; ++variable)
            registrar.AddVariable(variable->name, variable->value);
        RETURN_IF_FAILED(module.AddCommonVariables(&registrar));

        std::wstring modulePath;
        RETURN_IF_FAILED(orrelin::GetModuleFileNameWhole(LibraryInstance(), modulePath));
        const wchar_t* const path = modulePath.c_str();

        const std::wstring escaped = EscapedModulePath(path);
        if (escaped.size() > kMaxEscapedPath) return E_FAIL;
        // The process's own executable is named in quotes, as a command line would.
        std::wstring moduleValue = escaped;
        if (LibraryInstance() == nullptr || LibraryInstance() == GetModuleHandleW(nullptr)) {
            moduleValue = L"\"" + escaped + L"\"";
            if (moduleValue.size() + 1 > kMaxQuotedModule) return E_FAIL;
        }
        RETURN_IF_FAILED(registrar.AddVariable(L"Module", moduleValue.c_str()));
        RETURN_IF_FAILED(registrar.AddVariable(L"Module_Raw", escaped.c_str()));

        if (resourceName != nullptr)
            return doRegister ? registrar.RegisterScriptResourceByName(path, resourceName, kScriptType)
                              : registrar.UnregisterScriptResourceByName(path, resourceName, kScriptType);
        return doRegister ? registrar.RegisterScriptResource(path, resource, kScriptType)
                          : registrar.UnregisterScriptResource(path, resource, kScriptType);
    });
}

bool KeyHasNoSubkeys(HKEY key)
{
    DWORD subkeys = 0;
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0;
}

void DeleteIfEmpty(const std::wstring& keyPath)
{
    bool empty = false;
    {
        UniqueHKey opened;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_READ, opened.put()) != ERROR_SUCCESS) return;
        empty = KeyHasNoSubkeys(opened.get());
    }
    if (empty) RegDeleteKeyW(HKEY_CLASSES_ROOT, keyPath.c_str());
}

LONG g_perUserRegistrations = 0;

}  // namespace

PerUserRegistration::PerUserRegistration() noexcept
{
    UniqueHKey classes;
    const LONG created = RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_ALL_ACCESS, nullptr, classes.put(), nullptr);
    if (created != ERROR_SUCCESS) {
        m_status = HRESULT_FROM_WIN32(created);
        return;
    }
    // The system keeps its own copy of the handle.
    const LONG overridden = RegOverridePredefKey(HKEY_CLASSES_ROOT, classes.get());
    m_status = overridden == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(overridden);
    if (SUCCEEDED(m_status)) InterlockedIncrement(&g_perUserRegistrations);
}

PerUserRegistration::~PerUserRegistration()
{
    if (FAILED(m_status)) return;
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    InterlockedDecrement(&g_perUserRegistrations);
}

bool IsPerUserRegistration() noexcept
{
    return InterlockedCompareExchange(&g_perUserRegistrations, 0, 0) != 0;
}

HRESULT CAtlModule::AddCommonVariables(orrelin::IRegistrarBase* registrar) noexcept
{
    return registrar->AddVariable(L"APPID", L"");
}

HRESULT CAtlModule::UpdateRegistryFromScriptUnsupported(UINT, BOOL, const RegistryVariable*) noexcept
{
    return E_FAIL;
}

HRESULT CAtlModule::UpdateRegistryFromScriptByNameUnsupported(const wchar_t*, BOOL, const RegistryVariable*) noexcept
{
    return E_FAIL;
}

HRESULT CAtlModule::UpdateRegistryFromScript(UINT resource, BOOL doRegister, const RegistryVariable* variables) noexcept
{
    return RunScript(resource, nullptr, doRegister, variables, *this);
}

HRESULT CAtlModule::UpdateRegistryFromScriptByName(const wchar_t* resource, BOOL doRegister,
                                                   const RegistryVariable* variables) noexcept
{
    if (resource == nullptr) return E_INVALIDARG;
    return RunScript(0, resource, doRegister, variables, *this);
}

HRESULT CComModule::RegisterClasses(BOOL registerTypeLibrary, const CLSID* filter) noexcept
{
    HRESULT hr = S_OK;
    for (ObjectMapEntry* entry = objectMap; entry != nullptr && entry->classId != nullptr; ++entry) {
        if (filter != nullptr && !IsEqualCLSID(*filter, *entry->classId)) continue;
        RETURN_IF_FAILED(hr = entry->updateRegistry(TRUE));
        RETURN_IF_FAILED(hr = UpdateClassCategories(*entry->classId, entry->getCategories(), TRUE));
    }
    if (registerTypeLibrary) return RegisterTypeLibrary(g_comModuleRecord.typeLibraryInstance);
    return hr;
}

HRESULT CComModule::UnregisterClasses(BOOL unregisterTypeLibrary, const CLSID* filter) noexcept
{
    HRESULT hr = S_OK;
    for (ObjectMapEntry* entry = objectMap; entry != nullptr && entry->classId != nullptr; ++entry) {
        if (filter != nullptr && !IsEqualCLSID(*filter, *entry->classId)) continue;
        RETURN_IF_FAILED(hr = UpdateClassCategories(*entry->classId, entry->getCategories(), FALSE));
        RETURN_IF_FAILED(hr = entry->updateRegistry(FALSE));
    }
    if (unregisterTypeLibrary) return UnregisterTypeLibrary(g_comModuleRecord.typeLibraryInstance);
    return hr;
}

HRESULT UpdateClassCategories(REFCLSID classId, const CategoryMapEntry* categories, BOOL doRegister) noexcept
{
    if (categories == nullptr || IsEqualCLSID(classId, CLSID_NULL)) return S_OK;
    ComPtr<ICatRegister> manager;
    if (FAILED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                                manager.put_void())))
        return S_OK;

    CLSID target = classId;
    for (const CategoryMapEntry* entry = categories; entry->kind != 0; ++entry) {
        CATID category = *entry->categoryId;
        if (doRegister) {
            const HRESULT hr = entry->kind == 1 ? manager->RegisterClassImplCategories(target, 1, &category)
                                                : manager->RegisterClassReqCategories(target, 1, &category);
            RETURN_IF_FAILED(hr);
        } else if (entry->kind == 1) {
            manager->UnRegisterClassImplCategories(target, 1, &category);
        } else {
            manager->UnRegisterClassReqCategories(target, 1, &category);
        }
    }
    if (!doRegister) {
        wchar_t text[40];
        StringFromGUID2(classId, text, 40);
        const std::wstring classKey = std::wstring(L"CLSID\\") + text;
        DeleteIfEmpty(classKey + L"\\Required Categories");
        DeleteIfEmpty(classKey + L"\\Implemented Categories");
    }
    return S_OK;
}
