// The engine's memory of its latest verdict per path: found only for the same path within
// its lifetime, one place per path, the oldest place given up first, and nothing found once
// forgotten or when the clock ran back.
#include "remembered_paths.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using korvex::RememberedPaths;
using korvex::RememberedVerdict;

constexpr std::uint64_t kStored = 5000000;

struct Question {
    const char* label;
    const wchar_t* path;
    std::uint64_t now;
    RememberedVerdict expected;
};

class RememberedPathsFind : public testing::TestWithParam<Question> {};

TEST_P(RememberedPathsFind, AnswersOnlyTheSamePathWithinItsLifetime)
{
    RememberedPaths paths;
    paths.Store(L"C:\\fw\\valid.dfu", true, kStored);
    paths.Store(L"C:\\fw\\broken.dfu", false, kStored);
    EXPECT_EQ(GetParam().expected, paths.Find(GetParam().path, GetParam().now));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RememberedPathsFind,
    testing::Values(Question{"Valid", L"C:\\fw\\valid.dfu", kStored, RememberedVerdict::kValid},
                    Question{"Invalid", L"C:\\fw\\broken.dfu", kStored + 1000, RememberedVerdict::kInvalid},
                    Question{"LastMoment", L"C:\\fw\\valid.dfu", kStored + RememberedPaths::kLifetime - 1,
                             RememberedVerdict::kValid},
                    Question{"Expired", L"C:\\fw\\valid.dfu", kStored + RememberedPaths::kLifetime,
                             RememberedVerdict::kUnknown},
                    Question{"ClockRanBack", L"C:\\fw\\valid.dfu", kStored - 1, RememberedVerdict::kUnknown},
                    Question{"OtherPath", L"C:\\fw\\other.dfu", kStored, RememberedVerdict::kUnknown},
                    Question{"PrefixOfPath", L"C:\\fw\\valid.df", kStored, RememberedVerdict::kUnknown},
                    Question{"Empty", L"", kStored, RememberedVerdict::kUnknown}),
    [](const testing::TestParamInfo<Question>& row) { return std::string(row.param.label); });

TEST(RememberedPaths, LatestVerdictReplacesTheEarlierAndForgettingRemovesIt)
{
    RememberedPaths paths;
    paths.Store(L"a.dfu", true, kStored);
    paths.Store(L"a.dfu", false, kStored + 10);
    EXPECT_EQ(RememberedVerdict::kInvalid, paths.Find(L"a.dfu", kStored + 10));
    paths.Forget(L"a.dfu");
    EXPECT_EQ(RememberedVerdict::kUnknown, paths.Find(L"a.dfu", kStored + 10));
}

// A full memory gives up its oldest place; a path stored again keeps its one place, so it
// does not push out another.
TEST(RememberedPaths, FullMemoryGivesUpTheOldestPlace)
{
    RememberedPaths paths;
    auto name = [](std::size_t i) { return L"f" + std::to_wstring(i) + L".dfu"; };
    for (std::size_t i = 0; i < RememberedPaths::kCapacity; ++i) paths.Store(name(i), true, kStored + i);
    paths.Store(name(0), false, kStored + 100);
    paths.Store(L"new.dfu", true, kStored + 101);
    EXPECT_EQ(RememberedVerdict::kInvalid, paths.Find(name(0), kStored + 101));
    EXPECT_EQ(RememberedVerdict::kUnknown, paths.Find(name(1), kStored + 101));
    EXPECT_EQ(RememberedVerdict::kValid, paths.Find(name(2), kStored + 101));
    EXPECT_EQ(RememberedVerdict::kValid, paths.Find(L"new.dfu", kStored + 101));
}

}  // namespace
