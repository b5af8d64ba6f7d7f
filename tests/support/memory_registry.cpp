#include "memory_registry.h"

#include "case_fold.h"
#include "reg_script_interpreter.h"
#include "registry_dump.h"
#include "value_data.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <stdexcept>
#include <utility>

namespace orrelin::regscript {

namespace {

struct NoCaseLess {
    using is_transparent = void;
    bool operator()(std::u16string_view a, std::u16string_view b) const noexcept { return CompareNoCase(a, b) < 0; }
};

constexpr std::uint32_t kAllAccess = 0xF003F;
constexpr std::size_t kMaxValueNameChars = 16383;
constexpr std::size_t kEnumNameStore = 256;
constexpr KeyHandle kFirstHandle = 0x1000;
constexpr KeyHandle kHandleStep = 4;

const char* CallName(MemoryRegistry::Call call)
{
    switch (call) {
    case MemoryRegistry::Call::OpenKey:
        return "OpenKey";
    case MemoryRegistry::Call::CreateKey:
        return "CreateKey";
    case MemoryRegistry::Call::SetValue:
        return "SetValue";
    case MemoryRegistry::Call::DeleteValue:
        return "DeleteValue";
    case MemoryRegistry::Call::DeleteKey:
        return "DeleteKey";
    case MemoryRegistry::Call::EnumKey:
        return "EnumKey";
    case MemoryRegistry::Call::QuerySubkeyCount:
        return "QuerySubkeyCount";
    case MemoryRegistry::Call::CloseKey:
        return "CloseKey";
    }
    return "?";
}

std::string Hex(std::uint32_t value)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%X", static_cast<unsigned>(value));
    return buffer;
}

// Checks the names of "a\b\c". A leading backslash, or two in a row, name nothing: the
// platform answers ERROR_BAD_PATHNAME. One trailing backslash is allowed, as there.
Win32Code CheckPath(std::u16string_view path, std::size_t maxName)
{
    if (path.empty()) return kErrorSuccess;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = path.find(u'\\', start);
        const std::u16string_view name = path.substr(start, end == std::u16string_view::npos ? path.npos : end - start);
        if (name.empty()) {
            if (end == std::u16string_view::npos && start != 0) return kErrorSuccess;
            return kErrorBadPathname;
        }
        if (name.size() > maxName) return kErrorInvalidParameter;
        if (end == std::u16string_view::npos) return kErrorSuccess;
        start = end + 1;
    }
}

struct RootSpelling {
    KeyHandle key;
    std::u16string_view shortName;
};

// In the order of the root handles, HKEY_CLASSES_ROOT first.
constexpr RootSpelling kRoots[] = {
    {kHkeyClassesRoot, u"HKCR"},     {kHkeyCurrentUser, u"HKCU"},   {kHkeyLocalMachine, u"HKLM"}, {kHkeyUsers, u"HKU"},
    {kHkeyPerformanceData, u"HKPD"}, {kHkeyCurrentConfig, u"HKCC"}, {kHkeyDynData, u"HKDD"},
};

// "HKEY_CLASSES_ROOT\x" and "hkcr\x" both become "HKCR\x".
std::u16string NormalizePath(std::u16string_view path)
{
    const std::size_t slash = path.find(u'\\');
    const KeyHandle root = RootKeyFromName(path.substr(0, slash));
    for (const RootSpelling& spelling : kRoots) {
        if (spelling.key == root) {
            std::u16string result(spelling.shortName);
            if (slash != std::u16string_view::npos) result += path.substr(slash);
            return result;
        }
    }
    throw std::invalid_argument("registry path does not start with a root key name");
}

// Code page 1252 where it differs from Latin-1.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

// A key knows its full path from its creation on; its name is the last part of that path,
// and its owner's table of subkeys looks it up by that same text.
struct MemoryRegistry::Key {
    struct Value {
        std::u16string name;
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
    };

    Key(std::u16string fullPath, std::size_t nameLength, Key* owner)
        : path(std::move(fullPath)), name(std::u16string_view(path).substr(path.size() - nameLength)), parent(owner)
    {
    }

    const std::u16string path;
    const std::u16string_view name;
    Key* parent = nullptr;
    bool deleted = false;
    std::map<std::u16string_view, std::shared_ptr<Key>, NoCaseLess> subkeys;
    std::map<std::u16string, Value, NoCaseLess> values;  // the default value under ""
};

