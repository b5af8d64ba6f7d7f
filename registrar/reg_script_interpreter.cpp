#include "reg_script_interpreter.h"

#include "case_fold.h"
#include "registrar.h"
#include "value_data.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>

#define RETURN_IF_FAILED_HR(expr) \
  do {                            \
    const HResult hr_ = (expr);   \
    if (Failed(hr_)) return hr_;  \
  } while (0)

namespace orrelin::regscript {

namespace {

constexpr std::u16string_view kForceRemove = u"ForceRemove";
constexpr std::u16string_view kDelete = u"Delete";
constexpr std::u16string_view kNoRemove = u"NoRemove";
constexpr std::u16string_view kVal = u"Val";

struct RootName {
    std::u16string_view name;
    KeyHandle key;
};

constexpr std::array<RootName, 14> kRootNames{{
    {u"HKCR", kHkeyClassesRoot},
    {u"HKCU", kHkeyCurrentUser},
    {u"HKLM", kHkeyLocalMachine},
    {u"HKU", kHkeyUsers},
    {u"HKPD", kHkeyPerformanceData},
    {u"HKDD", kHkeyDynData},
    {u"HKCC", kHkeyCurrentConfig},
    {u"HKEY_CLASSES_ROOT", kHkeyClassesRoot},
    {u"HKEY_CURRENT_USER", kHkeyCurrentUser},
    {u"HKEY_LOCAL_MACHINE", kHkeyLocalMachine},
    {u"HKEY_USERS", kHkeyUsers},
    {u"HKEY_PERFORMANCE_DATA", kHkeyPerformanceData},
    {u"HKEY_DYN_DATA", kHkeyDynData},
    {u"HKEY_CURRENT_CONFIG", kHkeyCurrentConfig},
}};

constexpr std::array<std::u16string_view, 12> kProtectedNames{{
    u"AppID",
    u"CLSID",
    u"Component Categories",
    u"FileType",
    u"Interface",
    u"Hardware",
    u"Mime",
    u"SAM",
    u"SECURITY",
    u"SYSTEM",
    u"Software",
    u"TypeLib",
}};

bool BeginsWith(const std::u16string& token, char16_t c) noexcept
{
    return !token.empty() && token[0] == c;
}

bool IsRemovalKeyword(const std::u16string& token) noexcept
{
    return EqualsNoCase(token, kForceRemove) || EqualsNoCase(token, kDelete);
}

// A key name names exactly one level below its owner. A backslash would reach further down;
// an empty name would name the owner itself, so a removal keyword would delete the owner's
// whole tree and unregistration could delete a key marked NoRemove. A lone "{" can only be
// a block that follows a value or Delete statement, which has no meaning.
HResult CheckKeyName(const std::u16string& name) noexcept
{
    if (name.empty() || name == u"{" || name.find(u'\\') != std::u16string::npos) return kDispEException;
    return kSOk;
}

// Closes a key that a statement opened, on every path; the predefined roots stay open.
class OpenedKey {
public:
    explicit OpenedKey(Registry& registry) noexcept : m_registry(registry) {}
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;
    ~OpenedKey() { Close(); }

