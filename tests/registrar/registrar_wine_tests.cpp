// The registrar on the real registry of the Wine prefix: the script stored in the built
// Orrelin.dll run through CRegObject, and scripts run through the real and the in-memory
// registry side by side, each step's result and whole tree compared. HKCR, HKCU and HKLM of
// this process are redirected into a private key for each test, removed afterwards.
#include "memory_registry.h"
#include "real_registry_dump.h"
#include "reg_object.h"
#include "registered_library.h"
#include "registry_dump.h"
#include "script_test_support.h"
#include "windows_registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orrelin::regscript::test {
namespace {

using orrelin::test::DumpRealKey;
using orrelin::test::Portable;
using orrelin::test::Wide;

constexpr wchar_t kClassId[] = L"{B0EC6BBF-49C8-11D5-901D-00B0D064D823}";

// Orrelin.dll is built into the same folder as this test program.
std::wstring OrrelinDllPath()
{
    return orrelin::test::ProgramFolder() + L"Orrelin.dll";
}

std::wstring Architecture()
{
    return sizeof(void*) == 8 ? L"x86_64" : L"i686";
}

// The roots a script can name, redirected into HKCU\Software\OrrelinTests\registrar-<arch>
// for the life of this object; whatever an earlier, interrupted run left there goes first.
class PrivateRoots {
public:
    PrivateRoots()
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, Base().c_str());
        for (Root& root : m_roots) {
            const std::wstring path = Base() + L"\\" + Wide(root.name);
            EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                     nullptr, &root.target, nullptr));
        }
        for (Root& root : m_roots) EXPECT_EQ(ERROR_SUCCESS, RegOverridePredefKey(root.predefined, root.target));
    }

    ~PrivateRoots()
    {
        for (Root& root : m_roots) {
            RegOverridePredefKey(root.predefined, nullptr);
            RegCloseKey(root.target);
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, Base().c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\OrrelinTests");
    }

    PrivateRoots(const PrivateRoots&) = delete;
    PrivateRoots& operator=(const PrivateRoots&) = delete;

    // The same shape as MemoryRegistry::Dump: every root that holds anything.
    std::string Dump() const
    {
        std::string out;
        for (const Root& root : m_roots) {
            DWORD subkeys = 0, values = 0;
            RegQueryInfoKeyW(root.target, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                             nullptr, nullptr, nullptr);
            if (subkeys != 0 || values != 0) out += DumpRealKey(root.target, root.name);
        }
        return out;
    }

private:
    struct Root {
        HKEY predefined;
        std::u16string name;
        HKEY target = nullptr;
    };

    static std::wstring Base() { return L"Software\\OrrelinTests\\registrar-" + Architecture(); }

    Root m_roots[3] = {{HKEY_CLASSES_ROOT, u"HKCR"}, {HKEY_CURRENT_USER, u"HKCU"}, {HKEY_LOCAL_MACHINE, u"HKLM"}};
};

std::string ReadString(HKEY root, const std::wstring& path, const wchar_t* valueName, LONG* result)
{
    HKEY key = nullptr;
    *result = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key);
    if (*result != ERROR_SUCCESS) return {};
    wchar_t buffer[1024] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    DWORD type = 0;
    *result = RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (*result == ERROR_SUCCESS && type != REG_SZ) *result = ERROR_INVALID_DATA;
    return EscapeText(Portable(buffer));
}

bool RealKeyExists(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::string ResourceText(const std::wstring& module, int id)
{
    const HMODULE loaded = LoadLibraryExW(module.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (loaded == nullptr) return "<cannot map " + std::to_string(GetLastError()) + ">";
    std::string text = "<no REGISTRY resource>";
    if (const HRSRC found = FindResourceW(loaded, MAKEINTRESOURCEW(id), L"REGISTRY")) {
        const auto* bytes = static_cast<const char*>(LockResource(LoadResource(loaded, found)));
        text.assign(bytes, SizeofResource(loaded, found));
    }
    FreeLibrary(loaded);
    return text;
}

// ---------------------------------------------------------------------------------------
// The script stored in Orrelin.dll, through CRegObject

class StoredScript : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A folder with an apostrophe: the doubling for the script is undone by its quoting.
        m_folder = orrelin::test::TemporaryFolder() + L"orrelin-registrar-" + Architecture();
        m_dll = m_folder + L"\\O'Brien\\Orrelin.dll";
        CreateDirectoryW(m_folder.c_str(), nullptr);
        CreateDirectoryW((m_folder + L"\\O'Brien").c_str(), nullptr);
        ASSERT_TRUE(CopyFileW(OrrelinDllPath().c_str(), m_dll.c_str(), FALSE))
            << "Orrelin.dll not found beside the test: " << GetLastError();
    }

    void TearDown() override
    {
        DeleteFileW(m_dll.c_str());
        RemoveDirectoryW((m_folder + L"\\O'Brien").c_str());
        RemoveDirectoryW(m_folder.c_str());
    }

    // The variables the module operation supplies for this library.
    template <typename Registrar>
    void AddModuleVariables(Registrar& registrar)
    {
        const std::wstring escaped = Wide(EscapeApostrophes(Portable(m_dll)));
        ASSERT_EQ(S_OK, registrar.AddVariable(L"APPID", L""));
        ASSERT_EQ(S_OK, registrar.AddVariable(L"Module", escaped.c_str()));
        ASSERT_EQ(S_OK, registrar.AddVariable(L"Module_Raw", escaped.c_str()));
    }

    std::wstring m_folder;
    std::wstring m_dll;
};