struct MemoryRegistry::Handle {
    std::shared_ptr<Key> key;  // empty once the handle is closed
    std::uint32_t access = 0;
};

struct MemoryRegistry::Failure {
    Call call;
    std::u16string path;
    Win32Code code;
    int count;
    std::uint32_t accessMask;
};

// What a call reaches, for the call log and for failures to match: `key`\`name`, or nothing
// for a handle that names no key. Its full path is spelled out only for the log.
struct MemoryRegistry::Target {
    const Key* key;
    bool hasName;
    std::u16string_view name;  // without a trailing backslash, which names the same key

    Target(const Key* reached, const char16_t* subkey)
        : key(reached), hasName(subkey != nullptr && *subkey != 0), name(hasName ? subkey : u"")
    {
        if (!name.empty() && name.back() == u'\\') name.remove_suffix(1);
    }

    bool Matches(std::u16string_view path) const
    {
        if (key == nullptr || key->deleted) return EqualsNoCase(path, Text());
        const std::u16string_view own = key->path;
        if (!hasName) return EqualsNoCase(path, own);
        return path.size() == own.size() + 1 + name.size() && path[own.size()] == u'\\' &&
               EqualsNoCase(path.substr(0, own.size()), own) && EqualsNoCase(path.substr(own.size() + 1), name);
    }

    std::u16string Text() const
    {
        if (key == nullptr) return u"<bad handle>";
        std::u16string path = PathOf(*key);
        if (hasName) {
            path += u'\\';
            path += name;
        }
        return path;
    }
};

MemoryRegistry::MemoryRegistry()
{
    for (const RootSpelling& spelling : kRoots) {
        m_roots.push_back(
            std::make_shared<Key>(std::u16string(spelling.shortName), spelling.shortName.size(), nullptr));
    }
}

MemoryRegistry::~MemoryRegistry() = default;

std::shared_ptr<MemoryRegistry::Key> MemoryRegistry::ResolveHandle(KeyHandle handle, std::uint32_t* access,
                                                                   Win32Code* code) const
{
    *code = kErrorSuccess;
    if (IsPredefinedKey(handle)) {
        *access = kAllAccess;
        return m_roots[handle - kHkeyClassesRoot];
    }
    const Handle* entry = FindHandle(handle);
    if (entry == nullptr) {
        *code = kErrorInvalidHandle;
        return nullptr;
    }
    if (entry->key->deleted) {
        *code = kErrorKeyDeleted;
        return nullptr;
    }
    *access = entry->access;
    return entry->key;
}

const MemoryRegistry::Handle* MemoryRegistry::FindHandle(KeyHandle handle) const
{
    if (handle < kFirstHandle || (handle - kFirstHandle) % kHandleStep != 0) return nullptr;
    const std::size_t slot = (handle - kFirstHandle) / kHandleStep;
    if (slot >= m_handles.size() || !m_handles[slot].key) return nullptr;
    return &m_handles[slot];
}

std::u16string MemoryRegistry::PathOf(const Key& key)
{
    if (key.deleted) return u"<deleted>\\" + std::u16string(key.name);
    return key.path;
}

Win32Code MemoryRegistry::Walk(const std::shared_ptr<Key>& start, const char16_t* name, bool create,
                               std::shared_ptr<Key>* found)
{
    const std::u16string_view path = name ? std::u16string_view(name) : std::u16string_view();
    // The whole path is checked before the first key is created. The interpreter names one
    // level at a time, so a name without a backslash is the common case.
    const std::size_t firstSlash = path.find(u'\\');
    if (firstSlash == std::u16string_view::npos) {
        if (path.size() > m_maxKeyNameLength) return kErrorInvalidParameter;
    } else if (const Win32Code valid = CheckPath(path, m_maxKeyNameLength); valid != kErrorSuccess) {
        return valid;
    }
    std::shared_ptr<Key> current = start;
    std::size_t slash = firstSlash;
    for (std::size_t begin = 0; begin < path.size();) {
        const std::size_t end = std::min(slash, path.size());
        const std::u16string_view part = path.substr(begin, end - begin);
        begin = end + 1;
        if (begin < path.size()) slash = path.find(u'\\', begin);
        const auto sub = current->subkeys.find(part);
        if (sub != current->subkeys.end()) {
            current = sub->second;
            continue;
        }
        if (!create) return kErrorFileNotFound;
        std::u16string childPath = current->path;
        childPath += u'\\';
        childPath += part;
        auto key = std::make_shared<Key>(std::move(childPath), part.size(), current.get());
        current->subkeys.emplace(key->name, key);
        current = std::move(key);
    }
    *found = std::move(current);
    return kErrorSuccess;
}

