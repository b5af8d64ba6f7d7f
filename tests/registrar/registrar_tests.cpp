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
    EXPECT_EQ(bed.registrar.AddVariable(u"Module", u"first"), kSOk);
    EXPECT_EQ(bed.registrar.AddVariable(u"MODULE", u"second"), kSOk);
    EXPECT_EQ(bed.registrar.AddVariable(u"Other", u""), kSOk);
    EXPECT_EQ(bed.registrar.VariableCount(), 3u);
    ASSERT_NE(bed.registrar.FindVariable(u"module"), nullptr);
    EXPECT_EQ(*bed.registrar.FindVariable(u"module"), u"first");
    ASSERT_NE(bed.registrar.FindVariable(u"OTHER"), nullptr);
    EXPECT_EQ(*bed.registrar.FindVariable(u"OTHER"), u"");
    EXPECT_EQ(bed.registrar.FindVariable(u"Modul"), nullptr);
    EXPECT_EQ(bed.registrar.FindVariable(u"Modules"), nullptr);

    EXPECT_EQ(bed.registrar.ClearVariables(), kSOk);
    EXPECT_EQ(bed.registrar.VariableCount(), 0u);
    EXPECT_EQ(bed.registrar.FindVariable(u"Module"), nullptr);
    EXPECT_EQ(bed.Register(u"HKCU { '%Module%' }"), kDispEException);
}

TEST(Variables, MissingNameOrValueLeavesTheTableAsItWas)
{
    ScriptBed bed;
    bed.registrar.AddVariable(u"Kept", u"value");
    EXPECT_EQ(bed.registrar.AddVariable(nullptr, u"value"), kEInvalidArg);
    EXPECT_EQ(bed.registrar.AddVariable(u"Name", nullptr), kEInvalidArg);
    EXPECT_EQ(bed.registrar.AddVariable(nullptr, nullptr), kEInvalidArg);
    EXPECT_EQ(bed.registrar.VariableCount(), 1u);
    EXPECT_EQ(bed.registrar.FindVariable(u"Name"), nullptr);
}

TEST(Variables, AreCopiedWhenAdded)
{
    ScriptBed bed;
    char16_t name[] = u"Path";
    char16_t value[] = u"C:\\a.dll";
    bed.registrar.AddVariable(name, value);
    name[0] = u'X';
    value[0] = u'D';
    ASSERT_NE(bed.registrar.FindVariable(u"Path"), nullptr);
    EXPECT_EQ(*bed.registrar.FindVariable(u"Path"), u"C:\\a.dll");
}

TEST(Variables, TheFirstOfTwoNamesFillsTheScript)
{
    ScriptBed bed;
    bed.registrar.AddVariable(u"Module", u"C:\\first.dll");
    bed.registrar.AddVariable(u"module", u"C:\\second.dll");
    ASSERT_EQ(bed.Register(u"HKCU { Server = s '%MODULE%' }"), kSOk);
    EXPECT_EQ(bed.registry.Dump(u"HKCU\\Server"), "HKCU\\Server\n  @ = REG_SZ \"C:\\\\first.dll\\0\"\n");
}

// ---------------------------------------------------------------------------------------
// Scripts stored as resources

constexpr char16_t kModule[] = u"C:\\Program Files\\Orrelin\\Orrelin.dll";

class ScriptResource : public ::testing::Test {
protected:
    void SetUp() override
    {
        bed.resources.AddResource(kModule, ResourceId::Name(u"REGISTRY"), ResourceId::Number(102),
                                  "HKCU\n{\n\tFromResource = s '%Module%'\n}\n");
        bed.resources.AddResource(kModule, ResourceId::Name(u"REGISTRY"), ResourceId::Name(u"NAMED"),
                                  "HKCU { Named }");
        bed.resources.AddResource(kModule, ResourceId::Name(u"REGISTRY"), ResourceId::Number(103), "");
        bed.resources.AddResource(kModule, ResourceId::Name(u"REGISTRY"), ResourceId::Number(104),
                                  std::string("HKCU { BeforeNul }\0HKCU { AfterNul }", 36));
        bed.resources.AddResource(kModule, ResourceId::Name(u"REGISTRY"), ResourceId::Number(105),
                                  "HKCU { Price = s '\x80 5' }");
        bed.resources.AddResource(kModule, ResourceId::Name(u"OTHER"), ResourceId::Number(102), "HKCU { Other }");
        bed.registrar.AddVariable(u"Module", kModule);
    }

    void TearDown() override
    {
        // The mapped module is released on every path.
        EXPECT_EQ(bed.resources.LoadedModuleCount(), 0u);
        EXPECT_EQ(bed.registry.OpenHandleCount(), 0u);
    }

    ScriptBed bed;
};

