// A stand-in for the system's answer to "what are this file's attributes", for the tests of
// the engine and of the handlers that ask it: the systems the tests run on cannot give a
// file the attributes of a cloud placeholder.
#pragma once

#include <cstdint>
#include <string>

#include "KorvexLayout.h"

namespace orrelin::test {

// FILE_ATTRIBUTE_* as Windows defines them, so the rows read the same on every system.
constexpr std::uint32_t kReadOnly = 0x1;
constexpr std::uint32_t kHidden = 0x2;
constexpr std::uint32_t kArchive = 0x20;
constexpr std::uint32_t kNormal = 0x80;
constexpr std::uint32_t kOffline = 0x1000;
constexpr std::uint32_t kRecallOnOpen = 0x40000;
constexpr std::uint32_t kPinned = 0x80000;
constexpr std::uint32_t kUnpinned = 0x100000;
constexpr std::uint32_t kRecallOnDataAccess = 0x400000;

struct PresenceRow {
    const char* name;
    std::uint32_t attributes;
    bool here;  // the file's data is on this device
};

// What cloud providers set: each of the three marks alone and beside others means the data
// is elsewhere; pinning and unpinning alone say nothing about where it is now.
inline const PresenceRow kPresenceRows[] = {
    {"Offline", kOffline, false},
    {"RecallOnOpen", kRecallOnOpen, false},
    {"RecallOnDataAccess", kRecallOnDataAccess, false},
    {"PinnedButNotYetHere", kArchive | kPinned | kRecallOnDataAccess, false},
    {"ReadOnlyOffline", kReadOnly | kOffline, false},
    {"Normal", kNormal, true},
    {"ArchiveReadOnlyHidden", kArchive | kReadOnly | kHidden, true},
    {"KeptHere", kArchive | kPinned, true},
    {"MayBeFreedLater", kArchive | kUnpinned, true},
    {"NoAttributesAnswered", 0, true},
};

template <typename Row>
std::string RowName(const Row& row)
{
    return row.param.name;
}

// While it lives, the engine's attribute query answers `attributes` for every path and
// counts the questions. `replace` is the engine's own replacing call (in the library, or
// exported by Korvex.dll).
template <typename Char>
class FakeAttributes {
public:
    using Query = std::uint32_t(KORVEX_CALL*)(const Char*);
    using Replace = Query (*)(Query);

    FakeAttributes(Replace replace, std::uint32_t attributes) : m_replace(replace)
    {
        s_attributes = attributes;
        s_queries = 0;
        s_lastPath.clear();
        m_previous = m_replace(&Answer);
    }
    ~FakeAttributes() { m_replace(m_previous); }
    FakeAttributes(const FakeAttributes&) = delete;
    FakeAttributes& operator=(const FakeAttributes&) = delete;

    static int Queries() { return s_queries; }
    static const std::basic_string<Char>& LastPath() { return s_lastPath; }

private:
    static std::uint32_t KORVEX_CALL Answer(const Char* path)
    {
        ++s_queries;
        s_lastPath = path;
        return s_attributes;
    }

    inline static std::uint32_t s_attributes = 0;
    inline static int s_queries = 0;
    inline static std::basic_string<Char> s_lastPath;
    Replace m_replace;
    Query m_previous = nullptr;
};

}  // namespace orrelin::test
