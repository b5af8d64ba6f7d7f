#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>

#include "registered_library.h"
#include "handles.h"
#include "registry_text.h"

using orrelin::UniqueHandle;

using orrelin::test::Narrow;
using orrelin::test::ProgramFolder;
using orrelin::test::Regsvr32;

namespace {

const std::wstring kClass = L"{B0EC6BBF-49C8-11D5-901D-00B0D064D823}";
const std::wstring kLibrary = L"{B0EC6BB1-49C8-11D5-901D-00B0D064D823}";
const GUID kLibraryId = {0xB0EC6BB1, 0x49C8, 0x11D5, {0x90, 0x1D, 0x00, 0xB0, 0xD0, 0x64, 0xD8, 0x23}};
const wchar_t kApprovedKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const wchar_t kInfoTipHandler[] = L"{00021500-0000-0000-C000-000000000046}";

std::wstring Quoted(const std::wstring& path)
{
    return L"\"" + path + L"\"";
}

void DeleteTree(HKEY root, const std::wstring& path)
{
    RegDeleteTreeW(root, path.c_str());
    RegDeleteKeyW(root, path.c_str());
}

// The tree without the property handler's Details lists and the preview handler's entry,
// which those handlers' own tests check: what remains is the shell extension's, exactly as
// before.
std::wstring WithoutOtherClasses(const std::wstring& tree)
{
    std::wstring kept;
    bool previewEntry = false;
    for (size_t at = 0; at < tree.size();) {
        const size_t newline = tree.find(L'\n', at);
        const size_t end = newline == std::wstring::npos ? tree.size() : newline + 1;
        const std::wstring line = tree.substr(at, end - at);
        const bool value = line.rfind(L"  ", 0) == 0;
        if (!value) previewEntry = line.find(L"{8895b1c6-b41f-4c1c-a562-0d564250836f}") != std::wstring::npos;
        if (!previewEntry && line.rfind(L"  FullDetails = ", 0) != 0 && line.rfind(L"  PreviewDetails = ", 0) != 0)
            kept += line;
        at = end;
    }
    return kept;
}

// Everything registration touches, as text.
std::wstring RegistrationState()
{
    std::wstring state;
    for (const wchar_t* key : {L"Orrelin.DFUShellExt.1", L"Orrelin.DFUShellExt", L".dfu", L"dfufile"})
        state += WithoutOtherClasses(RegistryTreeText(HKEY_CLASSES_ROOT, L"HKCR", key));
    state += RegistryTreeText(HKEY_CLASSES_ROOT, L"HKCR", L"CLSID\\" + kClass);
    state += L"Approved " + RegistryValueText(HKEY_LOCAL_MACHINE, kApprovedKey, kClass.c_str()) + L"\n";
    ITypeLib* library = nullptr;
    const HRESULT loaded = LoadRegTypeLib(kLibraryId, 1, 0, LOCALE_NEUTRAL, &library);
    if (library != nullptr) library->Release();
    state += std::wstring(L"Type library ") + (SUCCEEDED(loaded) ? L"registered" : L"not registered") + L"\n";
    return state;
}

std::wstring RegisteredState(const std::wstring& dllPath)
{
    return L"HKCR\\Orrelin.DFUShellExt.1\n"
           L"  @ = REG_SZ \"DFUShellExt Class\"\n"
           L"HKCR\\Orrelin.DFUShellExt.1\\CLSID\n"
           L"  @ = REG_SZ \"" +
           kClass +
           L"\"\n"
           L"HKCR\\Orrelin.DFUShellExt\n"
           L"  @ = REG_SZ \"DFUShellExt Class\"\n"
           L"HKCR\\Orrelin.DFUShellExt\\CLSID\n"
           L"  @ = REG_SZ \"" +
           kClass +
           L"\"\n"
           L"HKCR\\Orrelin.DFUShellExt\\CurVer\n"
           L"  @ = REG_SZ \"Orrelin.DFUShellExt.1\"\n"
           L"HKCR\\.dfu\n"
           L"  @ = REG_SZ \"dfufile\"\n"
           L"HKCR\\.dfu\\shellex\n"
           L"HKCR\\.dfu\\shellex\\{00021500-0000-0000-C000-000000000046}\n"
           L"  @ = REG_SZ \"" +
           kClass +
           L"\"\n"
           L"HKCR\\dfufile\n"
           L"HKCR\\dfufile\\ShellEx\n"
           L"HKCR\\dfufile\\ShellEx\\ContextMenuHandlers\n"
           L"HKCR\\dfufile\\ShellEx\\ContextMenuHandlers\\Orrelin.DFUShellExt\n"
           L"  @ = REG_SZ \"" +
           kClass +
           L"\"\n"
           L"HKCR\\CLSID\\" +
           kClass +
           L"\n"
           L"  @ = REG_SZ \"DFUShellExt Class\"\n"
           L"HKCR\\CLSID\\" +
           kClass +
           L"\\InprocServer32\n"
           L"  @ = REG_SZ \"" +
           dllPath +
           L"\"\n"
           L"  ThreadingModel = REG_SZ \"Apartment\"\n"
           L"HKCR\\CLSID\\" +
           kClass +
           L"\\ProgID\n"
           L"  @ = REG_SZ \"Orrelin.DFUShellExt.1\"\n"
           L"HKCR\\CLSID\\" +
           kClass +
           L"\\Programmable\n"
           L"HKCR\\CLSID\\" +
           kClass +
           L"\\TypeLib\n"
           L"  @ = REG_SZ \"" +
           kLibrary +
           L"\"\n"
           L"HKCR\\CLSID\\" +
           kClass +
           L"\\VersionIndependentProgID\n"
           L"  @ = REG_SZ \"Orrelin.DFUShellExt\"\n"
           L"Approved REG_SZ \"CTxtInfoShlExt extension\"\n"
           L"Type library registered\n";
}

// After unregistration the info tip association and the emptied handler keys stay.
std::wstring UnregisteredState(const std::wstring& classKeyRemains = L"HKCR\\CLSID\\" + kClass + L" (absent)\n")
{
    return L"HKCR\\Orrelin.DFUShellExt.1 (absent)\n"
           L"HKCR\\Orrelin.DFUShellExt (absent)\n"
           L"HKCR\\.dfu\n"
           L"  @ = REG_SZ \"dfufile\"\n"
           L"HKCR\\.dfu\\shellex\n"
           L"HKCR\\.dfu\\shellex\\{00021500-0000-0000-C000-000000000046}\n"
           L"  @ = REG_SZ \"" +
           kClass +
           L"\"\n"
           L"HKCR\\dfufile\n"
           L"HKCR\\dfufile\\ShellEx\n"
           L"HKCR\\dfufile\\ShellEx\\ContextMenuHandlers\n" +
           classKeyRemains +
           L"Approved (absent)\n"
           L"Type library not registered\n";
}

// What a per-user registration touches: the same keys under the user's own classes, shown
// with the same root name so the machine-wide texts above describe them too.
std::wstring UserRegistrationState()
{
    HKEY classes = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, KEY_READ, &classes) != ERROR_SUCCESS)
        return L"(no user classes)";
    std::wstring state;
    for (const wchar_t* key : {L"Orrelin.DFUShellExt.1", L"Orrelin.DFUShellExt", L".dfu", L"dfufile"})
        state += WithoutOtherClasses(RegistryTreeText(classes, L"HKCR", key));
    state += RegistryTreeText(classes, L"HKCR", L"CLSID\\" + kClass);
    RegCloseKey(classes);
    state += L"Approved " + RegistryValueText(HKEY_CURRENT_USER, kApprovedKey, kClass.c_str()) + L"\n";
    const std::wstring win = sizeof(void*) == 8 ? L"win64" : L"win32";
    const std::wstring library =
        RegistryValueText(HKEY_CURRENT_USER, L"Software\\Classes\\TypeLib\\" + kLibrary + L"\\1.0\\0\\" + win, nullptr);
    state += std::wstring(L"Type library ") + (library == L"(absent)" ? L"not registered" : L"registered") + L"\n";
    return state;
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
    EXPECT_EQ(RegisteredState(dll), RegistrationState()) << Narrow(RegistrationState());
    // The type library's own registration points at the library file.
    const std::wstring win = sizeof(void*) == 8 ? L"win64" : L"win32";
    EXPECT_EQ(L"REG_SZ \"" + dll + L"\"",
              RegistryValueText(HKEY_CLASSES_ROOT, L"TypeLib\\" + kLibrary + L"\\1.0\\0\\" + win, nullptr));
}

