// The manifest of Orrelin.dll: it names the library for its architecture and asks the
// loader for no side-by-side assembly.
#include "orrelin_dll.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using orrelin::test::LoadOrrelinResources;
using orrelin::test::OrrelinDllPath;
using orrelin::test::ResourceBytes;

const char* const kArchitecture = sizeof(void*) == 8 ? "amd64" : "x86";

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR context)
{
    auto* names = reinterpret_cast<std::set<ULONG_PTR>*>(context);
    names->insert(IS_INTRESOURCE(name) ? reinterpret_cast<ULONG_PTR>(name) : 0);
    return TRUE;
}

TEST(Manifest, IsTheOneLibraryManifest)
{
    auto module = LoadOrrelinResources();
    ASSERT_TRUE(module) << "LoadLibraryExW failed: " << GetLastError();
    std::set<ULONG_PTR> names;
    EnumResourceNamesW(module.get(), RT_MANIFEST, CollectName, reinterpret_cast<LONG_PTR>(&names));
    // 2 is the manifest the loader applies to a library; 1 would be a program's.
    EXPECT_EQ(names, std::set<ULONG_PTR>{2});
}

TEST(Manifest, NamesOrrelinAndNoDependency)
{
    auto module = LoadOrrelinResources();
    ASSERT_TRUE(module);
    auto bytes = ResourceBytes(module.get(), RT_MANIFEST, MAKEINTRESOURCEW(2));
    ASSERT_TRUE(bytes);
    std::string text(*bytes);
    EXPECT_NE(std::string::npos, text.find("name=\"Orrelin\"")) << text;
    EXPECT_NE(std::string::npos, text.find("version=\"2.4.0.0\"")) << text;
    EXPECT_NE(std::string::npos, text.find(std::string("processorArchitecture=\"") + kArchitecture + "\"")) << text;
    EXPECT_EQ(std::string::npos, text.find("dependentAssembly")) << text;
    EXPECT_EQ(std::string::npos, text.find("dependency")) << text;
}

// The platform's own reading of the manifest: an activation context is built from it,
// which fails for a malformed manifest or an assembly that cannot be found.
TEST(Manifest, ActivationContextBuildsFromIt)
{
    std::wstring path = OrrelinDllPath();
    ACTCTXW context{};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = path.c_str();
    context.lpResourceName = MAKEINTRESOURCEW(2);
    HANDLE handle = CreateActCtxW(&context);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle) << "CreateActCtxW failed: " << GetLastError();
    ReleaseActCtx(handle);
}

}  // namespace
