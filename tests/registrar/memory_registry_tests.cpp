// The in-memory registry keeps the platform's rules; the interpreter's tests rely on them, and
// the Wine tests hold it against the real registry.
#include "registry_dump.h"
#include "script_test_support.h"

#include <gtest/gtest.h>

namespace orrelin::regscript::test {
namespace {

class MemoryRegistryRules : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (const KeyHandle key : opened) registry.CloseKey(key);
        EXPECT_EQ(registry.OpenHandleCount(), 0u);
    }

    Win32Code Open(KeyHandle parent, const char16_t* name, std::uint32_t access, KeyHandle* key)
    {
        const Win32Code code = registry.OpenKey(parent, name, access, key);
        if (code == kErrorSuccess) opened.push_back(*key);
        return code;
    }

    Win32Code Create(KeyHandle parent, const char16_t* name, std::uint32_t access, KeyHandle* key)
    {
        const Win32Code code = registry.CreateKey(parent, name, access, key);
        if (code == kErrorSuccess) opened.push_back(*key);
        return code;
    }

    MemoryRegistry registry;
    std::vector<KeyHandle> opened;
};

TEST_F(MemoryRegistryRules, NamesIgnoreCaseAndKeepTheirFirstSpelling)
{
    KeyHandle key = kNoKey;
    ASSERT_EQ(Create(kHkeyClassesRoot, u"MixedCase\\Sub", kKeyReadWrite, &key), kErrorSuccess);
    KeyHandle again = kNoKey;
    EXPECT_EQ(Open(kHkeyClassesRoot, u"MIXEDCASE\\sub", kKeyRead, &again), kErrorSuccess);
    EXPECT_EQ(Create(kHkeyClassesRoot, u"mixedcase", kKeyReadWrite, &again), kErrorSuccess);
    EXPECT_EQ(registry.Dump(), "HKCR\nHKCR\\MixedCase\nHKCR\\MixedCase\\Sub\n");
    const std::uint8_t data[] = {1, 0, 0, 0};
    EXPECT_EQ(registry.SetValue(key, u"Value", kRegDword, data, 4), kErrorSuccess);
    EXPECT_EQ(registry.DeleteValue(key, u"VALUE"), kErrorSuccess);
    EXPECT_EQ(registry.DeleteValue(key, u"value"), kErrorFileNotFound);
}

TEST_F(MemoryRegistryRules, OpenAnswersAsThePlatform)
{
    registry.CreateKeyAt(u"HKCU\\a\\b");
    KeyHandle key = kNoKey;
    const std::u16string name255(255, u'n'), name256(256, u'n');
    struct Case {
        const char16_t* name;
        Win32Code code;
    };
    const Case cases[] = {
        {u"absent", kErrorFileNotFound},  {u"a\\absent", kErrorFileNotFound}, {u"a\\b", kErrorSuccess},
        {u"a\\", kErrorSuccess},          {u"\\a", kErrorBadPathname},        {u"a\\\\b", kErrorBadPathname},
        {u"", kErrorSuccess},             {nullptr, kErrorSuccess},           {name255.c_str(), kErrorFileNotFound},
        {name256.c_str(), kErrorInvalidParameter},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Open(kHkeyCurrentUser, c.name, kKeyRead, &key), c.code) << (c.name ? EscapeText(c.name) : "null");
    }
    EXPECT_EQ(Create(kHkeyCurrentUser, name256.c_str(), kKeyReadWrite, &key), kErrorInvalidParameter);
    EXPECT_EQ(Open(0x12345, u"a", kKeyRead, &key), kErrorInvalidHandle);
}

TEST_F(MemoryRegistryRules, HandlesCarryTheirRights)
{
    registry.CreateKeyAt(u"HKCU\\K\\Sub");
    KeyHandle readOnly = kNoKey, writeOnly = kNoKey, child = kNoKey;
    ASSERT_EQ(Open(kHkeyCurrentUser, u"K", kKeyRead, &readOnly), kErrorSuccess);
    ASSERT_EQ(Open(kHkeyCurrentUser, u"K", kKeyWrite, &writeOnly), kErrorSuccess);
    const std::uint8_t data[] = {0, 0};
    EXPECT_EQ(registry.SetValue(readOnly, u"v", kRegSz, data, 2), kErrorAccessDenied);
    EXPECT_EQ(registry.DeleteValue(readOnly, u"v"), kErrorAccessDenied);
    EXPECT_EQ(Create(readOnly, u"New", kKeyReadWrite, &child), kErrorAccessDenied);
    EXPECT_EQ(Open(readOnly, u"Sub", kKeyReadWrite, &child), kErrorSuccess);
    EXPECT_EQ(registry.SetValue(writeOnly, u"v", kRegSz, data, 2), kErrorSuccess);
    std::u16string name;
    std::uint32_t count = 0;
    EXPECT_EQ(registry.EnumKey(writeOnly, 0, &name), kErrorAccessDenied);
    EXPECT_EQ(registry.QuerySubkeyCount(writeOnly, &count), kErrorAccessDenied);
    EXPECT_EQ(registry.EnumKey(readOnly, 0, &name), kErrorSuccess);
    EXPECT_EQ(name, u"Sub");
    EXPECT_EQ(registry.EnumKey(readOnly, 1, &name), kErrorNoMoreItems);
    EXPECT_EQ(registry.QuerySubkeyCount(readOnly, &count), kErrorSuccess);
    EXPECT_EQ(count, 1u);
}

