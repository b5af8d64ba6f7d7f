// The engine's memory of its verdicts: found only for the same file in the same state,
// one place per file, the least recently used place given up first, and only settled
// states remembered.
#include "verdict_cache.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

using korvex::FileState;

FileState State(std::uint64_t file)
{
    FileState state;
    state.volume = 0x1234;
    state.idLow = file;
    state.size = 4096;
    state.lastWrite = 1000;
    state.change = 2000;
    return state;
}

korvex::DfuFileInfo Info(const char* comment, std::uint16_t vendor)
{
    korvex::DfuFileInfo info;
    info.comment = comment;
    info.vendor = vendor;
    return info;
}

struct Change {
    const char* label;
    void (*apply)(FileState&);
};

class VerdictCacheChange : public testing::TestWithParam<Change> {};

TEST_P(VerdictCacheChange, FindsNothingForAnotherState)
{
    korvex::VerdictCache cache;
    cache.Store(State(7), true, Info("target", 0x0483));
    FileState changed = State(7);
    GetParam().apply(changed);
    bool valid = false;
    korvex::DfuFileInfo info;
    EXPECT_FALSE(cache.Find(changed, valid, info));
    EXPECT_TRUE(cache.Find(State(7), valid, info));
}

INSTANTIATE_TEST_SUITE_P(Fields, VerdictCacheChange,
                         testing::Values(Change{"Volume", [](FileState& s) { s.volume ^= 1; }},
                                         Change{"IdLow", [](FileState& s) { s.idLow ^= 1; }},
                                         Change{"IdHigh", [](FileState& s) { s.idHigh ^= 1; }},
                                         Change{"Size", [](FileState& s) { s.size += 1; }},
                                         Change{"LastWrite", [](FileState& s) { s.lastWrite += 1; }},
                                         Change{"ChangeTime", [](FileState& s) { s.change += 1; }}),
                         [](const testing::TestParamInfo<Change>& row) { return std::string(row.param.label); });

TEST(VerdictCache, AnswersWhatWasStored)
{
    korvex::VerdictCache cache;
    cache.Store(State(1), true, Info("first", 1));
    cache.Store(State(2), false, Info("", 2));
    bool valid = false;
    korvex::DfuFileInfo info;
    ASSERT_TRUE(cache.Find(State(1), valid, info));
    EXPECT_TRUE(valid);
    EXPECT_EQ("first", info.comment);
    EXPECT_EQ(1, info.vendor);
    ASSERT_TRUE(cache.Find(State(2), valid, info));
    EXPECT_FALSE(valid);
}

TEST(VerdictCache, KeepsOnePlacePerFile)
{
    korvex::VerdictCache cache;
    for (std::int64_t round = 0; round < 100; ++round) {
        FileState state = State(1);
        state.change += round;
        cache.Store(state, true, Info("rewritten", 1));
    }
    // Had each state of file 1 taken a place, these would have pushed out file 2.
    cache.Store(State(2), true, Info("other", 2));
    for (std::int64_t round = 0; round < 100; ++round) {
        FileState state = State(1);
        state.change += 1000 + round;
        cache.Store(state, true, Info("rewritten", 1));
    }
    bool valid = false;
    korvex::DfuFileInfo info;
    EXPECT_TRUE(cache.Find(State(2), valid, info));
    EXPECT_FALSE(cache.Find(State(1), valid, info));
}

TEST(VerdictCache, GivesUpTheLeastRecentlyUsedPlace)
{
    korvex::VerdictCache cache;
    const std::uint64_t capacity = korvex::VerdictCache::kCapacity;
    for (std::uint64_t file = 0; file < capacity; ++file) cache.Store(State(file), true, Info("", 0));
    bool valid = false;
    korvex::DfuFileInfo info;
    ASSERT_TRUE(cache.Find(State(0), valid, info));  // file 0 is now the most recently used
    cache.Store(State(capacity), true, Info("", 0));
    EXPECT_TRUE(cache.Find(State(0), valid, info));
    EXPECT_FALSE(cache.Find(State(1), valid, info));
    for (std::uint64_t file = 2; file <= capacity; ++file) EXPECT_TRUE(cache.Find(State(file), valid, info)) << file;
}

TEST(VerdictCache, RemembersOnlySettledStates)
{
    const std::int64_t now = 100 * korvex::kSettleTime;
    FileState state = State(1);
    state.lastWrite = now - korvex::kSettleTime;
    state.change = now - korvex::kSettleTime;
    EXPECT_TRUE(korvex::Settled(state, now));
    EXPECT_FALSE(korvex::Settled(state, now - 1));
    state.lastWrite = now;  // set forward: not settled whatever the change time
    EXPECT_FALSE(korvex::Settled(state, now));
    state.lastWrite = 1;
    state.change = 0;  // the system keeps no change time
    EXPECT_FALSE(korvex::Settled(state, now));
}

}  // namespace
