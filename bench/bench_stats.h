// Figures of repeated runs for the benchmark tables: medians and the text of sizes, times
// and rates. Shared by the native and the Windows benchmarks.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace orrelin::bench {

// The median rather than the mean: a run disturbed by the machine's other work moves it
// little.
inline double Median(std::vector<double> values)
{
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

// The spread of the middle half of the values: what a difference smaller than this says is
// noise.
inline double InterquartileRange(std::vector<double> values)
{
    if (values.size() < 4) return 0.0;
    std::sort(values.begin(), values.end());
    return values[values.size() * 3 / 4] - values[values.size() / 4];
}

inline std::string Fixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// Milliseconds with three significant decimals at most, so 0.012 and 812 both read well.
inline std::string Milliseconds(double seconds)
{
    const double ms = seconds * 1e3;
    const double size = ms < 0.0 ? -ms : ms;
    return Fixed(ms, size < 1.0 ? 3 : size < 100.0 ? 2 : 0);
}

// Decimal megabytes per second.
inline std::string MegabytesPerSecond(std::uint64_t bytes, double seconds)
{
    return seconds > 0.0 ? Fixed(static_cast<double>(bytes) / seconds / 1e6, 0) : "-";
}

inline std::string Ratio(double value)
{
    return Fixed(value, value < 10.0 ? 2 : 1);
}

inline std::string SizeText(std::uint64_t bytes)
{
    if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
    if (bytes >= (1u << 10) && bytes % (1u << 10) == 0) return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " B";
}

// How many times to repeat a run over a file of this size: enough for a steady median
// without letting the largest files take minutes.
inline int RunsForSize(std::uint64_t bytes)
{
    if (bytes <= (1u << 20)) return 31;
    if (bytes <= (64u << 20)) return 11;
    return 7;
}

}  // namespace orrelin::bench
