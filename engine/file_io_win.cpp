#include "file_io.h"

#include "partial_files.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace korvex {
namespace {

constexpr std::size_t kOutputBuffer = 1 << 20;

HANDLE AsHandle(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

std::string SystemText(DWORD error)
{
    wchar_t text[256] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                        text, static_cast<DWORD>(sizeof text / sizeof text[0]), nullptr);
    std::string message = length > 0 ? PathText(text) : "system error " + std::to_string(error);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message;
}

[[noreturn]] void ThrowSystem(const Path& path, DWORD error, const char* doing)
{
    throw DfuError(DfuError::Kind::kIo, PathText(path) + ": " + doing + ": " + SystemText(error));
}

bool WriteAll(HANDLE file, const unsigned char* bytes, std::size_t count)
{
    while (count > 0) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
        DWORD done = 0;
        if (!WriteFile(file, bytes, piece, &done, nullptr)) return false;
        if (done == 0) {
            SetLastError(ERROR_DISK_FULL);
            return false;
        }
        bytes += done;
        count -= done;
    }
    return true;
}

bool ReadAllAt(HANDLE file, std::uint64_t offset, void* buffer, std::size_t count)
{
    auto* out = static_cast<unsigned char*>(buffer);
    while (count > 0) {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD done = 0;
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
        if (!ReadFile(file, out, piece, &done, &at)) return false;
        if (done == 0) {
            SetLastError(ERROR_HANDLE_EOF);  // the file ended before its size: it shrank
            return false;
        }
        out += done;
        offset += done;
        count -= done;
    }
    return true;
}

// A new file beside path, named for it, that no other process has opened.
HANDLE CreateBeside(const Path& path, Path& temporary, DWORD flags)
{
    static LONG counter = 0;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        temporary = path + L".tmp-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                    std::to_wstring(InterlockedIncrement(&counter));
        const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL | flags, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    ThrowSystem(path, GetLastError(), "cannot create a file beside it");
}

BOOL WINAPI OnInterrupt(DWORD)
{
    for (auto& slot : partial_files::g_slots) {
        const PathChar* path = slot.load();
        if (path != nullptr) DeleteFileW(path);
    }
    ExitProcess(2);
}

}  // namespace

InputFile::InputFile(const Path& path) : m_path(path)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) ThrowSystem(path, GetLastError(), "cannot open");
    m_handle = reinterpret_cast<std::intptr_t>(file);
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(file, &info)) ThrowSystem(path, GetLastError(), "cannot read its status");
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ThrowSystem(path, ERROR_DIRECTORY, "cannot read");
    m_size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    m_identity[0] = info.dwVolumeSerialNumber;
    m_identity[1] = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
}

InputFile::~InputFile()
{
    if (m_handle != -1) CloseHandle(AsHandle(m_handle));
}

bool InputFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t count)
{
    if (ReadAllAt(AsHandle(m_handle), offset, buffer, count)) {
        if (m_observer != nullptr) m_observer->Moved(count);
        return true;
    }
    m_error = GetLastError();
    return false;
}

void InputFile::Read(std::uint64_t offset, void* buffer, std::size_t count)
{
    if (!ReadAt(offset, buffer, count)) ThrowSystem(m_path, m_error, "cannot read");
}

