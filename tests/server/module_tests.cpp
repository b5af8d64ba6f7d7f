#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "application_base.h"
#include "dispatch.h"
#include "type_library.h"
#include "handles.h"
#include "module.h"
#include "registered_library.h"
#include "registration_scope.h"

using orrelin::UniqueBstr;
using orrelin::UniqueFileHandle;
using orrelin::UniqueModule;
using orrelin::test::Narrow;
using orrelin::test::ProgramFolder;
using orrelin::test::ProgramPath;
using orrelin::test::TemporaryFolder;

namespace {

TEST(ModuleUnload, FrameworkLocksAndModuleLocksBothKeepTheLibrary)
{
    ASSERT_EQ(0, g_module.GetLockCount());
    EXPECT_EQ(S_OK, CanUnloadModuleNow());
    orrelin::ApplicationLock();
    EXPECT_EQ(S_FALSE, CanUnloadModuleNow()) << "a framework lock with a module lock count of 0";
    orrelin::ApplicationUnlock();
    EXPECT_EQ(S_OK, CanUnloadModuleNow());
    g_module.Lock();
    EXPECT_EQ(S_FALSE, CanUnloadModuleNow());
    g_module.Unlock();
    g_module.Unlock();
    EXPECT_EQ(S_FALSE, CanUnloadModuleNow()) << "a count of -1";
    g_module.Lock();
    EXPECT_EQ(S_OK, CanUnloadModuleNow());
}

std::vector<int> g_terminated;

void WINAPI RecordTermination(DWORD_PTR value)
{
    g_terminated.push_back(static_cast<int>(value));
}

// The user's walk over its own list of the classes: only a list of the object map's classes,
// in its order, is walked; any other is refused before any class is touched.
const CLSID kFirst = {0x11111111, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
const CLSID kSecond = {0x22222222, 0, 0, {0, 0, 0, 0, 0, 0, 0, 2}};
using Walked = std::vector<std::pair<const CLSID*, bool>>;  // each class, and whether for the user
Walked g_updated;

template <const CLSID* ClassId>
HRESULT UpdateForUser(const RegistrationScope& scope, BOOL doRegister) noexcept
{
    g_updated.push_back({ClassId, scope.ForUser() && doRegister});
    return S_OK;
}

TEST(ModuleObject, AUsersWalkTakesOnlyTheObjectMapsClassesInItsOrder)
{
    ObjectMapEntry map[3] = {};
    map[0].classId = &kFirst;
    map[1].classId = &kSecond;
    const ClassRegistration first{&kFirst, &UpdateForUser<&kFirst>, nullptr};
    const ClassRegistration second{&kSecond, &UpdateForUser<&kSecond>, nullptr};
    const struct {
        const char* name;
        std::vector<ClassRegistration> list;
        HRESULT expected;
    } cases[] = {
        {"the same classes", {first, second, {}}, S_OK},
        {"one class missing", {first, {}}, E_UNEXPECTED},
        {"one class more", {first, second, first, {}}, E_UNEXPECTED},
        {"another order", {second, first, {}}, E_UNEXPECTED},
    };
    ObjectMapEntry* const kept = g_module.objectMap;
    g_module.objectMap = map;
    const RegistrationScope user = RegistrationScope::User();
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        g_updated.clear();
        EXPECT_EQ(test.expected, g_module.RegisterClassesIn(user, test.list.data(), FALSE));
        const Walked walked = SUCCEEDED(test.expected) ? Walked{{&kFirst, true}, {&kSecond, true}} : Walked{};
        EXPECT_EQ(walked, g_updated);
    }
    g_module.objectMap = kept;
}

TEST(ModuleObject, TerminationFunctionsRunNewestFirstAndOnce)
{
    g_terminated.clear();
    CAtlModule* const current = g_currentModule;
    {
        CAtlModule local;
        ASSERT_EQ(sizeof(_ATL_MODULE70), local.recordSize);
        ASSERT_EQ(S_OK, local.AddTermFunc(&RecordTermination, 1));
        ASSERT_EQ(S_OK, local.AddTermFunc(&RecordTermination, 2));
        local.Term();
        EXPECT_EQ((std::vector<int>{2, 1}), g_terminated);
        EXPECT_EQ(0u, local.recordSize);
        local.Term();
        EXPECT_EQ(2u, g_terminated.size());
    }
    g_currentModule = current;
}

// A folder with a '.' in its name, holding a copy of a library without a type library and
// Sample.tlb, the type library this program carries, beside it.
class TypeLibraryLoaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = TemporaryFolder() + L"orrelin.typelib-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder.c_str(), nullptr);
        const std::wstring engine = ProgramFolder() + L"Korvex.dll";
        ASSERT_TRUE(CopyFileW(engine.c_str(), (folder + L"\\Sample.dll").c_str(), FALSE));
        ASSERT_TRUE(CopyFileW(engine.c_str(), (folder + L"\\Sample").c_str(), FALSE));

        HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(1), L"TYPELIB");
        ASSERT_NE(nullptr, resource);
        const DWORD size = SizeofResource(nullptr, resource);
        const void* bytes = LockResource(LoadResource(nullptr, resource));
        UniqueFileHandle tlb(
            CreateFileW((folder + L"\\Sample.tlb").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(tlb);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(tlb.get(), bytes, size, &written, nullptr));
    }

    void TearDown() override
    {
        for (const wchar_t* name : {L"\\Sample.dll", L"\\Sample", L"\\Sample.tlb"})
            DeleteFileW((folder + name).c_str());
        RemoveDirectoryW(folder.c_str());
    }

    static std::wstring LoadedPath(HMODULE module, HRESULT& hr)
    {
        BSTR path = nullptr;
        ITypeLib* library = nullptr;
        hr = LoadTypeLibraryOfModule(module, &path, &library);
        UniqueBstr owner(path);
        if (library != nullptr) library->Release();
        if (FAILED(hr)) {
            EXPECT_EQ(nullptr, path);
            EXPECT_EQ(nullptr, library);
        }
        return path != nullptr ? std::wstring(path) : std::wstring();
    }

    std::wstring folder;
};

TEST_F(TypeLibraryLoaderTest, FindsTheLibraryInTheModuleFile)
{
    HRESULT hr = E_FAIL;
    EXPECT_EQ(ProgramPath(), LoadedPath(GetModuleHandleW(nullptr), hr));
    EXPECT_EQ(S_OK, hr);
}

TEST_F(TypeLibraryLoaderTest, FallsBackToATlbBesideTheModule)
{
    UniqueModule sample(LoadLibraryW((folder + L"\\Sample.dll").c_str()));
    ASSERT_TRUE(sample);
    HRESULT hr = E_FAIL;
    EXPECT_EQ(0, lstrcmpiW((folder + L"\\Sample.tlb").c_str(), LoadedPath(sample.get(), hr).c_str()));
    EXPECT_EQ(S_OK, hr);
}

TEST_F(TypeLibraryLoaderTest, AppendsTlbToAFileNameWithoutExtension)
{
    // The '.' in the folder name is not an extension; the trailing '.' keeps the loader
    // from adding ".dll".
    UniqueModule sample(LoadLibraryW((folder + L"\\Sample.").c_str()));
    ASSERT_TRUE(sample);
    wchar_t name[MAX_PATH];
    GetModuleFileNameW(sample.get(), name, MAX_PATH);
    ASSERT_EQ(0, lstrcmpiW((folder + L"\\Sample").c_str(), name)) << Narrow(name);
    HRESULT hr = E_FAIL;
    EXPECT_EQ(0, lstrcmpiW((folder + L"\\Sample.tlb").c_str(), LoadedPath(sample.get(), hr).c_str()));
    EXPECT_EQ(S_OK, hr);
}

TEST_F(TypeLibraryLoaderTest, FailsWithoutEitherAndChecksItsOutPointers)
{
    DeleteFileW((folder + L"\\Sample.tlb").c_str());
    UniqueModule sample(LoadLibraryW((folder + L"\\Sample.dll").c_str()));
    ASSERT_TRUE(sample);
    HRESULT hr = S_OK;
    EXPECT_EQ(L"", LoadedPath(sample.get(), hr));
    EXPECT_TRUE(FAILED(hr));

    BSTR path = nullptr;
    ITypeLib* library = nullptr;
    EXPECT_EQ(E_POINTER, LoadTypeLibraryOfModule(GetModuleHandleW(nullptr), nullptr, &library));
    EXPECT_EQ(E_POINTER, LoadTypeLibraryOfModule(GetModuleHandleW(nullptr), &path, nullptr));
}

}  // namespace