KeyHandle MemoryRegistry::NewHandle(std::shared_ptr<Key> key, std::uint32_t access)
{
    const KeyHandle handle = kFirstHandle + kHandleStep * m_handles.size();
    m_handles.push_back(Handle{std::move(key), access});
    ++m_openHandles;
    return handle;
}

bool MemoryRegistry::Fails(Call call, const Target& target, std::uint32_t access, Win32Code* code)
{
    for (Failure& failure : m_failures) {
        if (failure.call != call || failure.count == 0 || !target.Matches(failure.path)) continue;
        if ((access & failure.accessMask) != failure.accessMask) continue;
        if (failure.count > 0) --failure.count;
        *code = failure.code;
        return true;
    }
    return false;
}

void MemoryRegistry::Log(Call call, const Target& target, const std::string& detail, Win32Code code)
{
    std::string line = CallName(call);
    line += ' ';
    line += EscapeKeyPath(target.Text());
    if (!detail.empty()) {
        line += ' ';
        line += detail;
    }
    line += " -> ";
    line += std::to_string(code);
    m_callLog.push_back(std::move(line));
}

Win32Code MemoryRegistry::OpenKey(KeyHandle parent, const char16_t* name, std::uint32_t access, KeyHandle* key)
{
    std::uint32_t ownerAccess = 0;
    Win32Code code = kErrorSuccess;
    const std::shared_ptr<Key> owner = ResolveHandle(parent, &ownerAccess, &code);
    const Target target(owner.get(), name);
    if (code == kErrorSuccess && !Fails(Call::OpenKey, target, access, &code)) {
        std::shared_ptr<Key> found;
        code = Walk(owner, name, false, &found);
        if (code == kErrorSuccess) *key = NewHandle(std::move(found), access);
    }
    if (m_logCalls) Log(Call::OpenKey, target, Hex(access), code);
    return code;
}

Win32Code MemoryRegistry::CreateKey(KeyHandle parent, const char16_t* name, std::uint32_t access, KeyHandle* key)
{
    std::uint32_t ownerAccess = 0;
    Win32Code code = kErrorSuccess;
    const std::shared_ptr<Key> owner = ResolveHandle(parent, &ownerAccess, &code);
    const Target target(owner.get(), name);
    if (code == kErrorSuccess && !Fails(Call::CreateKey, target, access, &code)) {
        std::shared_ptr<Key> found;
        code = Walk(owner, name, false, &found);
        if (code == kErrorFileNotFound) {
            // Creating a subkey needs KEY_CREATE_SUB_KEY on the parent's handle.
            code = (ownerAccess & kKeyCreateSubKey) ? Walk(owner, name, true, &found) : kErrorAccessDenied;
        }
        if (code == kErrorSuccess) *key = NewHandle(std::move(found), access);
    }
    if (m_logCalls) Log(Call::CreateKey, target, Hex(access), code);
    return code;
}

Win32Code MemoryRegistry::SetValue(KeyHandle key, const char16_t* valueName, std::uint32_t type,
                                   const std::uint8_t* data, std::uint32_t size)
{
    std::uint32_t access = 0;
    Win32Code code = kErrorSuccess;
    const std::shared_ptr<Key> owner = ResolveHandle(key, &access, &code);
    const Target target(owner.get(), nullptr);
    const std::u16string_view name = valueName ? valueName : u"";
    if (code == kErrorSuccess && !Fails(Call::SetValue, target, access, &code)) {
        if (!(access & kKeySetValue)) {
            code = kErrorAccessDenied;
        } else if (name.size() > kMaxValueNameChars || (size > 0 && data == nullptr)) {
            code = kErrorInvalidParameter;
        } else {
            auto found = owner->values.find(name);
            // A value keeps the case of the name it was first written under.
            if (found == owner->values.end())
                found = owner->values.emplace(std::u16string(name), Key::Value{std::u16string(name), 0, {}}).first;
            found->second.type = type;
            found->second.data.assign(data, data + size);
        }
    }
    if (m_logCalls)
        Log(Call::SetValue, target, "[" + EscapeText(name) + "] " + Hex(type) + " " + std::to_string(size), code);
    return code;
}

