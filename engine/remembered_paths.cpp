#include "remembered_paths.h"

namespace korvex {

RememberedVerdict RememberedPaths::Find(const std::wstring& path, std::uint64_t now) const
{
    for (const Entry& entry : m_entries) {
        if (!entry.used || entry.path != path) continue;
        // A clock that went back (another machine's time, a wrapped counter) proves nothing.
        if (now < entry.stored || now - entry.stored >= kLifetime) return RememberedVerdict::kUnknown;
        return entry.valid ? RememberedVerdict::kValid : RememberedVerdict::kInvalid;
    }
    return RememberedVerdict::kUnknown;
}

void RememberedPaths::Store(const std::wstring& path, bool valid, std::uint64_t now)
{
    Entry* place = &m_entries[0];
    for (Entry& entry : m_entries) {
        if (entry.used && entry.path == path) {
            place = &entry;
            break;
        }
        if (!entry.used) {
            if (place->used) place = &entry;
        } else if (place->used && entry.stored < place->stored) {
            place = &entry;
        }
    }
    place->path = path;  // a copy that fails throws before anything is marked stored
    place->valid = valid;
    place->used = true;
    place->stored = now;
}

void RememberedPaths::Forget(const std::wstring& path)
{
    for (Entry& entry : m_entries) {
        if (entry.used && entry.path == path) entry.used = false;
    }
}

}  // namespace korvex
