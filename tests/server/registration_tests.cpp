// Registration of the built library with the regsvr32 of its own architecture, read back
// from the registry of the test prefix and held against the keys the stored registry script
// writes (tests/support/shell_extension_keys.h).
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>

#include "registered_library.h"
#include "handles.h"
#include "real_registry_dump.h"
#include "shell_extension_keys.h"

using orrelin::UniqueHandle;

using orrelin::test::DumpRealKey;
using orrelin::test::DumpRealValue;
using orrelin::test::KeyLine;
using orrelin::test::KeysAfterUnregistration;
using orrelin::test::KeysView;
using orrelin::test::kShellExtClass;
using orrelin::test::Narrow;
using orrelin::test::Portable;
using orrelin::test::ProcAs;
using orrelin::test::ProgramFolder;
using orrelin::test::Quoted;
using orrelin::test::RegisteredKeys;
using orrelin::test::Regsvr32;
using orrelin::test::StringValueLine;
using orrelin::test::Wide;

namespace {

const std::wstring kClass = Wide(kShellExtClass);
const std::wstring kLibrary = L"{B0EC6BB1-49C8-11D5-901D-00B0D064D823}";
const GUID kLibraryId = {0xB0EC6BB1, 0x49C8, 0x11D5, {0x90, 0x1D, 0x00, 0xB0, 0xD0, 0x64, 0xD8, 0x23}};
const wchar_t kApprovedKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const std::wstring kTypeLibraryWin =
    L"TypeLib\\" + kLibrary + L"\\1.0\\0\\" + (sizeof(void*) == 8 ? L"win64" : L"win32");

// The machine's classes, and the user's own, each shown under its own name.
const KeysView kMachine{u"HKCR"};
const KeysView kUser{u"HKCU\\Software\\Classes"};

void DeleteTree(HKEY root, const std::wstring& path)
{
    RegDeleteTreeW(root, path.c_str());
    RegDeleteKeyW(root, path.c_str());
}

// The keys without the property handler's Details lists and the preview handler's, the
// thumbnail provider's and the tools menu's entries, which those handlers' own tests check:
// what remains is the shell extension's.
std::string WithoutOtherClasses(const std::string& keys)
{
    std::string kept;
    bool previewEntry = false;
    for (size_t at = 0; at < keys.size();) {
        const size_t newline = keys.find('\n', at);
        const size_t end = newline == std::string::npos ? keys.size() : newline + 1;
        const std::string line = keys.substr(at, end - at);
        const bool value = line.rfind("  ", 0) == 0;
        if (!value)
            previewEntry = line.find("{8895b1c6-b41f-4c1c-a562-0d564250836f}") != std::string::npos ||
                           line.find("{E357FCCD-A995-4576-B01F-234630154E96}") != std::string::npos ||
                           line.find("\\Orrelin.DFUToolsMenu") != std::string::npos;
        if (!previewEntry && line.rfind("  FullDetails = ", 0) != 0 && line.rfind("  PreviewDetails = ", 0) != 0)
            kept += line;
        at = end;
    }
    return kept;
}

// Everything registration touches under `classes` and `root` (the machine or the user), as
// text: the extension's keys in the order a dump of the whole root shows them, its entry in
// the approved list, and whether its type library is registered there.
std::string StateOf(HKEY classes, const KeysView& view, HKEY root, bool typeLibraryRegistered)
{
    std::string state;
    for (const std::u16string& key :
         {std::u16string(u".dfu"), u"CLSID\\" + std::u16string(kShellExtClass), std::u16string(u"dfufile"),
          std::u16string(u"Orrelin.DFUShellExt"), std::u16string(u"Orrelin.DFUShellExt.1")})
        state += WithoutOtherClasses(DumpRealKey(classes, view.root, key));
    state += "Approved list\n" + DumpRealValue(root, kApprovedKey, kClass.c_str());
    return state + "Type library " + (typeLibraryRegistered ? "registered" : "not registered") + "\n";
}

std::string MachineState()
{
    ITypeLib* library = nullptr;
    const HRESULT loaded = LoadRegTypeLib(kLibraryId, 1, 0, LOCALE_NEUTRAL, &library);
    if (library != nullptr) library->Release();
    return StateOf(HKEY_CLASSES_ROOT, kMachine, HKEY_LOCAL_MACHINE, SUCCEEDED(loaded));
}

std::string UserState()
{
    HKEY classes = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, KEY_READ, &classes) != ERROR_SUCCESS)
        return "(no user classes)";
    const bool typeLibrary =
        !DumpRealValue(HKEY_CURRENT_USER, L"Software\\Classes\\" + kTypeLibraryWin, nullptr).empty();
    const std::string state = StateOf(classes, kUser, HKEY_CURRENT_USER, typeLibrary);
    RegCloseKey(classes);
    return state;
}

