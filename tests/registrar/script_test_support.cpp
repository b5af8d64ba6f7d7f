#include "script_test_support.h"

#include <cstdio>

namespace orrelin::regscript::test {

std::u16string Widen(std::string_view text)
{
    std::u16string wide;
    wide.reserve(text.size());
    for (const char c : text) wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return wide;
}

std::u16string EscapeApostrophes(std::u16string_view path)
{
    std::u16string escaped;
    for (const char16_t c : path) {
        escaped.push_back(c);
        if (c == u'\'') escaped.push_back(c);
    }
    return escaped;
}

std::string HexResult(HResult hr)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(hr));
    return buffer;
}

HResult ScriptBed::Run(std::u16string_view script, Direction direction)
{
    CRegScriptInterpreter interpreter(registrar);
    const std::u16string text(script);
    return interpreter.ApplyScript(text.c_str(), direction);
}

void ScriptBed::AddModuleVariables(std::u16string_view modulePath)
{
    const std::u16string escaped = EscapeApostrophes(modulePath);
    registrar.AddVariable(u"APPID", u"");
    registrar.AddVariable(u"Module", escaped.c_str());
    registrar.AddVariable(u"Module_Raw", escaped.c_str());
}

TokenRun ReadAllTokens(std::u16string_view text)
{
    ScriptTokenizer tokens;
    tokens.SetText(std::u16string(text));
    TokenRun run;
    std::u16string token;
    // More reads than characters would mean the reader stopped moving.
    for (std::size_t guard = 0; guard <= text.size() + 1; ++guard) {
        run.last = tokens.ReadToken(token);
        if (Failed(run.last)) return run;
        run.tokens.push_back(token);
    }
    run.last = kReaderStalled;
    return run;
}

}  // namespace orrelin::regscript::test
