// The registry script language: variable expansion, tokens, root and protected names, the
// conversion of value data, and the result code of every fault of the grammar.
#include "registry_dump.h"
#include "script_test_support.h"

#include <gtest/gtest.h>

#include <optional>

namespace orrelin::regscript::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::u16string Repeat(char16_t c, std::size_t count)
{
    return std::u16string(count, c);
}

// ---------------------------------------------------------------------------------------
// Variable expansion

const std::u16string kName31 = u"N" + Repeat(u'x', 30);
const std::u16string kName32 = u"N" + Repeat(u'x', 31);

class VariableExpansion : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_bed.registrar.AddVariable(u"Module", u"C:\\O''Brien\\x.dll");
        m_bed.registrar.AddVariable(u"module", u"second");  // a later pair of the same name
        m_bed.registrar.AddVariable(u"Percent", u"%Module%");
        m_bed.registrar.AddVariable(u"Empty", u"");
        m_bed.registrar.AddVariable(kName31.c_str(), u"thirty-one");
        m_bed.registrar.AddVariable(kName32.c_str(), u"thirty-two");
    }

    HResult Expand(const std::u16string& script, std::u16string* out)
    {
        CRegScriptInterpreter interpreter(m_bed.registrar);
        return interpreter.ExpandVariables(script.c_str(), out);
    }

    ScriptBed m_bed;
};

struct ExpansionCase {
    const char* label;
    std::u16string script;
    HResult result;
    std::u16string expanded;
};

TEST_F(VariableExpansion, FollowsTheRules)
{
    const ExpansionCase cases[] = {
        {"empty text", u"", kSOk, u""},
        {"no references", u"plain text", kSOk, u"plain text"},
        {"two percent signs", u"%%", kSOk, u"%"},
        {"percent inside text", u"100%% sure", kSOk, u"100% sure"},
        {"four percent signs", u"%%%%", kSOk, u"%%"},
        {"escaped name is no reference", u"%%Module%%", kSOk, u"%Module%"},
        {"reference", u"[%Module%]", kSOk, u"[C:\\O''Brien\\x.dll]"},
        {"lower-case name", u"%module%", kSOk, u"C:\\O''Brien\\x.dll"},
        {"upper-case name, earliest pair wins", u"%MODULE%", kSOk, u"C:\\O''Brien\\x.dll"},
        {"value not rescanned", u"%Percent%", kSOk, u"%Module%"},
        {"inside quotes", u"'%Module%'", kSOk, u"'C:\\O''Brien\\x.dll'"},
        {"empty value", u"a%Empty%b", kSOk, u"ab"},
        {"escape then reference", u"%%%Module%", kSOk, u"%C:\\O''Brien\\x.dll"},
        {"31-character name", u"%" + kName31 + u"%", kSOk, u"thirty-one"},
        {"32-character name", u"%" + kName32 + u"%", kEFail, u""},
        {"unknown name", u"%Unknown%", kDispEException, u""},
        {"blank name", u"% %", kDispEException, u""},
        {"no closing sign", u"%Module", kDispEException, u""},
        {"lone sign at the end", u"abc%", kDispEException, u""},
        {"unclosed after a good one", u"%Module% %", kDispEException, u""},
    };
    for (const ExpansionCase& c : cases) {
        std::u16string out = u"untouched";
        EXPECT_EQ(HexResult(c.result), HexResult(Expand(c.script, &out))) << c.label;
        if (c.result == kSOk) {
            EXPECT_EQ(c.expanded, out) << c.label;
        }
    }
}

TEST_F(VariableExpansion, GrowsWithoutLimit)
{
    const std::u16string big = Repeat(u'v', 10000);
    m_bed.registrar.AddVariable(u"Big", big.c_str());
    std::u16string script;
    for (int i = 0; i < 50; ++i) script += u"%Big%|";
    std::u16string out;
    ASSERT_EQ(kSOk, Expand(script, &out));
    ASSERT_EQ(50u * 10001u, out.size());
    EXPECT_EQ(big + u"|", out.substr(0, 10001));
    EXPECT_EQ(big + u"|", out.substr(out.size() - 10001));
}

