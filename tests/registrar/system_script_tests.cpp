// The script the library carries (REGISTRY 102), registered and unregistered against the
// in-memory registry, with the whole resulting tree compared as text.
#include "script_test_support.h"
#include "shell_extension_keys.h"

#include <gtest/gtest.h>

namespace orrelin::regscript::test {
namespace {

// Installed under a folder whose name holds an apostrophe: the module operation doubles it
// and the script's quoting undoes the doubling.
constexpr char16_t kModulePath[] = u"C:\\Program Files\\O'Brien\\Orrelin.dll";

// The whole in-memory registry is dumped, so the texts show the root's and CLSID's own lines.
const orrelin::test::KeysView kWholeRoot{u"HKCR", true};
const std::string kRegistered = orrelin::test::RegisteredKeys(kWholeRoot, kModulePath);
const std::string kAfterUnregistration = orrelin::test::KeysAfterUnregistration(kWholeRoot);

class SystemScript : public ::testing::Test {
protected:
    void SetUp() override { m_bed.AddModuleVariables(kModulePath); }
    void TearDown() override { EXPECT_EQ(0u, m_bed.registry.OpenHandleCount()); }

    HResult Register() { return m_bed.Register(kSystemScript); }
    HResult Unregister() { return m_bed.Unregister(kSystemScript); }

    ScriptBed m_bed;
};

TEST_F(SystemScript, RegistrationWritesTheWholeTree)
{
    ASSERT_EQ(kSOk, Register());
    EXPECT_EQ(kRegistered, m_bed.registry.Dump());
}

TEST_F(SystemScript, RegisteringTwiceEqualsOnce)
{
    ASSERT_EQ(kSOk, Register());
    ASSERT_EQ(kSOk, Register());
    EXPECT_EQ(kRegistered, m_bed.registry.Dump());
}

TEST_F(SystemScript, RegistrationReplacesStaleEntries)
{
    const std::u16string clsid = u"HKCR\\CLSID\\{B0EC6BBF-49C8-11D5-901D-00B0D064D823}";
    m_bed.registry.SetStringAt(clsid + u"\\InprocServer32", nullptr, u"C:\\old\\Orrelin.dll");
    m_bed.registry.SetStringAt(clsid + u"\\Stale", nullptr, u"from an old version");
    m_bed.registry.CreateKeyAt(clsid + u"\\Programmable\\Junk");
    m_bed.registry.SetStringAt(u"HKCR\\dfufile\\ShellEx\\ContextMenuHandlers\\Orrelin.DFUShellExt", u"extra", u"x");
    m_bed.registry.SetStringAt(u"HKCR\\.dfu", nullptr, u"oldclass");
    ASSERT_EQ(kSOk, Register());
    EXPECT_EQ(kRegistered, m_bed.registry.Dump());
}

TEST_F(SystemScript, UnregistrationLeavesTheSharedKeys)
{
    ASSERT_EQ(kSOk, Register());
    ASSERT_EQ(kSOk, Unregister());
    EXPECT_EQ(kAfterUnregistration, m_bed.registry.Dump());
    ASSERT_EQ(kSOk, Unregister());
    EXPECT_EQ(kAfterUnregistration, m_bed.registry.Dump());
}

TEST_F(SystemScript, UnregistrationWithNothingRegisteredChangesNothing)
{
    ASSERT_EQ(kSOk, Unregister());
    EXPECT_EQ("", m_bed.registry.Dump());

    m_bed.registry.SetStringAt(u"HKCR\\CLSID\\{00000000-0000-0000-0000-000000000001}", nullptr, u"other");
    m_bed.registry.SetStringAt(u"HKCR\\txtfile", nullptr, u"Text");
    const std::string before = m_bed.registry.Dump();
    ASSERT_EQ(kSOk, Unregister());
    EXPECT_EQ(before, m_bed.registry.Dump());
}

TEST_F(SystemScript, FailedWriteRollsTheBlockBack)
{
    m_bed.registry.FailCall(MemoryRegistry::Call::SetValue,
                            u"HKCR\\.dfu\\shellex\\{00021500-0000-0000-C000-000000000046}", kErrorAccessDenied);
    EXPECT_EQ("0x80070005", HexResult(Register()));
    // What unregistration leaves: the NoRemove keys, created empty, and the value that was
    // written into the kept key .dfu.
    EXPECT_EQ(R"(HKCR
HKCR\.dfu
  @ = REG_SZ "dfufile\0"
HKCR\.dfu\shellex
HKCR\.dfu\shellex\{00021500-0000-0000-C000-000000000046}
HKCR\CLSID
HKCR\dfufile
HKCR\dfufile\ShellEx
HKCR\dfufile\ShellEx\ContextMenuHandlers
)",
              m_bed.registry.Dump());
}

TEST_F(SystemScript, RunsTheSameFromTheModuleResource)
{
    m_bed.resources.AddResource(kModulePath, ResourceId::Name(u"REGISTRY"), ResourceId::Number(102),
                                std::string(kSystemScript));
    ASSERT_EQ(kSOk, m_bed.registrar.RegisterScriptResource(kModulePath, 102, u"REGISTRY"));
    EXPECT_EQ(kRegistered, m_bed.registry.Dump());
    ASSERT_EQ(kSOk, m_bed.registrar.UnregisterScriptResource(kModulePath, 102, u"REGISTRY"));
    EXPECT_EQ(kAfterUnregistration, m_bed.registry.Dump());
    EXPECT_EQ(0u, m_bed.resources.LoadedModuleCount());
}

}  // namespace
}  // namespace orrelin::regscript::test
