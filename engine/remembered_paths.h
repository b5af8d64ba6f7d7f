// The engine's latest verdict per path, for callers that must answer without touching the
// file (a menu asked on the shell's UI thread). Unlike the verdict cache, which is keyed by a
// file's identity and state and so needs the file opened, this is keyed by the path alone:
// it can be out of date, so a verdict is kept only for a short while. The memory takes no
// lock; its owner serialises the calls.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace korvex {

enum class RememberedVerdict { kUnknown, kValid, kInvalid };

class RememberedPaths {
public:
    static constexpr std::size_t kCapacity = 32;
    // A verdict older than this (in ms) is not answered: the file may have changed since.
    static constexpr std::uint64_t kLifetime = 60 * 1000;

    // What was stored for exactly this path within kLifetime before `now` (ms).
    RememberedVerdict Find(const std::wstring& path, std::uint64_t now) const;
    // Replaces what was stored for the path; otherwise takes the oldest place.
    void Store(const std::wstring& path, bool valid, std::uint64_t now);
    // The path's file could not be checked: whatever was stored for it no longer holds.
    void Forget(const std::wstring& path);

private:
    struct Entry {
        std::wstring path;
        bool valid = false;
        bool used = false;
        std::uint64_t stored = 0;
    };
    std::array<Entry, kCapacity> m_entries;
};

}  // namespace korvex
