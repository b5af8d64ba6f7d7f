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
        EXPECT_EQ(bed.registry.OpenHandleCount(), 0u);
    }

    // The log lines of the given calls, in order.
    std::vector<std::string> Calls(std::initializer_list<const char*> prefixes) const
    {
        std::vector<std::string> lines;
        for (const std::string& line : bed.registry.CallLog()) {
            for (const char* prefix : prefixes) {
                if (line.rfind(prefix, 0) == 0) lines.push_back(line);
            }
        }
        return lines;
    }

    ScriptBed bed;
};

// ---------------------------------------------------------------------------------------
// Registration

TEST_F(Interpreter, RegistrationOpensThenCreatesWithTheListedRights)
{
    bed.registry.CreateKeyAt(u"HKCU\\Software");
    ASSERT_EQ(bed.Register(u"HKCU { Software { New } }"), kSOk);
    EXPECT_EQ(Calls({"OpenKey", "CreateKey"}), (std::vector<std::string>{
                                                   "OpenKey HKCU\\Software 0x2001F -> 0",
                                                   "OpenKey HKCU\\Software\\New 0x2001F -> 2",
                                                   "OpenKey HKCU\\Software\\New 0x20019 -> 2",
                                                   "CreateKey HKCU\\Software\\New 0x2001F -> 0",
                                               }));
}

TEST_F(Interpreter, KeyOpenedOnlyForReadingFailsItsValueWrite)
{
    bed.registry.SetStringAt(u"HKCU\\Locked", nullptr, u"old");
    bed.registry.FailCall(Call::OpenKey, u"HKCU\\Locked", kErrorAccessDenied, -1, kKeyWrite);
    EXPECT_EQ(HexResult(bed.Register(u"HKCU { Locked = s new }")), "0x80070005");
    EXPECT_EQ(Calls({"OpenKey", "SetValue"}), (std::vector<std::string>{
                                                  "OpenKey HKCU\\Locked 0x2001F -> 5",
                                                  "OpenKey HKCU\\Locked 0x20019 -> 0",
                                                  "SetValue HKCU\\Locked [] 0x1 8 -> 5",
                                                  // the roll-back of the root block
                                                  "OpenKey HKCU\\Locked 0x20019 -> 0",
                                              }));
    // The roll-back removes a key that existed before and is empty and unmarked.
    EXPECT_FALSE(bed.registry.KeyExists(u"HKCU\\Locked"));
}

TEST_F(Interpreter, FailedCreateStopsWithItsCode)
{
    bed.registry.FailCall(Call::CreateKey, u"HKCU\\New", kErrorAccessDenied);
    EXPECT_EQ(HexResult(bed.Register(u"HKCU { Before New After }")), "0x80070005");
    EXPECT_FALSE(bed.registry.KeyExists(u"HKCU\\After"));
    EXPECT_FALSE(bed.registry.KeyExists(u"HKCU\\Before")) << "rolled back with its root block";
}

TEST_F(Interpreter, ForceRemoveReplacesTheWholeTree)
{
    bed.registry.SetStringAt(u"HKCU\\App", u"stale", u"x");
    bed.registry.SetStringAt(u"HKCU\\App\\Old\\Deep", nullptr, u"x");
    bed.registry.CreateKeyAt(u"HKCU\\App\\Old\\Other");
    ASSERT_EQ(bed.Register(u"HKCU { ForceRemove App = s v { Fresh } }"), kSOk);
    EXPECT_EQ(bed.registry.Dump(u"HKCU\\App"),
              "HKCU\\App\n"
              "  @ = REG_SZ \"v\\0\"\n"
              "HKCU\\App\\Fresh\n");
}

TEST_F(Interpreter, DeleteRemovesTheKeyAndPassesOverItsAssignment)
{
    bed.registry.CreateKeyAt(u"HKCU\\Gone\\Sub\\Deeper");
    ASSERT_EQ(bed.Register(u"HKCU { Delete Gone = s 'ignored' Next }"), kSOk);
    EXPECT_EQ(bed.registry.Dump(), "HKCU\nHKCU\\Next\n");
}

