#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "KorvexDouble.h"

namespace {

std::wstring BesideThisProgram(const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + name;
}

TEST(LibraryLoad, StartsTheEngineOnceAndUnloadsCleanly)
{
    KorvexDouble_Reset();
    const std::wstring path = BesideThisProgram(L"Orrelin.dll");
    // As COM loads in-process servers: the DLL's own folder is searched for its imports.
    HMODULE library = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(nullptr, library) << GetLastError();
    EXPECT_EQ(1, KorvexDouble_InitCount());
    // The engine the library imports is the double this program talks to.
    EXPECT_EQ(GetModuleHandleW(L"Korvex.dll"), GetModuleHandleW(BesideThisProgram(L"Korvex.dll").c_str()));
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
    HMODULE library = LoadLibraryExW(BesideThisProgram(L"Orrelin.dll").c_str(), nullptr,
                                     LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(nullptr, library);
    for (const wchar_t* runtime : {L"libgcc_s_dw2-1.dll", L"libgcc_s_seh-1.dll", L"libstdc++-6.dll",
                                   L"libwinpthread-1.dll"})
        EXPECT_EQ(nullptr, GetModuleHandleW(runtime)) << runtime;
    FreeLibrary(library);
}

}  // namespace
