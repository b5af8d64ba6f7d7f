// Natural order of port names, recognising DFU interfaces among USB IDs, splitting
// multi-strings, and the names devices are shown with.
#include "device_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using korvex::NaturalCompare;
using korvex::NaturalLess;

struct OrderCase {
    const wchar_t* left;
    const wchar_t* right;
    int expected;
};

class NaturalOrder : public testing::TestWithParam<OrderCase> {};

TEST_P(NaturalOrder, ComparesBothWays)
{
    const OrderCase& c = GetParam();
    EXPECT_EQ(NaturalCompare(c.left, c.right), c.expected);
    EXPECT_EQ(NaturalCompare(c.right, c.left), -c.expected);
}

INSTANTIATE_TEST_SUITE_P(Pairs, NaturalOrder,
                         testing::Values(OrderCase{L"COM2", L"COM10", -1}, OrderCase{L"COM9", L"COM10", -1},
                                         OrderCase{L"COM10", L"COM11", -1}, OrderCase{L"COM1", L"COM1", 0},
                                         OrderCase{L"", L"", 0}, OrderCase{L"", L"COM1", -1},
                                         OrderCase{L"COM", L"COM1", -1}, OrderCase{L"com2", L"COM10", -1},
                                         OrderCase{L"COM2", L"com10", -1}, OrderCase{L"COMa", L"comB", -1},
                                         // Equal but for case or leading zeros: still a fixed order, never 0.
                                         OrderCase{L"COM1", L"com1", -1}, OrderCase{L"COM1", L"COM01", -1},
                                         OrderCase{L"COM01", L"COM001", -1}, OrderCase{L"COM01", L"COM2", -1},
                                         // Numbers longer than any machine integer.
                                         OrderCase{L"COM99999999999999999999", L"COM100000000000000000000", -1},
                                         OrderCase{L"COM18446744073709551616", L"COM18446744073709551617", -1},
                                         OrderCase{L"A10B2", L"A10B10", -1}, OrderCase{L"A2B10", L"A10B2", -1},
                                         OrderCase{L"CNCA0", L"COM1", -1}, OrderCase{L"COM1", L"COMX", -1},
                                         OrderCase{L"COM 2", L"COM10", -1},
                                         OrderCase{L"\\Device\\Serial2", L"\\Device\\Serial10", -1}));

TEST(NaturalOrderSort, GivesSameListFromAnyStartingOrder)
{
    const std::vector<std::wstring> expected = {L"CNCA0", L"COM1", L"com1",  L"COM01", L"COM2",
                                                L"com3",  L"COM9", L"COM10", L"COM20", L"COM100"};
    std::vector<std::wstring> names = expected;
    std::sort(names.begin(), names.end());
    do {
        std::vector<std::wstring> sorted = names;
        std::sort(sorted.begin(), sorted.end(),
                  [](const std::wstring& a, const std::wstring& b) { return NaturalLess(a, b); });
        ASSERT_EQ(sorted, expected);
    } while (std::next_permutation(names.begin(), names.begin() + 4));
}

TEST(NaturalOrderSort, IsTransitiveOverMixedNames)
{
    const std::vector<std::wstring> names = {L"",    L"0",   L"00",   L"1",   L"a",    L"A",   L"a1",
                                             L"a01", L"a10", L"a2b",  L"a2B", L"a2/",  L"a2:", L"a02b1",
                                             L"/",   L":",   L"COM1", L"COM", L"C0M1", L"a1a1"};
    for (const auto& a : names) {
        for (const auto& b : names) {
            ASSERT_EQ(NaturalCompare(a, b), -NaturalCompare(b, a));
            for (const auto& c : names)
                if (NaturalLess(a, b) && NaturalLess(b, c)) {
                    ASSERT_TRUE(NaturalLess(a, c));
                }
        }
    }
}

struct IdCase {
    const wchar_t* id;
    bool dfu;
};

class UsbDfuInterfaceId : public testing::TestWithParam<IdCase> {};

TEST_P(UsbDfuInterfaceId, IsRecognised)
{
    EXPECT_EQ(korvex::IsDfuInterfaceId(GetParam().id), GetParam().dfu) << GetParam().id;
}

