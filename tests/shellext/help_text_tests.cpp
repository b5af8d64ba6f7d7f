#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "help_text.h"
#include "menu_test_support.h"

using orrelin::CopyHelpText;
using orrelin::CopyHelpTextInCodePage;

namespace {

const std::wstring kHelp = L"Download 'Boot loader' using the Halvorn Device Firmware Upgrade Wizard";
const std::string kHelpNarrow = "Download 'Boot loader' using the Halvorn Device Firmware Upgrade Wizard";
constexpr unsigned char kUntouched = 0xCC;

// A caller's buffer, filled with a marker so what was written can be told from what was not.
struct Buffer {
    Buffer() { std::memset(bytes, kUntouched, sizeof(bytes)); }
    char* get() { return bytes; }
    bool Untouched() const
    {
        for (unsigned char b : bytes)
            if (b != kUntouched) return false;
        return true;
    }
    std::wstring Wide() const { return reinterpret_cast<const wchar_t*>(bytes); }
    std::string Narrow() const { return bytes; }
    alignas(wchar_t) char bytes[1024];
};

orrelin::StringList ThreeEntries()
{
    orrelin::StringList list;
    list.AddTail(kHelp);
    list.AddTail(L"second");
    list.AddTail(L"third");
    return list;
}

TEST(HelpText, AnswersEachRequestTypeByItsTwoBits)
{
    enum Answer { Refused, Narrow, Wide };
    const struct {
        UINT type;
        Answer answer;
    } rows[] = {
        {GCS_VERBA, Refused},
        {GCS_HELPTEXTA, Narrow},
        {GCS_VALIDATEA, Refused},
        {3, Narrow},
        {GCS_VERBW, Refused},
        {GCS_HELPTEXTW, Wide},
        {GCS_VALIDATEW, Wide},
        {7, Wide},
        {GCS_VERBICONW, Refused},
        {0x8, Refused},
        {0x10, Refused},
        {0x11, Narrow},
        {0x15, Wide},
        {0x16, Wide},
    };
    const orrelin::StringList list = ThreeEntries();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.type);
        Buffer buffer;
        const HRESULT result = CopyHelpText(list, 0, row.type, buffer.get(), 200);
        switch (row.answer) {
        case Refused:
            EXPECT_EQ(E_INVALIDARG, result);
            EXPECT_TRUE(buffer.Untouched());
            break;
        case Narrow:
            EXPECT_EQ(S_OK, result);
            EXPECT_EQ(kHelpNarrow, buffer.Narrow());
            EXPECT_EQ(kUntouched, static_cast<unsigned char>(buffer.bytes[kHelpNarrow.size() + 1]));
            break;
        case Wide:
            EXPECT_EQ(S_OK, result);
            EXPECT_EQ(kHelp, buffer.Wide());
            EXPECT_EQ(kUntouched, static_cast<unsigned char>(buffer.bytes[(kHelp.size() + 1) * 2]));
            break;
        }
    }
}

TEST(HelpText, CutsTextToBufferSize)
{
    const orrelin::StringList list = ThreeEntries();
    const UINT length = static_cast<UINT>(kHelp.size());
    const struct {
        UINT size;
        size_t copied;  // characters before the terminating null; npos: nothing written
    } rows[] = {
        {10, 9}, {1, 0}, {0, std::string::npos}, {length, length - 1}, {length + 1, length}, {500, length},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.size);
        Buffer wide;
        Buffer narrow;
        EXPECT_EQ(S_OK, CopyHelpText(list, 0, GCS_HELPTEXTW, wide.get(), row.size));
        EXPECT_EQ(S_OK, CopyHelpText(list, 0, GCS_HELPTEXTA, narrow.get(), row.size));
        if (row.copied == std::string::npos) {
            EXPECT_TRUE(wide.Untouched());
            EXPECT_TRUE(narrow.Untouched());
            continue;
        }
        EXPECT_EQ(kHelp.substr(0, row.copied), wide.Wide());
        EXPECT_EQ(kHelpNarrow.substr(0, row.copied), narrow.Narrow());
        EXPECT_EQ(kUntouched, static_cast<unsigned char>(wide.bytes[(row.copied + 1) * 2]));
        EXPECT_EQ(kUntouched, static_cast<unsigned char>(narrow.bytes[row.copied + 1]));
    }
}