TEST_F(RegistrationTest, RegisteringTwiceEqualsOnce)
{
    ASSERT_EQ(0u, Regsvr32(Quoted(dll)));
    const std::wstring once = RegistrationState();
    ASSERT_EQ(0u, Regsvr32(Quoted(dll)));
    EXPECT_EQ(once, RegistrationState());
}

TEST_F(RegistrationTest, UnregisteringRemovesWhatRegistrationAdded)
{
    ASSERT_EQ(0u, Regsvr32(Quoted(dll)));
    ASSERT_EQ(0u, Regsvr32(L"/u " + Quoted(dll)));
    EXPECT_EQ(UnregisteredState(), RegistrationState()) << Narrow(RegistrationState());
    // Again, with nothing registered: the script changes nothing; the type library's
    // unregistration reports that it was not registered.
    Regsvr32(L"/u " + Quoted(dll));
    EXPECT_EQ(UnregisteredState(), RegistrationState());
}

TEST_F(RegistrationTest, AnotherProgramsSubkeyKeepsTheClassKey)
{
    ASSERT_EQ(0u, Regsvr32(Quoted(dll)));
    HKEY foreign = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, (L"CLSID\\" + kClass + L"\\Foreign").c_str(), 0,
                                             nullptr, 0, KEY_WRITE, nullptr, &foreign, nullptr));
    RegCloseKey(foreign);
    ASSERT_EQ(0u, Regsvr32(L"/u " + Quoted(dll)));
    EXPECT_EQ(UnregisteredState(L"HKCR\\CLSID\\" + kClass +
                                L"\n"
                                L"  @ = REG_SZ \"DFUShellExt Class\"\n"
                                L"HKCR\\CLSID\\" +
                                kClass + L"\\Foreign\n"),
              RegistrationState())
        << Narrow(RegistrationState());
}

