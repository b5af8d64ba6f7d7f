#include "file_io.h"

#include "partial_files.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace korvex {
namespace {

constexpr std::size_t kOutputBuffer = 1 << 20;

[[noreturn]] void ThrowSystem(const Path& path, int error, const char* doing)
{
    throw DfuError(DfuError::Kind::kIo, PathText(path) + ": " + doing + ": " + std::strerror(error));
}

bool WriteAll(int file, const unsigned char* bytes, std::size_t count)
{
    while (count > 0) {
        const ssize_t done = ::write(file, bytes, count);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) {
            if (done == 0) errno = ENOSPC;
            return false;
        }
        bytes += done;
        count -= static_cast<std::size_t>(done);
    }
    return true;
}

bool ReadAllAt(int file, std::uint64_t offset, void* buffer, std::size_t count)
{
    auto* out = static_cast<unsigned char*>(buffer);
    while (count > 0) {
        const ssize_t done = ::pread(file, out, count, static_cast<off_t>(offset));
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) {
            if (done == 0) errno = EIO;  // the file ended before its size: it shrank
            return false;
        }
        out += done;
        offset += static_cast<std::uint64_t>(done);
        count -= static_cast<std::size_t>(done);
    }
    return true;
}

// A new file beside path, named for it, that no other process has opened.
int CreateBeside(const Path& path, Path& temporary)
{
    temporary = path + ".tmp-XXXXXX";
    const int file = ::mkstemp(&temporary[0]);
    if (file < 0) ThrowSystem(path, errno, "cannot create a file beside it");
    return file;
}

void OnInterrupt(int signal)
{
    for (auto& slot : partial_files::g_slots) {
        const PathChar* path = slot.load();
        if (path != nullptr) ::unlink(path);
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

}  // namespace

InputFile::InputFile(const Path& path) : m_path(path)
{
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) ThrowSystem(path, errno, "cannot open");
    m_handle = file;
    struct stat status = {};
    if (::fstat(file, &status) != 0) ThrowSystem(path, errno, "cannot read its status");
    if (S_ISDIR(status.st_mode)) ThrowSystem(path, EISDIR, "cannot read");
    m_size = static_cast<std::uint64_t>(status.st_size);
    m_identity[0] = static_cast<std::uint64_t>(status.st_dev);
    m_identity[1] = static_cast<std::uint64_t>(status.st_ino);
    ::posix_fadvise(file, 0, 0, POSIX_FADV_SEQUENTIAL);
}

InputFile::~InputFile()
{
    if (m_handle >= 0) ::close(static_cast<int>(m_handle));
}

bool InputFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t count)
{
    if (ReadAllAt(static_cast<int>(m_handle), offset, buffer, count)) {
        if (m_observer != nullptr) m_observer->Moved(count);
        return true;
    }
    m_error = static_cast<std::uint32_t>(errno);
    return false;
}

void InputFile::Read(std::uint64_t offset, void* buffer, std::size_t count)
{
    if (!ReadAt(offset, buffer, count)) ThrowSystem(m_path, static_cast<int>(m_error), "cannot read");
}

bool InputFile::IsSameFile(const Path& path) const
{
    struct stat status = {};
    return ::stat(path.c_str(), &status) == 0 && static_cast<std::uint64_t>(status.st_dev) == m_identity[0] &&
           static_cast<std::uint64_t>(status.st_ino) == m_identity[1];
}

AtomicOutput::AtomicOutput(const Path& path, bool replace) : m_path(path), m_replace(replace)
{
    if (!replace && PathExists(path)) ThrowUsage(PathText(path) + ": exists; give --force to replace it");
    m_handle = CreateBeside(path, m_temporary);
    partial_files::Add(m_temporary.c_str());
    m_buffer.resize(kOutputBuffer);
}

AtomicOutput::~AtomicOutput()
{
    Discard();
}

void AtomicOutput::Discard()
{
    if (m_handle >= 0) {
        ::close(static_cast<int>(m_handle));
        m_handle = -1;
    }
    if (!m_committed && !m_temporary.empty()) {
        ::unlink(m_temporary.c_str());
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
            if (!WriteAll(static_cast<int>(m_handle), in, count)) ThrowSystem(m_path, errno, "cannot write");
            return;
        }
    }
    std::memcpy(m_buffer.data() + m_buffered, in, count);
    m_buffered += count;
}

void AtomicOutput::Flush()
{
    if (m_buffered == 0) return;
    if (!WriteAll(static_cast<int>(m_handle), m_buffer.data(), m_buffered)) ThrowSystem(m_path, errno, "cannot write");
    m_buffered = 0;
}

void AtomicOutput::Close()
{
    if (m_handle < 0) return;
    Flush();
    const int file = static_cast<int>(m_handle);
    // The bytes reach the disk before the name does, so a crash leaves the earlier file.
    if (::fsync(file) != 0) ThrowSystem(m_path, errno, "cannot write");
    m_handle = -1;
    if (::close(file) != 0) ThrowSystem(m_path, errno, "cannot write");
    std::vector<unsigned char>().swap(m_buffer);
}

void AtomicOutput::Commit()
{
    Close();
    if (m_replace) {
        if (::rename(m_temporary.c_str(), m_path.c_str()) != 0) ThrowSystem(m_path, errno, "cannot put in place");
    } else {
        // A link fails where the name appeared in the meantime; rename would replace it.
        if (::link(m_temporary.c_str(), m_path.c_str()) != 0) {
            if (errno == EEXIST) ThrowUsage(PathText(m_path) + ": exists; give --force to replace it");
            if (PathExists(m_path)) ThrowUsage(PathText(m_path) + ": exists; give --force to replace it");
            if (::rename(m_temporary.c_str(), m_path.c_str()) != 0) ThrowSystem(m_path, errno, "cannot put in place");
        } else {
            ::unlink(m_temporary.c_str());
        }
    }
    partial_files::Remove(m_temporary.c_str());
    m_committed = true;
}

void AtomicOutput::Retract()
{
    if (m_committed) ::unlink(m_path.c_str());
}

ScratchFile::ScratchFile(const Path& besidePath)
{
    m_handle = CreateBeside(besidePath + ".scratch", m_path);
    // Removed at once: the open handle keeps its bytes, nothing stays behind on any exit.
    ::unlink(m_path.c_str());
    m_buffer.resize(kOutputBuffer);
}

ScratchFile::~ScratchFile()
{
    if (m_handle >= 0) ::close(static_cast<int>(m_handle));
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
    if (!WriteAll(static_cast<int>(m_handle), m_buffer.data(), m_buffered))
        ThrowSystem(m_path, errno, "cannot write decoded data");
    m_buffered = 0;
}

bool ScratchFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t count)
{
    Flush();
    return ReadAllAt(static_cast<int>(m_handle), offset, buffer, count);
}

bool PathExists(const Path& path)
{
    struct stat status = {};
    return ::lstat(path.c_str(), &status) == 0;
}

void RemovePartialFilesOnInterrupt()
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) ::signal(signal, OnInterrupt);
}

}  // namespace korvex
