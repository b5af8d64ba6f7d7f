// The only points where the registrar meets the system: the registry calls and the loading
// of a script resource from a module file mapped as data. Each answers the platform's own
// Win32 code. The Windows build plugs in the real calls; native tests use the in-memory
// registry, which keeps the same rules.
#pragma once

#include "reg_types.h"
#include "value_data.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace orrelin::regscript {

class Registry {
public:
    virtual ~Registry() = default;

    // RegOpenKeyExW: `name` may be empty, which opens the key itself again.
    virtual Win32Code OpenKey(KeyHandle parent, const char16_t* name, std::uint32_t access, KeyHandle* key) = 0;
    // RegCreateKeyExW: no class, options 0 (non-volatile), no security descriptor.
    virtual Win32Code CreateKey(KeyHandle parent, const char16_t* name, std::uint32_t access, KeyHandle* key) = 0;
    // RegSetValueExW; a null value name is the key's default value.
    virtual Win32Code SetValue(KeyHandle key, const char16_t* valueName, std::uint32_t type, const std::uint8_t* data,
                               std::uint32_t size) = 0;
    // RegDeleteValueW.
    virtual Win32Code DeleteValue(KeyHandle key, const char16_t* valueName) = 0;
    // RegDeleteKeyW: removes the subkey `name`, which must have no subkeys of its own.
    virtual Win32Code DeleteKey(KeyHandle parent, const char16_t* name) = 0;
    // RegEnumKeyExW with a name store of 256 characters.
    virtual Win32Code EnumKey(KeyHandle key, std::uint32_t index, std::u16string* name) = 0;
    // RegQueryInfoKeyW asking for the number of subkeys only.
    virtual Win32Code QuerySubkeyCount(KeyHandle key, std::uint32_t* count) = 0;
    // RegCloseKey. Never called for a predefined root.
    virtual Win32Code CloseKey(KeyHandle key) = 0;

    // The data of a "D" value as a number: unsigned decimal up to 4294967295 here, the
    // platform's VarUI4FromStr (locale 0, flags 0) on Windows. Answers an HRESULT.
    virtual HResult NumberFromText(const char16_t* text, std::uint32_t* value)
    {
        return DecimalNumberFromText(text ? std::u16string_view(text) : std::u16string_view(), value);
    }
};

// A resource identifier: a 16-bit number or a name (FindResourceW takes either).
class ResourceId {
public:
    static ResourceId Number(std::uint16_t number) { return ResourceId(number); }
    static ResourceId Name(std::u16string name) { return ResourceId(std::move(name)); }

    bool IsNumber() const noexcept { return m_isNumber; }
    std::uint16_t number() const noexcept { return m_number; }
    const std::u16string& name() const noexcept { return m_name; }

private:
    explicit ResourceId(std::uint16_t number) : m_isNumber(true), m_number(number) {}
    explicit ResourceId(std::u16string name) : m_name(std::move(name)) {}

    bool m_isNumber = false;
    std::uint16_t m_number = 0;
    std::u16string m_name;
};

using ModuleHandle = std::uintptr_t;

class ScriptResources {
public:
    virtual ~ScriptResources() = default;

    // LoadLibraryExW (path, no file, LOAD_LIBRARY_AS_DATAFILE): no code of the file runs.
    virtual Win32Code LoadModuleAsData(const char16_t* path, ModuleHandle* module) = 0;
    // FindResourceW, LoadResource, SizeofResource. The bytes stay valid until the module
    // is freed. A null type finds nothing (ERROR_RESOURCE_TYPE_NOT_FOUND).
    virtual Win32Code FindResourceData(ModuleHandle module, const ResourceId& name, const ResourceId* type,
                                       const std::uint8_t** data, std::uint32_t* size) = 0;
    // FreeLibrary.
    virtual void ReleaseModule(ModuleHandle module) = 0;
    // MultiByteToWideChar with the conversion code page, flags 0: `size` bytes in, at most
    // `capacity` characters out. Fails (ERROR_INVALID_PARAMETER) for 0 bytes, as the
    // platform does.
    virtual Win32Code ConvertToWide(const std::uint8_t* bytes, std::uint32_t size, char16_t* text,
                                    std::uint32_t capacity, std::uint32_t* written) = 0;
};

}  // namespace orrelin::regscript