TEST_F(Interpreter, RemovingAnAbsentOrStubbornKeyDoesNotStopRegistration)
{
    bed.registry.CreateKeyAt(u"HKCU\\Stubborn\\Child");
    bed.registry.FailCall(Call::DeleteKey, u"HKCU\\Stubborn\\Child", kErrorAccessDenied);
    ASSERT_EQ(bed.Register(u"HKCU { Delete Absent ForceRemove Absent2 ForceRemove Stubborn { Added } }"), kSOk);
    EXPECT_EQ(bed.registry.Dump(),
              "HKCU\n"
              "HKCU\\Absent2\n"
              "HKCU\\Stubborn\n"
              "HKCU\\Stubborn\\Added\n"
              "HKCU\\Stubborn\\Child\n");
}

TEST_F(Interpreter, ProtectedNamesAreNeverRemovedAtAnyDepth)
{
    struct Level {
        const char16_t* prefix;
        const char16_t* open;
        const char16_t* close;
    };
    const Level levels[] = {{u"HKLM\\", u"", u""}, {u"HKLM\\Deep\\", u"Deep { ", u" }"}};
    const char16_t* names[] = {u"AppID", u"CLSID", u"Component Categories", u"FileType", u"Interface", u"Hardware",
                               u"Mime", u"SAM", u"SECURITY", u"SYSTEM", u"Software", u"TypeLib", u"clsid"};
    for (const char16_t* name : names) {
        for (const Level& level : levels) {
            ScriptBed local;
            const std::u16string key = level.prefix + std::u16string(name);
            local.registry.SetStringAt(key + u"\\Child", nullptr, u"kept");
            const std::u16string script = u"HKLM { " + std::u16string(level.open) + u"ForceRemove '" + name +
                                          u"' { Added } Delete '" + name + u"' = s x" + level.close + u" }";
            ASSERT_EQ(local.Register(script), kSOk) << EscapeText(script);
            EXPECT_TRUE(local.registry.KeyExists(key + u"\\Child")) << EscapeText(script);
            // With ForceRemove the key is still opened and its block applied.
            EXPECT_TRUE(local.registry.KeyExists(key + u"\\Added")) << EscapeText(script);
            EXPECT_EQ(local.registry.OpenHandleCount(), 0u);
        }
    }
}

TEST_F(Interpreter, ValueStatementInARootBlockWritesTheRoot)
{
    ASSERT_EQ(bed.Register(u"HKCU { val Setting = d 7 }"), kSOk);
    EXPECT_EQ(bed.registry.Dump(), "HKCU\n  Setting = REG_DWORD 0x00000007\n");
}

TEST_F(Interpreter, FailureInTheSecondRootBlockUndoesOnlyThatBlock)
{
    bed.registry.SetStringAt(u"HKLM\\Existing", u"own", u"kept");
    bed.registry.FailCall(Call::SetValue, u"HKLM\\Existing\\Second\\Inner", kErrorAccessDenied);
    const char16_t* script =
        u"HKCU { First = s one { Child } }\n"
        u"HKLM { NoRemove Existing = s 'written' { Second = s two { Inner { val Bad = s x } } Never } }\n"
        u"HKCR { Third }\n";
    EXPECT_EQ(HexResult(bed.Register(script)), "0x80070005");
    EXPECT_EQ(bed.registry.Dump(),
              "HKCU\n"
              "HKCU\\First\n"
              "  @ = REG_SZ \"one\\0\"\n"
              "HKCU\\First\\Child\n"
              "HKLM\n"
              // A value written into a kept key stays.
              "HKLM\\Existing\n"
              "  @ = REG_SZ \"written\\0\"\n"
              "  own = REG_SZ \"kept\\0\"\n");
}