TEST_F(VariableExpansion, MissingTextOrResultIsAPointerFault)
{
    CRegScriptInterpreter interpreter(m_bed.registrar);
    std::u16string out;
    EXPECT_EQ(kEPointer, interpreter.ExpandVariables(nullptr, &out));
    EXPECT_EQ(kEPointer, interpreter.ExpandVariables(u"text", nullptr));
    EXPECT_EQ(kSOk, m_bed.Run(u"", Direction::Register));
    EXPECT_EQ(kEPointer, CRegScriptInterpreter(m_bed.registrar).ApplyScript(nullptr, Direction::Register));
}

TEST_F(VariableExpansion, ReferenceFaultsStopTheScriptBeforeAnyWrite)
{
    EXPECT_EQ(kDispEException, m_bed.Register(u"HKCU { Written } HKCU { %Unknown% }"));
    EXPECT_EQ(kEFail, m_bed.Register(u"HKCU { Written } HKCU { %" + kName32 + u"% }"));
    EXPECT_EQ("", m_bed.registry.Dump());
}

// ---------------------------------------------------------------------------------------
// Tokens

struct TokenCase {
    const char* label;
    std::u16string text;
    std::vector<std::u16string> tokens;
    HResult last;  // the read after the last token
};

TEST(Tokens, SplitAsTheLanguageSays)
{
    const std::u16string vtFfNbsp = u"x\vy\fz\u00A0w";
    const TokenCase cases[] = {
        {"empty text", u"", {}, kDispEException},
        {"white space only", u" \t\r\n ", {}, kDispEException},
        {"the four white-space characters", u"a b\tc\rd\ne", {u"a", u"b", u"c", u"d", u"e"}, kDispEException},
        {"other blanks are ordinary", vtFfNbsp, {vtFfNbsp}, kDispEException},
        {"braces and equals inside bare tokens", u"a=b {x} key{", {u"a=b", u"{x}", u"key{"}, kDispEException},
        {"doubled apostrophe", u"'it''s'", {u"it's"}, kDispEException},
        {"empty quoted token", u"''", {u""}, kDispEException},
        {"a lone apostrophe", u"''''", {u"'"}, kDispEException},
        {"quoted then bare without a gap", u"'abc'def", {u"abc", u"def"}, kDispEException},
        {"doubled apostrophe then next token", u"'a''b'c", {u"a'b", u"c"}, kDispEException},
        {"quoted blanks and punctuation", u"'a b\t{}=\\'", {u"a b\t{}=\\"}, kDispEException},
        {"apostrophes inside a bare token", u"a'b'", {u"a'b'"}, kDispEException},
        {"unclosed quote", u"x 'unclosed", {u"x"}, kDispEException},
        {"doubled apostrophe does not close", u"'ends''", {}, kDispEException},
    };
    for (const TokenCase& c : cases) {
        const TokenRun run = ReadAllTokens(c.text);
        EXPECT_EQ(c.tokens, run.tokens) << c.label;
        EXPECT_EQ(HexResult(c.last), HexResult(run.last)) << c.label;
    }
}

TEST(Tokens, HoldAtMost4094Characters)
{
    ScriptBed bed;
    const std::u16string longest = Repeat(u'a', 4094);
    const std::u16string tooLong = Repeat(u'a', 4095);
    const std::u16string quotes4094 = u"'" + Repeat(u'\'', 2 * 4094) + u"'";
    const std::u16string quotes4095 = u"'" + Repeat(u'\'', 2 * 4095) + u"'";
    const TokenCase cases[] = {
        {"bare 4094", longest + u" next", {longest, u"next"}, kDispEException},
        {"bare 4095", tooLong + u" next", {}, kDispEException},
        {"quoted 4094", u"'" + longest + u"' next", {longest, u"next"}, kDispEException},
        {"quoted 4095", u"'" + tooLong + u"' next", {}, kDispEException},
        {"4094 doubled apostrophes", quotes4094, {Repeat(u'\'', 4094)}, kDispEException},
        {"4095 doubled apostrophes", quotes4095, {}, kDispEException},
    };
    for (const TokenCase& c : cases) {
        const TokenRun run = ReadAllTokens(c.text);
        EXPECT_EQ(c.tokens, run.tokens) << c.label;
        EXPECT_EQ(HexResult(c.last), HexResult(run.last)) << c.label;
    }
    EXPECT_EQ(kDispEException, bed.Register(u"HKCU { " + tooLong + u" }"));
    EXPECT_EQ(kDispEException, bed.Register(u"HKCU { val v = s '" + tooLong + u"' }"));
}

