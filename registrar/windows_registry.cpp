#include "windows_registry.h"

#include <windows.h>
#include <oleauto.h>

#include <code_page.h>

#include <algorithm>
#include <climits>
#include <string>

namespace orrelin::regscript {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide characters");
static_assert(kDispEException == static_cast<HResult>(DISP_E_EXCEPTION));
static_assert(kDispETypeMismatch == static_cast<HResult>(DISP_E_TYPEMISMATCH));
static_assert(kDispEOverflow == static_cast<HResult>(DISP_E_OVERFLOW));
static_assert(kEFail == static_cast<HResult>(E_FAIL));
static_assert(kEPointer == static_cast<HResult>(E_POINTER));
static_assert(kEOutOfMemory == static_cast<HResult>(E_OUTOFMEMORY));
static_assert(kEInvalidArg == static_cast<HResult>(E_INVALIDARG));
static_assert(kENotImpl == static_cast<HResult>(E_NOTIMPL));
static_assert(kKeyRead == KEY_READ && kKeyWrite == KEY_WRITE && kKeySetValue == KEY_SET_VALUE);
static_assert(kRegSz == REG_SZ && kRegDword == REG_DWORD && kRegBinary == REG_BINARY && kRegMultiSz == REG_MULTI_SZ);
static_assert(kErrorKeyDeleted == ERROR_KEY_DELETED && kErrorNoMoreItems == ERROR_NO_MORE_ITEMS);
static_assert(kErrorResourceTypeNotFound == ERROR_RESOURCE_TYPE_NOT_FOUND &&
              kErrorResourceNameNotFound == ERROR_RESOURCE_NAME_NOT_FOUND);
static_assert(kErrorModNotFound == ERROR_MOD_NOT_FOUND && kErrorBadPathname == ERROR_BAD_PATHNAME);

namespace {

HKEY ToHKey(KeyHandle key) noexcept
{
    return reinterpret_cast<HKEY>(key);
}
KeyHandle FromHKey(HKEY key) noexcept
{
    return reinterpret_cast<KeyHandle>(key);
}

// wchar_t and char16_t are distinct types of the same size: texts are copied across, never
// reinterpreted.
std::wstring Wide(const char16_t* text)
{
    return std::wstring(text, text + std::char_traits<char16_t>::length(text));
}

class WideArg {
public:
    explicit WideArg(const char16_t* text) : m_null(text == nullptr), m_text(text ? Wide(text) : std::wstring()) {}
    const wchar_t* get() const noexcept { return m_null ? nullptr : m_text.c_str(); }

private:
    bool m_null;
    std::wstring m_text;
};

// The thread's last error after a call that reported failure; E_FAIL should a call fail
// without setting one, so that a failure is never read as success.
Win32Code LastErrorCode() noexcept
{
    const DWORD code = GetLastError();
    return code != 0 ? static_cast<Win32Code>(code) : static_cast<Win32Code>(E_FAIL);
}

}  // namespace

WindowsRegistry::WindowsRegistry(HKEY classesRoot) noexcept : m_classesRoot(classesRoot) {}

HKEY WindowsRegistry::Native(KeyHandle key) const noexcept
{
    return key == kHkeyClassesRoot ? m_classesRoot : ToHKey(key);
}

Win32Code WindowsRegistry::OpenKey(KeyHandle parent, const char16_t* name, std::uint32_t access, KeyHandle* key)
{
    HKEY opened = nullptr;
    const LONG code = RegOpenKeyExW(Native(parent), WideArg(name).get(), 0, access, &opened);
    if (code == ERROR_SUCCESS) *key = FromHKey(opened);
    return code;
}

Win32Code WindowsRegistry::CreateKey(KeyHandle parent, const char16_t* name, std::uint32_t access, KeyHandle* key)
{
    HKEY created = nullptr;
    const LONG code = RegCreateKeyExW(Native(parent), WideArg(name).get(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                      nullptr, &created, nullptr);
    if (code == ERROR_SUCCESS) *key = FromHKey(created);
    return code;
}

Win32Code WindowsRegistry::SetValue(KeyHandle key, const char16_t* valueName, std::uint32_t type,
                                    const std::uint8_t* data, std::uint32_t size)
{
    return RegSetValueExW(Native(key), WideArg(valueName).get(), 0, type, data, size);
}

Win32Code WindowsRegistry::DeleteValue(KeyHandle key, const char16_t* valueName)
{
    return RegDeleteValueW(Native(key), WideArg(valueName).get());
}

Win32Code WindowsRegistry::DeleteKey(KeyHandle parent, const char16_t* name)
{
    return RegDeleteKeyW(Native(parent), WideArg(name).get());
}

Win32Code WindowsRegistry::EnumKey(KeyHandle key, std::uint32_t index, std::u16string* name)
{
    wchar_t buffer[256];
    DWORD length = 256;
    const LONG code = RegEnumKeyExW(Native(key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (code == ERROR_SUCCESS) name->assign(buffer, buffer + length);
    return code;
}

Win32Code WindowsRegistry::QuerySubkeyCount(KeyHandle key, std::uint32_t* count)
{
    DWORD subkeys = 0;
    const LONG code = RegQueryInfoKeyW(Native(key), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                                       nullptr, nullptr, nullptr, nullptr);
    if (code == ERROR_SUCCESS) *count = subkeys;
    return code;
}

Win32Code WindowsRegistry::CloseKey(KeyHandle key)
{
    return RegCloseKey(ToHKey(key));
}

HResult WindowsRegistry::NumberFromText(const char16_t* text, std::uint32_t* value)
{
    std::wstring wide = Wide(text ? text : u"");
    ULONG number = 0;
    const HRESULT hr = VarUI4FromStr(wide.data(), 0, 0, &number);
    if (SUCCEEDED(hr)) *value = number;
    return hr;
}

Win32Code WindowsScriptResources::LoadModuleAsData(const char16_t* path, ModuleHandle* module)
{
    const HMODULE loaded = LoadLibraryExW(WideArg(path).get(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (loaded == nullptr) return LastErrorCode();
    *module = reinterpret_cast<ModuleHandle>(loaded);
    return ERROR_SUCCESS;
}

Win32Code WindowsScriptResources::FindResourceData(ModuleHandle module, const ResourceId& name, const ResourceId* type,
                                                   const std::uint8_t** data, std::uint32_t* size)
{
    const HMODULE handle = reinterpret_cast<HMODULE>(module);
    const std::wstring nameText = name.IsNumber() ? std::wstring() : Wide(name.name().c_str());
    const std::wstring typeText = (type && !type->IsNumber()) ? Wide(type->name().c_str()) : std::wstring();
    const wchar_t* nameArg = name.IsNumber() ? MAKEINTRESOURCEW(name.number()) : nameText.c_str();
    const wchar_t* typeArg = type == nullptr    ? nullptr
                             : type->IsNumber() ? MAKEINTRESOURCEW(type->number())
                                                : typeText.c_str();

    const HRSRC found = FindResourceW(handle, nameArg, typeArg);
    if (found == nullptr) return LastErrorCode();
    const HGLOBAL loaded = LoadResource(handle, found);
    if (loaded == nullptr) return LastErrorCode();
    *size = SizeofResource(handle, found);
    *data = static_cast<const std::uint8_t*>(LockResource(loaded));
    return ERROR_SUCCESS;
}

void WindowsScriptResources::ReleaseModule(ModuleHandle module)
{
    FreeLibrary(reinterpret_cast<HMODULE>(module));
}

Win32Code WindowsScriptResources::ConvertToWide(const std::uint8_t* bytes, std::uint32_t size, char16_t* text,
                                                std::uint32_t capacity, std::uint32_t* written)
{
    if (size > INT_MAX || capacity > INT_MAX) return ERROR_INVALID_PARAMETER;
    // A zero-sized store would turn the call into a query of the size needed.
    if (capacity == 0) return size == 0 ? ERROR_INVALID_PARAMETER : ERROR_INSUFFICIENT_BUFFER;
    std::wstring wide(capacity, L'\0');
    const int converted = MultiByteToWideChar(ConversionCodePage(), 0, reinterpret_cast<const char*>(bytes),
                                              static_cast<int>(size), wide.data(), static_cast<int>(capacity));
    if (converted == 0) return LastErrorCode();
    std::copy(wide.begin(), wide.begin() + converted, text);
    *written = static_cast<std::uint32_t>(converted);
    return ERROR_SUCCESS;
}

}  // namespace orrelin::regscript
