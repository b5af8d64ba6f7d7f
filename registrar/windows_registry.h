// The registrar's registry and resource calls on Windows: the real registry, modules mapped
// as data, and the conversion code page.
#pragma once

#include <windows.h>

#include "registry_access.h"

namespace orrelin::regscript {

class WindowsRegistry final : public Registry {
public:
    // A script's HKCR names `classesRoot`: HKEY_CLASSES_ROOT, or the user's own
    // Software\Classes for a registration of the current user alone.
    explicit WindowsRegistry(HKEY classesRoot = HKEY_CLASSES_ROOT) noexcept;

    Win32Code OpenKey(KeyHandle parent, const char16_t* name, std::uint32_t access, KeyHandle* key) override;
    Win32Code CreateKey(KeyHandle parent, const char16_t* name, std::uint32_t access, KeyHandle* key) override;
    Win32Code SetValue(KeyHandle key, const char16_t* valueName, std::uint32_t type, const std::uint8_t* data,
                       std::uint32_t size) override;
    Win32Code DeleteValue(KeyHandle key, const char16_t* valueName) override;
    Win32Code DeleteKey(KeyHandle parent, const char16_t* name) override;
    Win32Code EnumKey(KeyHandle key, std::uint32_t index, std::u16string* name) override;
    Win32Code QuerySubkeyCount(KeyHandle key, std::uint32_t* count) override;
    Win32Code CloseKey(KeyHandle key) override;
    // VarUI4FromStr, locale 0, flags 0.
    HResult NumberFromText(const char16_t* text, std::uint32_t* value) override;

private:
    HKEY Native(KeyHandle key) const noexcept;

    HKEY m_classesRoot;
};

class WindowsScriptResources final : public ScriptResources {
public:
    Win32Code LoadModuleAsData(const char16_t* path, ModuleHandle* module) override;
    Win32Code FindResourceData(ModuleHandle module, const ResourceId& name, const ResourceId* type,
                               const std::uint8_t** data, std::uint32_t* size) override;
    void ReleaseModule(ModuleHandle module) override;
    // MultiByteToWideChar with orrelin::ConversionCodePage().
    Win32Code ConvertToWide(const std::uint8_t* bytes, std::uint32_t size, char16_t* text, std::uint32_t capacity,
                            std::uint32_t* written) override;
};

}  // namespace orrelin::regscript
