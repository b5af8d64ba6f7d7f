#include "stream_layout.h"

#include <cstdint>

namespace orrelin {
namespace {

std::uint32_t SystemErrorOf(HRESULT hr)
{
    if (HRESULT_FACILITY(hr) == FACILITY_WIN32) return HRESULT_CODE(hr);
    return ERROR_READ_FAULT;
}

struct StreamReader {
    IStream* stream;
    // Where the stream stands; the engine reads in order after the suffix, so most reads
    // need no seek.
    std::uint64_t position;
};

std::uint32_t KORVEX_CALL ReadFromStream(void* context, std::uint64_t offset, std::uint32_t count, void* buffer)
{
    auto* reader = static_cast<StreamReader*>(context);
    IStream* stream = reader->stream;
    HRESULT hr = S_OK;
    if (offset != reader->position) {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        // Unknown until the seek succeeds.
        reader->position = ~std::uint64_t{0};
        hr = stream->Seek(at, STREAM_SEEK_SET, nullptr);
        if (FAILED(hr)) return SystemErrorOf(hr);
        reader->position = offset;
    }
    auto* bytes = static_cast<unsigned char*>(buffer);
    // A stream may answer fewer bytes than asked; only no bytes at all is the end.
    while (count > 0) {
        ULONG read = 0;
        hr = stream->Read(bytes, count, &read);
        if (FAILED(hr) || read == 0 || read > count) {
            reader->position = ~std::uint64_t{0};
            return FAILED(hr) ? SystemErrorOf(hr) : ERROR_HANDLE_EOF;
        }
        reader->position += read;
        bytes += read;
        count -= read;
    }
    return 0;
}

}  // namespace

LayoutOwner ReadLayoutFromStream(IStream* stream, std::uint64_t checkedUpTo)
{
    STATSTG status = {};
    if (FAILED(stream->Stat(&status, STATFLAG_NONAME))) return nullptr;
    KorvexDfuLayout* layout = nullptr;
    // Where a stream stands when it is handed over is not said; the first read seeks.
    StreamReader reader{stream, ~std::uint64_t{0}};
    const auto read =
        status.cbSize.QuadPart <= checkedUpTo ? &KorvexReadDfuLayoutFrom : &KorvexReadDfuLayoutHeadersFrom;
    if (read(status.cbSize.QuadPart, &ReadFromStream, &reader, &layout) != KORVEX_OK) return nullptr;
    return LayoutOwner(layout);
}

}  // namespace orrelin