TEST_F(Interpreter, RollBackReadsTheWholeBlockEvenWhereRegistrationStopped)
{
    // Registration stops at Middle; the roll-back walks the whole block and also removes
    // Later, which existed before and is empty and unmarked.
    bed.registry.CreateKeyAt(u"HKCU\\Later");
    bed.registry.FailCall(Call::CreateKey, u"HKCU\\Middle", kErrorAccessDenied);
    EXPECT_EQ(HexResult(bed.Register(u"HKCU { Early Middle Later }")), "0x80070005");
    EXPECT_EQ(bed.registry.Dump(), "");
}

// ---------------------------------------------------------------------------------------
// Unregistration

TEST_F(Interpreter, UnregistrationRemovesBottomUp)
{
    ASSERT_EQ(bed.Register(u"HKCU { A = s a { B { C = s c } } }"), kSOk);
    bed.registry.ClearCallLog();
    ASSERT_EQ(bed.Unregister(u"HKCU { A = s a { B { C = s c } } }"), kSOk);
    EXPECT_EQ(Calls({"DeleteKey"}), (std::vector<std::string>{
                                        "DeleteKey HKCU\\A\\B\\C -> 0",
                                        "DeleteKey HKCU\\A\\B -> 0",
                                        "DeleteKey HKCU\\A -> 0",
                                    }));
    EXPECT_EQ(bed.registry.Dump(), "");
    EXPECT_EQ(Calls({"OpenKey"}).front(), "OpenKey HKCU\\A 0x20019 -> 0");
}

TEST_F(Interpreter, NoRemoveKeepsTheKeyButVisitsItsChildren)
{
    ASSERT_EQ(bed.Register(u"HKCU { NoRemove A = s a { B NoRemove Empty } }"), kSOk);
    ASSERT_EQ(bed.Unregister(u"HKCU { NoRemove A = s a { B NoRemove Empty } }"), kSOk);
    EXPECT_EQ(bed.registry.Dump(),
              "HKCU\n"
              "HKCU\\A\n"
              "  @ = REG_SZ \"a\\0\"\n"
              "HKCU\\A\\Empty\n");
}

TEST_F(Interpreter, ValDeletesNamedValuesUnlessMarked)
{
    bed.registry.SetStringAt(u"HKCU\\K", nullptr, u"default");
    bed.registry.SetStringAt(u"HKCU\\K", u"V1", u"1");
    bed.registry.SetStringAt(u"HKCU\\K", u"V2", u"2");
    ASSERT_EQ(bed.Unregister(u"HKCU { NoRemove K = s d { val V1 = s x NoRemove val V2 = s y val Absent = s z } }"),
              kSOk);
    EXPECT_EQ(bed.registry.Dump(),
              "HKCU\n"
              "HKCU\\K\n"
              "  @ = REG_SZ \"default\\0\"\n"
              "  V2 = REG_SZ \"2\\0\"\n");
    // The value is deleted through the block's key opened again for writing.
    EXPECT_EQ(Calls({"OpenKey HKCU\\K 0x20006"}).size(), 2u);
}

TEST_F(Interpreter, NothingRegisteredMeansNothingChanges)
{
    bed.registry.SetStringAt(u"HKCU\\Unrelated", u"v", u"x");
    const std::string before = bed.registry.Dump();
    ASSERT_EQ(bed.Unregister(u"HKCU { A = s a { B { val v = s x } } NoRemove C { D } }"), kSOk);
    EXPECT_EQ(bed.registry.Dump(), before);
    EXPECT_TRUE(Calls({"DeleteKey", "DeleteValue", "SetValue", "CreateKey"}).empty());
}

TEST_F(Interpreter, AbsentKeyBlockIsReadThroughWithoutCalls)
{
    ASSERT_EQ(bed.Unregister(u"HKCU { Absent { Sub { val V = s x } Other = s y } After }"), kSOk);
    EXPECT_EQ(bed.registry.CallLog(), (std::vector<std::string>{
                                          "OpenKey HKCU\\Absent 0x20019 -> 2",
                                          "OpenKey HKCU\\After 0x20019 -> 2",
                                      }));
}

