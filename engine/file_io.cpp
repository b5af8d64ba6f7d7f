#include "file_io.h"

#include "partial_files.h"

namespace korvex {

void ThrowInvalid(const std::string& message)
{
    throw DfuError(DfuError::Kind::kInvalid, message);
}

void ThrowUsage(const std::string& message)
{
    throw DfuError(DfuError::Kind::kUsage, message);
}

std::string PathText(const Path& path)
{
#if defined(_WIN32)
    std::string out;
    for (std::size_t i = 0; i < path.size(); ++i) {
        std::uint32_t code = static_cast<std::uint16_t>(path[i]);
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < path.size() && path[i + 1] >= 0xDC00 && path[i + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<std::uint32_t>(path[i + 1]) - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code < 0xE000) {
            code = 0xFFFD;
        }
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
#else
    return path;
#endif
}

Path PathFromText(const std::string& text)
{
#if defined(_WIN32)
    Path out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int extra = lead < 0x80 ? 0 : (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : 0;
        std::uint32_t code = extra == 0 ? lead : extra == 1 ? lead & 0x1F : extra == 2 ? lead & 0x0F : lead & 0x07;
        for (int k = 1; k <= extra && i + k < text.size(); ++k)
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        i += static_cast<std::size_t>(extra) + 1;
        if (code >= 0x10000) {
            out += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
            out += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out += static_cast<wchar_t>(code);
        }
    }
    return out;
#else
    return text;
#endif
}

namespace {

bool IsSeparator(PathChar c)
{
#if defined(_WIN32)
    return c == L'\\' || c == L'/' || c == L':';
#else
    return c == '/';
#endif
}

}  // namespace

Path FolderOf(const Path& path)
{
    std::size_t end = path.size();
    while (end > 0 && !IsSeparator(path[end - 1])) --end;
    return path.substr(0, end);
}

Path StemOf(const Path& path)
{
    const Path name = path.substr(FolderOf(path).size());
    const std::size_t dot = name.find_last_of(PathChar('.'));
    return dot == Path::npos || dot == 0 ? name : name.substr(0, dot);
}

namespace partial_files {

std::atomic<const PathChar*> g_slots[kSlots];

void Add(const PathChar* path)
{
    for (auto& slot : g_slots) {
        const PathChar* empty = nullptr;
        if (slot.compare_exchange_strong(empty, path)) return;
    }
}

void Remove(const PathChar* path)
{
    for (auto& slot : g_slots) {
        const PathChar* expected = path;
        if (slot.compare_exchange_strong(expected, nullptr)) return;
    }
}

}  // namespace partial_files

}  // namespace korvex
