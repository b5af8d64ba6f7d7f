// The registrar: its variable table, and scripts run from a module file's resources.
#include "registry_dump.h"
#include "script_test_support.h"

#include <gtest/gtest.h>

namespace orrelin::regscript::test {
namespace {

using ResourceCall = MemoryScriptResources::Call;

TEST(Variables, AddFindAndClear)
{
    ScriptBed bed;
    EXPECT_EQ(kSOk, bed.registrar.AddVariable(u"Module", u"first"));
    EXPECT_EQ(kSOk, bed.registrar.AddVariable(u"MODULE", u"second"));
    EXPECT_EQ(kSOk, bed.registrar.AddVariable(u"Other", u""));
    EXPECT_EQ(3u, bed.registrar.VariableCount());
    ASSERT_NE(nullptr, bed.registrar.FindVariable(u"module"));
    EXPECT_EQ(u"first", *bed.registrar.FindVariable(u"module"));
    ASSERT_NE(nullptr, bed.registrar.FindVariable(u"OTHER"));
    EXPECT_EQ(u"", *bed.registrar.FindVariable(u"OTHER"));
    EXPECT_EQ(nullptr, bed.registrar.FindVariable(u"Modul"));
    EXPECT_EQ(nullptr, bed.registrar.FindVariable(u"Modules"));

    EXPECT_EQ(kSOk, bed.registrar.ClearVariables());
    EXPECT_EQ(0u, bed.registrar.VariableCount());
    EXPECT_EQ(nullptr, bed.registrar.FindVariable(u"Module"));
    EXPECT_EQ(kDispEException, bed.Register(u"HKCU { '%Module%' }"));
}

TEST(Variables, MissingNameOrValueLeavesTheTableAsItWas)
{
    ScriptBed bed;
    bed.registrar.AddVariable(u"Kept", u"value");
    EXPECT_EQ(kEInvalidArg, bed.registrar.AddVariable(nullptr, u"value"));
    EXPECT_EQ(kEInvalidArg, bed.registrar.AddVariable(u"Name", nullptr));
    EXPECT_EQ(kEInvalidArg, bed.registrar.AddVariable(nullptr, nullptr));
    EXPECT_EQ(1u, bed.registrar.VariableCount());
    EXPECT_EQ(nullptr, bed.registrar.FindVariable(u"Name"));
}

TEST(Variables, AreCopiedWhenAdded)
{
    ScriptBed bed;
    char16_t name[] = u"Path";
    char16_t value[] = u"C:\\a.dll";
    bed.registrar.AddVariable(name, value);
    name[0] = u'X';
    value[0] = u'D';
    ASSERT_NE(nullptr, bed.registrar.FindVariable(u"Path"));
    EXPECT_EQ(u"C:\\a.dll", *bed.registrar.FindVariable(u"Path"));
}

TEST(Variables, TheFirstOfTwoNamesFillsTheScript)
{
    ScriptBed bed;
    bed.registrar.AddVariable(u"Module", u"C:\\first.dll");
    bed.registrar.AddVariable(u"module", u"C:\\second.dll");
    ASSERT_EQ(kSOk, bed.Register(u"HKCU { Server = s '%MODULE%' }"));
    EXPECT_EQ("HKCU\\Server\n  @ = REG_SZ \"C:\\\\first.dll\\0\"\n", bed.registry.Dump(u"HKCU\\Server"));
}

// ---------------------------------------------------------------------------------------
// Scripts stored as resources

constexpr char16_t kModule[] = u"C:\\Program Files\\Orrelin\\Orrelin.dll";

class ScriptResource : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_bed.resources.AddResource(kModule, ResourceId::Name(u"REGISTRY"), ResourceId::Number(102),
                                    "HKCU\n{\n\tFromResource = s '%Module%'\n}\n");
        m_bed.resources.AddResource(kModule, ResourceId::Name(u"REGISTRY"), ResourceId::Name(u"NAMED"),
                                    "HKCU { Named }");
        m_bed.resources.AddResource(kModule, ResourceId::Name(u"REGISTRY"), ResourceId::Number(103), "");
        m_bed.resources.AddResource(kModule, ResourceId::Name(u"REGISTRY"), ResourceId::Number(104),
                                    std::string("HKCU { BeforeNul }\0HKCU { AfterNul }", 36));
        m_bed.resources.AddResource(kModule, ResourceId::Name(u"REGISTRY"), ResourceId::Number(105),
                                    "HKCU { Price = s '\x80 5' }");
        m_bed.resources.AddResource(kModule, ResourceId::Name(u"OTHER"), ResourceId::Number(102), "HKCU { Other }");
        m_bed.registrar.AddVariable(u"Module", kModule);
    }

    void TearDown() override
    {
        // The mapped module is released on every path.
        EXPECT_EQ(0u, m_bed.resources.LoadedModuleCount());
        EXPECT_EQ(0u, m_bed.registry.OpenHandleCount());
    }

    ScriptBed m_bed;
};

