// The engine's whole-file layout read on its own, as the property and preview handlers have
// it read: what their own figures are taken beside.
#pragma once

#include <string>

#include "KorvexLayout.h"
#include "win_bench_support.h"

namespace orrelin::bench {

inline double EngineLayout(const std::wstring& path)
{
    KorvexDfuLayout* layout = nullptr;
    const double start = Seconds();
    const int result = KorvexReadDfuLayout(path.c_str(), &layout);
    KorvexFreeDfuLayout(layout);
    const double seconds = Seconds() - start;
    if (result != KORVEX_OK) Fail("%s: the engine reads no layout", Narrow(path).c_str());
    return seconds;
}

}  // namespace orrelin::bench
