// A file of a POSIX system as a ByteSource for the .dfu readers: what WinFileSource is on
// Windows, for the native tools and benchmarks.
#pragma once

#include "dfu_reader.h"

namespace korvex {

class PosixFileSource final : public ByteSource {
public:
    PosixFileSource() = default;
    ~PosixFileSource() override;
    PosixFileSource(const PosixFileSource&) = delete;
    PosixFileSource& operator=(const PosixFileSource&) = delete;

    // Opens path for reading, for a sequential scan as the engine does on Windows; false
    // (with LastError set) for a file that cannot be opened, or a folder.
    bool Open(const char* path);
    // As on Windows: a file whose attributes say it is not here is not opened (no error).
    bool NotOnThisDevice() const { return m_notOnThisDevice; }

    std::uint64_t Size() const override { return m_size; }
    std::uint32_t LastError() const override { return static_cast<std::uint32_t>(m_error); }
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;

private:
    // As on Windows: windows mapped one at a time, and one whose bytes fail to come in
    // (SIGBUS) reads as zeros and says so.
    std::unique_ptr<Views> OpenViews() override;

    int m_file = -1;
    std::uint64_t m_size = 0;
    int m_error = 0;  // errno of the last failure
    bool m_notOnThisDevice = false;
};

}  // namespace korvex
