// A file opened for reading while others are denied writing, so what is read about it stays
// true while it is open; with its status and its display title.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "handles.h"

namespace orrelin {

struct FileStatus {
    std::uint64_t length = 0;
    __time64_t modified = 0;  // last write, seconds since 1970-01-01 UTC; 0 when unknown
};

// Seconds since 1970 (UTC) for a FILETIME; 0 for a zero FILETIME.
__time64_t TimeFromFileTime(const FILETIME& time) noexcept;

class SharedReadFile {
public:
    SharedReadFile() = default;

    // Opens `path` for reading with FILE_SHARE_READ only: fails while another handle has
    // write access. The file closes when this object ends or on Close.
    bool Open(const std::wstring& path);
    void Close() noexcept { m_handle.reset(); }

    bool GetStatus(FileStatus& status) const;

    // The display name without folder; whether the extension is shown follows the user's
    // setting for known file types (GetFileTitleW).
    std::wstring GetFileTitle() const;

private:
    UniqueFileHandle m_handle;
    std::wstring m_path;
};

// Whether `path` names an existing entry of the file system, with its status when it does.
bool GetPathStatus(const std::wstring& path, FileStatus& status);

// The display title of `path` as GetFileTitleW gives it; the last path component when that
// call cannot answer.
std::wstring FileTitleOf(const std::wstring& path);

}  // namespace orrelin