TEST_F(ScriptResource, RegistersAndUnregistersByNumber)
{
    ASSERT_EQ(kSOk, m_bed.registrar.RegisterScriptResource(kModule, 102, u"REGISTRY"));
    EXPECT_EQ("HKCU\nHKCU\\FromResource\n  @ = REG_SZ \"C:\\\\Program Files\\\\Orrelin\\\\Orrelin.dll\\0\"\n",
              m_bed.registry.Dump());
    ASSERT_EQ(kSOk, m_bed.registrar.UnregisterScriptResource(kModule, 102, u"REGISTRY"));
    EXPECT_EQ("", m_bed.registry.Dump());
}

TEST_F(ScriptResource, NumberIsA16BitIdentifier)
{
    EXPECT_EQ(kSOk, m_bed.registrar.RegisterScriptResource(kModule, 0x10000 + 102, u"registry"));
    EXPECT_TRUE(m_bed.registry.KeyExists(u"HKCU\\FromResource"));
}

TEST_F(ScriptResource, ByName)
{
    EXPECT_EQ(kSOk, m_bed.registrar.RegisterScriptResourceByName(kModule, u"named", u"REGISTRY"));
    EXPECT_TRUE(m_bed.registry.KeyExists(u"HKCU\\Named"));
    EXPECT_EQ(kSOk, m_bed.registrar.UnregisterScriptResourceByName(kModule, u"NAMED", u"REGISTRY"));
    EXPECT_FALSE(m_bed.registry.KeyExists(u"HKCU\\Named"));
    EXPECT_EQ(kSOk, m_bed.registrar.RegisterScriptResourceByName(kModule, u"#102", u"REGISTRY"));
    EXPECT_TRUE(m_bed.registry.KeyExists(u"HKCU\\FromResource"));
}

TEST_F(ScriptResource, FailuresAndTheirResults)
{
    struct Case {
        const char* label;
        HResult result;
        const char* expected;
    };
    const Case cases[] = {
        {"module file absent", m_bed.registrar.RegisterScriptResource(u"C:\\absent.dll", 102, u"REGISTRY"),
         "0x8007007E"},
        {"module path missing", m_bed.registrar.RegisterScriptResource(nullptr, 102, u"REGISTRY"), "0x80070057"},
        {"type absent", m_bed.registrar.RegisterScriptResource(kModule, 102, u"NOTHERE"), "0x80070715"},
        {"type missing", m_bed.registrar.RegisterScriptResource(kModule, 102, nullptr), "0x80070715"},
        {"number absent", m_bed.registrar.UnregisterScriptResource(kModule, 999, u"REGISTRY"), "0x80070716"},
        {"name absent", m_bed.registrar.RegisterScriptResourceByName(kModule, u"NOPE", u"REGISTRY"), "0x80070716"},
        {"name missing", m_bed.registrar.RegisterScriptResourceByName(kModule, nullptr, u"REGISTRY"), "0x80070057"},
        {"type name missing", m_bed.registrar.UnregisterScriptResourceByName(kModule, u"NAMED", nullptr), "0x80070057"},
        // The conversion of zero bytes fails as MultiByteToWideChar does.
        {"empty resource", m_bed.registrar.RegisterScriptResource(kModule, 103, u"REGISTRY"), "0x80070057"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, HexResult(c.result)) << c.label;
    EXPECT_EQ("", m_bed.registry.Dump());
}

TEST_F(ScriptResource, PlatformFailuresAreTheLastErrorMapped)
{
    const std::pair<ResourceCall, Win32Code> failures[] = {
        {ResourceCall::LoadModuleAsData, kErrorAccessDenied},
        {ResourceCall::FindResourceData, kErrorOutOfMemory},
        {ResourceCall::ConvertToWide, 1113},  // ERROR_NO_UNICODE_TRANSLATION
    };
    const char* expected[] = {"0x80070005", "0x8007000E", "0x80070459"};
    for (std::size_t i = 0; i < std::size(failures); ++i) {
        m_bed.resources.FailCall(failures[i].first, failures[i].second);
        EXPECT_EQ(expected[i], HexResult(m_bed.registrar.RegisterScriptResource(kModule, 102, u"REGISTRY")));
        m_bed.resources.ClearFailures();
    }
    EXPECT_EQ("", m_bed.registry.Dump());
}

TEST_F(ScriptResource, TextEndsAtItsFirstNul)
{
    EXPECT_EQ(kSOk, m_bed.registrar.RegisterScriptResource(kModule, 104, u"REGISTRY"));
    EXPECT_EQ("HKCU\nHKCU\\BeforeNul\n", m_bed.registry.Dump());
}

TEST_F(ScriptResource, BytesConvertWithTheCodePage)
{
    EXPECT_EQ(kSOk, m_bed.registrar.RegisterScriptResource(kModule, 105, u"REGISTRY"));
    EXPECT_EQ("HKCU\\Price\n  @ = REG_SZ \"\\u20AC 5\\0\"\n", m_bed.registry.Dump(u"HKCU\\Price"));
}

TEST_F(ScriptResource, ScriptFaultsComeThroughUnchanged)
{
    m_bed.resources.AddResource(kModule, ResourceId::Name(u"REGISTRY"), ResourceId::Number(106), "HKCU { a\\b }");
    EXPECT_EQ(kDispEException, m_bed.registrar.RegisterScriptResource(kModule, 106, u"REGISTRY"));
}

}  // namespace
}  // namespace orrelin::regscript::test