Win32Code MemoryRegistry::DeleteValue(KeyHandle key, const char16_t* valueName)
{
    std::uint32_t access = 0;
    Win32Code code = kErrorSuccess;
    const std::shared_ptr<Key> owner = ResolveHandle(key, &access, &code);
    const Target target(owner.get(), nullptr);
    const std::u16string_view name = valueName ? valueName : u"";
    if (code == kErrorSuccess && !Fails(Call::DeleteValue, target, access, &code)) {
        if (!(access & kKeySetValue))
            code = kErrorAccessDenied;
        else if (const auto found = owner->values.find(name); found != owner->values.end())
            owner->values.erase(found);
        else
            code = kErrorFileNotFound;
    }
    if (m_logCalls) Log(Call::DeleteValue, target, "[" + EscapeText(name) + "]", code);
    return code;
}

Win32Code MemoryRegistry::DeleteKey(KeyHandle parent, const char16_t* name)
{
    std::uint32_t access = 0;
    Win32Code code = kErrorSuccess;
    const std::shared_ptr<Key> owner = ResolveHandle(parent, &access, &code);
    const Target target(owner.get(), name);
    // The rights of the parent's handle play no part in a deletion.
    if (code == kErrorSuccess && !Fails(Call::DeleteKey, target, access, &code)) {
        std::shared_ptr<Key> doomed;
        if (name == nullptr) {
            code = kErrorInvalidParameter;
        } else if ((code = Walk(owner, name, false, &doomed)) == kErrorSuccess) {
            if (doomed->parent == nullptr || !doomed->subkeys.empty()) {
                code = kErrorAccessDenied;  // a root, or a key that still has subkeys
            } else {
                doomed->parent->subkeys.erase(doomed->name);
                doomed->parent = nullptr;
                doomed->deleted = true;
                doomed->values.clear();
            }
        }
    }
    if (m_logCalls) Log(Call::DeleteKey, target, "", code);
    return code;
}

Win32Code MemoryRegistry::EnumKey(KeyHandle key, std::uint32_t index, std::u16string* name)
{
    std::uint32_t access = 0;
    Win32Code code = kErrorSuccess;
    const std::shared_ptr<Key> owner = ResolveHandle(key, &access, &code);
    const Target target(owner.get(), nullptr);
    if (code == kErrorSuccess && !Fails(Call::EnumKey, target, access, &code)) {
        if (!(access & kKeyEnumerateSubKeys)) {
            code = kErrorAccessDenied;
        } else if (index >= owner->subkeys.size()) {
            code = kErrorNoMoreItems;
        } else {
            const auto& entry = *std::next(owner->subkeys.begin(), index);
            if (entry.second->name.size() >= kEnumNameStore)
                code = kErrorMoreData;
            else
                name->assign(entry.second->name);
        }
    }
    if (m_logCalls) Log(Call::EnumKey, target, std::to_string(index), code);
    return code;
}

Win32Code MemoryRegistry::QuerySubkeyCount(KeyHandle key, std::uint32_t* count)
{
    std::uint32_t access = 0;
    Win32Code code = kErrorSuccess;
    const std::shared_ptr<Key> owner = ResolveHandle(key, &access, &code);
    const Target target(owner.get(), nullptr);
    if (code == kErrorSuccess && !Fails(Call::QuerySubkeyCount, target, access, &code)) {
        if (!(access & kKeyQueryValue))
            code = kErrorAccessDenied;
        else
            *count = static_cast<std::uint32_t>(owner->subkeys.size());
    }
    if (m_logCalls) Log(Call::QuerySubkeyCount, target, "", code);
    return code;
}

Win32Code MemoryRegistry::CloseKey(KeyHandle key)
{
    if (IsPredefinedKey(key)) return kErrorSuccess;
    Handle* entry = const_cast<Handle*>(FindHandle(key));
    if (entry == nullptr) {
        if (m_logCalls) Log(Call::CloseKey, Target(nullptr, nullptr), "", kErrorInvalidHandle);
        return kErrorInvalidHandle;
    }
    // A failed close still ends the handle, so tests can check that none is left open.
    const std::shared_ptr<Key> closed = std::move(entry->key);
    --m_openHandles;
    const Target target(closed.get(), nullptr);
    Win32Code code = kErrorSuccess;
    Fails(Call::CloseKey, target, entry->access, &code);
    if (m_logCalls) Log(Call::CloseKey, target, "", code);
    return code;
}

