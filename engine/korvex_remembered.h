// The process's memory of the engine's latest verdict per path (remembered_paths.h), shared
// by every thread that asks.
#pragma once

namespace korvex {

// Both may be called from any thread; neither throws (a verdict that cannot be stored is
// simply not remembered).
void RememberPathVerdict(const wchar_t* path, bool valid) noexcept;
void ForgetPathVerdict(const wchar_t* path) noexcept;

}  // namespace korvex