TEST_F(Interpreter, ForeignSubkeysKeepTheirKeyAndItsOwners)
{
    const char16_t* script = u"HKCU { A = s a { B = s b { val V = s v C } } }";
    ASSERT_EQ(bed.Register(script), kSOk);
    bed.registry.SetStringAt(u"HKCU\\A\\B\\Foreign", nullptr, u"someone else's");
    ASSERT_EQ(bed.Unregister(script), kSOk);
    EXPECT_EQ(bed.registry.Dump(),
              "HKCU\n"
              "HKCU\\A\n"
              "  @ = REG_SZ \"a\\0\"\n"
              "HKCU\\A\\B\n"
              "  @ = REG_SZ \"b\\0\"\n"
              "HKCU\\A\\B\\Foreign\n"
              "  @ = REG_SZ \"someone else's\\0\"\n");
}

TEST_F(Interpreter, KeyThatCannotBeOpenedStopsAfterItsBlockIsReadThrough)
{
    bed.registry.CreateKeyAt(u"HKCU\\Locked\\Inner");
    bed.registry.CreateKeyAt(u"HKCU\\Later");
    bed.registry.FailCall(Call::OpenKey, u"HKCU\\Locked", kErrorAccessDenied);
    EXPECT_EQ(HexResult(bed.Unregister(u"HKCU { Early Locked { Inner } Later }")), "0x80070005");
    EXPECT_EQ(bed.registry.Dump(), "HKCU\nHKCU\\Later\nHKCU\\Locked\nHKCU\\Locked\\Inner\n");
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
        if (c.code != 0) local.registry.FailCall(c.call, u"HKCU\\K", c.code, -1, c.call == Call::OpenKey ? kKeyWrite : 0);
        EXPECT_EQ(HexResult(local.Unregister(u"HKCU { NoRemove K { val V = s x } }")), c.result) << c.label;
        std::uint32_t type;
        std::vector<std::uint8_t> data;
        EXPECT_EQ(local.registry.GetValueAt(u"HKCU\\K", u"V", &type, &data), c.valueLeft) << c.label;
        EXPECT_EQ(local.registry.OpenHandleCount(), 0u) << c.label;
    }
}

TEST_F(Interpreter, FailedKeyDeleteOrCloseStops)
{
    bed.registry.CreateKeyAt(u"HKCU\\A\\B");
    bed.registry.CreateKeyAt(u"HKCU\\Z");
    bed.registry.FailCall(Call::DeleteKey, u"HKCU\\A\\B", kErrorAccessDenied);
    EXPECT_EQ(HexResult(bed.Unregister(u"HKCU { A { B } Z }")), "0x80070005");
    EXPECT_TRUE(bed.registry.KeyExists(u"HKCU\\A\\B"));
    EXPECT_TRUE(bed.registry.KeyExists(u"HKCU\\Z"));

    ScriptBed local;
    local.registry.CreateKeyAt(u"HKCU\\A");
    local.registry.FailCall(Call::CloseKey, u"HKCU\\A", kErrorInvalidHandle);
    EXPECT_EQ(HexResult(local.Unregister(u"HKCU { A }")), "0x80070006");
    EXPECT_TRUE(local.registry.KeyExists(u"HKCU\\A"));
    EXPECT_EQ(local.registry.OpenHandleCount(), 0u);
}

TEST_F(Interpreter, RemovalKeywordsReadAsPlainStatementsWhenUnregistering)
{
    bed.registry.CreateKeyAt(u"HKCU\\A");
    bed.registry.CreateKeyAt(u"HKCU\\B");
    bed.registry.CreateKeyAt(u"HKCU\\Software");  // protected names play no part here
    ASSERT_EQ(bed.Unregister(u"HKCU { ForceRemove A Delete B = s x ForceRemove Software }"), kSOk);
    EXPECT_EQ(bed.registry.Dump(), "");
}

// ---------------------------------------------------------------------------------------
// Key trees