std::shared_ptr<MemoryRegistry::Key> MemoryRegistry::FindPath(std::u16string_view path) const
{
    const std::u16string normalized = NormalizePath(path);
    const std::size_t slash = std::min(normalized.find(u'\\'), normalized.size());
    const KeyHandle root = RootKeyFromName(std::u16string_view(normalized).substr(0, slash));
    std::shared_ptr<Key> current = m_roots[root - kHkeyClassesRoot];
    const std::u16string_view rest = std::u16string_view(normalized).substr(std::min(slash + 1, normalized.size()));
    if (CheckPath(rest, static_cast<std::size_t>(-1)) != kErrorSuccess) return nullptr;
    for (std::size_t begin = 0; begin < rest.size();) {
        const std::size_t end = std::min(rest.find(u'\\', begin), rest.size());
        const auto sub = current->subkeys.find(rest.substr(begin, end - begin));
        if (sub == current->subkeys.end()) return nullptr;
        current = sub->second;
        begin = end + 1;
    }
    return current;
}

std::shared_ptr<MemoryRegistry::Key> MemoryRegistry::MakePath(std::u16string_view path)
{
    const std::u16string normalized = NormalizePath(path);
    const std::size_t slash = normalized.find(u'\\');
    std::shared_ptr<Key> root = FindPath(std::u16string_view(normalized).substr(0, slash));
    if (slash == std::u16string::npos) return root;
    std::shared_ptr<Key> found;
    const std::u16string rest = normalized.substr(slash + 1);
    const std::size_t savedLimit = m_maxKeyNameLength;
    m_maxKeyNameLength = static_cast<std::size_t>(-1);  // set-up may go beyond the limit on purpose
    const Win32Code code = Walk(root, rest.c_str(), true, &found);
    m_maxKeyNameLength = savedLimit;
    if (code != kErrorSuccess) throw std::invalid_argument("bad registry path for set-up");
    return found;
}

void MemoryRegistry::CreateKeyAt(std::u16string_view path)
{
    MakePath(path);
}

void MemoryRegistry::SetValueAt(std::u16string_view path, const char16_t* valueName, std::uint32_t type,
                                std::vector<std::uint8_t> data)
{
    const std::shared_ptr<Key> key = MakePath(path);
    const std::u16string name = valueName ? valueName : u"";
    Key::Value& value = key->values[name];
    value.name = name;
    value.type = type;
    value.data = std::move(data);
}

