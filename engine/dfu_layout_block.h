// A layout as the one block of the engine's C interface: every structure, array and name in
// a single allocation that the engine's own free releases, so nothing of the standard
// library and no allocator crosses the module boundary.
#pragma once

#include "KorvexLayout.h"
#include "dfu_layout.h"

#include <cstdint>
#include <string>

namespace korvex {

// 8-bit target names to wide text, in the code page it names.
struct NameConversion {
    std::wstring (*convert)(const std::string& text);
    std::uint32_t codePage;
};

// Windows-1252, the ANSI code page Windows and Wine use for Western European systems; what
// a Linux build converts with, where there is no system ANSI code page.
std::wstring Windows1252ToWide(const std::string& text);

// nullptr when memory is short.
KorvexDfuLayout* NewLayoutBlock(const DfuLayout& layout, const NameConversion& names);
// A block holding the same as a layout put together by a caller, whose structures may be
// shorter than this build's (their missing members read as zero).
KorvexDfuLayout* CopyLayoutBlock(const KorvexDfuLayout& layout);
void FreeLayoutBlock(KorvexDfuLayout* layout);

// A ByteSource over a caller's reader callback.
class ReaderSource final : public ByteSource {
public:
    ReaderSource(std::uint64_t size, KorvexDfuReader reader, void* context)
        : m_size(size), m_reader(reader), m_context(context)
    {
    }

    std::uint64_t Size() const override { return m_size; }
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;
    std::uint32_t LastError() const override { return m_error; }

private:
    std::uint64_t m_size;
    KorvexDfuReader m_reader;
    void* m_context;
    std::uint32_t m_error = 0;
};

}  // namespace korvex
