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
        for (const KeyHandle key : m_opened) m_registry.CloseKey(key);
        EXPECT_EQ(0u, m_registry.OpenHandleCount());
    }

    Win32Code Open(KeyHandle parent, const char16_t* name, std::uint32_t access, KeyHandle* key)
    {
        const Win32Code code = m_registry.OpenKey(parent, name, access, key);
        if (code == kErrorSuccess) m_opened.push_back(*key);
        return code;
    }

    Win32Code Create(KeyHandle parent, const char16_t* name, std::uint32_t access, KeyHandle* key)
    {
        const Win32Code code = m_registry.CreateKey(parent, name, access, key);
        if (code == kErrorSuccess) m_opened.push_back(*key);
        return code;
    }

    MemoryRegistry m_registry;
    std::vector<KeyHandle> m_opened;
};

TEST_F(MemoryRegistryRules, NamesIgnoreCaseAndKeepTheirFirstSpelling)
{
    KeyHandle key = kNoKey;
    ASSERT_EQ(kErrorSuccess, Create(kHkeyClassesRoot, u"MixedCase\\Sub", kKeyReadWrite, &key));
    KeyHandle again = kNoKey;
    EXPECT_EQ(kErrorSuccess, Open(kHkeyClassesRoot, u"MIXEDCASE\\sub", kKeyRead, &again));
    EXPECT_EQ(kErrorSuccess, Create(kHkeyClassesRoot, u"mixedcase", kKeyReadWrite, &again));
    EXPECT_EQ("HKCR\nHKCR\\MixedCase\nHKCR\\MixedCase\\Sub\n", m_registry.Dump());
    const std::uint8_t data[] = {1, 0, 0, 0};
    EXPECT_EQ(kErrorSuccess, m_registry.SetValue(key, u"Value", kRegDword, data, 4));
    EXPECT_EQ(kErrorSuccess, m_registry.DeleteValue(key, u"VALUE"));
    EXPECT_EQ(kErrorFileNotFound, m_registry.DeleteValue(key, u"value"));
}

TEST_F(MemoryRegistryRules, OpenAnswersAsThePlatform)
{
    m_registry.CreateKeyAt(u"HKCU\\a\\b");
    KeyHandle key = kNoKey;
    const std::u16string name255(255, u'n'), name256(256, u'n');
    struct Case {
        const char16_t* name;
        Win32Code code;
    };
    const Case cases[] = {
        {u"absent", kErrorFileNotFound},
        {u"a\\absent", kErrorFileNotFound},
        {u"a\\b", kErrorSuccess},
        {u"a\\", kErrorSuccess},
        {u"\\a", kErrorBadPathname},
        {u"a\\\\b", kErrorBadPathname},
        {u"", kErrorSuccess},
        {nullptr, kErrorSuccess},
        {name255.c_str(), kErrorFileNotFound},
        {name256.c_str(), kErrorInvalidParameter},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.code, Open(kHkeyCurrentUser, c.name, kKeyRead, &key)) << (c.name ? EscapeText(c.name) : "null");
    EXPECT_EQ(kErrorInvalidParameter, Create(kHkeyCurrentUser, name256.c_str(), kKeyReadWrite, &key));
    EXPECT_EQ(kErrorInvalidHandle, Open(0x12345, u"a", kKeyRead, &key));
}

TEST_F(MemoryRegistryRules, HandlesCarryTheirRights)
{
    m_registry.CreateKeyAt(u"HKCU\\K\\Sub");
    KeyHandle readOnly = kNoKey, writeOnly = kNoKey, child = kNoKey;
    ASSERT_EQ(kErrorSuccess, Open(kHkeyCurrentUser, u"K", kKeyRead, &readOnly));
    ASSERT_EQ(kErrorSuccess, Open(kHkeyCurrentUser, u"K", kKeyWrite, &writeOnly));
    const std::uint8_t data[] = {0, 0};
    EXPECT_EQ(kErrorAccessDenied, m_registry.SetValue(readOnly, u"v", kRegSz, data, 2));
    EXPECT_EQ(kErrorAccessDenied, m_registry.DeleteValue(readOnly, u"v"));
    EXPECT_EQ(kErrorAccessDenied, Create(readOnly, u"New", kKeyReadWrite, &child));
    EXPECT_EQ(kErrorSuccess, Open(readOnly, u"Sub", kKeyReadWrite, &child));
    EXPECT_EQ(kErrorSuccess, m_registry.SetValue(writeOnly, u"v", kRegSz, data, 2));
    std::u16string name;
    std::uint32_t count = 0;
    EXPECT_EQ(kErrorAccessDenied, m_registry.EnumKey(writeOnly, 0, &name));
    EXPECT_EQ(kErrorAccessDenied, m_registry.QuerySubkeyCount(writeOnly, &count));
    EXPECT_EQ(kErrorSuccess, m_registry.EnumKey(readOnly, 0, &name));
    EXPECT_EQ(u"Sub", name);
    EXPECT_EQ(kErrorNoMoreItems, m_registry.EnumKey(readOnly, 1, &name));
    EXPECT_EQ(kErrorSuccess, m_registry.QuerySubkeyCount(readOnly, &count));
    EXPECT_EQ(1u, count);
}

