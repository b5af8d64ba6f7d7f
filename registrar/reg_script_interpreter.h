// The registry script interpreter: variable expansion and the statements of a block,
// walked once over a script in one of two directions (registration or unregistration).
// Its tokens come from script_tokens.h, the data of its values from value_data.h.
#pragma once

#include "reg_types.h"
#include "registry_access.h"
#include "script_tokens.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orrelin::regscript {

class Registrar;

inline constexpr std::size_t kMaxValueNameLength = 259;
inline constexpr std::size_t kMaxVariableNameLength = 31;
// Blocks nest at most this deep, the registry's own depth: no script that could be
// registered is refused, and a script cannot exhaust the caller's stack.
inline constexpr int kMaxBlockDepth = 512;

// One of the 14 root key names (HKCR ... HKEY_CURRENT_CONFIG), or kNoKey.
KeyHandle RootKeyFromName(std::u16string_view name) noexcept;
// One of the twelve names that a removal keyword never deletes.
bool IsProtectedKeyName(std::u16string_view name) noexcept;

class CRegScriptInterpreter {
public:
    // Reads the registrar's variables and writes through its registry.
    explicit CRegScriptInterpreter(const Registrar& registrar) noexcept;

    CRegScriptInterpreter(const CRegScriptInterpreter&) = delete;
    CRegScriptInterpreter& operator=(const CRegScriptInterpreter&) = delete;

    HResult ApplyScript(const char16_t* script, Direction direction) noexcept;

    HResult ExpandVariables(const char16_t* script, std::u16string* expanded) const noexcept;

    HResult ReadToken(std::u16string& token);
    HResult ApplyKeyBlock(std::u16string& token, KeyHandle owner, Direction direction, bool recovery) noexcept;
    HResult SetScriptValue(KeyHandle key, const char16_t* valueName, std::u16string& token);
    HResult SkipValueAssignment(std::u16string& token);
    Win32Code DeleteKeyTree(KeyHandle parent, const char16_t* name);
    bool KeyHasSubkeys(KeyHandle key);

private:
    HResult RegisterBlock(std::u16string& token, KeyHandle owner);
    HResult RegisterKeyStatement(std::u16string& token, KeyHandle owner);
    HResult RegisterValueStatement(std::u16string& token, KeyHandle owner);
    HResult UnregisterBlock(std::u16string& token, KeyHandle owner, bool recovery);
    HResult UnregisterKeyStatement(std::u16string& token, KeyHandle owner, bool recovery, bool remove);
    HResult UnregisterValueStatement(std::u16string& token, KeyHandle owner, bool deleteValue);
    HResult ReadValueName(std::u16string& name, std::u16string& token);

    const Registrar& m_registrar;
    Registry& m_registry;
    ScriptTokenizer m_tokens;
    int m_depth = 0;
};

}  // namespace orrelin::regscript
