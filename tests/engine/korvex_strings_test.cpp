// CStringX and CStringListX as callers outside Korvex.dll use them.
#include "Korvex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring Text(const CStringX& text) {
    return static_cast<const wchar_t*>(text);
}

std::vector<std::wstring> Items(const CStringListX& list) {
    std::vector<std::wstring> items;
    CStringListX::POSITION position = list.GetHeadPosition();
    while (static_cast<CStringX*>(position) != nullptr) {
        items.push_back(Text(list.GetNext(position)));
    }
    return items;
}

TEST(KorvexString, StartsEmptyWithText) {
    CStringX text;
    EXPECT_TRUE(text.IsEmpty());
    ASSERT_NE(static_cast<const wchar_t*>(text), nullptr);
    EXPECT_EQ(Text(text), L"");
}

TEST(KorvexString, AssignmentCopiesTheText) {
    wchar_t source[] = L"Carte";
    CStringX text;
    text = source;
    source[0] = L'X';
    EXPECT_FALSE(text.IsEmpty());
    EXPECT_EQ(Text(text), L"Carte");
}

TEST(KorvexString, NullOrEmptyAssignmentEmpties) {
    CStringX text;
    text = L"something";
    text = static_cast<const wchar_t*>(nullptr);
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_EQ(Text(text), L"");
    text = L"again";
    text = L"";
    EXPECT_TRUE(text.IsEmpty());
}

TEST(KorvexString, AssignmentFromOwnTextKeepsIt) {
    CStringX text;
    text = L"Bootloader";
    text = static_cast<const wchar_t*>(text);
    EXPECT_EQ(Text(text), L"Bootloader");
    text = static_cast<const wchar_t*>(text) + 4;
    EXPECT_EQ(Text(text), L"loader");
}

TEST(KorvexString, CopiesAreIndependent) {
    CStringX original;
    original = L"first";
    CStringX copy(original);
    CStringX assigned;
    assigned = original;
    original = L"second";
    EXPECT_EQ(Text(copy), L"first");
    EXPECT_EQ(Text(assigned), L"first");
    assigned = assigned;
    EXPECT_EQ(Text(assigned), L"first");
    const CStringX empty;
    CStringX emptyCopy(empty);
    EXPECT_TRUE(emptyCopy.IsEmpty());
}

TEST(KorvexString, HoldsLongText) {
    const std::wstring longText(100000, L'\u00E9');
    CStringX text;
    text = longText.c_str();
    EXPECT_EQ(Text(text), longText);
}

TEST(KorvexStringList, EmptyListHasNoHead) {
    CStringListX list;
    EXPECT_EQ(static_cast<CStringX*>(list.GetHeadPosition()), nullptr);
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(static_cast<CStringX*>(CStringListX::POSITION()), nullptr);
}

TEST(KorvexStringList, WalksElementsInOrderThenEnds) {
    CStringListX list;
    list.AddTail(L"COM1");
    list.AddTail(L"");
    list.AddTail(L"COM10");
    EXPECT_EQ(list.GetCount(), 3);
    CStringListX::POSITION position = list.GetHeadPosition();
    ASSERT_NE(static_cast<CStringX*>(position), nullptr);
    EXPECT_EQ(Text(*static_cast<CStringX*>(position)), L"COM1");
    EXPECT_EQ(Text(list.GetNext(position)), L"COM1");
    EXPECT_EQ(Text(list.GetNext(position)), L"");
    EXPECT_EQ(Text(list.GetNext(position)), L"COM10");
    EXPECT_EQ(static_cast<CStringX*>(position), nullptr);
}

TEST(KorvexStringList, ElementsChangeInPlace) {
    CStringListX list;
    list.AddTail(L"a");
    list.AddTail(L"b");
    CStringListX::POSITION position = list.GetHeadPosition();
    list.GetNext(position) = L"changed";
    EXPECT_EQ(Items(list), (std::vector<std::wstring>{L"changed", L"b"}));
}

TEST(KorvexStringList, RemoveAllEmptiesAndAllowsReuse) {
    CStringListX list;
    list.AddTail(L"x");
    list.AddTail(L"y");
    list.RemoveAll();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_TRUE(Items(list).empty());
    list.AddTail(L"z");
    EXPECT_EQ(Items(list), std::vector<std::wstring>{L"z"});
}

}  // namespace