INSTANTIATE_TEST_SUITE_P(
    Ids, UsbDfuInterfaceId,
    testing::Values(IdCase{L"USB\\Class_FE&SubClass_01&Prot_02", true},
                    IdCase{L"USB\\Class_FE&SubClass_01&Prot_01", true}, IdCase{L"USB\\Class_FE&SubClass_01", true},
                    IdCase{L"usb\\class_fe&subclass_01&prot_02", true}, IdCase{L"USB\\CLASS_FE&SUBCLASS_01", true},
                    IdCase{L"Class_FE&SubClass_01", true}, IdCase{L"USB\\Class_FE&SubClass_02&Prot_00", false},
                    IdCase{L"USB\\Class_FE&SubClass_03", false}, IdCase{L"USB\\Class_FF&SubClass_01&Prot_02", false},
                    IdCase{L"USB\\Class_EF&SubClass_01", false}, IdCase{L"USB\\Class_FE&SubClass_010", false},
                    IdCase{L"USB\\Class_FE&SubClass_01X", false}, IdCase{L"USB\\DevClass_FE&SubClass_01", false},
                    IdCase{L"USB\\Class_FE", false}, IdCase{L"USB\\VID_0483&PID_DF11&REV_2200", false},
                    IdCase{L"USB\\VID_0483&PID_DF11", false}, IdCase{L"USB\\COMPOSITE", false}, IdCase{L"", false}));

TEST(UsbDfuInterfaceIds, AnyIdOfTheListCounts)
{
    EXPECT_TRUE(korvex::HasDfuInterfaceId(
        {L"USB\\VID_0483&PID_DF11&REV_2200", L"USB\\VID_0483&PID_DF11", L"USB\\Class_FE&SubClass_01&Prot_02"}));
    EXPECT_FALSE(
        korvex::HasDfuInterfaceId({L"USB\\VID_0483&PID_5740", L"USB\\Class_02&SubClass_02&Prot_01", L"USB\\Class_02"}));
    EXPECT_FALSE(korvex::HasDfuInterfaceId({}));
}

struct SplitCase {
    const char* label;
    std::wstring data;  // characters as stored, terminators included
    std::vector<std::wstring> strings;
};

class MultiString : public testing::TestWithParam<SplitCase> {};

TEST_P(MultiString, SplitsWithinCount)
{
    const SplitCase& c = GetParam();
    EXPECT_EQ(korvex::SplitMultiString(c.data.data(), c.data.size()), c.strings);
}

INSTANTIATE_TEST_SUITE_P(Data, MultiString,
                         testing::Values(SplitCase{"Terminated", std::wstring(L"A\0BC\0\0", 6), {L"A", L"BC"}},
                                         SplitCase{"OneString", std::wstring(L"ABC\0\0", 5), {L"ABC"}},
                                         SplitCase{"SingleTerminator", std::wstring(L"ABC\0", 4), {L"ABC"}},
                                         SplitCase{"Unterminated", std::wstring(L"A\0BC", 4), {L"A", L"BC"}},
                                         SplitCase{"EmptyStringEndsList", std::wstring(L"A\0\0B\0\0", 6), {L"A"}},
                                         SplitCase{"OnlyTerminator", std::wstring(L"\0", 1), {}},
                                         SplitCase{"Empty", std::wstring(), {}}),
                         [](const testing::TestParamInfo<SplitCase>& row) { return std::string(row.param.label); });

TEST(MultiStringBounds, ReadsNothingPastCount)
{
    const wchar_t data[] = {L'A', L'B', L'C', L'D'};
    EXPECT_EQ(korvex::SplitMultiString(data, 2), std::vector<std::wstring>{L"AB"});
    EXPECT_EQ(korvex::SplitMultiString(nullptr, 5), std::vector<std::wstring>{});
}

struct NameCase {
    const wchar_t* friendlyName;
    const wchar_t* description;
    const wchar_t* instanceId;
    const wchar_t* name;
};

class UsbDeviceName : public testing::TestWithParam<NameCase> {};

TEST_P(UsbDeviceName, ShowsLabelAndInstance)
{
    const NameCase& c = GetParam();
    EXPECT_EQ(korvex::UsbDeviceName(c.friendlyName, c.description, c.instanceId), c.name);
}

INSTANTIATE_TEST_SUITE_P(
    Names, UsbDeviceName,
    testing::Values(NameCase{L"STM Device in DFU Mode", L"USB DFU Device", L"USB\\VID_0483&PID_DF11\\3657",
                             L"STM Device in DFU Mode (USB\\VID_0483&PID_DF11\\3657)"},
                    NameCase{L"", L"USB DFU Device", L"USB\\VID_0483&PID_DF11\\3657",
                             L"USB DFU Device (USB\\VID_0483&PID_DF11\\3657)"},
                    NameCase{L"", L"", L"USB\\VID_1D50&PID_6017\\7&2A&0&1", L"USB\\VID_1D50&PID_6017\\7&2A&0&1"},
                    NameCase{L"Board", L"", L"", L"Board"}, NameCase{L"", L"", L"", L""}));

TEST(UsbDeviceNames, TellTwoOfOneModelApart)
{
    EXPECT_NE(korvex::UsbDeviceName(L"", L"USB DFU Device", L"USB\\VID_0483&PID_DF11\\1"),
              korvex::UsbDeviceName(L"", L"USB DFU Device", L"USB\\VID_0483&PID_DF11\\2"));
}

}  // namespace
