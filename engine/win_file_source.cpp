#include "win_file_source.h"

#include "file_presence.h"
#include "guarded_view.h"
#include "long_paths.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <utility>
#include <vector>

namespace korvex {
namespace {

// FileIdInfo and its answer, which the headers declare for Windows 8 and later only; the
// engine runs on 7 too, where the call fails and the 64-bit file index stands in.
constexpr FILE_INFO_BY_HANDLE_CLASS kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);
struct FileIdAnswer {
    ULONGLONG volumeSerialNumber;
    BYTE fileId[16];
};

}  // namespace

bool WinFileSource::Open(const wchar_t* path)
{
    if (m_file || path == nullptr || *path == L'\0') {
        m_error = ERROR_INVALID_PARAMETER;
        return false;
    }
    if (korvex::NotOnThisDevice(path)) {
        m_notOnThisDevice = true;
        m_error = 0;
        return false;
    }
    orrelin::UniqueFileHandle file(
        CreateFileW(PathToOpen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        m_error = GetLastError();
        return false;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) {
        m_error = GetLastError();
        return false;
    }
    m_file = std::move(file);
    m_size = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

bool WinFileSource::QueryState(FileState& state) const
{
    FileState read;
    FileIdAnswer id;
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandleEx(m_file.get(), kFileIdInfo, &id, sizeof id)) {
        read.volume = id.volumeSerialNumber;
        std::memcpy(&read.idLow, id.fileId, 8);
        std::memcpy(&read.idHigh, id.fileId + 8, 8);
    } else if (GetFileInformationByHandle(m_file.get(), &information)) {
        read.volume = information.dwVolumeSerialNumber;
        read.idLow = (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
    } else {
        return false;
    }
    // No change time (a system that does not keep one answers 0) leaves the state
    // unsettled, so nothing is remembered for it.
    FILE_BASIC_INFO times;
    if (GetFileInformationByHandleEx(m_file.get(), FileBasicInfo, &times, sizeof times)) {
        read.lastWrite = times.LastWriteTime.QuadPart;
        read.change = times.ChangeTime.QuadPart;
    }
    read.size = m_size;
    state = read;
    return true;
}

std::uint64_t WinFileSource::Size() const
{
    return m_size;
}

bool WinFileSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t count)
{
    // The read goes from this handle's own file pointer, which no other handle shares, moved
    // to the offset first (64 bits, so past 4 GiB in the 32-bit build too). A read that
    // carries its offset in an OVERLAPPED instead costs Wine a request to its server per
    // call (about 70 us), which made a 512 MiB check take four times as long as reading it.
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (at.QuadPart < 0 || !SetFilePointerEx(m_file.get(), at, nullptr, FILE_BEGIN)) {
        m_error = GetLastError();
        return false;
    }
    auto* out = static_cast<unsigned char*>(buffer);
    while (count > 0) {
        const DWORD wanted = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
        DWORD got = 0;
        if (!ReadFile(m_file.get(), out, wanted, &got, nullptr)) {
            m_error = GetLastError();
            return false;
        }
        if (got == 0) {
            m_error = ERROR_HANDLE_EOF;  // the file became shorter than its size said
            return false;
        }
        out += got;
        count -= got;
    }
    return true;
}

namespace {

// One pass's views: the fault guard, the mapping and the view of the window being read.
class WinViews final : public ByteSource::Views {
public:
    explicit WinViews(HANDLE mapping) : m_mapping(mapping) {}

    bool Guarded() const { return m_guard.Active(); }

    ByteSource::ViewPass Window(std::uint64_t offset, std::size_t count, ByteSink& sink) override
    {
        if (!m_view.Map(m_mapping.get(), offset, count)) return ByteSource::ViewPass::kNotMapped;
        sink.Take(offset, m_view.Bytes(), count);
        return m_view.Faulted() ? ByteSource::ViewPass::kFaulted : ByteSource::ViewPass::kDone;
    }

private:
    const ViewGuardScope m_guard;
    const orrelin::UniqueHandle m_mapping;
    GuardedView m_view;
};

}  // namespace

std::unique_ptr<ByteSource::Views> WinFileSource::OpenViews()
{
    // The mapping ends where the file ends now: a file cut short since it was opened maps
    // no view past its new end.
    HANDLE mapping = CreateFileMappingW(m_file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr) return nullptr;
    auto views = std::make_unique<WinViews>(mapping);
    if (!views->Guarded()) return nullptr;
    return views;
}

}  // namespace korvex
