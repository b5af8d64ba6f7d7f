#include "verdict_cache.h"

namespace korvex {

bool Settled(const FileState& state, std::int64_t now)
{
    return state.change != 0 && state.change <= now - kSettleTime && state.lastWrite <= now - kSettleTime;
}

bool VerdictCache::Find(const FileState& state, bool& valid, DfuFileInfo& info)
{
    for (Entry& entry : m_entries) {
        if (entry.lastUse == 0 || !(entry.state == state)) continue;
        entry.lastUse = ++m_uses;
        valid = entry.valid;
        info = entry.info;
        return true;
    }
    return false;
}

void VerdictCache::Store(const FileState& state, bool valid, const DfuFileInfo& info)
{
    Entry* place = &m_entries[0];
    for (Entry& entry : m_entries) {
        if (entry.lastUse != 0 && entry.state.SameFile(state)) {
            place = &entry;
            break;
        }
        if (entry.lastUse < place->lastUse) place = &entry;
    }
    place->state = state;
    place->valid = valid;
    place->info = info;
    place->lastUse = ++m_uses;
}

}  // namespace korvex