TEST_F(StoredScript, IsTheScriptTheLibraryCarries)
{
    EXPECT_EQ(kSystemScript, ResourceText(m_dll, 102));
}

TEST_F(StoredScript, RealRegistryEndsAsTheInMemoryOneInBothDirections)
{
    // The in-memory registrar runs the same stored bytes, from the same module path.
    ScriptBed memory;
    memory.resources.AddResource(Portable(m_dll), ResourceId::Name(u"REGISTRY"), ResourceId::Number(102),
                                 ResourceText(m_dll, 102));
    memory.AddModuleVariables(Portable(m_dll));

    PrivateRoots roots;
    CRegObject registrar;
    AddModuleVariables(registrar);
    const std::u16string dll = Portable(m_dll);

    ASSERT_EQ(S_OK, registrar.RegisterScriptResource(m_dll.c_str(), 102, L"REGISTRY"));
    ASSERT_EQ(kSOk, memory.registrar.RegisterScriptResource(dll.c_str(), 102, u"REGISTRY"));
    const std::string registered = roots.Dump();
    EXPECT_EQ(memory.registry.Dump(), registered);

    LONG result = 0;
    const std::wstring server = std::wstring(L"CLSID\\") + kClassId + L"\\InprocServer32";
    EXPECT_EQ(EscapeText(dll), ReadString(HKEY_CLASSES_ROOT, server, nullptr, &result));
    EXPECT_EQ(ERROR_SUCCESS, result);
    EXPECT_EQ("Apartment", ReadString(HKEY_CLASSES_ROOT, server, L"ThreadingModel", &result));
    EXPECT_EQ("dfufile", ReadString(HKEY_CLASSES_ROOT, L".dfu", nullptr, &result));

    ASSERT_EQ(S_OK, registrar.RegisterScriptResource(m_dll.c_str(), 102, L"REGISTRY"));
    EXPECT_EQ(registered, roots.Dump()) << "registering twice equals once";

    ASSERT_EQ(S_OK, registrar.UnregisterScriptResource(m_dll.c_str(), 102, L"REGISTRY"));
    ASSERT_EQ(kSOk, memory.registrar.UnregisterScriptResource(dll.c_str(), 102, u"REGISTRY"));
    const std::string unregistered = roots.Dump();
    EXPECT_EQ(memory.registry.Dump(), unregistered);
    EXPECT_FALSE(RealKeyExists(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kClassId));
    EXPECT_FALSE(RealKeyExists(HKEY_CLASSES_ROOT, L"Orrelin.DFUShellExt"));
    EXPECT_FALSE(RealKeyExists(HKEY_CLASSES_ROOT, L"Orrelin.DFUShellExt.1"));
    EXPECT_FALSE(RealKeyExists(HKEY_CLASSES_ROOT, L"dfufile\\ShellEx\\ContextMenuHandlers\\Orrelin.DFUShellExt"));
    EXPECT_EQ("dfufile", ReadString(HKEY_CLASSES_ROOT, L".dfu", nullptr, &result));
    EXPECT_EQ(
        EscapeText(Portable(kClassId)),
        ReadString(HKEY_CLASSES_ROOT, L".dfu\\shellex\\{00021500-0000-0000-C000-000000000046}", nullptr, &result));

    ASSERT_EQ(S_OK, registrar.UnregisterScriptResource(m_dll.c_str(), 102, L"REGISTRY"));
    EXPECT_EQ(unregistered, roots.Dump()) << "unregistering with nothing registered changes nothing";
}

