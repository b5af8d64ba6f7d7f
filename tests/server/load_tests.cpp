#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KorvexDouble.h"
#include "registered_library.h"

using orrelin::test::ProgramFolder;

namespace {

TEST(LibraryLoad, StartsTheEngineOnceAndUnloadsCleanly)
{
    KorvexDouble_Reset();
    const std::wstring path = ProgramFolder() + L"Orrelin.dll";
    // As COM loads in-process servers: the DLL's own folder is searched for its imports.
    HMODULE library = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(nullptr, library) << GetLastError();
    EXPECT_EQ(1, KorvexDouble_InitCount());
    // The engine the library imports is the double this program talks to.
    EXPECT_EQ(GetModuleHandleW(L"Korvex.dll"), GetModuleHandleW((ProgramFolder() + L"Korvex.dll").c_str()));
    EXPECT_TRUE(FreeLibrary(library));
    EXPECT_EQ(nullptr, GetModuleHandleW(path.c_str()));

    library = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(nullptr, library);
    EXPECT_EQ(2, KorvexDouble_InitCount());
    FreeLibrary(library);
}

TEST(LibraryLoad, ImportsOnlySystemLibrariesBesideTheEngine)
{
    // A user's machine has no mingw runtime DLLs: libgcc and libstdc++ must be linked in.
    HMODULE library =
        LoadLibraryExW((ProgramFolder() + L"Orrelin.dll").c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(nullptr, library);
    for (const wchar_t* runtime :
         {L"libgcc_s_dw2-1.dll", L"libgcc_s_seh-1.dll", L"libstdc++-6.dll", L"libwinpthread-1.dll"})
        EXPECT_EQ(nullptr, GetModuleHandleW(runtime)) << runtime;
    FreeLibrary(library);
}

// The process's free thread slots, counted by taking them all and giving them back.
int FreeThreadSlots()
{
    std::vector<DWORD> taken;
    for (DWORD slot; (slot = TlsAlloc()) != TLS_OUT_OF_INDEXES;) taken.push_back(slot);
    for (const DWORD slot : taken) TlsFree(slot);
    return static_cast<int>(taken.size());
}

// Takes a reference on every module loaded now but `except`, so loading `except` again
// pulls in nothing new.
std::vector<HMODULE> HoldLoadedModules(HMODULE except)
{
    std::vector<HMODULE> modules(1024);
    DWORD bytes = 0;
    EXPECT_TRUE(EnumProcessModules(GetCurrentProcess(), modules.data(),
                                   static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &bytes));
    modules.resize(bytes / sizeof(HMODULE));
    std::vector<HMODULE> held;
    for (const HMODULE module : modules) {
        HMODULE reference = nullptr;
        if (module != except &&
            GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(module), &reference))
            held.push_back(reference);
    }
    return held;
}

TEST(LibraryLoad, EachLoadGivesBackTheThreadSlotsItTook)
{
    // The shell loads and frees an extension again and again over a session; a slot kept
    // per load would in the end leave the host without any.
    const std::wstring path = ProgramFolder() + L"Orrelin.dll";
    HMODULE library = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(nullptr, library);
    const std::vector<HMODULE> held = HoldLoadedModules(library);
    FreeLibrary(library);

    const int before = FreeThreadSlots();
    for (int round = 0; round < 20; ++round) {
        library = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        ASSERT_NE(nullptr, library);
        const auto entry = reinterpret_cast<void (*)()>(GetProcAddress(library, "DllCanUnloadNow"));
        const auto canUnloadNow = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(entry);
        ASSERT_NE(nullptr, canUnloadNow);
        EXPECT_EQ(S_OK, canUnloadNow());
        EXPECT_TRUE(FreeLibrary(library));
    }
    EXPECT_EQ(before, FreeThreadSlots());
    for (const HMODULE module : held) FreeLibrary(module);
}

}  // namespace
