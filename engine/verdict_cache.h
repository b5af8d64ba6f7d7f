// The engine's recent verdicts, so that a file looked at again unchanged (a hover, then a
// right-click) is not read through a second time. A verdict is found only for the same file
// in the same state; the cache itself takes no lock, its owner serialises the calls.
#pragma once

#include "dfu_reader.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace korvex {

// A file's identity and state as the system reports them; times in the system's 100 ns units.
struct FileState {
    std::uint64_t volume = 0;
    std::uint64_t idLow = 0;
    std::uint64_t idHigh = 0;
    std::uint64_t size = 0;
    std::int64_t lastWrite = 0;
    std::int64_t change = 0;

    bool SameFile(const FileState& other) const
    {
        return volume == other.volume && idLow == other.idLow && idHigh == other.idHigh;
    }
    bool operator==(const FileState& other) const
    {
        return SameFile(other) && size == other.size && lastWrite == other.lastWrite && change == other.change;
    }
};

// File systems stamp changes with a clock that moves in ticks (a few ms, 2 s on FAT): a
// file changed within the tick of its check could change again without its times moving.
// Only a state this much older than the check is remembered.
constexpr std::int64_t kSettleTime = 2 * 10000000;

// True when a verdict on a file in `state`, read starting at `now`, may be remembered: the
// system reports a change time and neither time is within kSettleTime of now.
bool Settled(const FileState& state, std::int64_t now);

class VerdictCache {
public:
    static constexpr std::size_t kCapacity = 32;

    // The verdict stored for exactly this state, if there is one.
    bool Find(const FileState& state, bool& valid, DfuFileInfo& info);
    // Replaces what was stored for the same file; otherwise takes the least recently used place.
    void Store(const FileState& state, bool valid, const DfuFileInfo& info);

private:
    struct Entry {
        FileState state;
        bool valid = false;
        DfuFileInfo info;
        std::uint64_t lastUse = 0;  // 0: the place is free
    };
    std::array<Entry, kCapacity> m_entries;
    std::uint64_t m_uses = 0;
};

}  // namespace korvex
