// Timing programs natively: the clock, a run of another program with its peak memory, and
// the end of a benchmark that cannot go on. Shared by the native benchmarks.
#pragma once

#include <string>
#include <vector>

namespace orrelin::bench {

// Seconds on the monotonic clock.
double Now();

// Ends the benchmark with status 1: a figure for work that was not done is worse than none.
[[noreturn]] void Fail(const std::string& message);

struct ProcessRun {
    double seconds = 0.0;
    int status = -1;
    long peakKiB = 0;  // the child's peak resident memory (ru_maxrss)
};

// Runs a program with its output thrown away; the time covers the start and the exit, as a
// shell's would.
ProcessRun RunProgram(const std::vector<std::string>& arguments);

}  // namespace orrelin::bench