// ---------------------------------------------------------------------------------------
// Root key names and protected names

TEST(RootKeyNames, MapTheFourteenNames)
{
    const std::pair<std::u16string_view, KeyHandle> rows[] = {
        {u"HKCR", kHkeyClassesRoot},
        {u"HKCU", kHkeyCurrentUser},
        {u"HKLM", kHkeyLocalMachine},
        {u"HKU", kHkeyUsers},
        {u"HKPD", kHkeyPerformanceData},
        {u"HKDD", kHkeyDynData},
        {u"HKCC", kHkeyCurrentConfig},
        {u"HKEY_CLASSES_ROOT", kHkeyClassesRoot},
        {u"HKEY_CURRENT_USER", kHkeyCurrentUser},
        {u"HKEY_LOCAL_MACHINE", kHkeyLocalMachine},
        {u"HKEY_USERS", kHkeyUsers},
        {u"HKEY_PERFORMANCE_DATA", kHkeyPerformanceData},
        {u"HKEY_DYN_DATA", kHkeyDynData},
        {u"HKEY_CURRENT_CONFIG", kHkeyCurrentConfig},
        {u"hkcr", kHkeyClassesRoot},
        {u"Hkey_Local_Machine", kHkeyLocalMachine},
        {u"", kNoKey},
        {u"HKCR2", kNoKey},
        {u"HKEY_CLASSES", kNoKey},
        {u"HK", kNoKey},
        {u"{HKCR}", kNoKey},
    };
    for (const auto& [name, key] : rows) EXPECT_EQ(key, RootKeyFromName(name)) << EscapeText(name);
    // The handles are the platform's own (sign-extended where pointers are 64 bits).
    EXPECT_EQ(0x80000000u, static_cast<std::uint32_t>(kHkeyClassesRoot));
    EXPECT_EQ(0x80000006u, static_cast<std::uint32_t>(kHkeyDynData));
    EXPECT_EQ(static_cast<std::intptr_t>(INT32_MIN) + 1, static_cast<std::intptr_t>(kHkeyCurrentUser));
}

TEST(ProtectedKeyNames, AreTheTwelveWholeNames)
{
    for (const char16_t* name : {u"AppID", u"CLSID", u"Component Categories", u"FileType", u"Interface", u"Hardware",
                                 u"Mime", u"SAM", u"SECURITY", u"SYSTEM", u"Software", u"TypeLib", u"appid", u"clsid",
                                 u"COMPONENT CATEGORIES", u"software", u"typelib"})
        EXPECT_TRUE(IsProtectedKeyName(name)) << EscapeText(name);
    for (const char16_t* name : {u"", u"CLSID2", u"CLSI", u" CLSID", u"Software\\Classes", u"Component", u"TypeLibs",
                                 u"InprocServer32", u"Programmable"})
        EXPECT_FALSE(IsProtectedKeyName(name)) << EscapeText(name);
}

// ---------------------------------------------------------------------------------------
// Value data

struct ValueCase {
    const char* label;
    std::u16string assignment;  // what follows "val V = "
    HResult result;
    std::uint32_t type;
    Bytes bytes;
};