bool InputFile::IsSameFile(const Path& path) const
{
    const HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info = {};
    const bool same = GetFileInformationByHandle(file, &info) && info.dwVolumeSerialNumber == m_identity[0] &&
                      ((std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow) == m_identity[1];
    CloseHandle(file);
    return same;
}

AtomicOutput::AtomicOutput(const Path& path, bool replace) : m_path(path), m_replace(replace)
{
    if (!replace && PathExists(path)) ThrowUsage(PathText(path) + ": exists; give --force to replace it");
    m_handle = reinterpret_cast<std::intptr_t>(CreateBeside(path, m_temporary, 0));
    partial_files::Add(m_temporary.c_str());
    m_buffer.resize(kOutputBuffer);
}

AtomicOutput::~AtomicOutput()
{
    Discard();
}

void AtomicOutput::Discard()
{
    if (m_handle != -1) {
        CloseHandle(AsHandle(m_handle));
        m_handle = -1;
    }
    if (!m_committed && !m_temporary.empty()) {
        DeleteFileW(m_temporary.c_str());
        partial_files::Remove(m_temporary.c_str());
        m_temporary.clear();
    }
}

void AtomicOutput::Write(const void* bytes, std::size_t count)
{
    const auto* in = static_cast<const unsigned char*>(bytes);
    m_written += count;
    if (m_buffered + count > m_buffer.size()) {
        Flush();
        if (count >= m_buffer.size()) {
            if (!WriteAll(AsHandle(m_handle), in, count)) ThrowSystem(m_path, GetLastError(), "cannot write");
            return;
        }
    }
    std::memcpy(m_buffer.data() + m_buffered, in, count);
    m_buffered += count;
}

void AtomicOutput::Flush()
{
    if (m_buffered == 0) return;
    if (!WriteAll(AsHandle(m_handle), m_buffer.data(), m_buffered)) ThrowSystem(m_path, GetLastError(), "cannot write");
    m_buffered = 0;
}

void AtomicOutput::Close()
{
    if (m_handle == -1) return;
    Flush();
    const HANDLE file = AsHandle(m_handle);
    // The bytes reach the disk before the name does, so a crash leaves the earlier file.
    if (!FlushFileBuffers(file)) ThrowSystem(m_path, GetLastError(), "cannot write");
    m_handle = -1;
    CloseHandle(file);
    std::vector<unsigned char>().swap(m_buffer);
}

void AtomicOutput::Commit()
{
    Close();
    // Without MOVEFILE_REPLACE_EXISTING the move fails where the name appeared meanwhile.
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (m_replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!MoveFileExW(m_temporary.c_str(), m_path.c_str(), flags)) {
        const DWORD error = GetLastError();
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
            ThrowUsage(PathText(m_path) + ": exists; give --force to replace it");
        ThrowSystem(m_path, error, "cannot put in place");
    }
    partial_files::Remove(m_temporary.c_str());
    m_committed = true;
}

void AtomicOutput::Retract()
{
    if (m_committed) DeleteFileW(m_path.c_str());
}

ScratchFile::ScratchFile(const Path& besidePath)
{
    // The system removes it when the handle closes, however the process ends.
    m_handle = reinterpret_cast<std::intptr_t>(
        CreateBeside(besidePath + L".scratch", m_path, FILE_FLAG_DELETE_ON_CLOSE | FILE_ATTRIBUTE_TEMPORARY));
    m_buffer.resize(kOutputBuffer);
}

ScratchFile::~ScratchFile()
{
    if (m_handle != -1) CloseHandle(AsHandle(m_handle));
}

void ScratchFile::Write(const void* bytes, std::size_t count)
{
    const auto* in = static_cast<const unsigned char*>(bytes);
    while (count > 0) {
        if (m_buffered == m_buffer.size()) Flush();
        const std::size_t take = std::min(count, m_buffer.size() - m_buffered);
        std::memcpy(m_buffer.data() + m_buffered, in, take);
        m_buffered += take;
        m_size += take;
        in += take;
        count -= take;
    }
}

void ScratchFile::Flush()
{
    if (m_buffered == 0) return;
    // Appended at the end, whatever reads moved the file pointer to.
    OVERLAPPED at = {};
    const std::uint64_t offset = m_size - m_buffered;
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD done = 0;
    if (!WriteFile(AsHandle(m_handle), m_buffer.data(), static_cast<DWORD>(m_buffered), &done, &at) ||
        done != m_buffered)
        ThrowSystem(m_path, GetLastError(), "cannot write decoded data");
    m_buffered = 0;
}

bool ScratchFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t count)
{
    Flush();
    return ReadAllAt(AsHandle(m_handle), offset, buffer, count);
}

bool PathExists(const Path& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemovePartialFilesOnInterrupt()
{
    SetConsoleCtrlHandler(OnInterrupt, TRUE);
}

}  // namespace korvex
