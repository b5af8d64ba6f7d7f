#include "read_way.h"

#include <atomic>

namespace korvex {
namespace {

// Undecided until a pass claims the measurement; reads meanwhile, which are never much
// slower than the system's own read.
enum State : int { kUndecided, kMeasuring, kChoseRead, kChoseMap };

std::atomic<int> g_state{kUndecided};
std::atomic<int> g_forced{kUndecided};
std::atomic<unsigned> g_measurements{0};
// Trials won by each way; written only by the pass holding the trial.
std::atomic<unsigned> g_wins[2];

std::optional<ReadWay> WayOf(int state)
{
    if (state == kChoseRead) return ReadWay::kRead;
    if (state == kChoseMap) return ReadWay::kMap;
    return std::nullopt;
}

int StateOf(ReadWay way)
{
    return way == ReadWay::kMap ? kChoseMap : kChoseRead;
}

}  // namespace

const char* ReadWayName(ReadWay way)
{
    return way == ReadWay::kMap ? "mapped views" : "buffer";
}

std::optional<ReadWay> ChosenReadWay()
{
    if (auto forced = WayOf(g_forced.load())) return forced;
    return WayOf(g_state.load());
}

void ForceReadWay(std::optional<ReadWay> way)
{
    g_forced.store(way ? StateOf(*way) : kUndecided);
}

void ForgetReadWay()
{
    g_state.store(kUndecided);
    g_measurements.store(0);
    for (std::atomic<unsigned>& wins : g_wins) wins.store(0);
}

unsigned ReadWayMeasurements()
{
    return g_measurements.load();
}

WindowPlan PlanWindows(std::uint64_t windows)
{
    if (auto way = ChosenReadWay()) return {*way, false};
    int expected = kUndecided;
    if (windows >= kTrialWindows && g_state.compare_exchange_strong(expected, kMeasuring)) {
        g_measurements.fetch_add(1);
        return {ReadWay::kRead, true};
    }
    return {ReadWay::kRead, false};
}

void SettleReadWay(std::optional<ReadWay> faster)
{
    if (!faster) {
        g_state.store(kUndecided);
        return;
    }
    const unsigned wins = g_wins[*faster == ReadWay::kMap].fetch_add(1) + 1;
    g_state.store(wins >= 2 ? StateOf(*faster) : kUndecided);
}

}  // namespace korvex