Bytes Utf16(std::u16string_view text)
{
    Bytes bytes;
    for (const char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

TEST(ValueData, IsConvertedByType)
{
    using namespace std::string_literals;
    const ValueCase cases[] = {
        {"S text", u"s 'abc'", kSOk, kRegSz, Utf16(u"abc\0"s)},
        {"S upper case", u"S abc", kSOk, kRegSz, Utf16(u"abc\0"s)},
        {"S empty is 2 bytes", u"s ''", kSOk, kRegSz, Bytes{0, 0}},
        {"S with blanks", u"s 'a b'", kSOk, kRegSz, Utf16(u"a b\0"s)},
        {"quoted type letter", u"'s' abc", kSOk, kRegSz, Utf16(u"abc\0"s)},
        {"sz is no type", u"sz abc", kDispEException, 0, {}},
        {"unknown type", u"x abc", kDispEException, 0, {}},
        {"empty type", u"'' abc", kDispEException, 0, {}},
        {"D largest", u"d 4294967295", kSOk, kRegDword, Bytes{0xFF, 0xFF, 0xFF, 0xFF}},
        {"D zero", u"D 0", kSOk, kRegDword, Bytes{0, 0, 0, 0}},
        {"D 42", u"d 42", kSOk, kRegDword, Bytes{42, 0, 0, 0}},
        {"D leading zeros", u"d 0000000000000000000016", kSOk, kRegDword, Bytes{16, 0, 0, 0}},
        {"D too large", u"d 4294967296", kDispEOverflow, 0, {}},
        {"D not a number", u"d abc", kDispETypeMismatch, 0, {}},
        {"D empty", u"d ''", kDispETypeMismatch, 0, {}},
        {"D negative", u"d -1", kDispETypeMismatch, 0, {}},
        {"B two bytes", u"b 0a1B", kSOk, kRegBinary, Bytes{0x0A, 0x1B}},
        {"B upper and lower case", u"B FFff00", kSOk, kRegBinary, Bytes{0xFF, 0xFF, 0x00}},
        {"B non-digits count as 0", u"b 0g", kSOk, kRegBinary, Bytes{0x00}},
        {"B non-digit high half", u"b g7", kSOk, kRegBinary, Bytes{0x07}},
        {"B empty is 0 bytes", u"b ''", kSOk, kRegBinary, Bytes{}},
        {"B odd length", u"b abc", kEFail, 0, {}},
        {"M two strings", u"m 'one\\0two'", kSOk, kRegMultiSz, Utf16(u"one\0two\0\0"s)},
        {"M empty", u"m ''", kSOk, kRegMultiSz, Bytes{0, 0}},
        {"M empty string ends the value", u"m 'a\\0\\0b'", kSOk, kRegMultiSz, Utf16(u"a\0\0"s)},
        {"M separator at the end", u"m one\\0", kSOk, kRegMultiSz, Utf16(u"one\0\0"s)},
        {"M only a separator", u"m '\\0'", kSOk, kRegMultiSz, Bytes{0, 0}},
        {"M escaped backslash", u"m 'a\\\\0'", kSOk, kRegMultiSz, Utf16(u"a\\\\0\0\0"s)},
        {"M other backslash", u"m 'x\\y'", kSOk, kRegMultiSz, Utf16(u"x\\y\0\0"s)},
        {"M trailing backslash", u"m 'end\\'", kSOk, kRegMultiSz, Utf16(u"end\\\0\0"s)},
    };
    for (const ValueCase& c : cases) {
        ScriptBed bed;
        const HResult hr = bed.Register(u"HKCU\n{\n\tval V = " + c.assignment + u"\n}\n");
        EXPECT_EQ(HexResult(c.result), HexResult(hr)) << c.label;
        std::uint32_t type = 0;
        Bytes bytes;
        const bool written = bed.registry.GetValueAt(u"HKCU", u"V", &type, &bytes);
        EXPECT_EQ(c.result == kSOk, written) << c.label;
        if (!written) continue;
        EXPECT_EQ(c.type, type) << c.label;
        EXPECT_EQ(c.bytes, bytes) << c.label;
    }
}

TEST(ValueData, ConvertersAnswerByteCounts)
{
    std::vector<char16_t> strings;
    std::uint32_t size = 0;
    ASSERT_EQ(kSOk, MultiStringFromText(u"one\\0two", &strings, &size));
    EXPECT_EQ(18u, size);
    ASSERT_EQ(kSOk, MultiStringFromText(u"", &strings, &size));
    EXPECT_EQ(2u, size);
    Bytes bytes;
    EXPECT_EQ(kSOk, BinaryFromText(u"0a1B", &bytes));
    EXPECT_EQ((Bytes{0x0A, 0x1B}), bytes);
    EXPECT_EQ(kEFail, BinaryFromText(u"abc", &bytes));
    std::uint32_t number = 7;
    EXPECT_EQ(kSOk, DecimalNumberFromText(u"4294967295", &number));
    EXPECT_EQ(0xFFFFFFFFu, number);
    EXPECT_EQ(kDispEOverflow, DecimalNumberFromText(u"99999999999999999999999", &number));
    EXPECT_EQ(kDispETypeMismatch, DecimalNumberFromText(u"12a", &number));
}

TEST(ValueData, DefaultValueAndValueNames)
{
    ScriptBed bed;
    const std::u16string name259 = Repeat(u'n', 259);
    const std::u16string name260 = Repeat(u'n', 260);
    ASSERT_EQ(kSOk, bed.Register(u"HKCU { K = s def { val '" + name259 + u"' = s long val '' = s empty } }"));
    std::uint32_t type = 0;
    Bytes bytes;
    // A value statement named '' writes the default value, after the assignment did.
    ASSERT_TRUE(bed.registry.GetValueAt(u"HKCU\\K", nullptr, &type, &bytes));
    EXPECT_EQ(Utf16(std::u16string(u"empty") + u'\0'), bytes);
    EXPECT_TRUE(bed.registry.GetValueAt(u"HKCU\\K", name259.c_str(), &type, &bytes));

    EXPECT_EQ(kDispEException, bed.Register(u"HKCU { val '" + name260 + u"' = s x }"));
    EXPECT_EQ(kDispEException, bed.Unregister(u"HKCU { val '" + name260 + u"' = s x }"));
}

// ---------------------------------------------------------------------------------------
// The grammar: every fault with its result, in the direction(s) it applies to.

struct GrammarCase {
    const char* label;
    std::u16string script;
    HResult registration;
    HResult unregistration;
};

TEST(Grammar, ResultOfEveryShapeOfScript)
{
    const GrammarCase cases[] = {
        {"empty text", u"", kSOk, kSOk},
        {"white space only", u" \r\n\t ", kDispEException, kDispEException},
        {"empty root block", u"HKCR { }", kSOk, kSOk},
        {"closing brace ends the text", u"HKCR\n{\n}", kSOk, kSOk},
        {"blank lines after the last block", u"HKCR\n{\n}\n\n\n", kSOk, kSOk},
        {"two root blocks", u"HKCR { } HKCU { }", kSOk, kSOk},
        {"opening token with more characters", u"HKCR {x }", kSOk, kSOk},
        {"closing token with more characters", u"HKCR { }x", kSOk, kSOk},
        {"brace pair as one token opens only", u"HKCR {}", kDispEException, kDispEException},
        {"quoted braces", u"HKCR '{' '}'", kSOk, kSOk},
        {"root name not in the table", u"HKXX { }", kDispEException, kDispEException},
        {"no opening brace", u"HKCR x { }", kDispEException, kDispEException},
        {"text ends after root name", u"HKCR", kDispEException, kDispEException},
        {"text ends inside a block", u"HKCR { a", kDispEException, kDispEException},
        {"text ends inside an assignment", u"HKCR { a = s", kDispEException, kDispEException},
        {"text ends after the data", u"HKCR { a = s x", kDispEException, kDispEException},
        {"unclosed quote", u"HKCR { 'a }", kDispEException, kDispEException},
        {"garbage after the last block", u"HKCR { } garbage", kDispEException, kDispEException},
        {"key name with a backslash", u"HKCR { a\\b }", kDispEException, kDispEException},
        {"nested key name with a backslash", u"HKCR { a { 'b\\c' } }", kDispEException, kDispEException},
        {"removal of a name with a backslash", u"HKCR { ForceRemove a\\b }", kDispEException, kDispEException},
        {"Val without equals", u"HKCR { val v s x }", kDispEException, kDispEException},
        {"Val with a longer equals token", u"HKCR { val v =x s y }", kSOk, kSOk},
        {"assignment token with more characters", u"HKCR { k =x s y }", kSOk, kSOk},
        {"bad type is not examined when passing over", u"HKCR { k = zz data }", kDispEException, kSOk},
        {"value statement in a root block", u"HKCU { val v = s x }", kSOk, kSOk},
    };
    for (const GrammarCase& c : cases) {
        ScriptBed forward;
        EXPECT_EQ(HexResult(c.registration), HexResult(forward.Register(c.script))) << c.label;
        ScriptBed backward;
        EXPECT_EQ(HexResult(c.unregistration), HexResult(backward.Unregister(c.script))) << c.label;
        EXPECT_EQ(0u, forward.registry.OpenHandleCount()) << c.label;
        EXPECT_EQ(0u, backward.registry.OpenHandleCount()) << c.label;
    }
}

TEST(Grammar, QuotingDoesNotChangeMeaning)
{
    ScriptBed bed;
    ASSERT_EQ(kSOk, bed.Register(u"'HKCU' '{' 'NoRemove' Kept '{' 'val' v '=' 's' x '}' 'Plain' '}'"));
    EXPECT_TRUE(bed.registry.KeyExists(u"HKCU\\Kept"));
    EXPECT_TRUE(bed.registry.KeyExists(u"HKCU\\Plain"));
    ASSERT_EQ(kSOk, bed.Unregister(u"HKCU { 'NoRemove' Kept 'Plain' }"));
    EXPECT_TRUE(bed.registry.KeyExists(u"HKCU\\Kept"));  // the quoted keyword spared it
    EXPECT_FALSE(bed.registry.KeyExists(u"HKCU\\Plain"));
    ASSERT_EQ(kSOk, bed.Register(u"HKCU { 'ForceRemove' Kept }"));
    std::uint32_t type;
    Bytes bytes;
    EXPECT_FALSE(bed.registry.GetValueAt(u"HKCU\\Kept", u"v", &type, &bytes)) << "ForceRemove emptied it";
}

TEST(Grammar, KeywordsOutOfOrderAreKeyNames)
{
    ScriptBed bed;
    // After NoRemove only Val keeps its meaning: "NoRemove Val" is a value statement.
    ASSERT_EQ(kSOk, bed.Register(u"HKCU { NoRemove ForceRemove NoRemove NoRemove NoRemove Delete noremove VAL"
                                 u" v = s x }"));
    EXPECT_EQ(
        "HKCU\n"
        "  v = REG_SZ \"x\\0\"\n"
        "HKCU\\Delete\n"
        "HKCU\\ForceRemove\n"
        "HKCU\\NoRemove\n",
        bed.registry.Dump(u"HKCU"));
}

TEST(Grammar, KeywordsIgnoreCase)
{
    ScriptBed bed;
    bed.registry.CreateKeyAt(u"HKCU\\Gone\\Deep");
    ASSERT_EQ(kSOk, bed.Register(u"HKCU { DELETE Gone fOrCeReMoVe Made { VAL v = S x } }"));
    EXPECT_FALSE(bed.registry.KeyExists(u"HKCU\\Gone"));
    ASSERT_EQ(kSOk, bed.Unregister(u"HKCU { NOREMOVE Made { val v = s x } }"));
    EXPECT_EQ("HKCU\\Made\n", bed.registry.Dump(u"HKCU\\Made"));
}

}  // namespace
}  // namespace orrelin::regscript::test
