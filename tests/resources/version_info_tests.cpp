// The version information of Orrelin.dll, read as installers and Explorer read it.
#include "orrelin_dll.h"
#include "registered_library.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

using orrelin::test::Narrow;
using orrelin::test::OrrelinDllPath;

class VersionInfo : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::wstring path = OrrelinDllPath();
        DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
        ASSERT_GT(size, 0u) << "no version information: " << GetLastError();
        m_data.resize(size);
        ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, m_data.data()));
    }

    // The value at a sub-block path, or nothing when it is absent.
    std::optional<std::pair<const void*, UINT>> Query(const std::wstring& subBlock)
    {
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(m_data.data(), subBlock.c_str(), &value, &length)) return std::nullopt;
        return std::make_pair(static_cast<const void*>(value), length);
    }

    std::optional<std::wstring> Text(const std::wstring& name)
    {
        auto value = Query(L"\\StringFileInfo\\080904b0\\" + name);
        if (!value) return std::nullopt;
        // The length counts characters, with the terminator when there is one.
        std::wstring text(static_cast<const wchar_t*>(value->first), value->second);
        return text.substr(0, text.find(L'\0'));
    }

    std::vector<BYTE> m_data;
};

TEST_F(VersionInfo, FixedVersionIs2400)
{
    auto value = Query(L"\\");
    ASSERT_TRUE(value);
    ASSERT_GE(value->second, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value->first);
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    EXPECT_EQ(0x00020004u, fixed->dwFileVersionMS);
    EXPECT_EQ(0x00000000u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00020004u, fixed->dwProductVersionMS);
    EXPECT_EQ(0x00000000u, fixed->dwProductVersionLS);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(0u, fixed->dwFileFlags & fixed->dwFileFlagsMask);
}

TEST_F(VersionInfo, TranslationIsUkEnglishUnicode)
{
    auto value = Query(L"\\VarFileInfo\\Translation");
    ASSERT_TRUE(value);
    ASSERT_EQ(2 * sizeof(WORD), value->second);
    const auto* words = static_cast<const WORD*>(value->first);
    EXPECT_EQ(0x0809, words[0]);
    EXPECT_EQ(1200, words[1]);
}

struct VersionString {
    const wchar_t* name;
    const wchar_t* text;
};

void PrintTo(const VersionString& entry, std::ostream* out)
{
    *out << Narrow(entry.name);
}

class VersionInfoString : public VersionInfo, public ::testing::WithParamInterface<VersionString> {};

TEST_P(VersionInfoString, HasText)
{
    auto text = Text(GetParam().name);
    ASSERT_TRUE(text) << "missing";
    EXPECT_EQ(*text, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    VersionInfo, VersionInfoString,
    ::testing::Values(VersionString{L"CompanyName", L"Quenlor"},
                      VersionString{L"FileDescription", L"Orrelin shell extension for DFU firmware files"},
                      VersionString{L"FileVersion", L"2.4.0.0"}, VersionString{L"InternalName", L"Orrelin"},
                      VersionString{L"OriginalFilename", L"Orrelin.dll"}, VersionString{L"ProductName", L"Orrelin"},
                      VersionString{L"ProductVersion", L"2.4.0.0"},
                      // Present and empty: the mark of a self-registering server.
                      VersionString{L"OLESelfRegister", L""}),
    [](const ::testing::TestParamInfo<VersionString>& row) { return Narrow(row.param.name); });

// The absent name must be told apart from the present empty one, or the test above would
// pass for a library without the mark.
TEST_F(VersionInfo, AbsentNameIsNotFound)
{
    EXPECT_FALSE(Text(L"NoSuchValue"));
}

}  // namespace
