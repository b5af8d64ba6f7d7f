#include "stream_layout.h"

#include <cstdint>

namespace orrelin {
namespace {

std::uint32_t SystemErrorOf(HRESULT hr)
{
    if (HRESULT_FACILITY(hr) == FACILITY_WIN32) return HRESULT_CODE(hr);
    return ERROR_READ_FAULT;
}

std::uint32_t KORVEX_CALL ReadFromStream(void* context, std::uint64_t offset, std::uint32_t count, void* buffer)
{
    auto* stream = static_cast<IStream*>(context);
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    HRESULT hr = stream->Seek(at, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) return SystemErrorOf(hr);
    auto* bytes = static_cast<unsigned char*>(buffer);
    // A stream may answer fewer bytes than asked; only no bytes at all is the end.
    while (count > 0) {
        ULONG read = 0;
        hr = stream->Read(bytes, count, &read);
        if (FAILED(hr)) return SystemErrorOf(hr);
        if (read == 0 || read > count) return ERROR_HANDLE_EOF;
        bytes += read;
        count -= read;
    }
    return 0;
}

}  // namespace

LayoutOwner ReadLayoutFromStream(IStream* stream)
{
    STATSTG status = {};
    if (FAILED(stream->Stat(&status, STATFLAG_NONAME))) return nullptr;
    KorvexDfuLayout* layout = nullptr;
    if (KorvexReadDfuLayoutFrom(status.cbSize.QuadPart, &ReadFromStream, stream, &layout) != KORVEX_OK) return nullptr;
    return LayoutOwner(layout);
}

}  // namespace orrelin