std::string RegisteredState(const KeysView& view, const std::wstring& dllPath)
{
    return RegisteredKeys(view, Portable(dllPath)) + "Approved list\n" +
           StringValueLine(kShellExtClass, u"CTxtInfoShlExt extension") + "Type library registered\n";
}

// After unregistration the info tip association and the emptied handler keys stay.
std::string UnregisteredState(const KeysView& view, const std::string& classKeyLeft = {},
                              const std::string& handlersLeft = {})
{
    return KeysAfterUnregistration(view, classKeyLeft, handlersLeft) + "Approved list\nType library not registered\n";
}

void SetDefaultValue(HKEY root, const std::wstring& path, const std::wstring& text)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr));
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dll = ProgramFolder() + L"Orrelin.dll";
        Clean();
    }
    void TearDown() override { Clean(); }

    void Clean()
    {
        Regsvr32(L"/u " + Quoted(dll));
        for (const wchar_t* key : {L"Orrelin.DFUShellExt.1", L"Orrelin.DFUShellExt", L".dfu", L"dfufile"})
            DeleteTree(HKEY_CLASSES_ROOT, key);
        DeleteTree(HKEY_CLASSES_ROOT, L"CLSID\\" + kClass);
        Regsvr32(L"/u /n /i:user " + Quoted(dll));
        for (const wchar_t* key : {L"Orrelin.DFUShellExt.1", L"Orrelin.DFUShellExt", L".dfu", L"dfufile"})
            DeleteTree(HKEY_CURRENT_USER, std::wstring(L"Software\\Classes\\") + key);
        DeleteTree(HKEY_CURRENT_USER, L"Software\\Classes\\CLSID\\" + kClass);
    }

    std::wstring dll;
};

TEST_F(RegistrationTest, WritesEveryKeyValueAndTheTypeLibrary)
{
    ASSERT_EQ(0u, Regsvr32(Quoted(dll)));
    EXPECT_EQ(RegisteredState(kMachine, dll), MachineState()) << MachineState();
    // The type library's own registration points at the library file.
    EXPECT_EQ(StringValueLine(u"", Portable(dll)), DumpRealValue(HKEY_CLASSES_ROOT, kTypeLibraryWin, nullptr));
}

TEST_F(RegistrationTest, RegisteringTwiceEqualsOnce)
{
    ASSERT_EQ(0u, Regsvr32(Quoted(dll)));
    const std::string once = MachineState();
    ASSERT_EQ(0u, Regsvr32(Quoted(dll)));
    EXPECT_EQ(once, MachineState());
}

TEST_F(RegistrationTest, UnregisteringRemovesWhatRegistrationAdded)
{
    ASSERT_EQ(0u, Regsvr32(Quoted(dll)));
    ASSERT_EQ(0u, Regsvr32(L"/u " + Quoted(dll)));
    EXPECT_EQ(UnregisteredState(kMachine), MachineState()) << MachineState();
    // Again, with nothing registered: the script changes nothing; the type library's
    // unregistration reports that it was not registered.
    Regsvr32(L"/u " + Quoted(dll));
    EXPECT_EQ(UnregisteredState(kMachine), MachineState());
}

