// How a pass over a file of a window or more reads it: into the buffer, or in place through
// mapped views. Which is faster depends on the machine (what a page-table entry costs, how
// the system faults a mapped file in), so the process measures it on the first files long
// enough and keeps the faster way. One trial can mislead: on a file not yet in the cache the
// disk sets both ways' pace (a machine where views are three times faster measured the
// buffer faster then). So the way chosen is the first to win two trials, each on another
// file. Nothing is stored: the next process measures again.
#pragma once

#include <cstdint>
#include <optional>

namespace korvex {

enum class ReadWay { kRead, kMap };

const char* ReadWayName(ReadWay way);

// The windows the measuring pass times, taken in turn one way and the other, starting with
// reads. A file shorter than these is read until the choice is made.
constexpr unsigned kTrialWindows = 4;

// The way this process uses: the forced one, else the measured one, else none yet.
std::optional<ReadWay> ChosenReadWay();

// For tests and benchmarks: every later pass reads the forced way; without one, the way the
// process measured (or will measure) again.
void ForceReadWay(std::optional<ReadWay> way);
// For tests: the process forgets what it measured and measures again on its next file long
// enough.
void ForgetReadWay();

// How many trials have run since the process started or last forgot.
unsigned ReadWayMeasurements();

// What a pass over windows does: one way throughout, or a trial (this pass alone, among all
// the process's threads, times its first kTrialWindows windows and then reports).
struct WindowPlan {
    ReadWay way = ReadWay::kRead;
    bool measure = false;
};
WindowPlan PlanWindows(std::uint64_t windows);

// The trial's finding: the faster way; the way that wins its second trial is chosen. Without
// a finding (the pass ended early) nothing counts, and another pass measures.
void SettleReadWay(std::optional<ReadWay> faster);

}  // namespace korvex