    KeyHandle* put() noexcept
    {
        Close();
        return &m_key;
    }
    KeyHandle get() const noexcept { return m_key; }
    Win32Code Close() noexcept
    {
        const KeyHandle key = std::exchange(m_key, kNoKey);
        if (key == kNoKey || IsPredefinedKey(key)) return kErrorSuccess;
        return m_registry.CloseKey(key);
    }

private:
    Registry& m_registry;
    KeyHandle m_key = kNoKey;
};

class DepthGuard {
public:
    explicit DepthGuard(int& depth) noexcept : m_depth(depth) { ++m_depth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
    ~DepthGuard() { --m_depth; }

private:
    int& m_depth;
};

}  // namespace

KeyHandle RootKeyFromName(std::u16string_view name) noexcept
{
    for (const RootName& root : kRootNames)
        if (EqualsNoCase(root.name, name)) return root.key;
    return kNoKey;
}

bool IsProtectedKeyName(std::u16string_view name) noexcept
{
    for (const std::u16string_view protectedName : kProtectedNames)
        if (EqualsNoCase(protectedName, name)) return true;
    return false;
}

CRegScriptInterpreter::CRegScriptInterpreter(const Registrar& registrar) noexcept
    : m_registrar(registrar), m_registry(registrar.registry())
{
}

HResult CRegScriptInterpreter::ExpandVariables(const char16_t* script, std::u16string* expanded) const noexcept
{
    if (script == nullptr || expanded == nullptr) return kEPointer;
    try {
        const std::u16string_view text(script);
        if (text.size() > std::numeric_limits<std::size_t>::max() / 4) return kEOutOfMemory;
        std::size_t room = text.size() * 2;
        if (room < 100) room = 1000;
        std::u16string result;
        result.reserve(room);

        std::size_t i = 0;
        while (i < text.size()) {
            // Everything up to the next percent sign is copied as one piece.
            const std::size_t percent = std::min(text.find(u'%', i), text.size());
            result.append(text.substr(i, percent - i));
            i = percent;
            if (i == text.size()) break;
            if (i + 1 < text.size() && text[i + 1] == u'%') {
                result.push_back(u'%');
                i += 2;
                continue;
            }
            const std::size_t close = text.find(u'%', i + 1);
            if (close == std::u16string_view::npos) return kDispEException;
            const std::u16string_view name = text.substr(i + 1, close - i - 1);
            if (name.size() > kMaxVariableNameLength) return kEFail;
            const std::u16string* value = m_registrar.FindVariable(name);
            if (value == nullptr) return kDispEException;
            // The value is copied as it is: not scanned for references, apostrophes kept.
            result += *value;
            i = close + 1;
        }
        *expanded = std::move(result);
        return kSOk;
    } catch (const std::bad_alloc&) {
        return kEOutOfMemory;
    } catch (const std::length_error&) {
        return kEOutOfMemory;
    }
}

HResult CRegScriptInterpreter::ReadToken(std::u16string& token)
{
    return m_tokens.ReadToken(token);
}

HResult CRegScriptInterpreter::ApplyScript(const char16_t* script, Direction direction) noexcept
{
    struct TextRelease {
        ScriptTokenizer& tokens;
        ~TextRelease() { tokens.Release(); }
    } release{m_tokens};

    try {
        std::u16string expanded;
        RETURN_IF_FAILED_HR(ExpandVariables(script, &expanded));
        m_tokens.SetText(std::move(expanded));
        m_depth = 0;

        std::u16string token;
        token.reserve(kMaxTokenLength + 1);
        HResult hr = kSOk;
        while (!m_tokens.AtEnd()) {
            RETURN_IF_FAILED_HR(ReadToken(token));
            const KeyHandle root = RootKeyFromName(token);
            if (root == kNoKey) return kDispEException;
            RETURN_IF_FAILED_HR(ReadToken(token));
            if (!BeginsWith(token, u'{')) return kDispEException;

            if (direction == Direction::Register) {
                const std::size_t blockStart = m_tokens.Position();
                hr = ApplyKeyBlock(token, root, Direction::Register, false);
                if (Failed(hr)) {
                    // Undo what this root block wrote, as far as unregistration would;
                    // earlier root blocks stay registered.
                    m_tokens.Rewind(blockStart);
                    ApplyKeyBlock(token, root, Direction::Unregister, false);
                    return hr;
                }
            } else {
                hr = ApplyKeyBlock(token, root, Direction::Unregister, false);
                if (Failed(hr)) return hr;
            }
            m_tokens.SkipWhiteSpace();
        }
        return hr;
    } catch (const std::bad_alloc&) {
        return kEOutOfMemory;
    } catch (const std::length_error&) {
        return kEOutOfMemory;
    }
}

HResult CRegScriptInterpreter::ApplyKeyBlock(std::u16string& token, KeyHandle owner, Direction direction,
                                             bool recovery) noexcept
{
    DepthGuard depth(m_depth);
    if (m_depth > kMaxBlockDepth) return kDispEException;
    try {
        return direction == Direction::Register ? RegisterBlock(token, owner) : UnregisterBlock(token, owner, recovery);
    } catch (const std::bad_alloc&) {
        return kEOutOfMemory;
    } catch (const std::length_error&) {
        return kEOutOfMemory;
    }
}

HResult CRegScriptInterpreter::RegisterBlock(std::u16string& token, KeyHandle owner)
{
    RETURN_IF_FAILED_HR(ReadToken(token));
    while (!BeginsWith(token, u'}')) {
        if (IsRemovalKeyword(token)) {
            const bool isDelete = EqualsNoCase(token, kDelete);
            RETURN_IF_FAILED_HR(ReadToken(token));
            // "ForceRemove NoRemove name": the removal applies to the name; NoRemove only
            // matters to unregistration.
            if (EqualsNoCase(token, kNoRemove)) RETURN_IF_FAILED_HR(ReadToken(token));
            // A removal keyword in front of a value statement has no meaning.
            if (EqualsNoCase(token, kVal)) return kDispEException;
            RETURN_IF_FAILED_HR(CheckKeyName(token));
            if (isDelete) {
                // The whole statement is read before the key goes, so a block after it is
                // refused with nothing deleted.
                const std::u16string name = token;
                RETURN_IF_FAILED_HR(ReadToken(token));
                RETURN_IF_FAILED_HR(SkipValueAssignment(token));
                if (token == u"{") return kDispEException;
                if (!IsProtectedKeyName(name)) DeleteKeyTree(owner, name.c_str());
                continue;
            }
            // Its result is ignored: a key that is absent or cannot go does not stop
            // registration.
            if (!IsProtectedKeyName(token)) DeleteKeyTree(owner, token.c_str());
            RETURN_IF_FAILED_HR(RegisterKeyStatement(token, owner));
            continue;
        }
        if (EqualsNoCase(token, kNoRemove)) RETURN_IF_FAILED_HR(ReadToken(token));
        if (EqualsNoCase(token, kVal)) {
            RETURN_IF_FAILED_HR(RegisterValueStatement(token, owner));
            continue;
        }
        RETURN_IF_FAILED_HR(RegisterKeyStatement(token, owner));
    }
    return kSOk;
}

HResult CRegScriptInterpreter::RegisterKeyStatement(std::u16string& token, KeyHandle owner)
{
    RETURN_IF_FAILED_HR(CheckKeyName(token));
    OpenedKey key(m_registry);
    Win32Code code = m_registry.OpenKey(owner, token.c_str(), kKeyReadWrite, key.put());
    // A key that opens only for reading serves for the rest of the statement; a value
    // written to it then fails with the platform's access error.
    if (code != kErrorSuccess) code = m_registry.OpenKey(owner, token.c_str(), kKeyRead, key.put());
    if (code != kErrorSuccess) {
        code = m_registry.CreateKey(owner, token.c_str(), kKeyReadWrite, key.put());
        if (code != kErrorSuccess) return HResultFromWin32(code);
    }
    RETURN_IF_FAILED_HR(ReadToken(token));
    if (BeginsWith(token, u'=')) RETURN_IF_FAILED_HR(SetScriptValue(key.get(), nullptr, token));
    if (token == u"{") {
        RETURN_IF_FAILED_HR(ApplyKeyBlock(token, key.get(), Direction::Register, false));
        RETURN_IF_FAILED_HR(ReadToken(token));
    }
    return kSOk;
}

HResult CRegScriptInterpreter::ReadValueName(std::u16string& name, std::u16string& token)
{
    RETURN_IF_FAILED_HR(ReadToken(name));
    if (name.size() > kMaxValueNameLength) return kDispEException;
    RETURN_IF_FAILED_HR(ReadToken(token));
    if (!BeginsWith(token, u'=')) return kDispEException;
    return kSOk;
}

HResult CRegScriptInterpreter::RegisterValueStatement(std::u16string& token, KeyHandle owner)
{
    std::u16string name;
    RETURN_IF_FAILED_HR(ReadValueName(name, token));
    return SetScriptValue(owner, name.c_str(), token);
}

HResult CRegScriptInterpreter::UnregisterBlock(std::u16string& token, KeyHandle owner, bool recovery)
{
    RETURN_IF_FAILED_HR(ReadToken(token));
    while (!BeginsWith(token, u'}')) {
        bool remove = true;
        const bool afterRemovalKeyword = IsRemovalKeyword(token);
        if (afterRemovalKeyword) RETURN_IF_FAILED_HR(ReadToken(token));
        if (EqualsNoCase(token, kNoRemove)) {
            remove = false;
            RETURN_IF_FAILED_HR(ReadToken(token));
        }
        if (EqualsNoCase(token, kVal)) {
            if (afterRemovalKeyword) return kDispEException;
            RETURN_IF_FAILED_HR(UnregisterValueStatement(token, owner, remove && !recovery));
            continue;
        }
        RETURN_IF_FAILED_HR(UnregisterKeyStatement(token, owner, recovery, remove));
    }
    return kSOk;
}

HResult CRegScriptInterpreter::UnregisterValueStatement(std::u16string& token, KeyHandle owner, bool deleteValue)
{
    std::u16string name;
    RETURN_IF_FAILED_HR(ReadValueName(name, token));
    if (deleteValue) {
        OpenedKey key(m_registry);
        Win32Code code = m_registry.OpenKey(owner, u"", kKeyWrite, key.put());
        if (code != kErrorSuccess) return HResultFromWin32(code);
        code = m_registry.DeleteValue(key.get(), name.c_str());
        if (code != kErrorSuccess && code != kErrorFileNotFound) return HResultFromWin32(code);
    }
    return SkipValueAssignment(token);
}

HResult CRegScriptInterpreter::UnregisterKeyStatement(std::u16string& token, KeyHandle owner, bool recovery,
                                                      bool remove)
{
    RETURN_IF_FAILED_HR(CheckKeyName(token));
    OpenedKey key(m_registry);
    const Win32Code opened =
        recovery ? kErrorFileNotFound : m_registry.OpenKey(owner, token.c_str(), kKeyRead, key.put());
    const bool nestedRecovery = opened != kErrorSuccess;
    // The whole name, however long: a name cut short would name another key, which the
    // delete below would then remove.
    const std::u16string name = token;

    RETURN_IF_FAILED_HR(ReadToken(token));
    // A default value goes with its key, never by itself.
    RETURN_IF_FAILED_HR(SkipValueAssignment(token));
    if (token == u"{") {
        // In recovery mode no registry call is made, so a failure there is a fault of the
        // script itself; it stops the walk, since going on would read the rest of the block
        // at the wrong level.
        RETURN_IF_FAILED_HR(
            ApplyKeyBlock(token, nestedRecovery ? kNoKey : key.get(), Direction::Unregister, nestedRecovery));
        RETURN_IF_FAILED_HR(ReadToken(token));
    }

    if (opened == kErrorFileNotFound) return kSOk;
    if (opened != kErrorSuccess) return HResultFromWin32(opened);

    const bool hasSubkeys = KeyHasSubkeys(key.get());
    const Win32Code closed = key.Close();
    if (closed != kErrorSuccess) return HResultFromWin32(closed);
    if (remove && !hasSubkeys) {
        const Win32Code deleted = m_registry.DeleteKey(owner, name.c_str());
        if (deleted != kErrorSuccess) return HResultFromWin32(deleted);
    }
    return kSOk;
}

HResult CRegScriptInterpreter::SetScriptValue(KeyHandle key, const char16_t* valueName, std::u16string& token)
{
    RETURN_IF_FAILED_HR(ReadToken(token));
    if (token.size() != 1) return kDispEException;
    const char16_t letter = FoldCase(token[0]);
    if (letter != u'S' && letter != u'D' && letter != u'B' && letter != u'M') return kDispEException;

    std::u16string data;
    RETURN_IF_FAILED_HR(ReadToken(data));

    Win32Code code = kErrorSuccess;
    switch (letter) {
    case u'S': {
        const auto size = static_cast<std::uint32_t>((data.size() + 1) * sizeof(char16_t));
        code = m_registry.SetValue(key, valueName, kRegSz, reinterpret_cast<const std::uint8_t*>(data.c_str()), size);
        break;
    }
    case u'D': {
        // Data that does not convert fails the value with the conversion's result: no
        // undefined number is written.
        std::uint32_t number = 0;
        RETURN_IF_FAILED_HR(m_registry.NumberFromText(data.c_str(), &number));
        std::uint8_t bytes[sizeof number];
        std::memcpy(bytes, &number, sizeof number);
        code = m_registry.SetValue(key, valueName, kRegDword, bytes, sizeof bytes);
        break;
    }
    case u'B': {
        std::vector<std::uint8_t> bytes;
        RETURN_IF_FAILED_HR(BinaryFromText(data, &bytes));
        code = m_registry.SetValue(key, valueName, kRegBinary, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        break;
    }
    default: {
        std::vector<char16_t> strings;
        std::uint32_t size = 0;
        RETURN_IF_FAILED_HR(MultiStringFromText(data, &strings, &size));
        code = m_registry.SetValue(key, valueName, kRegMultiSz, reinterpret_cast<const std::uint8_t*>(strings.data()),
                                   size);
        break;
    }
    }
    if (code != kErrorSuccess) return HResultFromWin32(code);
    return ReadToken(token);
}

HResult CRegScriptInterpreter::SkipValueAssignment(std::u16string& token)
{
    if (!BeginsWith(token, u'=')) return kSOk;
    RETURN_IF_FAILED_HR(ReadToken(token));
    std::u16string data;
    RETURN_IF_FAILED_HR(ReadToken(data));
    return ReadToken(token);
}

Win32Code CRegScriptInterpreter::DeleteKeyTree(KeyHandle parent, const char16_t* name)
{
    OpenedKey key(m_registry);
    const Win32Code code = m_registry.OpenKey(parent, name, kKeyReadWrite, key.put());
    if (code != kErrorSuccess) return code;
    std::u16string subkey;
    // Number 0 each time: every deletion moves the remaining subkeys up.
    while (m_registry.EnumKey(key.get(), 0, &subkey) == kErrorSuccess) {
        const Win32Code deleted = DeleteKeyTree(key.get(), subkey.c_str());
        if (deleted != kErrorSuccess) return deleted;
    }
    key.Close();
    return m_registry.DeleteKey(parent, name);
}

bool CRegScriptInterpreter::KeyHasSubkeys(KeyHandle key)
{
    std::uint32_t count = 0;
    return m_registry.QuerySubkeyCount(key, &count) == kErrorSuccess && count > 0;
}

}  // namespace orrelin::regscript