// Another program's subkey keeps the class key, with its default value, though the subkeys
// the script lists are gone; another program's entry beside ours under ContextMenuHandlers
// stays too.
TEST_F(RegistrationTest, AnotherProgramsKeysSurviveUnregistration)
{
    ASSERT_EQ(0u, Regsvr32(Quoted(dll)));
    const std::u16string classKey = u"CLSID\\" + std::u16string(kShellExtClass);
    const std::u16string otherHandler = u"dfufile\\ShellEx\\ContextMenuHandlers\\Other";
    SetDefaultValue(HKEY_CLASSES_ROOT, Wide(classKey + u"\\Foreign"), L"theirs");
    SetDefaultValue(HKEY_CLASSES_ROOT, Wide(otherHandler), L"{other}");
    ASSERT_EQ(0u, Regsvr32(L"/u " + Quoted(dll)));
    EXPECT_EQ(UnregisteredState(kMachine,
                                KeyLine(kMachine, classKey) + StringValueLine(u"", u"DFUShellExt Class") +
                                    KeyLine(kMachine, classKey + u"\\Foreign") + StringValueLine(u"", u"theirs"),
                                KeyLine(kMachine, otherHandler) + StringValueLine(u"", u"{other}")),
              MachineState())
        << MachineState();
}

TEST_F(RegistrationTest, PerUserInstallWritesTheUsersClassesAndNothingForTheMachine)
{
    const std::string machineBefore = MachineState();
    ASSERT_EQ(0u, Regsvr32(L"/n /i:user " + Quoted(dll)));
    EXPECT_EQ(RegisteredState(kUser, dll), UserState()) << UserState();
    EXPECT_EQ(machineBefore, MachineState()) << MachineState();

    ASSERT_EQ(0u, Regsvr32(L"/u /n /i:user " + Quoted(dll)));
    EXPECT_EQ(UnregisteredState(kUser), UserState()) << UserState();
    EXPECT_EQ("", DumpRealValue(HKEY_CURRENT_USER, kApprovedKey, nullptr));
    EXPECT_EQ(machineBefore, MachineState());
}

TEST_F(RegistrationTest, DllInstallRefusesEveryRequestButUser)
{
    HMODULE library = LoadLibraryExW(dll.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(nullptr, library);
    const auto install = ProcAs<HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR)>(library, "DllInstall");
    ASSERT_NE(nullptr, install);
    const std::string before = UserState() + MachineState();
    for (const wchar_t* request : {static_cast<const wchar_t*>(nullptr), L"", L"machine", L"users", L"user "}) {
        for (BOOL direction : {TRUE, FALSE}) {
            SCOPED_TRACE(request == nullptr ? "(null)" : Narrow(request));
            EXPECT_EQ(E_INVALIDARG, install(direction, request));
        }
    }
    EXPECT_EQ(before, UserState() + MachineState());
    FreeLibrary(library);
}

// Renames the copy's TYPELIB resource type in its resource directory (a length-prefixed
// UTF-16 name), so the copy carries no type library. Wine's UpdateResourceW does not delete.
void RenameTypeLibraryResource(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    UniqueHandle owner(file);
    const DWORD size = GetFileSize(file, nullptr);
    std::string bytes(size, '\0');
    DWORD done = 0;
    ASSERT_TRUE(ReadFile(file, bytes.data(), size, &done, nullptr));
    const std::string name("\x07\0T\0Y\0P\0E\0L\0I\0B\0", 16);
    const size_t at = bytes.find(name);
    ASSERT_NE(std::string::npos, at);
    ASSERT_EQ(std::string::npos, bytes.find(name, at + 1));
    bytes[at + 14] = 'X';
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    ASSERT_TRUE(WriteFile(file, bytes.data(), size, &done, nullptr));
}

