// The registry script REGISTRY 102 of Orrelin.dll, which the registrar applies as stored.
#include "orrelin_dll.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include "system_script.h"

namespace {

// The script the library has always stored: registrations in the field were written by it,
// so resources/Orrelin.rgs must not change by a byte. Its length and CRC-32 are pinned here
// because the tests take the text itself from that file.
constexpr size_t kStoredScriptLength = 957;
constexpr unsigned long kStoredScriptCrc = 0x262EC6D1;

using orrelin::test::LoadOrrelinResources;
using orrelin::test::ResourceBytes;

TEST(RegistryScript, IsStoredByteForByte)
{
    auto module = LoadOrrelinResources();
    ASSERT_TRUE(module) << "LoadLibraryExW failed: " << GetLastError();
    auto script = ResourceBytes(module.get(), L"REGISTRY", MAKEINTRESOURCEW(102));
    ASSERT_TRUE(script) << "no REGISTRY 102";
    // The usual ways of spoiling the text on its way into the library, named first.
    EXPECT_EQ(std::string_view::npos, script->find('\r')) << "carriage return stored";
    EXPECT_EQ(std::string_view::npos, script->find('\0')) << "terminator or padding stored";
    EXPECT_EQ(std::string_view::npos, script->find("\n    ")) << "indented with blanks";
    EXPECT_EQ(orrelin::test::kSystemScript, *script);
}

TEST(RegistryScript, IsTheScriptRegistrationsWereWrittenBy)
{
    const std::string_view script = orrelin::test::kSystemScript;
    EXPECT_EQ(kStoredScriptLength, script.size());
    EXPECT_EQ(kStoredScriptCrc,
              crc32(0, reinterpret_cast<const Bytef*>(script.data()), static_cast<uInt>(script.size())));
}

}  // namespace
