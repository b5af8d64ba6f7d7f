#include "file_presence.h"

#include <atomic>

#if defined(_WIN32)
#  include "long_paths.h"
#endif

namespace korvex {
namespace {

std::atomic<AttributeQuery> g_query{nullptr};

}  // namespace

std::uint32_t KORVEX_CALL SystemFileAttributes(const PathChar* path)
{
#if defined(_WIN32)
    const DWORD attributes = GetFileAttributesW(PathToOpen(path).c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ? 0 : attributes;
#else
    (void)path;
    return 0;
#endif
}

AttributeQuery ReplaceAttributeQuery(AttributeQuery query) noexcept
{
    const AttributeQuery previous = g_query.exchange(query);
    return previous != nullptr ? previous : &SystemFileAttributes;
}

bool NotOnThisDevice(const PathChar* path)
{
    if (path == nullptr || *path == 0) return false;
    const AttributeQuery query = g_query.load();
    const std::uint32_t attributes = (query != nullptr ? query : &SystemFileAttributes)(path);
    return (attributes & kNotOnThisDeviceAttributes) != 0;
}

}  // namespace korvex
