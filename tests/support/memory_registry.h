// An in-memory registry and resource store with the platform's rules, for tests and the
// fuzzer: case-insensitive names that keep the case they were created with, default and
// named values with their type and bytes, handles that carry their access rights, and
// the platform's answers (ERROR_FILE_NOT_FOUND for an absent key, ERROR_ACCESS_DENIED for
// a write through a key opened for reading or for deleting a key that has subkeys,
// ERROR_KEY_DELETED through a handle whose key is gone, key names of at most 255
// characters). Any call can be made to fail with a chosen code.
#pragma once

#include "registry_access.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orrelin::regscript {

class MemoryRegistry final : public Registry {
public:
    enum class Call { OpenKey, CreateKey, SetValue, DeleteValue, DeleteKey, EnumKey, QuerySubkeyCount, CloseKey };

    MemoryRegistry();
    ~MemoryRegistry() override;
    MemoryRegistry(const MemoryRegistry&) = delete;
    MemoryRegistry& operator=(const MemoryRegistry&) = delete;

    Win32Code OpenKey(KeyHandle parent, const char16_t* name, std::uint32_t access, KeyHandle* key) override;
    Win32Code CreateKey(KeyHandle parent, const char16_t* name, std::uint32_t access, KeyHandle* key) override;
    Win32Code SetValue(KeyHandle key, const char16_t* valueName, std::uint32_t type, const std::uint8_t* data,
                       std::uint32_t size) override;
    Win32Code DeleteValue(KeyHandle key, const char16_t* valueName) override;
    Win32Code DeleteKey(KeyHandle parent, const char16_t* name) override;
    Win32Code EnumKey(KeyHandle key, std::uint32_t index, std::u16string* name) override;
    Win32Code QuerySubkeyCount(KeyHandle key, std::uint32_t* count) override;
    Win32Code CloseKey(KeyHandle key) override;

    // Setting up and reading back by full path: a root name as scripts write it (HKCR,
    // HKEY_LOCAL_MACHINE, ...), then the key names, separated by backslashes.
    void CreateKeyAt(std::u16string_view path);
    // A null value name is the default value.
    void SetValueAt(std::u16string_view path, const char16_t* valueName, std::uint32_t type,
                    std::vector<std::uint8_t> data);
    void SetStringAt(std::u16string_view path, const char16_t* valueName, std::u16string_view text);
    bool KeyExists(std::u16string_view path) const;
    // False when the key or the value is absent.
    bool GetValueAt(std::u16string_view path, const char16_t* valueName, std::uint32_t* type,
                    std::vector<std::uint8_t>* data) const;

    // The next `count` calls of `call` whose key has the full path `path` (the key opened,
    // created or deleted; the key whose value is set or deleted, enumerated, queried or
    // closed) answer `code` and change nothing; a negative count fails every such call.
    // For OpenKey and CreateKey, `accessMask` limits the failure to calls asking for all
    // of those rights.
    void FailCall(Call call, std::u16string_view path, Win32Code code, int count = -1, std::uint32_t accessMask = 0);
    void ClearFailures();

    // The platform's limit is 255; Wine accepts longer names, which a test can mimic.
    void SetMaxKeyNameLength(std::size_t length) { m_maxKeyNameLength = length; }

    std::size_t OpenHandleCount() const { return m_openHandles; }

    // One line per call: "OpenKey HKCR\a 0x2001F -> 2".
    void EnableCallLog(bool enable) { m_logCalls = enable; }
    const std::vector<std::string>& CallLog() const { return m_callLog; }
    void ClearCallLog() { m_callLog.clear(); }

    // Every root that holds anything, in the format of registry_dump.h.
    std::string Dump() const;
    // The key at `path` and everything under it; empty when there is no such key.
    std::string Dump(std::u16string_view path) const;

private:
    struct Key;
    struct Handle;
    struct Failure;
    struct Target;

    std::shared_ptr<Key> ResolveHandle(KeyHandle handle, std::uint32_t* access, Win32Code* code) const;
    const Handle* FindHandle(KeyHandle handle) const;
    Win32Code Walk(const std::shared_ptr<Key>& start, const char16_t* name, bool create, std::shared_ptr<Key>* found);
    KeyHandle NewHandle(std::shared_ptr<Key> key, std::uint32_t access);
    bool Fails(Call call, const Target& target, std::uint32_t access, Win32Code* code);
    void Log(Call call, const Target& target, const std::string& detail, Win32Code code);
    std::shared_ptr<Key> FindPath(std::u16string_view path) const;
    std::shared_ptr<Key> MakePath(std::u16string_view path);
    static std::u16string PathOf(const Key& key);
    static void DumpKey(const Key& key, std::string& out);

    std::vector<std::shared_ptr<Key>> m_roots;  // in the order of the root handles
    // Handle values are never reused: slot i holds handle 0x1000 + 4 * i, empty once closed.
    std::vector<Handle> m_handles;
    std::size_t m_openHandles = 0;
    std::vector<Failure> m_failures;
    std::size_t m_maxKeyNameLength = 255;
    bool m_logCalls = true;
    std::vector<std::string> m_callLog;
};

// Module files with their resources, held in memory. Text converts as code page 1252, the
// default ANSI code page of a Western system.
class MemoryScriptResources final : public ScriptResources {
public:
    enum class Call { LoadModuleAsData, FindResourceData, ConvertToWide };

    MemoryScriptResources();
    ~MemoryScriptResources() override;

    // `type` and `name` as FindResourceW takes them: a number, or a name ("#102" is the
    // number 102), case-insensitive.
    void AddResource(std::u16string_view modulePath, const ResourceId& type, const ResourceId& name, std::string bytes);

    Win32Code LoadModuleAsData(const char16_t* path, ModuleHandle* module) override;
    Win32Code FindResourceData(ModuleHandle module, const ResourceId& name, const ResourceId* type,
                               const std::uint8_t** data, std::uint32_t* size) override;
    void ReleaseModule(ModuleHandle module) override;
    Win32Code ConvertToWide(const std::uint8_t* bytes, std::uint32_t size, char16_t* text, std::uint32_t capacity,
                            std::uint32_t* written) override;

    // Every call of `call` answers `code` until cleared.
    void FailCall(Call call, Win32Code code);
    void ClearFailures();
    std::size_t LoadedModuleCount() const { return m_loaded.size(); }

private:
    struct Resource;
    struct Module;

    std::vector<std::unique_ptr<Module>> m_modules;
    std::map<ModuleHandle, Module*> m_loaded;
    ModuleHandle m_nextModule = 0x10000;
    std::map<Call, Win32Code> m_failures;
};

}  // namespace orrelin::regscript