// A copy of the library (with its engine and, unless told, its property schema) in a
// folder of its own.
class RegistrationCopyTest : public RegistrationTest {
protected:
    void CopyTo(const std::wstring& folderName, bool withSchema = true)
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder = std::wstring(temp) + folderName;
        CreateDirectoryW(folder.c_str(), nullptr);
        dll = folder + L"\\Orrelin.dll";
        ASSERT_TRUE(CopyFileW((ProgramFolder() + L"Orrelin.dll").c_str(), dll.c_str(), FALSE));
        ASSERT_TRUE(CopyFileW((ProgramFolder() + L"Korvex.dll").c_str(), (folder + L"\\Korvex.dll").c_str(), FALSE));
        if (!withSchema) return;
        ASSERT_TRUE(CopyFileW((ProgramFolder() + L"Orrelin.propdesc").c_str(), (folder + L"\\Orrelin.propdesc").c_str(),
                              FALSE));
    }
    void TearDown() override
    {
        RegistrationTest::TearDown();
        DeleteFileW(dll.c_str());
        DeleteFileW((folder + L"\\Korvex.dll").c_str());
        DeleteFileW((folder + L"\\Orrelin.propdesc").c_str());
        RemoveDirectoryW(folder.c_str());
    }
    std::wstring folder;
};

TEST_F(RegistrationCopyTest, APathWithApostrophesIsRegisteredAsItIs)
{
    CopyTo(L"O'Brien's ''firmware'' tools");
    ASSERT_EQ(0u, Regsvr32(Quoted(dll)));
    EXPECT_EQ(StringValueLine(u"", Portable(dll)),
              DumpRealValue(HKEY_CLASSES_ROOT, L"CLSID\\" + kClass + L"\\InprocServer32", nullptr));
    EXPECT_EQ(RegisteredState(kMachine, dll), MachineState());
}

// The two files the shell extension ships, without the property schema: the shell extension
// and its type library register as ever, the property handler without its schema.
TEST_F(RegistrationCopyTest, WithoutThePropertySchemaEverythingElseRegisters)
{
    CopyTo(L"orrelin-no-schema", false);
    ASSERT_EQ(0u, Regsvr32(Quoted(dll)));
    EXPECT_EQ(RegisteredState(kMachine, dll), MachineState()) << MachineState();
    EXPECT_EQ(
        StringValueLine(u"", Portable(dll)),
        DumpRealValue(HKEY_CLASSES_ROOT, L"CLSID\\{49905783-1DB4-42B7-A70D-BC5B64A13E5C}\\InprocServer32", nullptr));
    EXPECT_EQ(0u, Regsvr32(L"/u " + Quoted(dll)));
}

TEST_F(RegistrationCopyTest, WithoutItsTypeLibraryTheScriptStillRuns)
{
    CopyTo(L"orrelin-no-typelib");
    RenameTypeLibraryResource(dll);
    HMODULE copy = LoadLibraryExW(dll.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(nullptr, copy);
    using ServerFn = HRESULT(STDAPICALLTYPE*)();
    const auto registerServer = ProcAs<ServerFn>(copy, "DllRegisterServer");
    ASSERT_NE(nullptr, registerServer);
    const HRESULT hr = registerServer();
    ITypeLib* fromFile = nullptr;
    const HRESULT loadFailure = LoadTypeLib((folder + L"\\Orrelin.tlb").c_str(), &fromFile);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(loadFailure, hr);
    // The script ran before the type library was looked for.
    EXPECT_EQ(StringValueLine(u"", Portable(dll)),
              DumpRealValue(HKEY_CLASSES_ROOT, L"CLSID\\" + kClass + L"\\InprocServer32", nullptr));
    EXPECT_EQ(loadFailure, ProcAs<ServerFn>(copy, "DllUnregisterServer")());
    FreeLibrary(copy);
}

}  // namespace