TEST_F(Interpreter, DeleteKeyTreeRemovesEverythingBelow)
{
    for (const char16_t* path : {u"HKCU\\T\\a\\x", u"HKCU\\T\\a\\y\\z", u"HKCU\\T\\b", u"HKCU\\T\\c\\d\\e\\f"}) {
        bed.registry.CreateKeyAt(path);
    }
    bed.registry.SetStringAt(u"HKCU\\T\\b", u"v", u"x");
    bed.registry.CreateKeyAt(u"HKCU\\Sibling");
    CRegScriptInterpreter interpreter(bed.registrar);
    EXPECT_EQ(interpreter.DeleteKeyTree(kHkeyCurrentUser, u"T"), kErrorSuccess);
    EXPECT_EQ(bed.registry.Dump(), "HKCU\nHKCU\\Sibling\n");
    EXPECT_EQ(interpreter.DeleteKeyTree(kHkeyCurrentUser, u"T"), kErrorFileNotFound);
}

TEST_F(Interpreter, DeleteKeyTreeStopsAtAFailingSubkey)
{
    bed.registry.CreateKeyAt(u"HKCU\\T\\a");
    bed.registry.CreateKeyAt(u"HKCU\\T\\b\\c");
    bed.registry.FailCall(Call::DeleteKey, u"HKCU\\T\\b\\c", kErrorAccessDenied);
    CRegScriptInterpreter interpreter(bed.registrar);
    EXPECT_EQ(interpreter.DeleteKeyTree(kHkeyCurrentUser, u"T"), kErrorAccessDenied);
    EXPECT_EQ(bed.registry.Dump(), "HKCU\nHKCU\\T\nHKCU\\T\\b\nHKCU\\T\\b\\c\n");
    EXPECT_EQ(Calls({"OpenKey HKCU\\T "}), (std::vector<std::string>{"OpenKey HKCU\\T 0x2001F -> 0"}));
}

TEST_F(Interpreter, KeyHasSubkeysOnlyWhenTheQuerySaysSo)
{
    bed.registry.CreateKeyAt(u"HKCU\\Parent\\Child");
    bed.registry.CreateKeyAt(u"HKCU\\Leaf");
    CRegScriptInterpreter interpreter(bed.registrar);
    KeyHandle parent = kNoKey, leaf = kNoKey;
    ASSERT_EQ(bed.registry.OpenKey(kHkeyCurrentUser, u"Parent", kKeyRead, &parent), 0);
    ASSERT_EQ(bed.registry.OpenKey(kHkeyCurrentUser, u"Leaf", kKeyRead, &leaf), 0);
    EXPECT_TRUE(interpreter.KeyHasSubkeys(parent));
    EXPECT_FALSE(interpreter.KeyHasSubkeys(leaf));
    bed.registry.FailCall(Call::QuerySubkeyCount, u"HKCU\\Parent", kErrorAccessDenied);
    EXPECT_FALSE(interpreter.KeyHasSubkeys(parent));
    bed.registry.CloseKey(parent);
    bed.registry.CloseKey(leaf);
}

// ---------------------------------------------------------------------------------------
// Where the sound behaviour replaces a fault of the written rules

TEST_F(Interpreter, KeyToRemoveIsRemovedByItsWholeName)
{
    // Wine accepts key names beyond the platform's 255 characters; a name cut to 259
    // characters would name the sibling, which would then be deleted instead.
    bed.registry.SetMaxKeyNameLength(1000);
    const std::u16string longName(300, u'k');
    const std::u16string prefixName(259, u'k');
    bed.registry.CreateKeyAt(u"HKCU\\" + prefixName);
    ASSERT_EQ(bed.Register(u"HKCU { " + longName + u" }"), kSOk);
    ASSERT_EQ(bed.Unregister(u"HKCU { " + longName + u" }"), kSOk);
    EXPECT_FALSE(bed.registry.KeyExists(u"HKCU\\" + longName));
    EXPECT_TRUE(bed.registry.KeyExists(u"HKCU\\" + prefixName));
}

TEST_F(Interpreter, KeyNamesBeyondThePlatformLimitFailAsThePlatformDoes)
{
    const std::u16string name256(256, u'k');
    EXPECT_EQ(HexResult(bed.Register(u"HKCU { " + name256 + u" }")), "0x80070057");
    EXPECT_EQ(HexResult(bed.Unregister(u"HKCU { " + name256 + u" }")), "0x80070057");
    EXPECT_EQ(bed.Register(u"HKCU { " + std::u16string(255, u'k') + u" }"), kSOk);
}

