#include "shared_read_file.h"

#include <commdlg.h>

#include <vector>

#include "path.h"

namespace orrelin {

__time64_t TimeFromFileTime(const FILETIME& time) noexcept
{
    const std::uint64_t ticks = (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    if (ticks == 0) return 0;
    constexpr std::uint64_t kTicksPerSecond = 10000000ull;
    constexpr std::int64_t kEpochDifference = 11644473600ll;  // 1601-01-01 to 1970-01-01
    return static_cast<__time64_t>(static_cast<std::int64_t>(ticks / kTicksPerSecond) - kEpochDifference);
}

bool SharedReadFile::Open(const std::wstring& path)
{
    Close();
    m_handle.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_handle) return false;
    m_path = path;
    return true;
}

bool SharedReadFile::GetStatus(FileStatus& status) const
{
    // The two things asked and no more: GetFileInformationByHandle also asks the volume for
    // its serial number, which Wine answers through its mount manager, a request to another
    // process on every info tip.
    LARGE_INTEGER size;
    FILETIME written;
    if (!m_handle || !GetFileSizeEx(m_handle.get(), &size) || !GetFileTime(m_handle.get(), nullptr, nullptr, &written))
        return false;
    status.length = static_cast<std::uint64_t>(size.QuadPart);
    status.modified = TimeFromFileTime(written);
    return true;
}

std::wstring SharedReadFile::GetFileTitle() const
{
    return FileTitleOf(m_path);
}

bool GetPathStatus(const std::wstring& path, FileStatus& status)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    status.length = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    status.modified = TimeFromFileTime(data.ftLastWriteTime);
    return true;
}

std::wstring FileTitleOf(const std::wstring& path)
{
    // GetFileTitleW answers the size it needs when the buffer is too small.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const short result = ::GetFileTitleW(path.c_str(), buffer.data(), static_cast<WORD>(buffer.size()));
        if (result == 0) return std::wstring(buffer.data());
        if (result < 0) break;
        buffer.assign(static_cast<size_t>(result) + 1, L'\0');
    }
    return SplitPath(path).leaf;
}

}  // namespace orrelin