TEST_F(MemoryRegistryRules, DeletionAsThePlatform)
{
    m_registry.CreateKeyAt(u"HKCU\\Parent\\Child");
    KeyHandle child = kNoKey;
    ASSERT_EQ(kErrorSuccess, Open(kHkeyCurrentUser, u"Parent\\Child", kKeyReadWrite, &child));
    EXPECT_EQ(kErrorAccessDenied, m_registry.DeleteKey(kHkeyCurrentUser, u"Parent")) << "has a subkey";
    EXPECT_EQ(kErrorFileNotFound, m_registry.DeleteKey(kHkeyCurrentUser, u"Absent"));
    EXPECT_EQ(kErrorAccessDenied, m_registry.DeleteKey(kHkeyCurrentUser, u"")) << "a root";
    EXPECT_EQ(kErrorInvalidParameter, m_registry.DeleteKey(kHkeyCurrentUser, nullptr));
    EXPECT_EQ(kErrorSuccess, m_registry.DeleteKey(kHkeyCurrentUser, u"parent\\CHILD"));
    // A handle outlives its key; everything through it then fails.
    const std::uint8_t data[] = {0, 0};
    KeyHandle sub = kNoKey;
    std::uint32_t count = 0;
    EXPECT_EQ(kErrorKeyDeleted, m_registry.SetValue(child, nullptr, kRegSz, data, 2));
    EXPECT_EQ(kErrorKeyDeleted, m_registry.QuerySubkeyCount(child, &count));
    EXPECT_EQ(kErrorKeyDeleted, Create(child, u"x", kKeyReadWrite, &sub));
    EXPECT_EQ(kErrorSuccess, m_registry.DeleteKey(kHkeyCurrentUser, u"Parent"));
    EXPECT_EQ("", m_registry.Dump());
}

TEST_F(MemoryRegistryRules, ChosenCallsFail)
{
    m_registry.CreateKeyAt(u"HKCU\\K");
    m_registry.FailCall(MemoryRegistry::Call::OpenKey, u"HKEY_CURRENT_USER\\k", kErrorAccessDenied, 2);
    KeyHandle key = kNoKey;
    EXPECT_EQ(kErrorAccessDenied, Open(kHkeyCurrentUser, u"K", kKeyRead, &key));
    EXPECT_EQ(kErrorAccessDenied, Open(kHkeyCurrentUser, u"K", kKeyRead, &key));
    EXPECT_EQ(kErrorSuccess, Open(kHkeyCurrentUser, u"K", kKeyRead, &key)) << "count used up";

    m_registry.FailCall(MemoryRegistry::Call::CreateKey, u"HKCU\\New", kErrorOutOfMemory);
    EXPECT_EQ(kErrorOutOfMemory, Create(kHkeyCurrentUser, u"New", kKeyReadWrite, &key));
    EXPECT_EQ(kErrorOutOfMemory, Create(kHkeyCurrentUser, u"New", kKeyReadWrite, &key));
    EXPECT_FALSE(m_registry.KeyExists(u"HKCU\\New"));
    m_registry.ClearFailures();
    EXPECT_EQ(kErrorSuccess, Create(kHkeyCurrentUser, u"New", kKeyReadWrite, &key));
}

TEST_F(MemoryRegistryRules, DumpShowsEveryUnitAndByte)
{
    m_registry.SetStringAt(u"HKLM\\K", nullptr, u"d\u00E9f");
    m_registry.SetValueAt(u"HKLM\\K", u"bin", kRegBinary, {0x0A, 0xFF});
    m_registry.SetValueAt(u"HKLM\\K", u"dword", kRegDword, {1, 2, 3, 4});
    m_registry.SetValueAt(u"HKLM\\K", u"odd", kRegSz, {0x41});
    m_registry.SetValueAt(u"HKLM\\K", u"multi", kRegMultiSz, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0});
    m_registry.SetValueAt(u"HKLM\\K", u"q\"\\", 11, {});
    EXPECT_EQ(
        "HKLM\n"
        "HKLM\\K\n"
        "  @ = REG_SZ \"d\\u00E9f\\0\"\n"
        "  bin = REG_BINARY [0a ff]\n"
        "  dword = REG_DWORD 0x04030201\n"
        "  multi = REG_MULTI_SZ \"a\\0b\\0\\0\"\n"
        "  odd = type 1 [41]\n"
        "  q\\\"\\\\ = type 11 []\n",
        m_registry.Dump(u"HKLM"));
}

}  // namespace
}  // namespace orrelin::regscript::test
