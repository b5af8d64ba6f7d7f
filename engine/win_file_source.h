// A file of the Windows file system as a ByteSource for the .dfu reader.
#pragma once

#include "dfu_reader.h"
#include "verdict_cache.h"

#include <windows.h>

#include "handles.h"

namespace korvex {

class WinFileSource final : public ByteSource {
public:
    WinFileSource() = default;
    WinFileSource(const WinFileSource&) = delete;
    WinFileSource& operator=(const WinFileSource&) = delete;

    // Opens path for reading, letting others go on reading, writing and deleting it: the
    // engine only looks, so it must not be what fails when another program holds the file.
    // A file whose attributes say it is not on this device is not opened: false, with
    // NotOnThisDevice() true and no error.
    bool Open(const wchar_t* path);
    bool NotOnThisDevice() const { return m_notOnThisDevice; }

    std::uint64_t Size() const override;
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;
    std::uint32_t LastError() const override { return m_error; }
    // The open file's identity and state: volume serial number and file ID (128-bit where
    // the system answers FileIdInfo, else the 64-bit file index), size, last-write and
    // change time. false when the system answers neither identity.
    bool QueryState(FileState& state) const;

private:
    // Guarded views of the file's mapping, a window at a time.
    std::unique_ptr<Views> OpenViews() override;

    orrelin::UniqueFileHandle m_file;
    std::uint64_t m_size = 0;
    std::uint32_t m_error = 0;
    bool m_notOnThisDevice = false;
};

}  // namespace korvex
