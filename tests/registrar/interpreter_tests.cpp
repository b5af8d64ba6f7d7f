// The interpreter against the in-memory registry: what each direction does to keys and
// values, the rights it asks for, the roll-back of a failing root block, key trees, and the
// places where the sound behaviour replaces a fault of the written rules.
#include "registry_dump.h"
#include "script_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace orrelin::regscript::test {
namespace {

using Call = MemoryRegistry::Call;

class Interpreter : public ::testing::Test {
protected:
    void TearDown() override
    {
        // Every key a block opens is closed by the time the script returns.
        EXPECT_EQ(0u, m_bed.registry.OpenHandleCount());
    }

    // The log lines of the given calls, in order.
    std::vector<std::string> Calls(std::initializer_list<const char*> prefixes) const
    {
        std::vector<std::string> lines;
        for (const std::string& line : m_bed.registry.CallLog()) {
            for (const char* prefix : prefixes)
                if (line.rfind(prefix, 0) == 0) lines.push_back(line);
        }
        return lines;
    }

    ScriptBed m_bed;
};

// ---------------------------------------------------------------------------------------
// Registration

TEST_F(Interpreter, RegistrationOpensThenCreatesWithTheListedRights)
{
    m_bed.registry.CreateKeyAt(u"HKCU\\Software");
    ASSERT_EQ(kSOk, m_bed.Register(u"HKCU { Software { New } }"));
    EXPECT_EQ((std::vector<std::string>{
                  "OpenKey HKCU\\Software 0x2001F -> 0",
                  "OpenKey HKCU\\Software\\New 0x2001F -> 2",
                  "OpenKey HKCU\\Software\\New 0x20019 -> 2",
                  "CreateKey HKCU\\Software\\New 0x2001F -> 0",
              }),
              Calls({"OpenKey", "CreateKey"}));
}

TEST_F(Interpreter, KeyOpenedOnlyForReadingFailsItsValueWrite)
{
    m_bed.registry.SetStringAt(u"HKCU\\Locked", nullptr, u"old");
    m_bed.registry.FailCall(Call::OpenKey, u"HKCU\\Locked", kErrorAccessDenied, -1, kKeyWrite);
    EXPECT_EQ("0x80070005", HexResult(m_bed.Register(u"HKCU { Locked = s new }")));
    EXPECT_EQ((std::vector<std::string>{
                  "OpenKey HKCU\\Locked 0x2001F -> 5",
                  "OpenKey HKCU\\Locked 0x20019 -> 0",
                  "SetValue HKCU\\Locked [] 0x1 8 -> 5",
                  // the roll-back of the root block
                  "OpenKey HKCU\\Locked 0x20019 -> 0",
              }),
              Calls({"OpenKey", "SetValue"}));
    // The roll-back removes a key that existed before and is empty and unmarked.
    EXPECT_FALSE(m_bed.registry.KeyExists(u"HKCU\\Locked"));
}

TEST_F(Interpreter, FailedCreateStopsWithItsCode)
{
    m_bed.registry.FailCall(Call::CreateKey, u"HKCU\\New", kErrorAccessDenied);
    EXPECT_EQ("0x80070005", HexResult(m_bed.Register(u"HKCU { Before New After }")));
    EXPECT_FALSE(m_bed.registry.KeyExists(u"HKCU\\After"));
    EXPECT_FALSE(m_bed.registry.KeyExists(u"HKCU\\Before")) << "rolled back with its root block";
}

TEST_F(Interpreter, ForceRemoveReplacesTheWholeTree)
{
    m_bed.registry.SetStringAt(u"HKCU\\App", u"stale", u"x");
    m_bed.registry.SetStringAt(u"HKCU\\App\\Old\\Deep", nullptr, u"x");
    m_bed.registry.CreateKeyAt(u"HKCU\\App\\Old\\Other");
    ASSERT_EQ(kSOk, m_bed.Register(u"HKCU { ForceRemove App = s v { Fresh } }"));
    EXPECT_EQ(
        "HKCU\\App\n"
        "  @ = REG_SZ \"v\\0\"\n"
        "HKCU\\App\\Fresh\n",
        m_bed.registry.Dump(u"HKCU\\App"));
}

TEST_F(Interpreter, DeleteRemovesTheKeyAndPassesOverItsAssignment)
{
    m_bed.registry.CreateKeyAt(u"HKCU\\Gone\\Sub\\Deeper");
    ASSERT_EQ(kSOk, m_bed.Register(u"HKCU { Delete Gone = s 'ignored' Next }"));
    EXPECT_EQ("HKCU\nHKCU\\Next\n", m_bed.registry.Dump());
}

TEST_F(Interpreter, RemovingAnAbsentOrStubbornKeyDoesNotStopRegistration)
{
    m_bed.registry.CreateKeyAt(u"HKCU\\Stubborn\\Child");
    m_bed.registry.FailCall(Call::DeleteKey, u"HKCU\\Stubborn\\Child", kErrorAccessDenied);
    ASSERT_EQ(kSOk, m_bed.Register(u"HKCU { Delete Absent ForceRemove Absent2 ForceRemove Stubborn { Added } }"));
    EXPECT_EQ(
        "HKCU\n"
        "HKCU\\Absent2\n"
        "HKCU\\Stubborn\n"
        "HKCU\\Stubborn\\Added\n"
        "HKCU\\Stubborn\\Child\n",
        m_bed.registry.Dump());
}

TEST_F(Interpreter, ProtectedNamesAreNeverRemovedAtAnyDepth)
{
    struct Level {
        const char16_t* prefix;
        const char16_t* open;
        const char16_t* close;
    };
    const Level levels[] = {{u"HKLM\\", u"", u""}, {u"HKLM\\Deep\\", u"Deep { ", u" }"}};
    const char16_t* names[] = {u"AppID",    u"CLSID",     u"Component Categories",
                               u"FileType", u"Interface", u"Hardware",
                               u"Mime",     u"SAM",       u"SECURITY",
                               u"SYSTEM",   u"Software",  u"TypeLib",
                               u"clsid"};
    for (const char16_t* name : names) {
        for (const Level& level : levels) {
            ScriptBed local;
            const std::u16string key = level.prefix + std::u16string(name);
            local.registry.SetStringAt(key + u"\\Child", nullptr, u"kept");
            const std::u16string script = u"HKLM { " + std::u16string(level.open) + u"ForceRemove '" + name +
                                          u"' { Added } Delete '" + name + u"' = s x" + level.close + u" }";
            ASSERT_EQ(kSOk, local.Register(script)) << EscapeText(script);
            EXPECT_TRUE(local.registry.KeyExists(key + u"\\Child")) << EscapeText(script);
            // With ForceRemove the key is still opened and its block applied.
            EXPECT_TRUE(local.registry.KeyExists(key + u"\\Added")) << EscapeText(script);
            EXPECT_EQ(0u, local.registry.OpenHandleCount());
        }
    }
}

TEST_F(Interpreter, ValueStatementInARootBlockWritesTheRoot)
{
    ASSERT_EQ(kSOk, m_bed.Register(u"HKCU { val Setting = d 7 }"));
    EXPECT_EQ("HKCU\n  Setting = REG_DWORD 0x00000007\n", m_bed.registry.Dump());
}

TEST_F(Interpreter, FailureInTheSecondRootBlockUndoesOnlyThatBlock)
{
    m_bed.registry.SetStringAt(u"HKLM\\Existing", u"own", u"kept");
    m_bed.registry.FailCall(Call::SetValue, u"HKLM\\Existing\\Second\\Inner", kErrorAccessDenied);
    const char16_t* script =
        u"HKCU { First = s one { Child } }\n"
        u"HKLM { NoRemove Existing = s 'written' { Second = s two { Inner { val Bad = s x } } Never } }\n"
        u"HKCR { Third }\n";
    EXPECT_EQ("0x80070005", HexResult(m_bed.Register(script)));
    EXPECT_EQ(
        "HKCU\n"
        "HKCU\\First\n"
        "  @ = REG_SZ \"one\\0\"\n"
        "HKCU\\First\\Child\n"
        "HKLM\n"
        // A value written into a kept key stays.
        "HKLM\\Existing\n"
        "  @ = REG_SZ \"written\\0\"\n"
        "  own = REG_SZ \"kept\\0\"\n",
        m_bed.registry.Dump());
}

TEST_F(Interpreter, RollBackReadsTheWholeBlockEvenWhereRegistrationStopped)
{
    // Registration stops at Middle; the roll-back walks the whole block and also removes
    // Later, which existed before and is empty and unmarked.
    m_bed.registry.CreateKeyAt(u"HKCU\\Later");
    m_bed.registry.FailCall(Call::CreateKey, u"HKCU\\Middle", kErrorAccessDenied);
    EXPECT_EQ("0x80070005", HexResult(m_bed.Register(u"HKCU { Early Middle Later }")));
    EXPECT_EQ("", m_bed.registry.Dump());
}

// ---------------------------------------------------------------------------------------
// Unregistration

TEST_F(Interpreter, UnregistrationRemovesBottomUp)
{
    ASSERT_EQ(kSOk, m_bed.Register(u"HKCU { A = s a { B { C = s c } } }"));
    m_bed.registry.ClearCallLog();
    ASSERT_EQ(kSOk, m_bed.Unregister(u"HKCU { A = s a { B { C = s c } } }"));
    EXPECT_EQ((std::vector<std::string>{
                  "DeleteKey HKCU\\A\\B\\C -> 0",
                  "DeleteKey HKCU\\A\\B -> 0",
                  "DeleteKey HKCU\\A -> 0",
              }),
              Calls({"DeleteKey"}));
    EXPECT_EQ("", m_bed.registry.Dump());
    EXPECT_EQ("OpenKey HKCU\\A 0x20019 -> 0", Calls({"OpenKey"}).front());
}

TEST_F(Interpreter, NoRemoveKeepsTheKeyButVisitsItsChildren)
{
    ASSERT_EQ(kSOk, m_bed.Register(u"HKCU { NoRemove A = s a { B NoRemove Empty } }"));
    ASSERT_EQ(kSOk, m_bed.Unregister(u"HKCU { NoRemove A = s a { B NoRemove Empty } }"));
    EXPECT_EQ(
        "HKCU\n"
        "HKCU\\A\n"
        "  @ = REG_SZ \"a\\0\"\n"
        "HKCU\\A\\Empty\n",
        m_bed.registry.Dump());
}

TEST_F(Interpreter, ValDeletesNamedValuesUnlessMarked)
{
    m_bed.registry.SetStringAt(u"HKCU\\K", nullptr, u"default");
    m_bed.registry.SetStringAt(u"HKCU\\K", u"V1", u"1");
    m_bed.registry.SetStringAt(u"HKCU\\K", u"V2", u"2");
    ASSERT_EQ(kSOk,
              m_bed.Unregister(u"HKCU { NoRemove K = s d { val V1 = s x NoRemove val V2 = s y val Absent = s z } }"));
    EXPECT_EQ(
        "HKCU\n"
        "HKCU\\K\n"
        "  @ = REG_SZ \"default\\0\"\n"
        "  V2 = REG_SZ \"2\\0\"\n",
        m_bed.registry.Dump());
    // The value is deleted through the block's key opened again for writing.
    EXPECT_EQ(2u, Calls({"OpenKey HKCU\\K 0x20006"}).size());
}

TEST_F(Interpreter, NothingRegisteredMeansNothingChanges)
{
    m_bed.registry.SetStringAt(u"HKCU\\Unrelated", u"v", u"x");
    const std::string before = m_bed.registry.Dump();
    ASSERT_EQ(kSOk, m_bed.Unregister(u"HKCU { A = s a { B { val v = s x } } NoRemove C { D } }"));
    EXPECT_EQ(before, m_bed.registry.Dump());
    EXPECT_TRUE(Calls({"DeleteKey", "DeleteValue", "SetValue", "CreateKey"}).empty());
}

TEST_F(Interpreter, AbsentKeyBlockIsReadThroughWithoutCalls)
{
    ASSERT_EQ(kSOk, m_bed.Unregister(u"HKCU { Absent { Sub { val V = s x } Other = s y } After }"));
    EXPECT_EQ((std::vector<std::string>{
                  "OpenKey HKCU\\Absent 0x20019 -> 2",
                  "OpenKey HKCU\\After 0x20019 -> 2",
              }),
              m_bed.registry.CallLog());
}

TEST_F(Interpreter, ForeignSubkeysKeepTheirKeyAndItsOwners)
{
    const char16_t* script = u"HKCU { A = s a { B = s b { val V = s v C } } }";
    ASSERT_EQ(kSOk, m_bed.Register(script));
    m_bed.registry.SetStringAt(u"HKCU\\A\\B\\Foreign", nullptr, u"someone else's");
    ASSERT_EQ(kSOk, m_bed.Unregister(script));
    EXPECT_EQ(
        "HKCU\n"
        "HKCU\\A\n"
        "  @ = REG_SZ \"a\\0\"\n"
        "HKCU\\A\\B\n"
        "  @ = REG_SZ \"b\\0\"\n"
        "HKCU\\A\\B\\Foreign\n"
        "  @ = REG_SZ \"someone else's\\0\"\n",
        m_bed.registry.Dump());
}

TEST_F(Interpreter, KeyThatCannotBeOpenedStopsAfterItsBlockIsReadThrough)
{
    m_bed.registry.CreateKeyAt(u"HKCU\\Locked\\Inner");
    m_bed.registry.CreateKeyAt(u"HKCU\\Later");
    m_bed.registry.FailCall(Call::OpenKey, u"HKCU\\Locked", kErrorAccessDenied);
    EXPECT_EQ("0x80070005", HexResult(m_bed.Unregister(u"HKCU { Early Locked { Inner } Later }")));
    EXPECT_EQ("HKCU\nHKCU\\Later\nHKCU\\Locked\nHKCU\\Locked\\Inner\n", m_bed.registry.Dump());
    EXPECT_TRUE(Calls({"OpenKey HKCU\\Locked\\Inner"}).empty());
}

struct ValueDeleteCase {
    const char* label;
    Call call;
    Win32Code code;
    const char* result;
    bool valueLeft;
};

TEST_F(Interpreter, ValueDeleteFailures)
{
    const ValueDeleteCase cases[] = {
        {"reopening the key fails", Call::OpenKey, kErrorAccessDenied, "0x80070005", true},
        {"value already gone", Call::DeleteValue, kErrorFileNotFound, "0x00000000", true},
        {"value cannot be deleted", Call::DeleteValue, kErrorAccessDenied, "0x80070005", true},
        {"no failure", Call::CloseKey, 0, "0x00000000", false},
    };
    for (const ValueDeleteCase& c : cases) {
        ScriptBed local;
        local.registry.SetStringAt(u"HKCU\\K", u"V", u"x");
        if (c.code != 0)
            local.registry.FailCall(c.call, u"HKCU\\K", c.code, -1, c.call == Call::OpenKey ? kKeyWrite : 0);
        EXPECT_EQ(c.result, HexResult(local.Unregister(u"HKCU { NoRemove K { val V = s x } }"))) << c.label;
        std::uint32_t type;
        std::vector<std::uint8_t> data;
        EXPECT_EQ(c.valueLeft, local.registry.GetValueAt(u"HKCU\\K", u"V", &type, &data)) << c.label;
        EXPECT_EQ(0u, local.registry.OpenHandleCount()) << c.label;
    }
}

TEST_F(Interpreter, FailedKeyDeleteOrCloseStops)
{
    m_bed.registry.CreateKeyAt(u"HKCU\\A\\B");
    m_bed.registry.CreateKeyAt(u"HKCU\\Z");
    m_bed.registry.FailCall(Call::DeleteKey, u"HKCU\\A\\B", kErrorAccessDenied);
    EXPECT_EQ("0x80070005", HexResult(m_bed.Unregister(u"HKCU { A { B } Z }")));
    EXPECT_TRUE(m_bed.registry.KeyExists(u"HKCU\\A\\B"));
    EXPECT_TRUE(m_bed.registry.KeyExists(u"HKCU\\Z"));

    ScriptBed local;
    local.registry.CreateKeyAt(u"HKCU\\A");
    local.registry.FailCall(Call::CloseKey, u"HKCU\\A", kErrorInvalidHandle);
    EXPECT_EQ("0x80070006", HexResult(local.Unregister(u"HKCU { A }")));
    EXPECT_TRUE(local.registry.KeyExists(u"HKCU\\A"));
    EXPECT_EQ(0u, local.registry.OpenHandleCount());
}

TEST_F(Interpreter, RemovalKeywordsReadAsPlainStatementsWhenUnregistering)
{
    m_bed.registry.CreateKeyAt(u"HKCU\\A");
    m_bed.registry.CreateKeyAt(u"HKCU\\B");
    m_bed.registry.CreateKeyAt(u"HKCU\\Software");  // protected names play no part here
    ASSERT_EQ(kSOk, m_bed.Unregister(u"HKCU { ForceRemove A Delete B = s x ForceRemove Software }"));
    EXPECT_EQ("", m_bed.registry.Dump());
}

// ---------------------------------------------------------------------------------------
// Key trees

TEST_F(Interpreter, DeleteKeyTreeRemovesEverythingBelow)
{
    for (const char16_t* path : {u"HKCU\\T\\a\\x", u"HKCU\\T\\a\\y\\z", u"HKCU\\T\\b", u"HKCU\\T\\c\\d\\e\\f"})
        m_bed.registry.CreateKeyAt(path);
    m_bed.registry.SetStringAt(u"HKCU\\T\\b", u"v", u"x");
    m_bed.registry.CreateKeyAt(u"HKCU\\Sibling");
    CRegScriptInterpreter interpreter(m_bed.registrar);
    EXPECT_EQ(kErrorSuccess, interpreter.DeleteKeyTree(kHkeyCurrentUser, u"T"));
    EXPECT_EQ("HKCU\nHKCU\\Sibling\n", m_bed.registry.Dump());
    EXPECT_EQ(kErrorFileNotFound, interpreter.DeleteKeyTree(kHkeyCurrentUser, u"T"));
}

TEST_F(Interpreter, DeleteKeyTreeStopsAtAFailingSubkey)
{
    m_bed.registry.CreateKeyAt(u"HKCU\\T\\a");
    m_bed.registry.CreateKeyAt(u"HKCU\\T\\b\\c");
    m_bed.registry.FailCall(Call::DeleteKey, u"HKCU\\T\\b\\c", kErrorAccessDenied);
    CRegScriptInterpreter interpreter(m_bed.registrar);
    EXPECT_EQ(kErrorAccessDenied, interpreter.DeleteKeyTree(kHkeyCurrentUser, u"T"));
    EXPECT_EQ("HKCU\nHKCU\\T\nHKCU\\T\\b\nHKCU\\T\\b\\c\n", m_bed.registry.Dump());
    EXPECT_EQ((std::vector<std::string>{"OpenKey HKCU\\T 0x2001F -> 0"}), Calls({"OpenKey HKCU\\T "}));
}

TEST_F(Interpreter, KeyHasSubkeysOnlyWhenTheQuerySaysSo)
{
    m_bed.registry.CreateKeyAt(u"HKCU\\Parent\\Child");
    m_bed.registry.CreateKeyAt(u"HKCU\\Leaf");
    CRegScriptInterpreter interpreter(m_bed.registrar);
    KeyHandle parent = kNoKey, leaf = kNoKey;
    ASSERT_EQ(0, m_bed.registry.OpenKey(kHkeyCurrentUser, u"Parent", kKeyRead, &parent));
    ASSERT_EQ(0, m_bed.registry.OpenKey(kHkeyCurrentUser, u"Leaf", kKeyRead, &leaf));
    EXPECT_TRUE(interpreter.KeyHasSubkeys(parent));
    EXPECT_FALSE(interpreter.KeyHasSubkeys(leaf));
    m_bed.registry.FailCall(Call::QuerySubkeyCount, u"HKCU\\Parent", kErrorAccessDenied);
    EXPECT_FALSE(interpreter.KeyHasSubkeys(parent));
    m_bed.registry.CloseKey(parent);
    m_bed.registry.CloseKey(leaf);
}

// ---------------------------------------------------------------------------------------
// Where the sound behaviour replaces a fault of the written rules

TEST_F(Interpreter, KeyToRemoveIsRemovedByItsWholeName)
{
    // Wine accepts key names beyond the platform's 255 characters; a name cut to 259
    // characters would name the sibling, which would then be deleted instead.
    m_bed.registry.SetMaxKeyNameLength(1000);
    const std::u16string longName(300, u'k');
    const std::u16string prefixName(259, u'k');
    m_bed.registry.CreateKeyAt(u"HKCU\\" + prefixName);
    ASSERT_EQ(kSOk, m_bed.Register(u"HKCU { " + longName + u" }"));
    ASSERT_EQ(kSOk, m_bed.Unregister(u"HKCU { " + longName + u" }"));
    EXPECT_FALSE(m_bed.registry.KeyExists(u"HKCU\\" + longName));
    EXPECT_TRUE(m_bed.registry.KeyExists(u"HKCU\\" + prefixName));
}

TEST_F(Interpreter, KeyNamesBeyondThePlatformLimitFailAsThePlatformDoes)
{
    const std::u16string name256(256, u'k');
    EXPECT_EQ("0x80070057", HexResult(m_bed.Register(u"HKCU { " + name256 + u" }")));
    EXPECT_EQ("0x80070057", HexResult(m_bed.Unregister(u"HKCU { " + name256 + u" }")));
    EXPECT_EQ(kSOk, m_bed.Register(u"HKCU { " + std::u16string(255, u'k') + u" }"));
}

TEST_F(Interpreter, DValueThatDoesNotConvertWritesNothing)
{
    m_bed.registry.CreateKeyAt(u"HKCU\\Kept");
    EXPECT_EQ(kDispETypeMismatch, m_bed.Register(u"HKCU { NoRemove Kept { val Count = d 'twelve' } }"));
    std::uint32_t type;
    std::vector<std::uint8_t> data;
    EXPECT_FALSE(m_bed.registry.GetValueAt(u"HKCU\\Kept", u"Count", &type, &data));
}

TEST_F(Interpreter, EmptyKeyNameIsRefusedInBothDirections)
{
    // An empty name names the owning key itself: a removal keyword would delete the
    // owner's whole tree (with an empty %APPID%: every application identifier), and
    // unregistration could delete an owner marked NoRemove.
    const char16_t* scripts[] = {
        u"HKCR { NoRemove AppID { ForceRemove '%APPID%' } }",
        u"HKCR { NoRemove AppID { Delete '' } }",
        u"HKCR { NoRemove AppID { '' = s x } }",
        u"HKCR { NoRemove Empty { '' } }",
        u"HKCR { ForceRemove '' }",
    };
    for (const char16_t* script : scripts) {
        for (const Direction direction : {Direction::Register, Direction::Unregister}) {
            ScriptBed local;
            local.registrar.AddVariable(u"APPID", u"");
            local.registry.SetStringAt(u"HKCR\\AppID\\{app}", nullptr, u"someone's");
            local.registry.CreateKeyAt(u"HKCR\\Empty");
            const std::string before = local.registry.Dump();
            EXPECT_EQ(kDispEException, local.Run(script, direction)) << EscapeText(script);
            EXPECT_EQ(before, local.registry.Dump()) << EscapeText(script);
        }
    }
}

TEST_F(Interpreter, ScriptFaultInsideAnAbsentKeyStopsUnregistration)
{
    // Read on past the fault, "Shared" would be taken for a key of the root block and deleted.
    m_bed.registry.CreateKeyAt(u"HKCR\\Shared");
    EXPECT_EQ(kDispEException, m_bed.Unregister(u"HKCR { Absent { Bad\\Name Shared } }"));
    EXPECT_TRUE(m_bed.registry.KeyExists(u"HKCR\\Shared"));
    EXPECT_EQ(kDispEException, m_bed.Unregister(u"HKCR { Absent { 'unclosed } }"));
}

TEST_F(Interpreter, BlockNestingIsBoundedByTheRegistryDepth)
{
    auto nested = [](int keys) {
        std::u16string script = u"HKCU {";
        for (int i = 0; i < keys; ++i) script += u" k {";
        for (int i = 0; i <= keys; ++i) script += u" }";
        return script;
    };
    // The root block is the first level.
    EXPECT_EQ(kSOk, m_bed.Register(nested(kMaxBlockDepth - 1)));
    EXPECT_EQ(kSOk, m_bed.Unregister(nested(kMaxBlockDepth - 1)));
    EXPECT_EQ("", m_bed.registry.Dump());
    // One level more is a fault of the script, met before any registry call of its block.
    EXPECT_EQ(kDispEException, m_bed.Unregister(nested(kMaxBlockDepth)));
    ScriptBed deep;
    EXPECT_EQ(kDispEException, deep.Register(nested(kMaxBlockDepth)));
    EXPECT_EQ(0u, deep.registry.OpenHandleCount());
    // Far too deep for any stack, under an absent key where no registry call is made.
    EXPECT_EQ(kDispEException, m_bed.Unregister(nested(200000)));
}

TEST_F(Interpreter, RemovalKeywordThenNoRemoveRemovesTheNamedKey)
{
    m_bed.registry.CreateKeyAt(u"HKCU\\K\\Old");
    m_bed.registry.CreateKeyAt(u"HKCU\\NoRemove");
    ASSERT_EQ(kSOk, m_bed.Register(u"HKCU { ForceRemove NoRemove K { New } }"));
    EXPECT_EQ("HKCU\nHKCU\\K\nHKCU\\K\\New\nHKCU\\NoRemove\n", m_bed.registry.Dump());
    ASSERT_EQ(kSOk, m_bed.Unregister(u"HKCU { ForceRemove NoRemove K { New } }"));
    EXPECT_EQ("HKCU\nHKCU\\K\nHKCU\\NoRemove\n", m_bed.registry.Dump());
}

TEST_F(Interpreter, StatementsWithoutMeaningAreRefused)
{
    const char16_t* scripts[] = {
        u"HKCU { ForceRemove Val v = s x }",
        u"HKCU { Delete NoRemove Val v = s x }",
        u"HKCU { val v = s x { Block } }",
        u"HKCU { Delete K = s x { Block } }",
        u"HKCU { { } }",
    };
    for (const char16_t* script : scripts) {
        ScriptBed local;
        local.registry.CreateKeyAt(u"HKCU\\Val");
        local.registry.CreateKeyAt(u"HKCU\\K\\Child");
        EXPECT_EQ(kDispEException, local.Register(script)) << EscapeText(script);
        EXPECT_TRUE(local.registry.KeyExists(u"HKCU\\Val")) << EscapeText(script);
        // Refused before anything is done: the Delete statement's key keeps its tree.
        EXPECT_TRUE(local.registry.KeyExists(u"HKCU\\K\\Child")) << EscapeText(script);
        EXPECT_FALSE(local.registry.KeyExists(u"HKCU\\{")) << EscapeText(script);
        EXPECT_EQ(0u, local.registry.OpenHandleCount());
    }
    // Unregistration reads "Delete K { ... }" as a key statement with a block.
    EXPECT_EQ(kSOk, m_bed.Unregister(u"HKCU { Delete K = s x { Block } }"));
    EXPECT_EQ(kDispEException, m_bed.Unregister(u"HKCU { ForceRemove Val v = s x }"));
}

}  // namespace
}  // namespace orrelin::regscript::test
