// Shared pieces of the registrar tests: the system's own script, text helpers and a bed of
// in-memory registry, resources and registrar to run scripts on.
#pragma once

#include "case_fold.h"
#include "memory_registry.h"
#include "reg_script_interpreter.h"
#include "registrar.h"
#include "script_tokens.h"
#include "value_data.h"
#include "system_script.h"

#include <string>
#include <string_view>
#include <vector>

namespace orrelin::regscript::test {

using orrelin::test::kSystemScript;

// Each byte one character (the scripts and names of the tests are ASCII or Latin-1).
std::u16string Widen(std::string_view text);
// The module path as a script variable: each apostrophe doubled, so it can stand in an
// apostrophe-quoted token.
std::u16string EscapeApostrophes(std::u16string_view path);

// Readable text of an HRESULT for test messages.
std::string HexResult(HResult hr);

struct ScriptBed {
    ScriptBed() : registrar(registry, resources) {}

    HResult Run(std::u16string_view script, Direction direction);
    HResult Register(std::u16string_view script) { return Run(script, Direction::Register); }
    HResult Unregister(std::u16string_view script) { return Run(script, Direction::Unregister); }
    HResult Register(std::string_view script) { return Register(Widen(script)); }
    HResult Unregister(std::string_view script) { return Unregister(Widen(script)); }

    // The variables that registration supplies, with the module path given unescaped.
    void AddModuleVariables(std::u16string_view modulePath);

    MemoryRegistry registry;
    MemoryScriptResources resources;
    Registrar registrar;
};

// What a token run answers if the reader never reached the end of its text.
inline constexpr HResult kReaderStalled = MakeHResult(0x8000FFFFu);

struct TokenRun {
    std::vector<std::u16string> tokens;
    HResult last = kSOk;  // the result of the read that ended the run
};

// Reads tokens from `text` until a read fails (the end of the text fails too).
TokenRun ReadAllTokens(std::u16string_view text);

}  // namespace orrelin::regscript::test