TEST_F(Interpreter, DValueThatDoesNotConvertWritesNothing)
{
    bed.registry.CreateKeyAt(u"HKCU\\Kept");
    EXPECT_EQ(bed.Register(u"HKCU { NoRemove Kept { val Count = d 'twelve' } }"), kDispETypeMismatch);
    std::uint32_t type;
    std::vector<std::uint8_t> data;
    EXPECT_FALSE(bed.registry.GetValueAt(u"HKCU\\Kept", u"Count", &type, &data));
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
            EXPECT_EQ(local.Run(script, direction), kDispEException) << EscapeText(script);
            EXPECT_EQ(local.registry.Dump(), before) << EscapeText(script);
        }
    }
}

TEST_F(Interpreter, ScriptFaultInsideAnAbsentKeyStopsUnregistration)
{
    // Read on past the fault, "Shared" would be taken for a key of the root block and deleted.
    bed.registry.CreateKeyAt(u"HKCR\\Shared");
    EXPECT_EQ(bed.Unregister(u"HKCR { Absent { Bad\\Name Shared } }"), kDispEException);
    EXPECT_TRUE(bed.registry.KeyExists(u"HKCR\\Shared"));
    EXPECT_EQ(bed.Unregister(u"HKCR { Absent { 'unclosed } }"), kDispEException);
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
    EXPECT_EQ(bed.Register(nested(kMaxBlockDepth - 1)), kSOk);
    EXPECT_EQ(bed.Unregister(nested(kMaxBlockDepth - 1)), kSOk);
    EXPECT_EQ(bed.registry.Dump(), "");
    // One level more is a fault of the script, met before any registry call of its block.
    EXPECT_EQ(bed.Unregister(nested(kMaxBlockDepth)), kDispEException);
    ScriptBed deep;
    EXPECT_EQ(deep.Register(nested(kMaxBlockDepth)), kDispEException);
    EXPECT_EQ(deep.registry.OpenHandleCount(), 0u);
    // Far too deep for any stack, under an absent key where no registry call is made.
    EXPECT_EQ(bed.Unregister(nested(200000)), kDispEException);
}

TEST_F(Interpreter, RemovalKeywordThenNoRemoveRemovesTheNamedKey)
{
    bed.registry.CreateKeyAt(u"HKCU\\K\\Old");
    bed.registry.CreateKeyAt(u"HKCU\\NoRemove");
    ASSERT_EQ(bed.Register(u"HKCU { ForceRemove NoRemove K { New } }"), kSOk);
    EXPECT_EQ(bed.registry.Dump(), "HKCU\nHKCU\\K\nHKCU\\K\\New\nHKCU\\NoRemove\n");
    ASSERT_EQ(bed.Unregister(u"HKCU { ForceRemove NoRemove K { New } }"), kSOk);
    EXPECT_EQ(bed.registry.Dump(), "HKCU\nHKCU\\K\nHKCU\\NoRemove\n");
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
        EXPECT_EQ(local.Register(script), kDispEException) << EscapeText(script);
        EXPECT_TRUE(local.registry.KeyExists(u"HKCU\\Val")) << EscapeText(script);
        // Refused before anything is done: the Delete statement's key keeps its tree.
        EXPECT_TRUE(local.registry.KeyExists(u"HKCU\\K\\Child")) << EscapeText(script);
        EXPECT_FALSE(local.registry.KeyExists(u"HKCU\\{")) << EscapeText(script);
        EXPECT_EQ(local.registry.OpenHandleCount(), 0u);
    }
    // Unregistration reads "Delete K { ... }" as a key statement with a block.
    EXPECT_EQ(bed.Unregister(u"HKCU { Delete K = s x { Block } }"), kSOk);
    EXPECT_EQ(bed.Unregister(u"HKCU { ForceRemove Val v = s x }"), kDispEException);
}

}  // namespace
}  // namespace orrelin::regscript::test