TEST_F(RegistrationTest, PerUserInstallWritesTheUsersClassesAndNothingForTheMachine)
{
    const std::wstring machineBefore = RegistrationState();
    ASSERT_EQ(0u, Regsvr32(L"/n /i:user " + Quoted(dll)));
    EXPECT_EQ(RegisteredState(dll), UserRegistrationState()) << Narrow(UserRegistrationState());
    EXPECT_EQ(machineBefore, RegistrationState()) << Narrow(RegistrationState());

    ASSERT_EQ(0u, Regsvr32(L"/u /n /i:user " + Quoted(dll)));
    EXPECT_EQ(UnregisteredState(), UserRegistrationState()) << Narrow(UserRegistrationState());
    EXPECT_EQ(L"(absent)", RegistryValueText(HKEY_CURRENT_USER, kApprovedKey, nullptr));
    EXPECT_EQ(machineBefore, RegistrationState());
}

TEST_F(RegistrationTest, DllInstallRefusesEveryRequestButUser)
{
    HMODULE library = LoadLibraryExW(dll.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(nullptr, library);
    using InstallFn = HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR);
    auto install = reinterpret_cast<InstallFn>(reinterpret_cast<void (*)()>(GetProcAddress(library, "DllInstall")));
    ASSERT_NE(nullptr, install);
    const std::wstring before = UserRegistrationState() + RegistrationState();
    for (const wchar_t* request : {static_cast<const wchar_t*>(nullptr), L"", L"machine", L"users", L"user "}) {
        for (BOOL direction : {TRUE, FALSE}) {
            SCOPED_TRACE(request == nullptr ? "(null)" : Narrow(request));
            EXPECT_EQ(E_INVALIDARG, install(direction, request));
        }
    }
    EXPECT_EQ(before, UserRegistrationState() + RegistrationState());
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
    EXPECT_EQ(L"REG_SZ \"" + dll + L"\"",
              RegistryValueText(HKEY_CLASSES_ROOT, L"CLSID\\" + kClass + L"\\InprocServer32", nullptr));
    EXPECT_EQ(RegisteredState(dll), RegistrationState());
}

// The two files the shell extension ships, without the property schema: the shell extension
// and its type library register as ever, the property handler without its schema.
TEST_F(RegistrationCopyTest, WithoutThePropertySchemaEverythingElseRegisters)
{
    CopyTo(L"orrelin-no-schema", false);
    ASSERT_EQ(0u, Regsvr32(Quoted(dll)));
    EXPECT_EQ(RegisteredState(dll), RegistrationState()) << Narrow(RegistrationState());
    EXPECT_EQ(L"REG_SZ \"" + dll + L"\"",
              RegistryValueText(HKEY_CLASSES_ROOT, L"CLSID\\{49905783-1DB4-42B7-A70D-BC5B64A13E5C}\\InprocServer32",
                                nullptr));
    EXPECT_EQ(0u, Regsvr32(L"/u " + Quoted(dll)));
}

TEST_F(RegistrationCopyTest, WithoutItsTypeLibraryTheScriptStillRuns)
{
    CopyTo(L"orrelin-no-typelib");
    RenameTypeLibraryResource(dll);
    HMODULE copy = LoadLibraryExW(dll.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(nullptr, copy);
    using RegisterFn = HRESULT(STDAPICALLTYPE*)();
    auto registerServer =
        reinterpret_cast<RegisterFn>(reinterpret_cast<void (*)()>(GetProcAddress(copy, "DllRegisterServer")));
    ASSERT_NE(nullptr, registerServer);
    const HRESULT hr = registerServer();
    ITypeLib* fromFile = nullptr;
    const HRESULT loadFailure = LoadTypeLib((folder + L"\\Orrelin.tlb").c_str(), &fromFile);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(loadFailure, hr);
    // The script ran before the type library was looked for.
    EXPECT_EQ(L"REG_SZ \"" + dll + L"\"",
              RegistryValueText(HKEY_CLASSES_ROOT, L"CLSID\\" + kClass + L"\\InprocServer32", nullptr));
    using UnregisterFn = HRESULT(STDAPICALLTYPE*)();
    auto unregisterServer =
        reinterpret_cast<UnregisterFn>(reinterpret_cast<void (*)()>(GetProcAddress(copy, "DllUnregisterServer")));
    EXPECT_EQ(loadFailure, unregisterServer());
    FreeLibrary(copy);
}

}  // namespace