TEST_F(MemoryRegistryRules, DeletionAsThePlatform)
{
    registry.CreateKeyAt(u"HKCU\\Parent\\Child");
    KeyHandle child = kNoKey;
    ASSERT_EQ(Open(kHkeyCurrentUser, u"Parent\\Child", kKeyReadWrite, &child), kErrorSuccess);
    EXPECT_EQ(registry.DeleteKey(kHkeyCurrentUser, u"Parent"), kErrorAccessDenied) << "has a subkey";
    EXPECT_EQ(registry.DeleteKey(kHkeyCurrentUser, u"Absent"), kErrorFileNotFound);
    EXPECT_EQ(registry.DeleteKey(kHkeyCurrentUser, u""), kErrorAccessDenied) << "a root";
    EXPECT_EQ(registry.DeleteKey(kHkeyCurrentUser, nullptr), kErrorInvalidParameter);
    EXPECT_EQ(registry.DeleteKey(kHkeyCurrentUser, u"parent\\CHILD"), kErrorSuccess);
    // A handle outlives its key; everything through it then fails.
    const std::uint8_t data[] = {0, 0};
    KeyHandle sub = kNoKey;
    std::uint32_t count = 0;
    EXPECT_EQ(registry.SetValue(child, nullptr, kRegSz, data, 2), kErrorKeyDeleted);
    EXPECT_EQ(registry.QuerySubkeyCount(child, &count), kErrorKeyDeleted);
    EXPECT_EQ(Create(child, u"x", kKeyReadWrite, &sub), kErrorKeyDeleted);
    EXPECT_EQ(registry.DeleteKey(kHkeyCurrentUser, u"Parent"), kErrorSuccess);
    EXPECT_EQ(registry.Dump(), "");
}

TEST_F(MemoryRegistryRules, ChosenCallsFail)
{
    registry.CreateKeyAt(u"HKCU\\K");
    registry.FailCall(MemoryRegistry::Call::OpenKey, u"HKEY_CURRENT_USER\\k", kErrorAccessDenied, 2);
    KeyHandle key = kNoKey;
    EXPECT_EQ(Open(kHkeyCurrentUser, u"K", kKeyRead, &key), kErrorAccessDenied);
    EXPECT_EQ(Open(kHkeyCurrentUser, u"K", kKeyRead, &key), kErrorAccessDenied);
    EXPECT_EQ(Open(kHkeyCurrentUser, u"K", kKeyRead, &key), kErrorSuccess) << "count used up";

    registry.FailCall(MemoryRegistry::Call::CreateKey, u"HKCU\\New", kErrorOutOfMemory);
    EXPECT_EQ(Create(kHkeyCurrentUser, u"New", kKeyReadWrite, &key), kErrorOutOfMemory);
    EXPECT_EQ(Create(kHkeyCurrentUser, u"New", kKeyReadWrite, &key), kErrorOutOfMemory);
    EXPECT_FALSE(registry.KeyExists(u"HKCU\\New"));
    registry.ClearFailures();
    EXPECT_EQ(Create(kHkeyCurrentUser, u"New", kKeyReadWrite, &key), kErrorSuccess);
}

TEST_F(MemoryRegistryRules, DumpShowsEveryUnitAndByte)
{
    registry.SetStringAt(u"HKLM\\K", nullptr, u"d\u00E9f");
    registry.SetValueAt(u"HKLM\\K", u"bin", kRegBinary, {0x0A, 0xFF});
    registry.SetValueAt(u"HKLM\\K", u"dword", kRegDword, {1, 2, 3, 4});
    registry.SetValueAt(u"HKLM\\K", u"odd", kRegSz, {0x41});
    registry.SetValueAt(u"HKLM\\K", u"multi", kRegMultiSz, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0});
    registry.SetValueAt(u"HKLM\\K", u"q\"\\", 11, {});
    EXPECT_EQ(registry.Dump(u"HKLM"),
              "HKLM\n"
              "HKLM\\K\n"
              "  @ = REG_SZ \"d\\u00E9f\\0\"\n"
              "  bin = REG_BINARY [0a ff]\n"
              "  dword = REG_DWORD 0x04030201\n"
              "  multi = REG_MULTI_SZ \"a\\0b\\0\\0\"\n"
              "  odd = type 1 [41]\n"
              "  q\\\"\\\\ = type 11 []\n");
}

}  // namespace
}  // namespace orrelin::regscript::test
