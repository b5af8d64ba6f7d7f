// libFuzzer target of the registry script language: variable expansion, the tokenizer, and
// whole scripts applied in both directions to the in-memory registry, also with registry
// calls that fail and through the resource path. Besides what the sanitizers catch, it
// stops on a key left open, a module left mapped, a token over the limit or a result code
// that no rule produces.
#include "memory_registry.h"
#include "reg_script_interpreter.h"
#include "registrar.h"
#include "script_tokens.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace orrelin::regscript;

namespace {

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "registrar_fuzz: %s\n", what);
        std::abort();
    }
}

bool IsKnownResult(HResult hr)
{
    switch (hr) {
    case kSOk:
    case kDispEException:
    case kEFail:
    case kEOutOfMemory:
    case kDispETypeMismatch:
    case kDispEOverflow:
        return true;
    default:
        break;
    }
    // Registry codes, mapped: those the in-memory registry answers or is told to.
    for (const Win32Code code : {kErrorAccessDenied, kErrorInvalidHandle, kErrorInvalidParameter, kErrorBadPathname,
                                 kErrorKeyDeleted, kErrorOutOfMemory})
        if (hr == HResultFromWin32(code)) return true;
    return false;
}

void Populate(MemoryRegistry& registry)
{
    registry.SetStringAt(u"HKCR\\CLSID\\{0001}\\InprocServer32", nullptr, u"C:\\other.dll");
    registry.SetStringAt(u"HKCR\\CLSID\\{0001}\\InprocServer32", u"ThreadingModel", u"Both");
    registry.SetStringAt(u"HKCR\\.dfu", nullptr, u"dfufile");
    registry.CreateKeyAt(u"HKCU\\Software\\App\\Sub");
    registry.CreateKeyAt(u"HKLM\\Software\\Classes");
    registry.CreateKeyAt(u"HKCR\\AppID");
}

void AddVariables(Registrar& registrar)
{
    registrar.AddVariable(u"APPID", u"");
    registrar.AddVariable(u"Module", u"C:\\Program Files\\O''Brien\\Orrelin.dll");
    registrar.AddVariable(u"Module_Raw", u"C:\\Program Files\\O''Brien\\Orrelin.dll");
    registrar.AddVariable(u"module", u"shadowed");
    registrar.AddVariable(u"Percent", u"%Module%");
    static const std::u16string kLong(300, u'L');
    registrar.AddVariable(u"Long", kLong.c_str());
}

// Each registry call fails somewhere, as a locked-down or half-broken registry would.
void InjectFailures(MemoryRegistry& registry)
{
    using Call = MemoryRegistry::Call;
    registry.FailCall(Call::OpenKey, u"HKCU\\Software\\App", kErrorAccessDenied, -1, kKeyWrite);
    registry.FailCall(Call::SetValue, u"HKCR\\CLSID", kErrorAccessDenied);
    registry.FailCall(Call::CreateKey, u"HKLM\\Software\\New", kErrorAccessDenied);
    registry.FailCall(Call::DeleteKey, u"HKCR\\CLSID\\{0001}", kErrorAccessDenied);
    registry.FailCall(Call::DeleteValue, u"HKCU", kErrorAccessDenied, 3);
    registry.FailCall(Call::EnumKey, u"HKCR\\CLSID\\{0001}", kErrorOutOfMemory, 2);
    registry.FailCall(Call::QuerySubkeyCount, u"HKCU\\Software", kErrorInvalidHandle, 1);
    registry.FailCall(Call::CloseKey, u"HKLM\\Software", kErrorInvalidHandle, 1);
}

void Tokenize(const Registrar& registrar, const std::u16string& script)
{
    CRegScriptInterpreter interpreter(registrar);
    std::u16string expanded;
    const HResult hr = interpreter.ExpandVariables(script.c_str(), &expanded);
    Check(IsKnownResult(hr), "unknown result from ExpandVariables");
    if (Failed(hr)) return;
    ScriptTokenizer tokens;
    tokens.SetText(expanded);
    std::u16string token;
    // Every token takes at least one character, so the reads end within the text's length.
    for (std::size_t reads = 0;; ++reads) {
        Check(reads <= expanded.size() + 1, "tokenizer stopped moving");
        const HResult read = tokens.ReadToken(token);
        if (Failed(read)) {
            Check(read == kDispEException, "unknown result from ReadToken");
            break;
        }
        Check(token.size() <= kMaxTokenLength, "token over the limit");
    }
}

void Apply(const std::u16string& script, bool failures)
{
    MemoryRegistry registry;
    registry.EnableCallLog(false);
    Populate(registry);
    if (failures) InjectFailures(registry);
    MemoryScriptResources resources;
    Registrar registrar(registry, resources);
    AddVariables(registrar);

    if (!failures) Tokenize(registrar, script);

    for (const Direction direction : {Direction::Register, Direction::Unregister, Direction::Register}) {
        CRegScriptInterpreter interpreter(registrar);
        const HResult hr = interpreter.ApplyScript(script.c_str(), direction);
        Check(IsKnownResult(hr), "unknown result from ApplyScript");
        Check(registry.OpenHandleCount() == 0, "a key was left open");
        Check(registry.KeyExists(u"HKCR") && registry.KeyExists(u"HKCU"), "a root went missing");
    }
}

// Unregistration on its own, over the untouched registry. No call fails there, so one run
// per input covers it.
void UnregisterFromScratch(const std::u16string& script)
{
    MemoryRegistry fresh;
    fresh.EnableCallLog(false);
    Populate(fresh);
    MemoryScriptResources resources;
    Registrar registrar(fresh, resources);
    AddVariables(registrar);
    const HResult hr = CRegScriptInterpreter(registrar).ApplyScript(script.c_str(), Direction::Unregister);
    Check(IsKnownResult(hr), "unknown result from ApplyScript (unregistration)");
    Check(fresh.OpenHandleCount() == 0, "a key was left open (unregistration)");
}

void ApplyAsResource(const std::uint8_t* data, std::size_t size)
{
    MemoryRegistry registry;
    registry.EnableCallLog(false);
    MemoryScriptResources resources;
    const char16_t* path = u"C:\\Orrelin.dll";
    resources.AddResource(path, ResourceId::Name(u"REGISTRY"), ResourceId::Number(102),
                          std::string(reinterpret_cast<const char*>(data), size));
    Registrar registrar(registry, resources);
    AddVariables(registrar);
    const HResult hr = registrar.RegisterScriptResource(path, 102, u"REGISTRY");
    Check(IsKnownResult(hr) || (size == 0 && hr == kEInvalidArg), "unknown result from a resource script");
    registrar.UnregisterScriptResource(path, 102, u"REGISTRY");
    Check(resources.LoadedModuleCount() == 0, "a module was left mapped");
    Check(registry.OpenHandleCount() == 0, "a key was left open (resource)");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 32 * 1024) return 0;
    // Each byte one character; a NUL ends the text as it ends a script.
    std::u16string script;
    script.reserve(size);
    for (std::size_t i = 0; i < size && data[i] != 0; ++i) script.push_back(static_cast<char16_t>(data[i]));

    Apply(script, false);
    Apply(script, true);
    UnregisterFromScratch(script);
    ApplyAsResource(data, size);
    return 0;
}