void MemoryRegistry::SetStringAt(std::u16string_view path, const char16_t* valueName, std::u16string_view text)
{
    std::vector<std::uint8_t> bytes((text.size() + 1) * sizeof(char16_t), 0);
    for (std::size_t i = 0; i < text.size(); ++i) {
        bytes[2 * i] = static_cast<std::uint8_t>(text[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
    }
    SetValueAt(path, valueName, kRegSz, std::move(bytes));
}

bool MemoryRegistry::KeyExists(std::u16string_view path) const
{
    return FindPath(path) != nullptr;
}

bool MemoryRegistry::GetValueAt(std::u16string_view path, const char16_t* valueName, std::uint32_t* type,
                                std::vector<std::uint8_t>* data) const
{
    const std::shared_ptr<Key> key = FindPath(path);
    if (!key) return false;
    const auto found = key->values.find(std::u16string_view(valueName ? valueName : u""));
    if (found == key->values.end()) return false;
    *type = found->second.type;
    *data = found->second.data;
    return true;
}

void MemoryRegistry::FailCall(Call call, std::u16string_view path, Win32Code code, int count, std::uint32_t accessMask)
{
    m_failures.push_back(Failure{call, NormalizePath(path), code, count, accessMask});
}

void MemoryRegistry::ClearFailures()
{
    m_failures.clear();
}

void MemoryRegistry::DumpKey(const Key& key, std::string& out)
{
    out += FormatKeyLine(PathOf(key));
    for (const auto& [folded, value] : key.values)
        out += FormatValueLine(value.name, value.type, value.data.data(), value.data.size());
    for (const auto& [folded, subkey] : key.subkeys) DumpKey(*subkey, out);
}

std::string MemoryRegistry::Dump() const
{
    std::string out;
    for (const auto& root : m_roots) {
        if (root->values.empty() && root->subkeys.empty()) continue;
        DumpKey(*root, out);
    }
    return out;
}

std::string MemoryRegistry::Dump(std::u16string_view path) const
{
    std::string out;
    if (const std::shared_ptr<Key> key = FindPath(path)) DumpKey(*key, out);
    return out;
}

struct MemoryScriptResources::Resource {
    ResourceId type;
    ResourceId name;
    std::string bytes;
};

struct MemoryScriptResources::Module {
    std::u16string path;
    std::vector<Resource> resources;
};

namespace {

// "#102" names the number 102, as FindResourceW reads it.
ResourceId Canonical(const ResourceId& id)
{
    if (id.IsNumber()) return id;
    const std::u16string& name = id.name();
    if (name.size() >= 2 && name.size() <= 6 && name[0] == u'#') {
        std::uint32_t number = 0;
        if (Succeeded(DecimalNumberFromText(std::u16string_view(name).substr(1), &number)) && number <= 0xFFFF)
            return ResourceId::Number(static_cast<std::uint16_t>(number));
    }
    return id;
}

bool SameResourceId(const ResourceId& a, const ResourceId& b)
{
    const ResourceId x = Canonical(a);
    const ResourceId y = Canonical(b);
    if (x.IsNumber() != y.IsNumber()) return false;
    return x.IsNumber() ? x.number() == y.number() : EqualsNoCase(x.name(), y.name());
}

}  // namespace

MemoryScriptResources::MemoryScriptResources() = default;
MemoryScriptResources::~MemoryScriptResources() = default;

void MemoryScriptResources::AddResource(std::u16string_view modulePath, const ResourceId& type, const ResourceId& name,
                                        std::string bytes)
{
    Module* module = nullptr;
    for (const auto& candidate : m_modules)
        if (EqualsNoCase(candidate->path, modulePath)) module = candidate.get();
    if (module == nullptr) {
        m_modules.push_back(std::make_unique<Module>());
        module = m_modules.back().get();
        module->path = std::u16string(modulePath);
    }
    module->resources.push_back(Resource{type, name, std::move(bytes)});
}

Win32Code MemoryScriptResources::LoadModuleAsData(const char16_t* path, ModuleHandle* module)
{
    if (const auto failure = m_failures.find(Call::LoadModuleAsData); failure != m_failures.end())
        return failure->second;
    if (path == nullptr) return kErrorInvalidParameter;
    for (const auto& candidate : m_modules) {
        if (EqualsNoCase(candidate->path, path)) {
            *module = m_nextModule;
            m_nextModule += 0x10000;
            m_loaded.emplace(*module, candidate.get());
            return kErrorSuccess;
        }
    }
    return kErrorModNotFound;
}

Win32Code MemoryScriptResources::FindResourceData(ModuleHandle module, const ResourceId& name, const ResourceId* type,
                                                  const std::uint8_t** data, std::uint32_t* size)
{
    if (const auto failure = m_failures.find(Call::FindResourceData); failure != m_failures.end())
        return failure->second;
    const auto loaded = m_loaded.find(module);
    if (loaded == m_loaded.end()) return kErrorInvalidHandle;
    if (type == nullptr) return kErrorResourceTypeNotFound;
    bool typeFound = false;
    for (const Resource& resource : loaded->second->resources) {
        if (!SameResourceId(resource.type, *type)) continue;
        typeFound = true;
        if (SameResourceId(resource.name, name)) {
            *data = reinterpret_cast<const std::uint8_t*>(resource.bytes.data());
            *size = static_cast<std::uint32_t>(resource.bytes.size());
            return kErrorSuccess;
        }
    }
    return typeFound ? kErrorResourceNameNotFound : kErrorResourceTypeNotFound;
}

void MemoryScriptResources::ReleaseModule(ModuleHandle module)
{
    m_loaded.erase(module);
}

Win32Code MemoryScriptResources::ConvertToWide(const std::uint8_t* bytes, std::uint32_t size, char16_t* text,
                                               std::uint32_t capacity, std::uint32_t* written)
{
    if (const auto failure = m_failures.find(Call::ConvertToWide); failure != m_failures.end()) return failure->second;
    if (size == 0 || bytes == nullptr) return kErrorInvalidParameter;
    if (capacity < size) return kErrorInsufficientBuffer;
    for (std::uint32_t i = 0; i < size; ++i) {
        const std::uint8_t b = bytes[i];
        text[i] = (b >= 0x80 && b < 0xA0) ? kWindows1252High[b - 0x80] : static_cast<char16_t>(b);
    }
    *written = size;
    return kErrorSuccess;
}

void MemoryScriptResources::FailCall(Call call, Win32Code code)
{
    m_failures[call] = code;
}

void MemoryScriptResources::ClearFailures()
{
    m_failures.clear();
}

}  // namespace orrelin::regscript
