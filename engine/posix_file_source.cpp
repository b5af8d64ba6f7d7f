#include "posix_file_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace korvex {

PosixFileSource::~PosixFileSource()
{
    if (m_file >= 0) ::close(m_file);
}

bool PosixFileSource::Open(const char* path)
{
    struct stat status;
    m_file = ::open(path, O_RDONLY | O_CLOEXEC);
    if (m_file < 0 || ::fstat(m_file, &status) != 0) {
        m_error = errno;
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        m_error = EISDIR;
        return false;
    }
    m_size = static_cast<std::uint64_t>(status.st_size);
    ::posix_fadvise(m_file, 0, 0, POSIX_FADV_SEQUENTIAL);
    return true;
}

bool PosixFileSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t count)
{
    auto* out = static_cast<unsigned char*>(buffer);
    while (count > 0) {
        const ssize_t got = ::pread(m_file, out, count, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            m_error = got < 0 ? errno : EIO;
            return false;
        }
        out += got;
        offset += static_cast<std::uint64_t>(got);
        count -= static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace korvex
