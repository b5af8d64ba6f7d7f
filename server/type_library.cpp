// The type library a module carries: found beside or inside the module file, registered and
// removed again.
#include "type_library.h"

#include <string>

#include "handles.h"
#include "hresult.h"
#include "module_file_name.h"
#include "path.h"
#include "registration_scope.h"

// Declared by the platform's oleauto.h, though not by the mingw-w64 headers; the import
// library has both.
extern "C" {
HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* fullPath, OLECHAR* helpDirectory);
HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libraryId, WORD majorVersion, WORD minorVersion, LCID locale,
                                        SYSKIND kind);
}

using orrelin::ComPtr;
using orrelin::GetModuleFileNameWhole;
using orrelin::SplitPath;
using orrelin::UniqueBstr;

HRESULT LoadTypeLibraryOfModule(HINSTANCE module, BSTR* path, ITypeLib** library) noexcept
{
    if (path == nullptr || library == nullptr) return E_POINTER;
    *path = nullptr;
    *library = nullptr;

    std::wstring moduleName;
    RETURN_IF_FAILED(GetModuleFileNameWhole(module, moduleName));
    // Room for a ".tlb" put in place of the extension.
    wchar_t fileName[MAX_PATH + 10];
    const size_t length = moduleName.size();
    moduleName.copy(fileName, length);
    fileName[length] = L'\0';

    // The extension starts at the last '.' after the last backslash, else at the end.
    wchar_t* extension = nullptr;
    for (wchar_t* p = fileName; *p != L'\0'; p = CharNextW(p))
        if (*p == L'.')
            extension = p;
        else if (*p == L'\\')
            extension = nullptr;
    if (extension == nullptr) extension = fileName + length;

    HRESULT hr = LoadTypeLib(fileName, library);
    if (FAILED(hr)) {
        if ((extension - fileName) + 5 > MAX_PATH) return E_FAIL;
        lstrcpyW(extension, L".tlb");
        hr = LoadTypeLib(fileName, library);
        if (FAILED(hr)) return hr;
    }
    *path = SysAllocString(fileName);
    if (*path == nullptr) return E_OUTOFMEMORY;
    return S_OK;
}

namespace {

// Some systems' per-user type library calls (Wine's) write HKEY_CLASSES_ROOT as the
// machine-wide ones do. For the length of such a call the process's HKEY_CLASSES_ROOT names
// the user's own classes, where Windows writes anyway, so nothing lands on the machine.
class UserClassesForCall {
public:
    explicit UserClassesForCall(const RegistrationScope& scope) noexcept
        : m_overridden(scope.ForUser() && RegOverridePredefKey(HKEY_CLASSES_ROOT, scope.ClassesRoot()) == ERROR_SUCCESS)
    {
    }
    ~UserClassesForCall()
    {
        if (m_overridden) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    }
    UserClassesForCall(const UserClassesForCall&) = delete;
    UserClassesForCall& operator=(const UserClassesForCall&) = delete;

private:
    bool m_overridden;
};

HRESULT RegisterLibrary(const RegistrationScope& scope, ITypeLib* library, OLECHAR* path,
                        OLECHAR* helpDirectory) noexcept
{
    if (!scope.ForUser()) return RegisterTypeLib(library, path, helpDirectory);
    RETURN_IF_FAILED(scope.status());
    UserClassesForCall userClasses(scope);
    return RegisterTypeLibForUser(library, path, helpDirectory);
}

}  // namespace

HRESULT RegisterTypeLibrary(HINSTANCE module, const RegistrationScope& scope) noexcept
{
    BSTR pathText = nullptr;
    ComPtr<ITypeLib> library;
    const HRESULT loaded = LoadTypeLibraryOfModule(module, &pathText, library.put());
    UniqueBstr path(pathText);
    RETURN_IF_FAILED(loaded);

    BSTR helpFileText = nullptr;
    if (FAILED(library->GetDocumentation(-1, nullptr, nullptr, nullptr, &helpFileText)))
        return RegisterLibrary(scope, library.get(), path.get(), nullptr);
    UniqueBstr helpFile(helpFileText);
    // The help directory: the help file's text up to and including its last separator.
    std::wstring directory;
    if (helpFile) directory = SplitPath(std::wstring(helpFile.get(), SysStringLen(helpFile.get()))).folder;
    return RegisterLibrary(scope, library.get(), path.get(), const_cast<wchar_t*>(directory.c_str()));
}

HRESULT UnregisterTypeLibrary(HINSTANCE module, const RegistrationScope& scope) noexcept
{
    BSTR pathText = nullptr;
    ComPtr<ITypeLib> library;
    const HRESULT loaded = LoadTypeLibraryOfModule(module, &pathText, library.put());
    UniqueBstr path(pathText);
    RETURN_IF_FAILED(loaded);
    TLIBATTR* attributes = nullptr;
    RETURN_IF_FAILED(library->GetLibAttr(&attributes));
    const auto unregister = scope.ForUser() ? UnRegisterTypeLibForUser : UnRegisterTypeLib;
    UserClassesForCall userClasses(scope);
    const HRESULT hr = unregister(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                                  attributes->lcid, attributes->syskind);
    library->ReleaseTLibAttr(attributes);
    return hr;
}
