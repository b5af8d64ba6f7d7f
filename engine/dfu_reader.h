// Reading a .dfu file: the DFU suffix at its end (numbers and CRC) and, for a DfuSe file,
// the name of its first named target. Bytes come in through a ByteSource, so the same code
// reads Windows files in the engine and memory or Linux files in the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "KorvexLayout.h"

namespace korvex {

// What a pass over a file's bytes does with them, a piece at a time, in order.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // bytes holds count bytes from offset; they are valid only during the call.
    virtual void Take(std::uint64_t offset, const unsigned char* bytes, std::size_t count) = 0;
    // What was taken so far does not count: the pass starts again from the first byte.
    virtual void Restart() = 0;
};

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Fills buffer with exactly count bytes starting at offset; false if any is unreadable.
    virtual bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count) = 0;
    // The system's error of the latest failed open or read; 0 where the source has none.
    virtual std::uint32_t LastError() const { return 0; }
    // How handing on a window of a mapped view ended: the bytes handed on; none, as the
    // system mapped nothing there; or handed on, but some failed to come in and read as zeros.
    enum class ViewPass { kDone, kNotMapped, kFaulted };
    class Views {
    public:
        virtual ~Views() = default;
        // Hands on the count bytes from offset, a multiple of kViewWindow, in place.
        virtual ViewPass Window(std::uint64_t offset, std::size_t count, ByteSink& sink) = 0;
    };

    // Hands the first count bytes to sink in order; false if any is unreadable. Bytes are
    // read into one buffer of pieceSize bytes, except that a pass of a window or more over a
    // source with views reads each window the way this process chose (read_way.h), and
    // measures the ways while it has not chosen. A view whose bytes fail to come in starts
    // the pass again (Restart) with reads, whose answer stands.
    virtual bool Scan(std::uint64_t count, std::size_t pieceSize, ByteSink& sink);

protected:
    // The source's views for one pass; none where it has none or the system maps nothing.
    virtual std::unique_ptr<Views> OpenViews() { return nullptr; }
};

// The part of a file mapped at a time, for a file of at least this size: a multiple of the
// 64 KiB Windows maps at, small beside the 32-bit address space, and large enough that the
// calls per view are lost in the copy they save. A smaller file is always read: its mapping
// would cost more than its copy.
constexpr std::uint64_t kViewWindow = 4 << 20;

// A number the file does not state.
constexpr std::uint16_t kNotStated = KORVEX_NOT_STATED;

enum class DfuVerdict : std::uint32_t {
    kValid = 0,
    kTooShort = 1,           // fewer bytes than a suffix
    kNoSuffix = 2,           // no "UFD" signature
    kUnknownDfuVersion = 3,  // bcdDFU neither 0x0100 nor 0x011A
    kBadSuffixLength = 4,    // bLength below 16 or beyond the file
    kCrcMismatch = 5,
    kUnreadable = 6,
    kNotOnThisDevice = 7,  // a cloud placeholder: nothing was read
};

// A DFU suffix as stored at the end of a file.
struct DfuSuffix {
    std::uint16_t release = kNotStated;
    std::uint16_t product = kNotStated;
    std::uint16_t vendor = kNotStated;
    std::uint16_t dfuVersion = 0;
    std::uint8_t suffixLength = 0;
    std::uint32_t storedCrc = 0;
};

struct DfuFileInfo : DfuSuffix {
    // The 8-bit name of the first named DfuSe target, as stored; empty when there is none.
    std::string comment;
};

constexpr std::size_t kSuffixSize = 16;
// A pass that reads (a file smaller than a view window, a source without views, or a process
// that chose the buffer) reads this much at a time, so memory stays flat however large the
// file. A larger buffer is slower, not faster: each check allocates it afresh, and past a
// few hundred KiB the allocators (Wine's heap, glibc's) map new pages for it every time.
constexpr std::size_t kReadChunkSize = 128 * 1024;

// The CRC pass of a check: zlib's CRC-32 of the bytes it takes. A pass that does more with
// the same bytes as they go by derives from it.
class CrcPass : public ByteSink {
public:
    // Once the suffix has passed its checks, before the first byte; the image ends where the
    // suffix begins.
    virtual void Begin(const DfuSuffix&, std::uint64_t /*imageEnd*/) {}
    void Take(std::uint64_t offset, const unsigned char* bytes, std::size_t count) final;
    void Restart() final;
    std::uint32_t Crc() const { return m_crc; }

protected:
    virtual void TakeAlso(std::uint64_t /*offset*/, const unsigned char* /*bytes*/, std::size_t /*count*/) {}
    virtual void RestartAlso() {}

private:
    std::uint32_t m_crc = 0;
};

// The suffix's own checks, before any byte of the image is read: kValid when the suffix
// passes them (the CRC is still to be checked), else the verdict on the file.
DfuVerdict ReadDfuSuffix(ByteSource& source, DfuSuffix& suffix);

// The one check of a file: reads its suffix (into suffix) and checks it, then, only if it
// passes, hands every byte before the stored CRC to pass in pieces of chunkSize. kValid
// exactly when the stored CRC matches.
DfuVerdict CheckDfuFile(ByteSource& source, DfuSuffix& suffix, CrcPass& pass, std::size_t chunkSize);

// true for a valid DFU file, with info filled in; false (info unspecified) for a file that
// is empty, truncated, unreadable or corrupt.
bool ReadDfuFile(ByteSource& source, DfuFileInfo& info);

}  // namespace korvex
