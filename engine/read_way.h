// How a pass over a file of a window or more reads it: into the buffer, or in place through
// mapped views. Which is faster depends on the machine (what a page-table entry costs, how
// the system faults a mapped file in), so the process measures it once, on the first file
// long enough, and keeps the faster way. Nothing is stored: the next process measures again.
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

// How many passes have measured since the process started or last forgot.
unsigned ReadWayMeasurements();

// What a pass over windows does: one way throughout, or measure (this pass alone, among all
// the process's threads, times its first kTrialWindows windows and then settles the choice).
struct WindowPlan {
    ReadWay way = ReadWay::kRead;
    bool measure = false;
};
WindowPlan PlanWindows(std::uint64_t windows);

// The measuring pass's findings: the seconds each way took over the same number of bytes.
// Without findings (the pass ended early) the choice stays open for another pass.
void SettleReadWay(std::optional<ReadWay> faster);

}  // namespace korvex
