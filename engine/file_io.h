// Files as the engine's writers use them: inputs read whole or in ranges, and outputs that
// appear under their name only once complete. One interface; the system's own calls behind
// it (file_io_posix.cpp, file_io_win.cpp).
#pragma once

#include "dfu_reader.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvex {

#if defined(_WIN32)
using PathChar = wchar_t;
#else
using PathChar = char;
#endif
using Path = std::basic_string<PathChar>;

// A path as UTF-8 text, for messages.
std::string PathText(const Path& path);
// A path from UTF-8 text (names the engine makes itself).
Path PathFromText(const std::string& text);

// Why a write was refused or failed. The message names the file (and line) and the reason.
class DfuError : public std::runtime_error {
public:
    enum class Kind {
        kInvalid,  // the input is not what it claims to be, or breaks a limit of the format
        kUsage,    // the request itself cannot be carried out as asked
        kIo,       // the system refused a read or a write
    };
    DfuError(Kind kind, const std::string& message) : std::runtime_error(message), m_kind(kind) {}
    Kind kind() const { return m_kind; }

private:
    Kind m_kind;
};

[[noreturn]] void ThrowInvalid(const std::string& message);
[[noreturn]] void ThrowUsage(const std::string& message);

// Where written bytes go, in order.
class ByteOutput {
public:
    virtual ~ByteOutput() = default;
    virtual void Write(const void* bytes, std::size_t count) = 0;
};

// Told how many bytes each read moved, to show the progress of long work.
class ProgressObserver {
public:
    virtual ~ProgressObserver() = default;
    virtual void Moved(std::uint64_t bytes) = 0;
};

// A file opened for reading, letting others read it too.
class InputFile final : public ByteSource {
public:
    // Throws DfuError (kIo) naming the file when it cannot be opened or is a folder.
    explicit InputFile(const Path& path);
    ~InputFile() override;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    std::uint64_t Size() const override { return m_size; }
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;
    std::uint32_t LastError() const override { return m_error; }
    // ReadAt that throws a DfuError naming the file.
    void Read(std::uint64_t offset, void* buffer, std::size_t count);
    const Path& path() const { return m_path; }
    // True when path names this same file (by the system's identity, so links count).
    bool IsSameFile(const Path& path) const;
    // Reads from now on are reported to observer (null: to none).
    void Observe(ProgressObserver* observer) { m_observer = observer; }

private:
    Path m_path;
    ProgressObserver* m_observer = nullptr;
    std::intptr_t m_handle = -1;
    std::uint64_t m_size = 0;
    std::uint32_t m_error = 0;
    std::uint64_t m_identity[3] = {};
};

// A file written beside its final name and renamed into place only by Commit; without a
// Commit (a failure, an exception) the partial file is removed and an earlier file of that
// name stays untouched.
class AtomicOutput final : public ByteOutput {
public:
    // Refuses (kUsage) an existing path unless replace is set.
    AtomicOutput(const Path& path, bool replace);
    ~AtomicOutput() override;
    AtomicOutput(const AtomicOutput&) = delete;
    AtomicOutput& operator=(const AtomicOutput&) = delete;

    void Write(const void* bytes, std::size_t count) override;
    // Writes out what is buffered, makes it durable and closes it, still under its temporary
    // name: many outputs of one operation can wait for their Commit without holding memory.
    void Close();
    // Closes it if open and renames the file into place.
    void Commit();
    // Removes a committed file again (a later output of the same operation failed).
    void Retract();
    std::uint64_t Written() const { return m_written; }
    const Path& path() const { return m_path; }

private:
    void Flush();
    void Discard();

    Path m_path;
    Path m_temporary;
    bool m_replace = false;
    bool m_committed = false;
    std::intptr_t m_handle = -1;
    std::vector<unsigned char> m_buffer;
    std::size_t m_buffered = 0;
    std::uint64_t m_written = 0;
};

// Decoded data of text inputs, kept on disk beside an output so memory stays flat: appended
// once, read back in ranges, removed when it goes out of scope.
class ScratchFile final : public ByteSource, public ByteOutput {
public:
    explicit ScratchFile(const Path& besidePath);
    ~ScratchFile() override;
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    void Write(const void* bytes, std::size_t count) override;
    std::uint64_t Size() const override { return m_size; }
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;

private:
    void Flush();

    Path m_path;
    std::intptr_t m_handle = -1;
    std::vector<unsigned char> m_buffer;
    std::size_t m_buffered = 0;
    std::uint64_t m_size = 0;
};

bool PathExists(const Path& path);
// The folder part of path, with its separator; empty for a bare name.
Path FolderOf(const Path& path);
// The name part of path without its last extension.
Path StemOf(const Path& path);

// Removes the partial files of this process when it is interrupted (Ctrl+C, a terminate
// request), then ends it; called once by a program that writes.
void RemovePartialFilesOnInterrupt();

}  // namespace korvex
