// The registry script REGISTRY 102 of Orrelin.dll, which the registrar applies as stored.
#include "orrelin_dll.h"

#include <gtest/gtest.h>

#include "system_script.h"

namespace {

using orrelin::test::LoadOrrelinResources;
using orrelin::test::ResourceBytes;

TEST(RegistryScript, IsStoredByteForByte)
{
    auto module = LoadOrrelinResources();
    ASSERT_TRUE(module) << "LoadLibraryExW failed: " << GetLastError();
    auto script = ResourceBytes(module.get(), L"REGISTRY", MAKEINTRESOURCEW(102));
    ASSERT_TRUE(script) << "no REGISTRY 102";
    // The usual ways of spoiling the text on its way into the library, named first.
    EXPECT_EQ(script->find('\r'), std::string_view::npos) << "carriage return stored";
    EXPECT_EQ(script->find('\0'), std::string_view::npos) << "terminator or padding stored";
    EXPECT_EQ(script->find("\n    "), std::string_view::npos) << "indented with blanks";
    EXPECT_EQ(*script, orrelin::test::kSystemScript);
}

}  // namespace
