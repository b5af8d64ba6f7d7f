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
                  CAtlModule& module, HKEY classesRoot = HKEY_CLASSES_ROOT) noexcept
{
    return orrelin::GuardComBoundary([&]() -> HRESULT {
        orrelin::CRegObject registrar(classesRoot);
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

std::wstring ClassKeyOf(REFCLSID classId)
{
    wchar_t text[40];
    StringFromGUID2(classId, text, 40);
    return std::wstring(L"CLSID\\") + text;
}

void DeleteEmptyCategoryLists(REFCLSID classId)
{
    const std::wstring classKey = ClassKeyOf(classId);
    DeleteIfEmpty(classKey + L"\\Required Categories");
    DeleteIfEmpty(classKey + L"\\Implemented Categories");
}

HRESULT UpdateMachineClassCategories(REFCLSID classId, const CategoryMapEntry* categories, BOOL doRegister) noexcept
{
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
    if (!doRegister) DeleteEmptyCategoryLists(classId);
    return S_OK;
}

// A user's registration walks its own list of the classes; one the object map serves and
// the list lacks would go unregistered for the user without a word, so the two must match.
HRESULT CheckSameClasses(const ObjectMapEntry* map, const ClassRegistration* classes) noexcept
{
    for (;; ++map, ++classes) {
        const bool mapEnds = map == nullptr || map->classId == nullptr;
        const bool listEnds = classes == nullptr || classes->classId == nullptr;
        if (mapEnds || listEnds) return mapEnds == listEnds ? S_OK : E_UNEXPECTED;
        if (!IsEqualCLSID(*map->classId, *classes->classId)) return E_UNEXPECTED;
    }
}

// One walk for both directions and every scope: the class's own registration, then its
// categories; removal in the reverse order. The first failure is returned.
template <class Row, class Update>
HRESULT UpdateRows(Row* rows, const CLSID* filter, const RegistrationScope& scope, BOOL doRegister,
                   Update update) noexcept
{
    HRESULT hr = S_OK;
    for (Row* row = rows; row != nullptr && row->classId != nullptr; ++row) {
        if (filter != nullptr && !IsEqualCLSID(*filter, *row->classId)) continue;
        const CategoryMapEntry* categories = row->getCategories != nullptr ? row->getCategories() : nullptr;
        if (doRegister) {
            RETURN_IF_FAILED(hr = update(*row));
            RETURN_IF_FAILED(hr = UpdateClassCategories(scope, *row->classId, categories, TRUE));
        } else {
            RETURN_IF_FAILED(hr = UpdateClassCategories(scope, *row->classId, categories, FALSE));
            RETURN_IF_FAILED(hr = update(*row));
        }
    }
    return hr;
}

}  // namespace

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

HRESULT CAtlModule::UpdateRegistryFromScriptIn(const RegistrationScope& scope, UINT resource, BOOL doRegister,
                                               const RegistryVariable* variables) noexcept
{
    if (!scope.ForUser()) return UpdateRegistryFromScript(resource, doRegister, variables);
    RETURN_IF_FAILED(scope.status());
    return RunScript(resource, nullptr, doRegister, variables, *this, scope.ClassesRoot());
}

HRESULT CComModule::RegisterClasses(BOOL registerTypeLibrary, const CLSID* filter) noexcept
{
    const RegistrationScope machine = RegistrationScope::Machine();
    const HRESULT hr =
        UpdateRows(objectMap, filter, machine, TRUE, [](ObjectMapEntry& entry) { return entry.updateRegistry(TRUE); });
    RETURN_IF_FAILED(hr);
    if (registerTypeLibrary) return RegisterTypeLibrary(g_comModuleRecord.typeLibraryInstance, machine);
    return hr;
}

HRESULT CComModule::UnregisterClasses(BOOL unregisterTypeLibrary, const CLSID* filter) noexcept
{
    const RegistrationScope machine = RegistrationScope::Machine();
    const HRESULT hr = UpdateRows(objectMap, filter, machine, FALSE,
                                  [](ObjectMapEntry& entry) { return entry.updateRegistry(FALSE); });
    RETURN_IF_FAILED(hr);
    if (unregisterTypeLibrary) return UnregisterTypeLibrary(g_comModuleRecord.typeLibraryInstance, machine);
    return hr;
}

HRESULT CComModule::RegisterClassesIn(const RegistrationScope& scope, const ClassRegistration* classes,
                                      BOOL registerTypeLibrary) noexcept
{
    RETURN_IF_FAILED(scope.status());
    RETURN_IF_FAILED(CheckSameClasses(objectMap, classes));
    const HRESULT hr = UpdateRows(classes, nullptr, scope, TRUE,
                                  [&](const ClassRegistration& row) { return row.updateRegistry(scope, TRUE); });
    RETURN_IF_FAILED(hr);
    if (registerTypeLibrary) return RegisterTypeLibrary(g_comModuleRecord.typeLibraryInstance, scope);
    return hr;
}

HRESULT CComModule::UnregisterClassesIn(const RegistrationScope& scope, const ClassRegistration* classes,
                                        BOOL unregisterTypeLibrary) noexcept
{
    RETURN_IF_FAILED(scope.status());
    RETURN_IF_FAILED(CheckSameClasses(objectMap, classes));
    const HRESULT hr = UpdateRows(classes, nullptr, scope, FALSE,
                                  [&](const ClassRegistration& row) { return row.updateRegistry(scope, FALSE); });
    RETURN_IF_FAILED(hr);
    if (unregisterTypeLibrary) return UnregisterTypeLibrary(g_comModuleRecord.typeLibraryInstance, scope);
    return hr;
}

HRESULT UpdateClassCategories(const RegistrationScope& scope, REFCLSID classId, const CategoryMapEntry* categories,
                              BOOL doRegister) noexcept
{
    if (categories == nullptr || IsEqualCLSID(classId, CLSID_NULL)) return S_OK;
    if (!scope.ForUser()) return UpdateMachineClassCategories(classId, categories, doRegister);
    // The system's category manager writes only the machine's classes, and no class of this
    // library names a category: a user's own registration refuses one rather than write it
    // for the machine.
    return E_NOTIMPL;
}
