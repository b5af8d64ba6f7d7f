// CStringX and CStringListX as callers outside Korvex.dll use them.
#include "Korvex.h"
#include "korvex_lists.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring Text(const CStringX& text)
{
    return static_cast<const wchar_t*>(text);
}

TEST(KorvexString, StartsEmptyWithText)
{
    CStringX text;
    EXPECT_TRUE(text.IsEmpty());
    ASSERT_NE(nullptr, static_cast<const wchar_t*>(text));
    EXPECT_EQ(L"", Text(text));
}

TEST(KorvexString, AssignmentCopiesTheText)
{
    wchar_t source[] = L"Carte";
    CStringX text;
    text = source;
    source[0] = L'X';
    EXPECT_FALSE(text.IsEmpty());
    EXPECT_EQ(L"Carte", Text(text));
}

TEST(KorvexString, NullOrEmptyAssignmentEmpties)
{
    CStringX text;
    text = L"something";
    text = static_cast<const wchar_t*>(nullptr);
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_EQ(L"", Text(text));
    text = L"again";
    text = L"";
    EXPECT_TRUE(text.IsEmpty());
}

TEST(KorvexString, AssignmentFromOwnTextKeepsIt)
{
    CStringX text;
    text = L"Bootloader";
    text = static_cast<const wchar_t*>(text);
    EXPECT_EQ(L"Bootloader", Text(text));
    text = static_cast<const wchar_t*>(text) + 4;
    EXPECT_EQ(L"loader", Text(text));
}

TEST(KorvexString, CopiesAreIndependent)
{
    CStringX original;
    original = L"first";
    CStringX copy(original);
    CStringX assigned;
    assigned = original;
    original = L"second";
    EXPECT_EQ(L"first", Text(copy));
    EXPECT_EQ(L"first", Text(assigned));
    assigned = assigned;
    EXPECT_EQ(L"first", Text(assigned));
    const CStringX empty;
    CStringX emptyCopy(empty);
    EXPECT_TRUE(emptyCopy.IsEmpty());
}

TEST(KorvexString, HoldsLongText)
{
    const std::wstring longText(100000, L'\u00E9');
    CStringX text;
    text = longText.c_str();
    EXPECT_EQ(Text(text), longText);
}

TEST(KorvexStringList, EmptyListHasNoHead)
{
    CStringListX list;
    EXPECT_EQ(nullptr, static_cast<CStringX*>(list.GetHeadPosition()));
    EXPECT_EQ(0, list.GetCount());
    EXPECT_EQ(nullptr, static_cast<CStringX*>(CStringListX::POSITION()));
}

TEST(KorvexStringList, WalksElementsInOrderThenEnds)
{
    CStringListX list;
    list.AddTail(L"COM1");
    list.AddTail(L"");
    list.AddTail(L"COM10");
    EXPECT_EQ(3, list.GetCount());
    CStringListX::POSITION position = list.GetHeadPosition();
    ASSERT_NE(nullptr, static_cast<CStringX*>(position));
    EXPECT_EQ(L"COM1", Text(*static_cast<CStringX*>(position)));
    EXPECT_EQ(L"COM1", Text(list.GetNext(position)));
    EXPECT_EQ(L"", Text(list.GetNext(position)));
    EXPECT_EQ(L"COM10", Text(list.GetNext(position)));
    EXPECT_EQ(nullptr, static_cast<CStringX*>(position));
}

TEST(KorvexStringList, ElementsChangeInPlace)
{
    CStringListX list;
    list.AddTail(L"a");
    list.AddTail(L"b");
    CStringListX::POSITION position = list.GetHeadPosition();
    list.GetNext(position) = L"changed";
    EXPECT_EQ(Items(list), (std::vector<std::wstring>{L"changed", L"b"}));
}

TEST(KorvexStringList, RemoveAllEmptiesAndAllowsReuse)
{
    CStringListX list;
    list.AddTail(L"x");
    list.AddTail(L"y");
    list.RemoveAll();
    EXPECT_EQ(0, list.GetCount());
    EXPECT_TRUE(Items(list).empty());
    list.AddTail(L"z");
    EXPECT_EQ(Items(list), std::vector<std::wstring>{L"z"});
}

}  // namespace