TEST_F(StoredScript, ResourceFailuresAreTheLastErrorMapped)
{
    PrivateRoots roots;
    CRegObject registrar;
    AddModuleVariables(registrar);
    const std::wstring absent = m_folder + L"\\absent.dll";
    const HRESULT missingFile = registrar.RegisterScriptResource(absent.c_str(), 102, L"REGISTRY");
    EXPECT_TRUE(missingFile == HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) ||
                missingFile == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))
        << HexResult(missingFile);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND),
              registrar.RegisterScriptResource(m_dll.c_str(), 999, L"REGISTRY"));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND),
              registrar.RegisterScriptResource(m_dll.c_str(), 102, L"NOSUCHTYPE"));
    EXPECT_EQ(E_INVALIDARG, registrar.RegisterScriptResourceByName(m_dll.c_str(), nullptr, L"REGISTRY"));
    EXPECT_EQ(E_INVALIDARG, registrar.UnregisterScriptResourceByName(m_dll.c_str(), L"#102", nullptr));
    EXPECT_EQ("", roots.Dump());
    // A name of the form #number is the number.
    EXPECT_EQ(S_OK, registrar.RegisterScriptResourceByName(m_dll.c_str(), L"#102", L"REGISTRY"));
    EXPECT_TRUE(RealKeyExists(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kClassId));
}

// ---------------------------------------------------------------------------------------
// CRegObject's COM face

TEST(CRegObjectFace, AnswersWithoutCounting)
{
    CRegObject registrar;
    IRegistrarBase* base = &registrar;
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(E_NOTIMPL, base->QueryInterface(IID_IUnknown, &out));
    EXPECT_EQ(reinterpret_cast<void*>(0x1234), out) << "writes nothing";
    EXPECT_EQ(1u, base->AddRef());
    EXPECT_EQ(1u, base->AddRef());
    EXPECT_EQ(0u, base->Release());
    EXPECT_EQ(0u, base->Release());
    EXPECT_EQ(0u, base->Release());
    // Still alive after more releases than references: its variables are intact.
    EXPECT_EQ(S_OK, base->AddVariable(L"Module", L"first"));
    EXPECT_EQ(S_OK, base->AddVariable(L"MODULE", L"second"));
    std::wstring value;
    ASSERT_TRUE(registrar.FindVariable(L"module", &value));
    EXPECT_EQ(L"first", value);
    EXPECT_EQ(E_INVALIDARG, base->AddVariable(nullptr, L"x"));
    EXPECT_EQ(E_INVALIDARG, base->AddVariable(L"x", nullptr));
    EXPECT_FALSE(registrar.FindVariable(L"x", &value));
    EXPECT_EQ(S_OK, base->ClearVariables());
    EXPECT_FALSE(registrar.FindVariable(L"Module", &value));
}