TEST(HelpText, RefusesOffsetsWithoutEntry)
{
    const orrelin::StringList list = ThreeEntries();
    const UINT_PTR offsets[] = {3, 4, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF,
#ifdef _WIN64
                                // Offsets 0 and 1 in their low half.
                                0x100000000ull, 0x8000000000000001ull
#endif
    };
    for (UINT_PTR offset : offsets) {
        for (UINT type : {GCS_HELPTEXTA, GCS_HELPTEXTW, GCS_VALIDATEW}) {
            SCOPED_TRACE(testing::Message() << offset << " type " << type);
            Buffer buffer;
            EXPECT_EQ(E_INVALIDARG, CopyHelpText(list, offset, type, buffer.get(), 100));
            EXPECT_TRUE(buffer.Untouched());
        }
    }
    Buffer buffer;
    EXPECT_EQ(E_INVALIDARG, CopyHelpText(orrelin::StringList(), 0, GCS_HELPTEXTW, buffer.get(), 100));
    EXPECT_EQ(S_OK, CopyHelpText(list, 2, GCS_HELPTEXTW, buffer.get(), 100));
    EXPECT_EQ(L"third", buffer.Wide());
}

TEST(HelpText, NullBufferRefusedOnlyWhereTextWouldBeWritten)
{
    const orrelin::StringList list = ThreeEntries();
    EXPECT_EQ(S_OK, CopyHelpText(list, 1, GCS_VALIDATEW, nullptr, 0));
    EXPECT_EQ(S_OK, CopyHelpText(list, 1, GCS_HELPTEXTA, nullptr, 0));
    EXPECT_EQ(E_INVALIDARG, CopyHelpText(list, 3, GCS_VALIDATEW, nullptr, 0));
    EXPECT_EQ(E_INVALIDARG, CopyHelpText(list, 1, GCS_HELPTEXTW, nullptr, 10));
    EXPECT_EQ(E_INVALIDARG, CopyHelpText(list, 1, GCS_HELPTEXTA, nullptr, 10));
}

// The conversion code page is the thread's ANSI code page, 1252 under Wine's defaults.
TEST(HelpText, NarrowTextUsesThreadAnsiCodePage)
{
    ASSERT_EQ(1252u, GetACP());
    orrelin::StringList list;
    list.AddTail(L"Download 'Caf\u00e9 \u65e5\u672c' using the Halvorn Device Firmware Upgrade Wizard");
    Buffer buffer;
    EXPECT_EQ(S_OK, CopyHelpText(list, 0, GCS_HELPTEXTA, buffer.get(), 200));
    EXPECT_EQ("Download 'Caf\xe9 ?\?' using the Halvorn Device Firmware Upgrade Wizard", buffer.Narrow());
}

// Characters of three bytes each need more than two bytes per character in all.
TEST(HelpText, NarrowBufferSizedFromWhatConversionNeeds)
{
    std::wstring comment;
    std::string utf8;
    for (int i = 0; i < 100; ++i) {
        comment += L'\u65e5';
        utf8 += "\xe6\x97\xa5";
    }
    orrelin::StringList list;
    list.AddTail(L"Download '" + comment + L"' using the Halvorn Device Firmware Upgrade Wizard");
    Buffer buffer;
    EXPECT_EQ(S_OK, CopyHelpTextInCodePage(list, 0, GCS_HELPTEXTA, buffer.get(), 1000, CP_UTF8));
    EXPECT_EQ("Download '" + utf8 + "' using the Halvorn Device Firmware Upgrade Wizard", buffer.Narrow());

    // A code page the system does not have leaves the buffer as it was; still an answer.
    Buffer unconverted;
    EXPECT_EQ(S_OK, CopyHelpTextInCodePage(list, 0, GCS_HELPTEXTA, unconverted.get(), 1000, 59999));
    EXPECT_TRUE(unconverted.Untouched());
}

}  // namespace