TEST_F(ScriptResource, RegistersAndUnregistersByNumber)
{
    ASSERT_EQ(bed.registrar.RegisterScriptResource(kModule, 102, u"REGISTRY"), kSOk);
    EXPECT_EQ(bed.registry.Dump(),
              "HKCU\nHKCU\\FromResource\n  @ = REG_SZ \"C:\\\\Program Files\\\\Orrelin\\\\Orrelin.dll\\0\"\n");
    ASSERT_EQ(bed.registrar.UnregisterScriptResource(kModule, 102, u"REGISTRY"), kSOk);
    EXPECT_EQ(bed.registry.Dump(), "");
}

TEST_F(ScriptResource, NumberIsA16BitIdentifier)
{
    EXPECT_EQ(bed.registrar.RegisterScriptResource(kModule, 0x10000 + 102, u"registry"), kSOk);
    EXPECT_TRUE(bed.registry.KeyExists(u"HKCU\\FromResource"));
}

TEST_F(ScriptResource, ByName)
{
    EXPECT_EQ(bed.registrar.RegisterScriptResourceByName(kModule, u"named", u"REGISTRY"), kSOk);
    EXPECT_TRUE(bed.registry.KeyExists(u"HKCU\\Named"));
    EXPECT_EQ(bed.registrar.UnregisterScriptResourceByName(kModule, u"NAMED", u"REGISTRY"), kSOk);
    EXPECT_FALSE(bed.registry.KeyExists(u"HKCU\\Named"));
    EXPECT_EQ(bed.registrar.RegisterScriptResourceByName(kModule, u"#102", u"REGISTRY"), kSOk);
    EXPECT_TRUE(bed.registry.KeyExists(u"HKCU\\FromResource"));
}

TEST_F(ScriptResource, FailuresAndTheirResults)
{
    struct Case {
        const char* label;
        HResult result;
        const char* expected;
    };
    const Case cases[] = {
        {"module file absent", bed.registrar.RegisterScriptResource(u"C:\\absent.dll", 102, u"REGISTRY"),
         "0x8007007E"},
        {"module path missing", bed.registrar.RegisterScriptResource(nullptr, 102, u"REGISTRY"), "0x80070057"},
        {"type absent", bed.registrar.RegisterScriptResource(kModule, 102, u"NOTHERE"), "0x80070715"},
        {"type missing", bed.registrar.RegisterScriptResource(kModule, 102, nullptr), "0x80070715"},
        {"number absent", bed.registrar.UnregisterScriptResource(kModule, 999, u"REGISTRY"), "0x80070716"},
        {"name absent", bed.registrar.RegisterScriptResourceByName(kModule, u"NOPE", u"REGISTRY"), "0x80070716"},
        {"name missing", bed.registrar.RegisterScriptResourceByName(kModule, nullptr, u"REGISTRY"), "0x80070057"},
        {"type name missing", bed.registrar.UnregisterScriptResourceByName(kModule, u"NAMED", nullptr),
         "0x80070057"},
        // The conversion of zero bytes fails as MultiByteToWideChar does.
        {"empty resource", bed.registrar.RegisterScriptResource(kModule, 103, u"REGISTRY"), "0x80070057"},
    };
    for (const Case& c : cases) EXPECT_EQ(HexResult(c.result), c.expected) << c.label;
    EXPECT_EQ(bed.registry.Dump(), "");
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
        bed.resources.FailCall(failures[i].first, failures[i].second);
        EXPECT_EQ(HexResult(bed.registrar.RegisterScriptResource(kModule, 102, u"REGISTRY")), expected[i]);
        bed.resources.ClearFailures();
    }
    EXPECT_EQ(bed.registry.Dump(), "");
}

TEST_F(ScriptResource, TextEndsAtItsFirstNul)
{
    EXPECT_EQ(bed.registrar.RegisterScriptResource(kModule, 104, u"REGISTRY"), kSOk);
    EXPECT_EQ(bed.registry.Dump(), "HKCU\nHKCU\\BeforeNul\n");
}

TEST_F(ScriptResource, BytesConvertWithTheCodePage)
{
    EXPECT_EQ(bed.registrar.RegisterScriptResource(kModule, 105, u"REGISTRY"), kSOk);
    EXPECT_EQ(bed.registry.Dump(u"HKCU\\Price"), "HKCU\\Price\n  @ = REG_SZ \"\\u20AC 5\\0\"\n");
}

TEST_F(ScriptResource, ScriptFaultsComeThroughUnchanged)
{
    bed.resources.AddResource(kModule, ResourceId::Name(u"REGISTRY"), ResourceId::Number(106), "HKCU { a\\b }");
    EXPECT_EQ(bed.registrar.RegisterScriptResource(kModule, 106, u"REGISTRY"), kDispEException);
}

}  // namespace
}  // namespace orrelin::regscript::test