TEST(RootKeys, HaveThePlatformValues)
{
    EXPECT_EQ(kHkeyClassesRoot, reinterpret_cast<KeyHandle>(HKEY_CLASSES_ROOT));
    EXPECT_EQ(kHkeyCurrentUser, reinterpret_cast<KeyHandle>(HKEY_CURRENT_USER));
    EXPECT_EQ(kHkeyLocalMachine, reinterpret_cast<KeyHandle>(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(kHkeyUsers, reinterpret_cast<KeyHandle>(HKEY_USERS));
    EXPECT_EQ(kHkeyPerformanceData, reinterpret_cast<KeyHandle>(HKEY_PERFORMANCE_DATA));
    EXPECT_EQ(kHkeyCurrentConfig, reinterpret_cast<KeyHandle>(HKEY_CURRENT_CONFIG));
    EXPECT_EQ(kHkeyDynData, reinterpret_cast<KeyHandle>(HKEY_DYN_DATA));
}

// ---------------------------------------------------------------------------------------
// The same scripts through the real and the in-memory registry

struct Step {
    Direction direction;
    std::u16string script;
};

struct Scenario {
    const char* label;
    std::vector<Step> steps;
    // Wine accepts key names of 256 characters, one more than Windows; the in-memory
    // registry is told to do the same for the scenario that goes to the limit.
    bool wineNameLimit = false;
};

std::u16string Nested(int keys)
{
    std::u16string script = u"HKCU {";
    for (int i = 0; i < keys; ++i) script += u" k {";
    for (int i = 0; i <= keys; ++i) script += u" }";
    return script;
}

std::vector<Scenario> Scenarios()
{
    const std::u16string system = Widen(kSystemScript);
    const std::u16string name255(255, u'k');
    const std::u16string name256(256, u'k');
    const std::u16string name257(257, u'k');
    const auto R = Direction::Register;
    const auto U = Direction::Unregister;
    return {
        {"the system's script", {{R, system}, {R, system}, {U, system}, {U, system}}},
        {"foreign subkeys",
         {{R, system},
          {R, u"HKCR { NoRemove CLSID { NoRemove {B0EC6BBF-49C8-11D5-901D-00B0D064D823} { Foreign = s theirs } } }"},
          {R, u"HKCR { NoRemove dfufile { NoRemove ShellEx { NoRemove ContextMenuHandlers { Other } } } }"},
          {U, system}}},
        {"value types",
         {{R,
           u"HKCU { NoRemove Values = s 'it''s' { val E = s '' val D = d 4294967295 val D0 = d 0 val B = b 0a1B"
           u" val B0 = b '' val Bg = b 0g val M = m 'one\\0two' val M0 = m '' val Mx = m 'a\\0\\0b'"
           u" val Mb = m 'x\\y' val Me = m 'end\\' } }"},
          {U, u"HKCU { NoRemove Values { val E = s x val D = d 1 NoRemove val B = b 00 val M = m x } }"}}},
        {"removal keywords and protected names",
         {{R, u"HKLM { Deep { CLSID { Child } App = s old { Old { Deeper } } Gone { Sub = s x } } }"},
          {R,
           u"HKLM { Deep { ForceRemove CLSID { Added } Delete CLSID ForceRemove App = s new { Fresh }"
           u" Delete Gone = s x Delete Absent ForceRemove NoRemove Kept { New } } }"},
          {U, u"HKLM { Deep { ForceRemove NoRemove Kept { New } App { Fresh } } }"},
          {U, u"HKLM { Deep { CLSID { Child Added } Kept } }"}}},
        {"roll-back of the failing root block",
         {{R,
           u"HKCU { First = s one { Child } }\n"
           u"HKLM { NoRemove Existing = s w { Second = s two { Inner { val Bad = d 'twelve' } } } }\n"
           u"HKCR { Third }"},
          {R, u"HKCU { Other } HKLM { Made { val Odd = b abc } }"},
          {R, u"HKCU { Over = s x } HKLM { Over { val Big = d 4294967296 } }"}}},
        {"faults of the script",
         {{R, u"HKCU { Made { Bad\\Name } }"},
          {R, u"HKCU { NoRemove Made { '' } }"},
          {R, u"HKCU { Made2 } HKXX { }"},
          {U, u"HKCU { Absent { Bad\\Name Made2 } }"},
          {U, u"HKCU { NoRemove Made { ForceRemove Val v = s x } }"}}},
        {"key names at the limit",
         {{R, u"HKCU { " + name255 + u" " + name256 + u" = s x }"},
          {R, u"HKCU { Before " + name257 + u" }"},
          {U, u"HKCU { " + name256 + u" " + name257 + u" }"},
          {U, u"HKCU { " + name255 + u" }"}},
         true},
        {"unregistration of absent keys", {{U, u"HKCU { Absent { Sub { val v = s x } } NoRemove Kept }"}}},
        {"nesting as deep as allowed", {{R, Nested(511)}, {U, Nested(511)}, {R, Nested(512)}}},
    };
}

TEST(SameAsInMemory, ResultsAndTreesAgreeStepByStep)
{
    for (const Scenario& scenario : Scenarios()) {
        ScriptBed memory;
        memory.registry.SetMaxKeyNameLength(scenario.wineNameLimit ? 256 : 255);
        memory.AddModuleVariables(u"C:\\Program Files\\O'Brien\\Orrelin.dll");

        WindowsRegistry realRegistry;
        WindowsScriptResources realResources;
        Registrar real(realRegistry, realResources);
        const std::u16string escaped = EscapeApostrophes(u"C:\\Program Files\\O'Brien\\Orrelin.dll");
        real.AddVariable(u"APPID", u"");
        real.AddVariable(u"Module", escaped.c_str());
        real.AddVariable(u"Module_Raw", escaped.c_str());

        PrivateRoots roots;
        for (std::size_t i = 0; i < scenario.steps.size(); ++i) {
            const Step& step = scenario.steps[i];
            const HResult expected =
                CRegScriptInterpreter(memory.registrar).ApplyScript(step.script.c_str(), step.direction);
            const HResult actual = CRegScriptInterpreter(real).ApplyScript(step.script.c_str(), step.direction);
            EXPECT_EQ(HexResult(expected), HexResult(actual)) << scenario.label << ", step " << i + 1;
            EXPECT_EQ(memory.registry.Dump(), roots.Dump()) << scenario.label << ", step " << i + 1;
        }
        EXPECT_EQ(0u, memory.registry.OpenHandleCount()) << scenario.label;
    }
}

}  // namespace
}  // namespace orrelin::regscript::test
